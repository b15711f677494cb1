#pragma once
// Write-off batches as Variants, the way the application server answers them (arrays of
// texts, whole numbers and flags; amounts as exact decimal texts, never as doubles):
//
//   summary  array 0..17: [0] batch number [1] type [2] write-off date [3] transfer supplier
//            [4] its name [5] ran by [6] his name [7] ran at [8] queued (Bool) [9] request
//            number [10] documents [11] totals: array of [currency, decimals, documents,
//            amount, local amount] [12] local currency [13] its decimals [14] reversed
//            (Bool) [15] reversed by [16] his name [17] reversed at
//   list     array 0..n-1 of summaries
//   record   array 0..4: [0] summary [1] company code [2] company name [3] documents: array
//            of [supplier, name, type, number, date, currency, amount, local amount]
//            [4] made documents: array of [refund (Bool), type, number, currency, amount,
//            local amount]
//
// Reading checks everything before it is used: every array's shape and count, every
// value's kind and range, the totals' documents against the summary's count and, for a
// record, its documents against the count and the totals (each currency's sum exactly).
// BatchDataError says what is wrong.

#include "platform/Exception.h"
#include "platform/Variant.h"
#include "report/WriteOffBatch.h"

#include <vector>

class BatchDataError : public Exception {
public:
    using Exception::Exception;
    ~BatchDataError() override;
};

Variant BatchSummaryValue(const WriteOffBatchSummary& summary);
WriteOffBatchSummary BatchSummaryOf(const Variant& value);
Variant BatchListValue(const std::vector<WriteOffBatchSummary>& batches);
std::vector<WriteOffBatchSummary> BatchListOf(const Variant& value);
Variant BatchRecordValue(const WriteOffBatchRecord& record);
WriteOffBatchRecord BatchRecordOf(const Variant& value);
