#pragma once
// The process's regional settings that formatting reads: date and time separators (for
// the "/" and ":" of edit masks and log stamps) and the decimal and thousands separators
// (for Format). One set for the whole process, as the platform had; a program sets them
// once at start-up, tests set and restore them.

char32_t dateSeparator();
char32_t timeSeparator();
char32_t decimalSeparator();
char32_t thousandSeparator();

void setDateSeparator(char32_t c);
void setTimeSeparator(char32_t c);
void setDecimalSeparator(char32_t c);
void setThousandSeparator(char32_t c);

// Restores "/", ":", "." and ",".
void resetFormatSettings();
