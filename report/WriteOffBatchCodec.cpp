#include "report/WriteOffBatchCodec.h"

#include <map>

BatchDataError::~BatchDataError() = default;

namespace {

constexpr int kSummaryValues = 18;
constexpr int kTotalValues = 5;
constexpr int kRecordValues = 5;
constexpr int kDocumentValues = 8;
constexpr int kMadeValues = 6;
constexpr int kMostDecimals = 7; // as an amount column shows them
// No list on the wire holds more (wire/WireCodec.h).
constexpr int kMostDocuments = 1 << 24;

[[noreturn]] void bad(const std::string& why)
{
    throw BatchDataError("Malformed write-off batch data: " + why);
}

// A one-dimensional array; of exactly `count` elements unless count is negative.
void checkArray(const Variant& v, const std::string& what, int count = -1)
{
    if (!v.isArray() || v.dimCount() != 1)
        bad(what + " is no list (" + v.typeName() + ")");
    if (count >= 0 && v.count() != count)
        bad(what + " has " + std::to_string(v.count()) + " values, not " + std::to_string(count));
}

const Variant& at(const Variant& a, int i)
{
    return a[a.lowBound() + i];
}

std::string textAt(const Variant& a, int i, const std::string& what)
{
    const Variant& v = at(a, i);
    if (v.type() != VarType::String)
        bad(what + " is no text (" + v.typeName() + ")");
    return v.toString();
}

int numberAt(const Variant& a, int i, const std::string& what, int low, int high)
{
    const Variant& v = at(a, i);
    if (v.type() != VarType::Int)
        bad(what + " is no whole number (" + v.typeName() + ")");
    const int n = v.toInt();
    if (n < low || n > high)
        bad(what + " " + std::to_string(n) + " lies outside " + std::to_string(low) + ".." + std::to_string(high));
    return n;
}

bool flagAt(const Variant& a, int i, const std::string& what)
{
    const Variant& v = at(a, i);
    if (v.type() != VarType::Bool)
        bad(what + " is no flag (" + v.typeName() + ")");
    return v.toBool();
}

Decimal amountAt(const Variant& a, int i, const std::string& what)
{
    const std::string text = textAt(a, i, what);
    Decimal d;
    if (!Decimal::tryParse(text, d))
        bad(what + " \"" + text + "\" is no exact amount");
    return d;
}

Variant amount(const Decimal& d)
{
    return Variant(d.toString());
}

Variant totalsValue(const std::vector<WriteOffBatchTotal>& totals)
{
    std::vector<Variant> items;
    items.reserve(totals.size());
    for (const WriteOffBatchTotal& t : totals)
        items.push_back(Variant::list({t.currency, t.decimals, t.documents, amount(t.original), amount(t.local)}));
    return Variant::list(std::move(items));
}

std::vector<WriteOffBatchTotal> totalsOf(const Variant& v, int documents)
{
    checkArray(v, "the totals");
    std::vector<WriteOffBatchTotal> totals;
    int counted = 0;
    for (int i = 0; i < v.count(); ++i) {
        const std::string what = "total " + std::to_string(i + 1);
        const Variant& t = at(v, i);
        checkArray(t, what, kTotalValues);
        WriteOffBatchTotal total{textAt(t, 0, what + ": the currency"), numberAt(t, 1, what + ": decimals", 0, kMostDecimals),
                                 numberAt(t, 2, what + ": documents", 1, documents),
                                 amountAt(t, 3, what + ": the amount"), amountAt(t, 4, what + ": the local amount")};
        for (const WriteOffBatchTotal& other : totals)
            if (other.currency == total.currency)
                bad("the totals name " + total.currency + " twice");
        counted += total.documents;
        if (counted > documents)
            bad("the totals count more than the " + std::to_string(documents) + " documents");
        totals.push_back(std::move(total));
    }
    if (counted != documents)
        bad("the totals count " + std::to_string(counted) + " documents, the batch " + std::to_string(documents));
    return totals;
}

// Each currency's documents must come to its total, exactly.
void checkSums(const WriteOffBatchRecord& r)
{
    std::map<std::string, std::pair<int, std::pair<Decimal, Decimal>>> sums;
    try {
        for (const WriteOffBatchDocument& d : r.documents) {
            auto& s = sums[d.currency];
            ++s.first;
            s.second.first += d.original;
            s.second.second += d.local;
        }
    } catch (const DataSetError&) {
        bad("the documents' amounts are too large to add up");
    }
    if (sums.size() != r.summary.totals.size())
        bad("the documents are in " + std::to_string(sums.size()) + " currencies, the totals in "
            + std::to_string(r.summary.totals.size()));
    for (const WriteOffBatchTotal& t : r.summary.totals) {
        const auto it = sums.find(t.currency);
        if (it == sums.end() || it->second.first != t.documents || !(it->second.second.first == t.original)
            || !(it->second.second.second == t.local))
            bad("the documents in " + t.currency + " do not come to their total");
    }
}

} // namespace

Variant BatchSummaryValue(const WriteOffBatchSummary& s)
{
    return Variant::list({s.batchNo, s.type, s.writeOffDate, s.transferSupplier, s.transferSupplierName, s.ranBy,
                          s.ranByName, s.ranAt, s.queued, s.requestNo, s.documents, totalsValue(s.totals),
                          s.localCurrency, s.localDecimals, s.reversed, s.reversedBy, s.reversedByName,
                          s.reversedAt});
}

WriteOffBatchSummary BatchSummaryOf(const Variant& v)
{
    checkArray(v, "a batch", kSummaryValues);
    WriteOffBatchSummary s;
    s.batchNo = textAt(v, 0, "the batch number");
    const std::string what = "batch " + s.batchNo + ": ";
    s.type = numberAt(v, 1, what + "the type", 0, 3);
    s.writeOffDate = textAt(v, 2, what + "the write-off date");
    s.transferSupplier = textAt(v, 3, what + "the transfer supplier");
    s.transferSupplierName = textAt(v, 4, what + "the transfer supplier's name");
    s.ranBy = textAt(v, 5, what + "the user");
    s.ranByName = textAt(v, 6, what + "the user's name");
    s.ranAt = textAt(v, 7, what + "the moment of the run");
    s.queued = flagAt(v, 8, what + "queued");
    s.requestNo = textAt(v, 9, what + "the request number");
    s.documents = numberAt(v, 10, what + "the documents", 0, kMostDocuments);
    s.totals = totalsOf(at(v, 11), s.documents);
    s.localCurrency = textAt(v, 12, what + "the local currency");
    s.localDecimals = numberAt(v, 13, what + "the local decimals", 0, kMostDecimals);
    s.reversed = flagAt(v, 14, what + "reversed");
    s.reversedBy = textAt(v, 15, what + "reversed by");
    s.reversedByName = textAt(v, 16, what + "the reverser's name");
    s.reversedAt = textAt(v, 17, what + "reversed at");
    return s;
}

Variant BatchListValue(const std::vector<WriteOffBatchSummary>& batches)
{
    std::vector<Variant> items;
    items.reserve(batches.size());
    for (const WriteOffBatchSummary& s : batches)
        items.push_back(BatchSummaryValue(s));
    return Variant::list(std::move(items));
}

std::vector<WriteOffBatchSummary> BatchListOf(const Variant& v)
{
    checkArray(v, "the list of batches");
    std::vector<WriteOffBatchSummary> batches;
    batches.reserve(std::size_t(v.count()));
    for (int i = 0; i < v.count(); ++i)
        batches.push_back(BatchSummaryOf(at(v, i)));
    return batches;
}

Variant BatchRecordValue(const WriteOffBatchRecord& r)
{
    std::vector<Variant> documents;
    documents.reserve(r.documents.size());
    for (const WriteOffBatchDocument& d : r.documents)
        documents.push_back(Variant::list({d.supplier, d.supplierName, d.type, d.number, d.date, d.currency,
                                           amount(d.original), amount(d.local)}));
    std::vector<Variant> made;
    for (const WriteOffMadeDocument& m : r.made)
        made.push_back(Variant::list({m.refund, m.type, m.number, m.currency, amount(m.original), amount(m.local)}));
    return Variant::list({BatchSummaryValue(r.summary), r.companyCode, r.companyName,
                          Variant::list(std::move(documents)), Variant::list(std::move(made))});
}

WriteOffBatchRecord BatchRecordOf(const Variant& v)
{
    checkArray(v, "a batch record", kRecordValues);
    WriteOffBatchRecord r;
    r.summary = BatchSummaryOf(at(v, 0));
    r.companyCode = textAt(v, 1, "the company");
    r.companyName = textAt(v, 2, "the company's name");
    const Variant& documents = at(v, 3);
    checkArray(documents, "the documents", r.summary.documents);
    r.documents.reserve(std::size_t(documents.count()));
    for (int i = 0; i < documents.count(); ++i) {
        const std::string what = "document " + std::to_string(i + 1);
        const Variant& d = at(documents, i);
        checkArray(d, what, kDocumentValues);
        r.documents.push_back({textAt(d, 0, what + ": the supplier"), textAt(d, 1, what + ": the supplier's name"),
                               textAt(d, 2, what + ": the type"), textAt(d, 3, what + ": the number"),
                               textAt(d, 4, what + ": the date"), textAt(d, 5, what + ": the currency"),
                               amountAt(d, 6, what + ": the amount"), amountAt(d, 7, what + ": the local amount")});
    }
    checkSums(r);
    const Variant& made = at(v, 4);
    checkArray(made, "the made documents");
    if (made.count() > int(r.summary.totals.size()))
        bad("more made documents than currencies");
    for (int i = 0; i < made.count(); ++i) {
        const std::string what = "made document " + std::to_string(i + 1);
        const Variant& m = at(made, i);
        checkArray(m, what, kMadeValues);
        r.made.push_back({flagAt(m, 0, what + ": refund"), textAt(m, 1, what + ": the type"),
                          textAt(m, 2, what + ": the number"), textAt(m, 3, what + ": the currency"),
                          amountAt(m, 4, what + ": the amount"), amountAt(m, 5, what + ": the local amount")});
        bool known = false;
        for (const WriteOffBatchTotal& t : r.summary.totals)
            known = known || t.currency == r.made.back().currency;
        if (!known)
            bad(what + " is in " + r.made.back().currency + ", a currency the batch has no total of");
    }
    return r;
}
