#include "platform/OleDate.h"
#include "platform/Exception.h"

#include <chrono>
#include <cmath>
#include <ctime>

namespace {

// Days from 1970-01-01 of a civil date (H. Hinnant's algorithm).
long long daysFromCivil(long long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + (long long)doe - 719468;
}

void civilFromDays(long long z, int& y, int& m, int& d)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long yy = (long long)yoe + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = int(doy - (153 * mp + 2) / 5 + 1);
    m = int(mp < 10 ? mp + 3 : mp - 9);
    y = int(yy + (m <= 2));
}

// 1899-12-30 counted from 1970-01-01.
constexpr long long kOleEpoch = -25569;

} // namespace

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

bool IsValidDate(int year, int month, int day)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1)
        return false;
    const int last = days[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
    return day <= last;
}

bool TryEncodeDate(int year, int month, int day, double& oleDays)
{
    if (!IsValidDate(year, month, day))
        return false;
    oleDays = double(daysFromCivil(year, unsigned(month), unsigned(day)) - kOleEpoch);
    return true;
}

double EncodeDate(int year, int month, int day)
{
    double result = 0;
    if (!TryEncodeDate(year, month, day, result))
        throw VariantError("Invalid argument to date encode");
    return result;
}

double EncodeTime(int hour, int minute, int second, int millisecond)
{
    return (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond) / 86400000.0;
}

CivilDate DecodeDateTime(double oleDays)
{
    CivilDate c;
    // OLE dates before the epoch keep a positive time fraction: -1.25 is 29 Dec 1899 06:00.
    double whole = std::trunc(oleDays);
    double frac = std::fabs(oleDays - whole);
    long long ms = std::llround(frac * 86400000.0);
    if (ms >= 86400000) {
        ms -= 86400000;
        whole += oleDays < 0 ? -1 : 1;
    }
    civilFromDays((long long)whole + kOleEpoch, c.year, c.month, c.day);
    c.hour = int(ms / 3600000);
    c.minute = int(ms / 60000 % 60);
    c.second = int(ms / 1000 % 60);
    c.millisecond = int(ms % 1000);
    return c;
}

double Now()
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t t = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    const int ms = int(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    return EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday)
         + EncodeTime(local.tm_hour, local.tm_min, local.tm_sec, ms);
}

double Today()
{
    return std::floor(Now());
}
