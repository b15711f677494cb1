#include "support/FormatSettings.h"

#include <atomic>

namespace {
std::atomic<char32_t> dateSep{U'/'};
std::atomic<char32_t> timeSep{U':'};
std::atomic<char32_t> decimalSep{U'.'};
std::atomic<char32_t> thousandSep{U','};
} // namespace

char32_t dateSeparator() { return dateSep.load(); }
char32_t timeSeparator() { return timeSep.load(); }
char32_t decimalSeparator() { return decimalSep.load(); }
char32_t thousandSeparator() { return thousandSep.load(); }

void setDateSeparator(char32_t c) { dateSep.store(c); }
void setTimeSeparator(char32_t c) { timeSep.store(c); }
void setDecimalSeparator(char32_t c) { decimalSep.store(c); }
void setThousandSeparator(char32_t c) { thousandSep.store(c); }

void resetFormatSettings()
{
    dateSep.store(U'/');
    timeSep.store(U':');
    decimalSep.store(U'.');
    thousandSep.store(U',');
}
