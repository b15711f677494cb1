#pragma once
// What the clerk chose for a queued or direct job, as the queue command shows it: each
// condition with its caption and its value in words, and for a periodic job how each
// moving date follows the run (support/ConditionWords.h). The write-off's options are
// read by their slots (writeoffserver/WriteOffConditions.h); any other program's by the
// shapes of their values.

#include "support/ConditionWords.h"

#include <vector>

struct JobRecord;
class DbConnection;

struct JobChoices {
    std::vector<ConditionLine> conditions;
    std::vector<ConditionLine> dateRules;
};

// company, when given, is the job's company database, which names what the codes stand for.
JobChoices DescribeJobChoices(const JobRecord& job, HostLanguage language, DbConnection* company);
