#pragma once
// The job service's clock. The queue runs jobs by it and stamps their runs with it, so a
// test can put the server at any moment and move it on without waiting.
//
// Moments are OLE dates with the time of day, local time; stamps are their texts
// "yyyymmddhhnnsszzz", which sort as the moments do.

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

class JobClock {
public:
    virtual ~JobClock() = default;
    virtual double now() = 0;
    // Whether the clock runs by itself: a waiting server sleeps until the next due moment
    // on such a clock, and polls a clock that someone else moves.
    virtual bool isReal() const { return true; }
};

// The machine's clock.
class SystemJobClock : public JobClock {
public:
    double now() override;
};

// A clock that stands where it is put.
class ManualJobClock : public JobClock {
public:
    explicit ManualJobClock(double moment) : moment_(moment) {}
    double now() override { return moment_; }
    bool isReal() const override { return false; }
    void set(double moment) { moment_ = moment; }
    void advanceMinutes(double minutes) { moment_ += minutes / 1440.0; }

private:
    double moment_;
};

// A clock read from a file that holds one moment "yyyymmddhhnnss" (more digits: the
// milliseconds); the file is read at every call, so whoever writes it moves the clock.
// A file that cannot be read keeps the last moment read (at first: Exception). The
// runs of a server read it at the same time.
class FileJobClock : public JobClock {
public:
    explicit FileJobClock(std::string file);
    double now() override;
    bool isReal() const override { return false; }

private:
    std::string file_;
    std::mutex mutex_;
    double last_ = 0;
};

// "yyyymmddhhnnsszzz" of a moment; empty for 0.
std::string MomentStamp(double moment);
// The moment of a stamp of 8 to 17 digits (missing parts count as zero); 0 when the text
// is no such stamp.
double StampMoment(std::string_view stamp);
// "yyyy-mm-dd hh:nn:ss" of a stamp, for people; the text unchanged when it is no stamp.
std::string ShownStamp(std::string_view stamp);
