#pragma once
// The write-off itself, on a connection whose main database is the company database: in
// one write transaction it checks that every chosen document is still open and within the
// run's conditions, settles each one, records the batch in ACPLC and hands the balance to
// the transfer supplier. Either all of it is done or nothing (WriteOffError says why).
//
//   payables, other payables   one other-payable document (ACPTI/ACPTJ, the first type
//                              of kind 7B) per currency for the transfer supplier, holding
//                              the written-off balance
//   prepayments                one refund document (ACPTK) of the chosen type (kind 7D)
//                              per currency for the transfer supplier instead: an advance
//                              paid is no debt, so it does not become an other payable
//
// A document is settled as status "3" with its paid columns at the full amount; the
// written-off amount is what was still open. ACPLC keeps one row per document under
// "WOFB07-" + batch number with the amounts, the documents made and the document's
// settlement columns before and after, so that the batch can be reversed exactly
// (WriteOffReversal.h). The batch key decides between two runs of one number: the first
// to commit wins, the other finds the number used. A run again with the same request
// number and extra text (a re-run after an interruption) finds its batch and succeeds.

#include "db/Db.h"
#include "dataset/Decimal.h"
#include "writeoffserver/WriteOffRequest.h"

#include <string>
#include <vector>

// Where a kind of document lives, and the columns the write-off reads and changes.
struct WriteOffTable {
    int type;                 // 1, 2, 3
    const char* table;        // ACPTA, ACPTI, ACPTK
    const char* lines;        // line table, empty for prepayments
    const char* kindColumn;   // LC003 text: "1", "2", "3"
    std::string col(int number) const; // "TA004" for 4
    std::string prefix;       // "TA"
    std::string linePrefix;   // "TB"
    // Columns by role.
    int docType, docNo, docDate, supplier, currency, rate, accountingDate, status, paidOriginal, paidLocal;
    std::vector<int> original; // summed: the amount in the document's currency
    std::vector<int> local;    // summed: the amount in local currency
    // The open-document condition of the candidate query.
    std::string openCondition;
};

const WriteOffTable& WriteOffTableOf(int type);
// The columns that settling changes, in the order of the images kept in LC020.
std::vector<std::string> SettlementColumns(const WriteOffTable& t);

struct WrittenOffDocument {
    std::string type, number, supplier, currency;
    Decimal original, local;
    std::string madeType, madeNumber; // the transfer or refund document it went to
};

struct WriteOffCurrencyTotal {
    std::string currency;
    int documents = 0;
    Decimal original, local;
    std::string madeType, madeNumber;
    int decimals = 2;
};

struct WriteOffOutcome {
    std::string batchKey;
    std::vector<WrittenOffDocument> documents;
    std::vector<WriteOffCurrencyTotal> totals;
    bool repeated = false; // the batch was made by an earlier attempt of this run
    int localDecimals = 2;
};

struct WriteOffContext {
    std::string stamp;          // yyyymmddhhnnsszzz of the run
    std::string openMonthAfter; // Sys030: the write-off month must lie after it
    std::string openMonthFrom;  // Sys029: and not before it
    std::string localCurrency;  // Sys003: its decimals show the local amounts
};

// Adds the ACPLC columns of this version to a company database made before it.
void EnsureWriteOffColumns(DbConnection& company);
WriteOffOutcome RunWriteOff(DbConnection& company, const WriteOffRequest& request, const WriteOffContext& context);
// Message codes (MessageText.h), a line for the batch and one a currency, its amounts as the
// grid shows them: "Batch WOFB07-B1: 3 documents written off", "RMB 1,339.00 (local 1,339.00)".
std::string WriteOffSummary(const WriteOffOutcome& outcome);
// Reads an amount column's value exactly: text, integer, or (older files) a double.
Decimal AmountOf(const Variant& value);
// An amount as stored: the shortest exact text.
Variant AmountValue(const Decimal& amount);
