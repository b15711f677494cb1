#include "writeoffserver/WriteOff.h"

#include "platform/AsciiText.h"
#include "dataset/DisplayFormat.h"
#include "wire/VariantStream.h"
#include "support/Conditions.h"
#include "support/MessageText.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>

namespace {

WriteOffTable makeTable(int type)
{
    WriteOffTable t{};
    t.type = type;
    switch (type) {
    case 1:
        t.table = "ACPTA";
        t.lines = "ACPTB";
        t.kindColumn = "1";
        t.prefix = "TA";
        t.linePrefix = "TB";
        t.docType = 1, t.docNo = 2, t.docDate = 3, t.supplier = 4, t.currency = 8, t.rate = 9;
        t.accountingDate = 34, t.status = 87, t.paidOriginal = 30, t.paidLocal = 85;
        t.original = {28, 29};
        t.local = {37, 38, 51};
        t.openCondition = "TA024='Y' and Round(TA030,3)=0.0 and TA079='1' and TA087='1' and TA080='N' and TA033='N'";
        break;
    case 2:
        t.table = "ACPTI";
        t.lines = "ACPTJ";
        t.kindColumn = "2";
        t.prefix = "TI";
        t.linePrefix = "TJ";
        t.docType = 1, t.docNo = 2, t.docDate = 3, t.supplier = 4, t.currency = 7, t.rate = 8;
        t.accountingDate = 19, t.status = 29, t.paidOriginal = 17, t.paidLocal = 18;
        t.original = {15};
        t.local = {16, 32};
        t.openCondition = "TI031='1' and Round(TI017,3)=0.0 and TI013='Y' and TI035='1' and TI029='1' and TI043='N'";
        break;
    default:
        t.table = "ACPTK";
        t.lines = "";
        t.kindColumn = "3";
        t.prefix = "TK";
        t.docType = 1, t.docNo = 2, t.docDate = 3, t.supplier = 4, t.currency = 7, t.rate = 8;
        t.accountingDate = 22, t.status = 28, t.paidOriginal = 35, t.paidLocal = 36;
        t.original = {30};
        t.local = {31, 39};
        t.openCondition = "MQ003='7C' and Round(TK035,3)=0.0 and TK020='Y' and TK043='1' AND TK028='1'";
        break;
    }
    return t;
}

std::string docName(const std::string& type, const std::string& number)
{
    return type + "-" + number;
}

std::string text(const Variant& v)
{
    return TrimmedText(v);
}

// The selection of the run, as the candidate query applies it: dates, currency, the
// accounting-date range, the suppliers and the document selections of the type.
std::string selectionCondition(const WriteOffTable& t, const WriteOffRequest& r)
{
    std::string where = t.col(t.docDate) + " <= :WDATE and " + t.col(t.currency) + " = :CUR";
    std::string c;
    AppendCondition(where, t.col(t.accountingDate), r.accountingDates, c, 1);
    AppendCondition(where, t.col(t.supplier), r.suppliers, c, 1);
    const std::string key = t.col(t.docType) + "+" + t.col(t.docNo);
    if (t.type == 1) {
        std::string invoices = "MQ003 in ('71', '7A')";
        AppendCondition(invoices, key, r.selections[0], c, 1);
        std::string expenses = "MQ003='7F'";
        AppendCondition(expenses, key, r.selections[1], c, 1);
        where += " and ((" + invoices + ") or (" + expenses + "))";
    } else {
        AppendCondition(where, key, r.selections[t.type == 2 ? 2 : 3], c, 1);
    }
    return where;
}

struct Candidate {
    std::string type, number, supplier, currency, status;
    bool open = false, selected = false;
    Decimal original, local, paidOriginal, paidLocal; // totals and what was paid before
    Variant flag;
    Variant before; // the settlement columns as found
};

// A row's values as the array the batch keeps for each document's image.
Variant imageOf(std::vector<Variant>& row, std::size_t from)
{
    Variant values = Variant::array(0, int(row.size() - from) - 1);
    for (std::size_t i = from; i < row.size(); ++i)
        values[int(i - from)] = std::move(row[i]);
    return values;
}

std::string nextNumber(DbConnection& db, const std::string& table, const std::string& typeCol,
                       const std::string& noCol, const std::string& type, const std::string& date)
{
    const Variant last = db.scalar("SELECT MAX(" + noCol + ") FROM " + table + " WHERE " + typeCol + " = :T AND "
                                       + noCol + " LIKE :P",
                                   {{"T", type}, {"P", date + "___"}});
    int n = 0;
    if (!last.isNull() && !last.isEmpty()) {
        const std::string s = VarToStr(last);
        n = std::atoi(s.substr(8).c_str());
    }
    if (n >= 999)
        throw WriteOffError(MessageCode("E;200666", {type, date}));
    char buf[16];
    std::snprintf(buf, sizeof buf, "%03d", n + 1);
    return date + buf;
}

int currencyDecimals(DbConnection& db, const std::string& currency)
{
    const Variant d = db.scalar("SELECT MF004 FROM CMSMF WHERE MF001 = :C", {{"C", currency}});
    try {
        const int n = d.isNull() || d.isEmpty() ? 2 : d.toInt();
        return n < 0 || n > 7 ? 2 : n;
    } catch (const VariantError&) {
        return 2;
    }
}

// The outcome of the batch an earlier attempt of this run committed.
WriteOffOutcome recordedOutcome(DbConnection& db, const WriteOffRequest& r)
{
    WriteOffOutcome out;
    out.batchKey = r.batchKey();
    out.repeated = true;
    std::map<std::string, std::size_t> index;
    db.forEachRow("SELECT LC005, LC006, LC007, LC009, LC010, LC011, LC012, LC013, LC018, LC019 FROM ACPLC "
                  "WHERE LC001 = :K ORDER BY LC002",
                  {{"K", out.batchKey}}, [&](const std::vector<Variant>& row) {
                      WrittenOffDocument d{text(row[0]), text(row[1]), text(row[2]), text(row[3]),
                                           AmountOf(row[4]), AmountOf(row[5]), {}, {}};
                      const bool refund = r.type == 3;
                      d.madeType = text(row[refund ? 6 : 8]);
                      d.madeNumber = text(row[refund ? 7 : 9]);
                      auto [it, added] = index.emplace(d.currency, out.totals.size());
                      if (added)
                          out.totals.push_back({d.currency, 0, {}, {}, d.madeType, d.madeNumber, 2});
                      WriteOffCurrencyTotal& t = out.totals[it->second];
                      ++t.documents;
                      t.original += d.original;
                      t.local += d.local;
                      out.documents.push_back(std::move(d));
                      return true;
                  });
    for (WriteOffCurrencyTotal& t : out.totals)
        t.decimals = currencyDecimals(db, t.currency);
    return out;
}

// The write-off month must lie within the open months.
void checkWriteOffMonth(const WriteOffRequest& r, const WriteOffContext& ctx)
{
    const std::string month = r.writeOffDate.substr(0, 6);
    if ((!ctx.openMonthAfter.empty() && !(month > ctx.openMonthAfter))
        || (!ctx.openMonthFrom.empty() && month < ctx.openMonthFrom))
        throw WriteOffError(MessageCode("E;200659", {r.writeOffDate, ctx.openMonthAfter, ctx.openMonthFrom}));
}

int localDecimals(DbConnection& db, const WriteOffContext& ctx)
{
    return ctx.localCurrency.empty() ? 2 : currencyDecimals(db, ctx.localCurrency);
}

// The number: used already, or used by an earlier attempt of this very run (whose outcome
// is then the answer).
std::optional<WriteOffOutcome> earlierAttempt(DbConnection& db, const WriteOffRequest& r, const WriteOffContext& ctx,
                                              const std::string& key)
{
    const DbRowSet used = db.query("SELECT LC014, LC021, LC015 FROM ACPLC WHERE LC001 = :K", {{"K", key}});
    if (used.empty())
        return std::nullopt;
    const bool ours = std::all_of(used.rows.begin(), used.rows.end(), [&](const std::vector<Variant>& row) {
        return text(row[0]) == r.requestNo && text(row[1]) == r.extra && text(row[2]) != "Y";
    });
    if (ours && !r.extra.empty()) {
        WriteOffOutcome again = recordedOutcome(db, r);
        again.localDecimals = localDecimals(db, ctx);
        return again;
    }
    throw WriteOffError(MessageCode("E;200658", {r.batchNo, key}));
}

// The currency and the transfer supplier exist; answers the type of the documents made:
// the chosen refund type, or the first other-payable type of kind 7B.
std::string checkedMadeType(DbConnection& db, const WriteOffRequest& r)
{
    if (db.query("SELECT MF001 FROM CMSMF WHERE MF001 = :C", {{"C", r.currency}}).empty())
        throw WriteOffError(MessageCode("E;200661", {r.currency}));
    if (db.query("SELECT MA001 FROM PURMA WHERE MA001 = :S", {{"S", r.transferSupplier}}).empty())
        throw WriteOffError(MessageCode("E;200662", {r.transferSupplier}));
    std::string madeType;
    if (r.type == 3) {
        if (db.query("SELECT MQ001 FROM CMSMQ WHERE MQ001 = :T AND MQ003 = '7D' AND MQ005 = 'Y'",
                     {{"T", r.refundType}})
                .empty())
            throw WriteOffError(MessageCode("E;200663", {r.refundType}));
        madeType = r.refundType;
    } else {
        const DbRowSet types =
            db.query("SELECT MQ001 FROM CMSMQ WHERE MQ003 = '7B' AND MQ005 = 'Y' ORDER BY MQ001");
        if (types.empty())
            throw WriteOffError(MessageCode("E;200664"));
        madeType = text(types.rows[0][0]);
    }
    return madeType;
}

// The document types of the table, by which a chosen name splits into type and number.
std::vector<std::string> documentTypes(DbConnection& db, const WriteOffTable& t)
{
    std::vector<std::string> docTypes;
    db.forEachRow("SELECT DISTINCT " + t.col(t.docType) + " FROM " + t.table, {}, [&](const std::vector<Variant>& row) {
        docTypes.push_back(text(row[0]));
        return true;
    });
    return docTypes;
}

// The lookup statement around its list of values.
struct LookupSql {
    std::string head, tail;
};

LookupSql lookupSql(DbConnection& db, const WriteOffTable& t, const WriteOffRequest& r,
                    const std::vector<std::string>& settled)
{
    const std::string lineCheck =
        t.lines[0] ? std::string(" and exists (select 1 from ") + t.lines + " where " + t.linePrefix + "001=" +
                         t.col(t.docType) + " and " + t.linePrefix + "002=" + t.col(t.docNo) + ")"
                   : std::string();
    std::string amountCols;
    for (int c : t.original)
        amountCols += ", " + t.col(c);
    for (int c : t.local)
        amountCols += ", " + t.col(c);
    // The image before settling comes with the lookup; on PostgreSQL the row stays locked
    // from here to the commit, so that it is still what the image shows when it is settled
    // (SQLite's write transaction keeps every other writer out already).
    for (const std::string& c : settled)
        amountCols += ", " + std::string(t.table) + "." + c;
    const std::string lock = db.dialect() == DbDialect::PostgreSQL ? " FOR UPDATE OF " + std::string(t.table) : "";
    // The chosen documents are looked up some at a time: the pairs (type, number) a key may
    // name are joined as a list of values, whose first column tells which pair a row is of.
    const std::string lookupHead = "SELECT K.column1, " + t.col(t.supplier) + ", " + t.col(t.currency) + ", "
                                   + t.col(t.status) + ", " + t.col(t.paidOriginal) + ", " + t.col(t.paidLocal) + ", "
                                   + t.table + ".FLAG, case when " + t.openCondition + lineCheck
                                   + " then 1 else 0 end, case when " + selectionCondition(t, r)
                                   + " then 1 else 0 end" + amountCols + " FROM (VALUES ";
    const std::string lookupTail = ") AS K JOIN " + std::string(t.table) + " ON " + t.col(t.docType) + " = K.column2 AND "
                                   + t.col(t.docNo) + " = K.column3 LEFT JOIN CMSMQ ON MQ001 = " + t.col(t.docType)
                                   + lock;
    return {lookupHead, lookupTail};
}

// A chosen name (by its index in the request) read as one document type and number.
struct Pair {
    std::size_t key;
    std::string type, number;
};

// Every way each chosen name splits into a known type and a number, in the request's order.
std::vector<Pair> pairsOf(const WriteOffRequest& r, const std::vector<std::string>& docTypes)
{
    std::vector<Pair> pairs;
    pairs.reserve(r.documents.size());
    for (std::size_t k = 0; k < r.documents.size(); ++k) {
        const std::string& name = r.documents[k];
        for (const std::string& type : docTypes)
            if (!type.empty() && name.size() > type.size() && name.compare(0, type.size(), type) == 0)
                pairs.push_back({k, type, name.substr(type.size())});
    }
    return pairs;
}

// What each pair found, in the order of the pairs.
std::vector<std::vector<Candidate>> lookUpPairs(DbConnection& db, const WriteOffTable& t, const WriteOffRequest& r,
                                                const LookupSql& lookup, const std::vector<Pair>& pairs)
{
    std::vector<std::vector<Candidate>> ofPair(pairs.size());
    constexpr std::size_t kPairsPerLookup = 100;
    for (std::size_t from = 0; from < pairs.size(); from += kPairsPerLookup) {
        const std::size_t to = std::min(pairs.size(), from + kPairsPerLookup);
        std::string sql = lookup.head;
        DbParams params{{"WDATE", r.writeOffDate}, {"CUR", r.currency}};
        params.reserve(2 + 2 * (to - from));
        for (std::size_t i = from; i < to; ++i) {
            const std::string n = std::to_string(i - from);
            sql += (i > from ? ", (" : "(") + std::to_string(i - from) + ", :T" + n + ", :N" + n + ")";
            params.push_back({"T" + n, pairs[i].type});
            params.push_back({"N" + n, pairs[i].number});
        }
        sql += lookup.tail;
        db.forEachRow(sql, params, [&](std::vector<Variant>& row) {
            const std::size_t at = from + std::size_t(row[0].toInt());
            if (at >= to)
                throw DbError("The document lookup answered a row of no document it asked for");
            Candidate c;
            c.type = pairs[at].type;
            c.number = pairs[at].number;
            c.supplier = text(row[1]);
            c.currency = text(row[2]);
            c.status = text(row[3]);
            c.paidOriginal = AmountOf(row[4]);
            c.paidLocal = AmountOf(row[5]);
            c.flag = row[6];
            c.open = row[7].toInt() == 1;
            c.selected = row[8].toInt() == 1;
            std::size_t i = 9;
            for (std::size_t n = 0; n < t.original.size(); ++n)
                c.original += AmountOf(row[i++]);
            for (std::size_t n = 0; n < t.local.size(); ++n)
                c.local += AmountOf(row[i++]);
            c.before = imageOf(row, i);
            ofPair[at].push_back(std::move(c));
            return true;
        });
    }
    return ofPair;
}

// The one document each chosen name found; when any is missing, ambiguous, settled, not
// open or outside the run, all of them are refused with the first ten reasons.
std::vector<Candidate> acceptedDocuments(const WriteOffRequest& r, const std::vector<Pair>& pairs,
                                         std::vector<std::vector<Candidate>>& ofPair)
{
    std::vector<Candidate> chosen;
    chosen.reserve(r.documents.size());
    std::vector<std::string> refused;
    int refusedCount = 0;
    auto refuse = [&](const std::string& why) {
        if (++refusedCount <= 10)
            refused.push_back(why);
    };
    std::size_t nextPair = 0;
    for (std::size_t key = 0; key < r.documents.size(); ++key) {
        const std::string& k = r.documents[key];
        std::vector<Candidate> found;
        for (; nextPair < pairs.size() && pairs[nextPair].key == key; ++nextPair)
            for (Candidate& c : ofPair[nextPair])
                found.push_back(std::move(c));
        if (found.empty()) {
            refuse(MessageCode("E;200651", {k}));
        } else if (found.size() > 1) {
            refuse(MessageCode("E;200652", {k, docName(found[0].type, found[0].number),
                                             docName(found[1].type, found[1].number)}));
        } else {
            Candidate& c = found[0];
            const std::string name = docName(c.type, c.number);
            if (c.status == "3")
                refuse(MessageCode("E;200653", {name}));
            else if (!c.open)
                refuse(MessageCode("E;200654", {name, c.status}));
            else if (!c.selected)
                refuse(MessageCode("E;200655", {name}));
            else if (SameTextAscii(c.supplier, r.transferSupplier))
                refuse(MessageCode("E;200656", {name, r.transferSupplier}));
            else
                chosen.push_back(std::move(c));
        }
    }
    if (refusedCount > 0) {
        std::string why =
            MessageCode("E;200650", {std::to_string(refusedCount), std::to_string(r.documents.size())});
        for (const std::string& reason : refused)
            why = MessageLines(why, reason);
        if (refusedCount > int(refused.size()))
            why = MessageLines(why, MessageCode("E;200657", {std::to_string(refusedCount - int(refused.size()))}));
        throw WriteOffError(why);
    }
    return chosen;
}

// Every chosen document: found, open and within the run's conditions; with its image
// before settling (the settled columns).
std::vector<Candidate> chosenDocuments(DbConnection& db, const WriteOffTable& t, const WriteOffRequest& r,
                                       const std::vector<std::string>& settled)
{
    const std::vector<std::string> docTypes = documentTypes(db, t);
    const LookupSql lookup = lookupSql(db, t, r, settled);
    const std::vector<Pair> pairs = pairsOf(r, docTypes);
    std::vector<std::vector<Candidate>> ofPair = lookUpPairs(db, t, r, lookup, pairs);
    return acceptedDocuments(r, pairs, ofPair);
}

// On the server the documents are settled some at a time, each statement joining
// its documents as a list of values whose first column tells which one a row is.
// The amounts arrive as text; "::NUMERIC" keeps them as written (CAST AS NUMERIC
// would be read as the suite's NUMERIC(18,0) and round them).
void settleSomeAtATime(DbConnection& db, const WriteOffTable& t, const WriteOffRequest& r, const WriteOffContext& ctx,
                       const std::vector<std::string>& settled, const std::vector<Candidate>& chosen,
                       std::vector<Variant>& afters)
{
    constexpr std::size_t kPerUpdate = 100;
    std::string returningOf;
    for (std::size_t i = 0; i < settled.size(); ++i)
        returningOf += ", " + std::string(t.table) + "." + settled[i];
    for (std::size_t from = 0; from < chosen.size(); from += kPerUpdate) {
        const std::size_t to = std::min(chosen.size(), from + kPerUpdate);
        std::string sql = "UPDATE " + std::string(t.table) + " SET " + t.col(t.status) + " = '3', "
                          + t.col(t.paidOriginal) + " = V.column4::NUMERIC, " + t.col(t.paidLocal)
                          + " = V.column5::NUMERIC, MODIFIER = :U, MODI_DATE = :S, FLAG = "
                          + t.table + ".FLAG + 1 FROM (VALUES ";
        DbParams params{{"U", r.userCode}, {"S", ctx.stamp}};
        params.reserve(2 + 5 * (to - from));
        for (std::size_t i = from; i < to; ++i) {
            const Candidate& c = chosen[i];
            const std::string n = std::to_string(i - from);
            sql += (i > from ? ", (" : "(") + n + ", :T" + n + ", :N" + n + ", :PO" + n + ", :PL" + n + ", :OLD"
                   + n + ")";
            params.insert(params.end(), {{"T" + n, c.type},
                                         {"N" + n, c.number},
                                         {"PO" + n, AmountValue(c.original)},
                                         {"PL" + n, AmountValue(c.local)},
                                         {"OLD" + n, c.status}});
        }
        sql += ") AS V WHERE " + t.col(t.docType) + " = V.column2 AND " + t.col(t.docNo) + " = V.column3 AND "
               + t.col(t.status) + " = V.column6 RETURNING V.column1" + returningOf;
        db.forEachRow(sql, params, [&](std::vector<Variant>& row) {
            const std::size_t at = from + std::size_t(row[0].toInt());
            if (at >= to || !afters[at].isEmpty())
                throw DbError("The settling answered a row of no document it settled");
            afters[at] = imageOf(row, 1);
            return true;
        });
    }
}

// SQLite settles one document to a statement, and stops at the first that changed.
void settleEach(DbConnection& db, const WriteOffTable& t, const WriteOffRequest& r, const WriteOffContext& ctx,
                const std::vector<std::string>& settled, const std::vector<Candidate>& chosen,
                std::vector<Variant>& afters)
{
    // The update answers the image after settling; no row means the document changed.
    std::string returning;
    for (std::size_t i = 0; i < settled.size(); ++i)
        returning += (i ? ", " : " RETURNING ") + settled[i];
    const std::string settleSql = "UPDATE " + std::string(t.table) + " SET " + t.col(t.status) + " = '3', "
                                  + t.col(t.paidOriginal) + " = :PO, " + t.col(t.paidLocal)
                                  + " = :PL, MODIFIER = :U, MODI_DATE = :S, FLAG = FLAG + 1 WHERE " + t.col(t.docType)
                                  + " = :T AND " + t.col(t.docNo) + " = :N AND " + t.col(t.status) + " = :OLD"
                                  + returning;
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        const Candidate& c = chosen[i];
        db.forEachRow(settleSql,
                      {{"PO", AmountValue(c.original)},
                       {"PL", AmountValue(c.local)},
                       {"U", r.userCode},
                       {"S", ctx.stamp},
                       {"T", c.type},
                       {"N", c.number},
                       {"OLD", c.status}},
                      [&](std::vector<Variant>& row) {
                          afters[i] = imageOf(row, 0);
                          return true;
                      });
        if (afters[i].isEmpty())
            break; // named below
    }
}

// Settles the chosen documents, keeping the columns before and after; answers the image
// after settling, by chosen document, Empty where its row did not change.
std::vector<Variant> settleDocuments(DbConnection& db, const WriteOffTable& t, const WriteOffRequest& r,
                                     const WriteOffContext& ctx, const std::vector<std::string>& settled,
                                     const std::vector<Candidate>& chosen)
{
    std::vector<Variant> afters(chosen.size());
    if (db.dialect() == DbDialect::PostgreSQL)
        settleSomeAtATime(db, t, r, ctx, settled, chosen, afters);
    else
        settleEach(db, t, r, ctx, settled, chosen, afters);
    return afters;
}

// The settled documents as the batch records them.
struct SettledBatch {
    WriteOffOutcome out;
    std::map<std::string, std::size_t> byCurrency; // index into out.totals
    std::vector<std::string> images;               // each document's LC020: before and after
};

// Every chosen document must have been settled; answers the written-off documents, with
// their images and the totals by currency.
SettledBatch settledBatch(DbConnection& db, const std::string& key, const std::string& madeType,
                          const std::vector<Candidate>& chosen, const std::vector<Variant>& afters)
{
    SettledBatch s;
    WriteOffOutcome& out = s.out;
    out.batchKey = key;
    std::vector<std::string>& images = s.images;
    images.reserve(chosen.size());
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        const Candidate& c = chosen[i];
        if (afters[i].isEmpty())
            throw WriteOffError(MessageCode("E;200665", {docName(c.type, c.number)}));
        images.push_back(EncodeVariantText(Variant::list({c.before, afters[i]})));
        WrittenOffDocument d{c.type, c.number, c.supplier, c.currency, c.original - c.paidOriginal,
                             c.local - c.paidLocal, madeType, {}};
        auto [it, added] = s.byCurrency.emplace(d.currency, out.totals.size());
        if (added)
            out.totals.push_back({d.currency, 0, {}, {}, madeType, {}, currencyDecimals(db, d.currency)});
        WriteOffCurrencyTotal& total = out.totals[it->second];
        ++total.documents;
        total.original += d.original;
        total.local += d.local;
        out.documents.push_back(std::move(d));
    }
    return s;
}

// The balance goes to the transfer supplier: one document per currency.
void writeMadeDocuments(DbConnection& db, const WriteOffRequest& r, const WriteOffContext& ctx, const std::string& key,
                        const std::string& madeType, std::vector<WriteOffCurrencyTotal>& totals)
{
    for (WriteOffCurrencyTotal& total : totals) {
        Decimal rate = Decimal::fromInt(1);
        if (!total.original.isZero())
            rate = total.local.dividedBy(total.original, 7);
        const Variant audit[] = {r.companyCode, r.userCode, ctx.stamp};
        if (r.type == 3) {
            total.madeNumber = nextNumber(db, "ACPTK", "TK001", "TK002", madeType, r.writeOffDate);
            db.execute("INSERT INTO ACPTK (TK001, TK002, TK003, TK004, TK007, TK008, TK009, TK014, TK020, TK022, "
                       "TK027, TK028, TK030, TK031, TK035, TK036, TK037, TK039, TK043, COMPANY, CREATOR, CREATE_DATE, "
                       "FLAG) VALUES (:T, :N, :D, :S, :C, :R, :K, '', 'Y', :D, '', '1', :O, :L, '0', '0', '0', '0', "
                       "'1', :CO, :CR, :ST, 0)",
                       {{"T", madeType}, {"N", total.madeNumber}, {"D", r.writeOffDate}, {"S", r.transferSupplier},
                        {"C", total.currency}, {"R", AmountValue(rate)}, {"K", key}, {"O", AmountValue(total.original)},
                        {"L", AmountValue(total.local)}, {"CO", audit[0]}, {"CR", audit[1]}, {"ST", audit[2]}});
        } else {
            total.madeNumber = nextNumber(db, "ACPTI", "TI001", "TI002", madeType, r.writeOffDate);
            db.execute("INSERT INTO ACPTI (TI001, TI002, TI003, TI004, TI007, TI008, TI012, TI013, TI015, TI016, "
                       "TI017, TI018, TI019, TI026, TI029, TI031, TI032, TI035, TI043, TI044, COMPANY, CREATOR, "
                       "CREATE_DATE, FLAG) VALUES (:T, :N, :D, :S, :C, :R, :K, 'Y', :O, :L, '0', '0', :D, '0', '1', "
                       "'1', '0', '1', 'N', '', :CO, :CR, :ST, 0)",
                       {{"T", madeType}, {"N", total.madeNumber}, {"D", r.writeOffDate}, {"S", r.transferSupplier},
                        {"C", total.currency}, {"R", AmountValue(rate)}, {"K", key}, {"O", AmountValue(total.original)},
                        {"L", AmountValue(total.local)}, {"CO", audit[0]}, {"CR", audit[1]}, {"ST", audit[2]}});
            db.execute("INSERT INTO ACPTJ (TJ001, TJ002, TJ003, TJ004, TJ005, TJ006, COMPANY, CREATOR, CREATE_DATE, "
                       "FLAG) VALUES (:T, :N, '0001', :K, :O, :L, :CO, :CR, :ST, 0)",
                       {{"T", madeType}, {"N", total.madeNumber}, {"K", key + " " + std::to_string(total.documents)},
                        {"O", AmountValue(total.original)}, {"L", AmountValue(total.local)}, {"CO", audit[0]},
                        {"CR", audit[1]}, {"ST", audit[2]}});
        }
    }
}

// The batch: one row per document, written some rows to a statement. Its key decides
// between two runs of one number.
void recordBatch(DbConnection& db, const WriteOffTable& t, const WriteOffRequest& r, const WriteOffContext& ctx,
                 const std::string& key, SettledBatch& s)
{
    WriteOffOutcome& out = s.out;
    constexpr std::size_t kLinesPerInsert = 50;
    const bool refund = r.type == 3;
    const DbParams shared{{"K", key},           {"TY", std::string(t.kindColumn)}, {"D", r.writeOffDate},
                          {"X", r.transferSupplier}, {"RT", r.refundType},       {"REQ", r.requestNo},
                          {"RUN", r.extra},     {"CO", r.companyCode},            {"CR", r.userCode},
                          {"ST", ctx.stamp}};
    for (std::size_t from = 0; from < out.documents.size(); from += kLinesPerInsert) {
        const std::size_t to = std::min(out.documents.size(), from + kLinesPerInsert);
        std::string sql = "INSERT INTO ACPLC (LC001, LC002, LC003, LC004, LC005, LC006, LC007, LC008, LC009, LC010, "
                          "LC011, LC012, LC013, LC014, LC015, LC018, LC019, LC020, LC021, COMPANY, CREATOR, "
                          "CREATE_DATE, FLAG) VALUES ";
        DbParams params = shared;
        params.reserve(shared.size() + (to - from) * 11);
        for (std::size_t i = from; i < to; ++i) {
            WrittenOffDocument& d = out.documents[i];
            const WriteOffCurrencyTotal& total = out.totals[s.byCurrency[d.currency]];
            d.madeNumber = total.madeNumber;
            char line[24];
            std::snprintf(line, sizeof line, "%06zu", i + 1);
            const std::string n = std::to_string(i - from);
            sql += (i > from ? ", (:K, :LINE" : "(:K, :LINE") + n + ", :TY, :D, :T" + n + ", :N" + n + ", :S" + n
                   + ", :X, :C" + n + ", :O" + n + ", :L" + n + ", :RT, :RN" + n + ", :REQ, 'N', :XT" + n + ", :XN" + n
                   + ", :IMG" + n + ", :RUN, :CO, :CR, :ST, 0)";
            params.insert(params.end(), {{"LINE" + n, std::string(line)},
                                         {"T" + n, d.type},
                                         {"N" + n, d.number},
                                         {"S" + n, d.supplier},
                                         {"C" + n, d.currency},
                                         {"O" + n, AmountValue(d.original)},
                                         {"L" + n, AmountValue(d.local)},
                                         {"RN" + n, refund ? total.madeNumber : std::string()},
                                         {"XT" + n, refund ? std::string() : total.madeType},
                                         {"XN" + n, refund ? std::string() : total.madeNumber},
                                         {"IMG" + n, s.images[i]}});
        }
        try {
            db.execute(sql, params);
        } catch (const DbError& e) {
            if (e.kind() == DbErrorKind::UniqueViolation)
                throw WriteOffError(MessageCode("E;200658", {r.batchNo, key}));
            throw;
        }
    }
}

} // namespace

std::string WriteOffTable::col(int number) const
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%03d", number);
    return prefix + buf;
}

const WriteOffTable& WriteOffTableOf(int type)
{
    static const WriteOffTable tables[3] = {makeTable(1), makeTable(2), makeTable(3)};
    if (type < 1 || type > 3)
        throw WriteOffError("Unknown write-off type " + std::to_string(type));
    return tables[type - 1];
}

std::vector<std::string> SettlementColumns(const WriteOffTable& t)
{
    return {t.col(t.status), t.col(t.paidOriginal), t.col(t.paidLocal), "MODIFIER", "MODI_DATE", "FLAG"};
}

Decimal AmountOf(const Variant& value)
{
    switch (value.type()) {
    case VarType::Empty:
    case VarType::Null:
        return {};
    case VarType::Int:
    case VarType::Int64:
        return Decimal::fromInt(value.toInt64());
    case VarType::Double:
        return Decimal::fromDouble(value.toDouble());
    default: {
        const std::string s = TrimmedText(value);
        if (s.empty())
            return {};
        Decimal d;
        if (!Decimal::tryParse(s, d))
            throw WriteOffError("The amount \"" + s + "\" is no number");
        return d;
    }
    }
}

Variant AmountValue(const Decimal& amount)
{
    return Variant(amount.toString());
}

void EnsureWriteOffColumns(DbConnection& db)
{
    static const std::pair<const char*, const char*> columns[] = {
        {"LC015", "VARCHAR(1) NOT NULL DEFAULT 'N'"}, {"LC016", "VARCHAR(10) NOT NULL DEFAULT ''"},
        {"LC017", "VARCHAR(17) NOT NULL DEFAULT ''"}, {"LC018", "VARCHAR(4) NOT NULL DEFAULT ''"},
        {"LC019", "VARCHAR(11) NOT NULL DEFAULT ''"}, {"LC020", "TEXT NOT NULL DEFAULT ''"},
        {"LC021", "VARCHAR(40) NOT NULL DEFAULT ''"},
    };
    try {
        db.query("SELECT LC015, LC016, LC017, LC018, LC019, LC020, LC021 FROM ACPLC WHERE 1 = 0");
        return;
    } catch (const DbError&) {
    }
    for (const auto& [name, type] : columns) {
        try {
            db.query(std::string("SELECT ") + name + " FROM ACPLC WHERE 1 = 0");
        } catch (const DbError&) {
            db.execute(std::string("ALTER TABLE ACPLC ADD COLUMN ") + name + " " + type);
        }
    }
}

WriteOffOutcome RunWriteOff(DbConnection& db, const WriteOffRequest& r, const WriteOffContext& ctx)
{
    const WriteOffTable& t = WriteOffTableOf(r.type);
    const std::string key = r.batchKey();
    checkWriteOffMonth(r, ctx);

    EnsureWriteOffColumns(db);
    DbTransaction tx(db, DbTransaction::Write);
    if (std::optional<WriteOffOutcome> again = earlierAttempt(db, r, ctx, key))
        return std::move(*again);
    const std::string madeType = checkedMadeType(db, r);

    const std::vector<std::string> settled = SettlementColumns(t);
    const std::vector<Candidate> chosen = chosenDocuments(db, t, r, settled);
    const std::vector<Variant> afters = settleDocuments(db, t, r, ctx, settled, chosen);
    SettledBatch s = settledBatch(db, key, madeType, chosen, afters);
    writeMadeDocuments(db, r, ctx, key, madeType, s.out.totals);
    recordBatch(db, t, r, ctx, key, s);

    for (WriteOffCurrencyTotal& total : s.out.totals)
        total.madeType = madeType;
    s.out.localDecimals = localDecimals(db, ctx);
    tx.commit();
    return std::move(s.out);
}

std::string WriteOffSummary(const WriteOffOutcome& o)
{
    std::string s = o.documents.size() == 1
                        ? MessageCode("I;200681", {o.batchKey})
                        : MessageCode("I;200680", {o.batchKey, std::to_string(o.documents.size())});
    for (const WriteOffCurrencyTotal& t : o.totals) {
        const std::string original = ShownAmountText(t.original, t.decimals);
        const std::string local = ShownAmountText(t.local, o.localDecimals);
        s = MessageLines(s, t.madeNumber.empty()
                                ? MessageCode("I;200682", {t.currency, original, local})
                                : MessageCode("I;200683", {t.currency, original, local,
                                                           docName(t.madeType, t.madeNumber)}));
    }
    return s;
}
