#include "support/JobClock.h"

#include "platform/Exception.h"
#include "platform/OleDate.h"

#include <cmath>
#include <cstdio>
#include <fstream>

double SystemJobClock::now()
{
    return Now();
}

FileJobClock::FileJobClock(std::string file) : file_(std::move(file))
{
    if (now() == 0)
        throw Exception("The clock file " + file_ + " holds no moment yyyymmddhhnnss");
}

double FileJobClock::now()
{
    std::lock_guard lock(mutex_);
    std::ifstream in(file_);
    std::string text;
    in >> text;
    const double m = StampMoment(text);
    if (m > 0)
        last_ = m;
    return last_;
}

std::string MomentStamp(double moment)
{
    if (moment <= 0)
        return {};
    const CivilDate t = DecodeDateTime(moment);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d%03d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second, t.millisecond);
    return buf;
}

double StampMoment(std::string_view stamp)
{
    if (stamp.size() < 8 || stamp.size() > 17)
        return 0;
    for (char c : stamp)
        if (c < '0' || c > '9')
            return 0;
    const std::string s = std::string(stamp) + std::string(17 - stamp.size(), '0');
    auto num = [&](std::size_t at, std::size_t n) { return std::stoi(s.substr(at, n)); };
    const int hour = num(8, 2), minute = num(10, 2), second = num(12, 2), ms = num(14, 3);
    double day = 0;
    if (!TryEncodeDate(num(0, 4), num(4, 2), num(6, 2), day) || hour > 23 || minute > 59 || second > 59)
        return 0;
    return day + EncodeTime(hour, minute, second, ms);
}

std::string ShownStamp(std::string_view stamp)
{
    if (StampMoment(stamp) == 0)
        return std::string(stamp);
    const std::string s = std::string(stamp) + std::string(17 - stamp.size(), '0');
    return s.substr(0, 4) + "-" + s.substr(4, 2) + "-" + s.substr(6, 2) + " " + s.substr(8, 2) + ":" + s.substr(10, 2)
           + ":" + s.substr(12, 2);
}
