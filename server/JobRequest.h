#pragma once
// A job request as the job service receives it from a run-options form, checked before
// anything is stored:
//   [0] environment 1..12: 1 program code, 2 EnvCount (= the high bound), 3 OptionCount,
//       4 company, 5 user, 6 database, 7 the moment the request was built, 8 server class
//       name, 9 job kind (one letter, lower case for a periodic job), 10 run mode (0 queue,
//       1 at once, 2 at the given moment; periodic jobs 2, or 1 for one run
//       at once before the schedule's), 11 the moment of the (first)
//       run, 12 recipient XML ("" or "N": nobody; at most 500 recipients, checked as
//       RecipientListProblem of support/NotificationQueue.h says)
//   [1] option texts 1..OptionCount, each [caption, control name, ...]
//   [2] option values 1..OptionCount
//   periodic only: [3] the period value (support/RunSchedule.h), [4] the date rules
//       0..n, [0] = n, [i] = a rule line whose last field is the option it moves
// A periodic request must hold both extra elements and a one-time request neither.

#include "platform/Exception.h"
#include "platform/Variant.h"
#include "support/RunSchedule.h"

#include <string>

class JobRequestError : public Exception {
public:
    using Exception::Exception;
    ~JobRequestError() override;
};

struct JobRequest {
    Variant packet;
    std::string programCode;   // upper case
    std::string companyCode;
    std::string userCode;
    std::string databaseName;
    std::string serverClassName;
    std::string jobKind;       // as sent
    int runMode = 0;
    double builtAt = 0;        // slot 7
    double runAt = 0;          // slot 11
    std::string recipients;    // the XML; empty when nobody is to be told
    int optionCount = 0;
    bool periodic = false;
    RunPeriod period;          // periodic jobs

    const Variant& optionTexts() const { return packet[1]; }
    const Variant& optionValues() const { return packet[2]; }
    const Variant& periodValue() const { return packet[3]; }
    const Variant& dateRules() const { return packet[4]; }
};

// JobRequestError with what is wrong, in words a person can act on.
JobRequest ReadJobRequest(const Variant& packet);

// Program codes name files (code + "S.so"): letters, digits and "_", at most 10.
bool IsValidProgramCode(std::string_view code);

// [option values, period value, rules] with bounds 1..3, as RollConditionDates takes it.
Variant RollParameters(const Variant& values, const Variant& period, const Variant& rules);
