#pragma once
// The candidate documents of the write-off job: the SQL text that lists the open
// documents of one write-off type under the page conditions, and the loading of its
// answer into the grid's data set.
//
// The amounts are summed on this side: SQL arithmetic on the amount columns gives binary
// doubles, so the text also selects the parts (O1..O2 original, L1..L4 local, R1 the
// revaluation rate, R2 the document rate) and the loader sums them as exact decimals.

#include "dataset/Decimal.h"
#include "platform/Variant.h"

#include <string>
#include <vector>

class TClientDataSet;

// The conditions the pages collected, bounds 1..8: 1 write-off date range, 2 currency,
// 3 document date range, 4 suppliers, 5-8 the selections of purchase invoices, expense
// invoices, other payable documents and prepayment documents.
struct CandidateFilter {
    int type = 0;   // item index: 0 payables, 1 other payables, 2 prepayments
    Variant values; // FilterValues
};

// The 21 answer columns the grid shows, then the amount parts.
extern const char* const kCandidateFieldList;
// Rows of the answer the list takes at a time.
constexpr int kCandidatePartRows = 2000;
// The grid's record fields in answer order, MA001 .. MA023.
extern const char* const kCandidateFields[21];

// The whole text (select, from, joins, where, order); the write-off date and currency are
// quoted with inner quotes doubled.
std::string CandidateSql(const CandidateFilter& filter);
// The write-off date the text uses: the start of value 1.
std::string CandidateWriteOffDate(const Variant& values);

// Adds the persistent fields of cdsData (labels, types, read-only flags, formats).
void DefineCandidateFields(TClientDataSet& data);
// Appends the rows of a SimpleSQL answer; the date column in the user's format, the
// amounts exact, every text whole (a text field grows for a longer text). Returns the
// number of rows loaded; a non-array answer loads none.
int LoadCandidates(TClientDataSet& data, Variant answer, int dateFormat, const std::string& separator);

// The rows (from 0, in the data set's order) whose document key, type and number trimmed
// and joined, is among keys; a "-" between type and number in a key is allowed. Keys that
// match no row go to missing, in their order.
std::vector<int> RowsOfDocumentKeys(const TClientDataSet& data, const std::vector<std::string>& keys,
                                    std::vector<std::string>& missing);

// An amount value read exactly: text or integer; Null or empty text is 0; a double (only
// from a database that keeps binary numbers) by its shortest text.
Decimal CandidateAmount(const Variant& value);
// The number of decimals of a currency's MF004 answer: 0..7, else 2.
int CurrencyDecimals(const Variant& answer);
