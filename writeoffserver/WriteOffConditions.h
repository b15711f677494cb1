#pragma once
// The write-off job's options as the clerk chose them, for the queue command's record of a
// queued or direct write-off (WriteOffRequest.h has the slots): the type in words, dates as
// dates, only the document selections of the type, the transfer supplier with its name, the
// ticked documents as a list of type and number. The candidate query and the supplier's
// label are no conditions and are left out.

#include "platform/Variant.h"
#include "support/ConditionWords.h"

#include <optional>
#include <vector>

class DbConnection;

// The lines of the options texts and values (both 1..17); none when the packet has not
// the write-off's options. company, when given, is the job's company database: it names
// the transfer supplier (PURMA) and the document types that begin a document's key
// (CMSMQ); without it, or where it fails, the name the clerk saw and the keys stand.
std::optional<std::vector<ConditionLine>> DescribeWriteOffConditions(const Variant& texts, const Variant& values,
                                                                    HostLanguage language, DbConnection* company);
