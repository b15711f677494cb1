#pragma once
// The write-off job's packet as its server library receives it (platform/SvrController.h):
// kind "B" [0] request number, [1] company, [2] user, [3] option values, [4] database,
// [5] extra text, [6] product id; the 12-element packet of other kinds is read too.
//
// Option values, bounds 1..17 (the form calls SetOptionCount with 15):
//   1 write-off type 1 payables, 2 other payables, 3 prepayments
//   2 write-off date range (its start is the date)   3 accounting-date range
//   4 currency        5 suppliers        6-9 document selections (purchase invoices,
//   expense invoices, other payables, prepayments)    10 batch number
//   11 transfer supplier    12 refund document type (prepayments)
//   13 chosen documents: texts of type and number joined; ["NN"] when none
//   14 the candidate query text (informational only: never run)
//   15 name of the transfer supplier    16 log flag "Y"/"N"    17 print date
//
// Texts may arrive in a code page (AnsiString); they are read as UTF-8.

#include "platform/Exception.h"
#include "platform/Variant.h"

#include <string>
#include <vector>

// A packet or a run the job refuses; the text says why and is the job's result text: message
// codes (MessageText.h) where a clerk can act on it, plain text for a malformed packet.
class WriteOffError : public Exception {
public:
    using Exception::Exception;
    ~WriteOffError() override;
};

struct WriteOffRequest {
    std::string requestNo;
    std::string companyCode;
    std::string userCode;
    std::string databaseName;
    std::string extra;

    int type = 0;                 // 1, 2 or 3
    std::string writeOffDate;     // yyyymmdd
    Variant accountingDates;      // condition values as the candidate query takes them
    std::string currency;
    Variant suppliers;
    Variant selections[4];        // slots 6-9
    std::string batchNo;          // upper case, letters and digits; a periodic run's prefix-key
    std::string transferSupplier;
    std::string refundType;
    std::vector<std::string> documents; // type and number joined, in the order sent
    std::string transferName;
    bool log = false;

    // "WOFB07-" + batch number: the key of the batch in ACPLC.
    std::string batchKey() const { return BatchKey(batchNo); }
    static std::string BatchKey(const std::string& batchNo) { return "WOFB07-" + batchNo; }
};

constexpr int kWriteOffOptionCount = 17;
// The longest batch number: LC001 holds 20 characters, "WOFB07-" takes 7.
constexpr std::size_t kMaxBatchNoLength = 13;

// A periodic job's batch number is a prefix: each run writes off under prefix + "-" + its
// run key (the last 8 characters of the run's 26-character extra text), so that every
// run has a number of its own. The prefix leaves room for the hyphen and the key.
constexpr std::size_t kRunKeyLength = 8;
constexpr std::size_t kMaxBatchPrefixLength = kMaxBatchNoLength - 1 - kRunKeyLength;

// Reads and checks the packet; WriteOffError names the slot that is wrong.
WriteOffRequest ReadWriteOffPacket(const Variant& packet);
// The envelope and the batch number alone (a run's own for a periodic run), for the check
// made when a job is queued: the rest is read when it runs.
WriteOffRequest ReadWriteOffBatch(const Variant& packet);
// A batch number as the job stores it: trimmed, upper case; WriteOffError when it is
// empty, too long or holds anything but letters and digits.
std::string NormalizedBatchNo(const std::string& text);
// The run key of a periodic run's extra text (job number, run number, key: 26 characters
// ending in 8 digits); empty for any other extra text.
std::string RunKeyOf(const std::string& extra);
// The batch number of a run: the normalized number, or with a run key prefix + "-" + key;
// WriteOffError when the prefix is longer than kMaxBatchPrefixLength.
std::string RunBatchNo(const std::string& text, const std::string& runKey);
// A batch number as a person names a stored batch: a plain one, or a periodic run's
// ("D9-20261210").
std::string StoredBatchNo(const std::string& text);
// A text value in UTF-8 (AnsiString converted from its code page), trimmed.
std::string TrimmedText(const Variant& value);
