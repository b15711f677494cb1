#pragma once
// A write-off batch as people look back on it: what the run was, who made it and when, what
// it wrote off in each currency and whether it was reversed (the summary of the list of
// batches), and with every document it settled and the transfer or refund documents it made
// (the record of one batch). Plain values: the server reads them from the batch rows
// (writeoffserver/WriteOffBatches.h), the wire carries them (WriteOffBatchCodec.h), the
// report prints them (WriteOffBatchReport.h). Amounts are exact.

#include "dataset/Decimal.h"

#include <string>
#include <vector>

// What the batch wrote off in one currency.
struct WriteOffBatchTotal {
    std::string currency;
    int decimals = 2; // of the currency's amounts
    int documents = 0;
    Decimal original; // in the currency
    Decimal local;    // in local currency
    bool operator==(const WriteOffBatchTotal&) const = default;
};

struct WriteOffBatchSummary {
    std::string batchNo;       // as the clerk gave it: "R1", a periodic run's "D9-20261210"
    int type = 0;              // 1 payables, 2 other payables, 3 prepayments
    std::string writeOffDate;  // yyyymmdd
    std::string transferSupplier, transferSupplierName;
    std::string ranBy, ranByName; // the user the run was for
    std::string ranAt;            // yyyymmddhhnnsszzz
    bool queued = false;          // run by the job queue; else at once from the desk
    std::string requestNo;        // the job request of the run
    int documents = 0;
    std::vector<WriteOffBatchTotal> totals; // in the order the currencies first appear
    std::string localCurrency;
    int localDecimals = 2;
    bool reversed = false;
    std::string reversedBy, reversedByName, reversedAt;

    // The key of its rows: "WOFB07-" + batch number.
    std::string batchKey() const { return "WOFB07-" + batchNo; }
    bool operator==(const WriteOffBatchSummary&) const = default;
};

struct WriteOffBatchDocument {
    std::string supplier, supplierName;
    std::string type, number, date; // date yyyymmdd; empty when the document is gone
    std::string currency;
    Decimal original, local; // what was written off
    bool operator==(const WriteOffBatchDocument&) const = default;
};

// The document that took a currency's balance: a transfer document (an other payable of the
// transfer supplier), or for prepayments a refund document.
struct WriteOffMadeDocument {
    bool refund = false;
    std::string type, number, currency;
    Decimal original, local;
    bool operator==(const WriteOffMadeDocument&) const = default;
};

struct WriteOffBatchRecord {
    WriteOffBatchSummary summary;
    std::string companyCode, companyName;
    std::vector<WriteOffBatchDocument> documents; // in the batch's order
    std::vector<WriteOffMadeDocument> made;
    bool operator==(const WriteOffBatchRecord&) const = default;
};
