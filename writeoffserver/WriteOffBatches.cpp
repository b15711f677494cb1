#include "writeoffserver/WriteOffBatches.h"

#include "platform/AsciiText.h"
#include "writeoffserver/WriteOff.h"
#include "writeoffserver/WriteOffRequest.h"

#include <cstdlib>
#include <map>
#include <optional>

namespace {

std::string text(const Variant& v)
{
    return v.isEmptyOrNull() ? std::string() : TrimmedText(v);
}

// The names, decimals and local currency a reading shows, each looked up once.
class Lookups {
public:
    explicit Lookups(const WriteOffBatchSource& source) : source_(source) {}

    std::string userName(const std::string& code)
    {
        return cached(users_, source_.system, "SELECT MA002 FROM QVRMA WHERE MA001 = :C", code);
    }
    std::string supplierName(const std::string& code)
    {
        return cached(suppliers_, source_.company, "SELECT MA002 FROM PURMA WHERE MA001 = :C", code);
    }
    // As the write-off shows amounts: the currency's decimals, 2 when it has none that fit.
    int decimals(const std::string& currency)
    {
        const std::string d = cached(decimals_, source_.company, "SELECT MF004 FROM CMSMF WHERE MF001 = :C", currency);
        char* end = nullptr;
        const long n = std::strtol(d.c_str(), &end, 10);
        return d.empty() || *end != '\0' || n < 0 || n > 7 ? 2 : int(n);
    }
    const std::string& localCurrency()
    {
        if (!local_) {
            local_.emplace();
            source_.system.forEachRow("SELECT MS002, MS003 FROM ADMMS WHERE MS001 = :C", {{"C", source_.companyCode}},
                                      [&](const std::vector<Variant>& row) {
                                          if (upperAscii(text(row[0])) == "SYS003")
                                              *local_ = text(row[1]);
                                          return true;
                                      });
        }
        return *local_;
    }

private:
    static std::string cached(std::map<std::string, std::string>& cache, DbConnection& db, const char* sql,
                              const std::string& code)
    {
        if (code.empty())
            return {};
        auto it = cache.find(code);
        if (it == cache.end())
            it = cache.emplace(code, text(db.scalar(sql, {{"C", code}}))).first;
        return it->second;
    }

    const WriteOffBatchSource& source_;
    std::map<std::string, std::string> users_, suppliers_, decimals_;
    std::optional<std::string> local_;
};

// LC015-LC021 came with a later version; reading must not add them as a run does.
bool hasLaterColumns(DbConnection& db)
{
    try {
        db.query("SELECT LC015, LC016, LC017, LC018, LC019, LC021 FROM ACPLC WHERE 1 = 0");
        return true;
    } catch (const DbError&) {
        return false;
    }
}

// One row a batch: what its first line says of the run (every line says the same), and
// how many lines it has. Newest first; a batch of an older program without the moment last.
std::string headSql(bool later, bool oneBatch)
{
    return std::string("SELECT LC001, MIN(LC003), MIN(LC004), MIN(LC008), MIN(LC014), MIN(CREATOR), "
                       "COALESCE(MIN(CREATE_DATE), '') AS RAN_AT, COUNT(*), ")
           + (later ? "MAX(LC015), MAX(LC016), MAX(LC017), MIN(LC021)" : "'N', '', '', ''") + " FROM ACPLC WHERE "
           + (oneBatch ? "LC001 = :K" : "LC001 LIKE 'WOFB07-%'") + " GROUP BY LC001 ORDER BY RAN_AT DESC, LC001 DESC";
}

WriteOffBatchSummary summaryOf(const std::vector<Variant>& row, Lookups& names)
{
    WriteOffBatchSummary s;
    const std::string key = text(row[0]);
    s.batchNo = key.substr(std::min(key.size(), WriteOffRequest::BatchKey("").size()));
    const int type = std::atoi(text(row[1]).c_str());
    s.type = type >= 1 && type <= 3 ? type : 0;
    s.writeOffDate = text(row[2]);
    s.transferSupplier = text(row[3]);
    s.transferSupplierName = names.supplierName(s.transferSupplier);
    s.requestNo = text(row[4]);
    s.ranBy = text(row[5]);
    s.ranByName = names.userName(s.ranBy);
    s.ranAt = text(row[6]);
    s.documents = int(row[7].toInt64());
    s.reversed = text(row[8]) == "Y";
    s.reversedBy = text(row[9]);
    s.reversedByName = names.userName(s.reversedBy);
    s.reversedAt = text(row[10]);
    s.queued = !s.requestNo.empty() && text(row[11]).rfind(s.requestNo, 0) == 0;
    s.localCurrency = names.localCurrency();
    s.localDecimals = s.localCurrency.empty() ? 2 : names.decimals(s.localCurrency);
    return s;
}

WriteOffBatchTotal& totalOf(WriteOffBatchSummary& s, const std::string& currency, Lookups& names)
{
    for (WriteOffBatchTotal& t : s.totals)
        if (t.currency == currency)
            return t;
    s.totals.push_back({currency, names.decimals(currency), 0, {}, {}});
    return s.totals.back();
}

void addDocument(WriteOffBatchSummary& s, const std::string& currency, const Decimal& original, const Decimal& local,
           Lookups& names)
{
    WriteOffBatchTotal& t = totalOf(s, currency, names);
    ++t.documents;
    t.original += original;
    t.local += local;
}

void addTotals(DbConnection& db, WriteOffBatchSummary& s, Lookups& names)
{
    db.forEachRow("SELECT LC009, LC010, LC011 FROM ACPLC WHERE LC001 = :K ORDER BY LC002", {{"K", s.batchKey()}},
                  [&](const std::vector<Variant>& row) {
                      addDocument(s, text(row[0]), AmountOf(row[1]), AmountOf(row[2]), names);
                      return true;
                  });
}

// The documents with their dates and suppliers' names, the document each went to.
std::string documentSql(int type, bool later)
{
    std::string made = type == 3 ? "A.LC012, A.LC013" : later ? "A.LC018, A.LC019" : "'', ''";
    std::string date = "''", join;
    if (type >= 1 && type <= 3) {
        const WriteOffTable& t = WriteOffTableOf(type);
        date = "D." + t.col(t.docDate);
        join = " LEFT JOIN " + std::string(t.table) + " D ON D." + t.col(t.docType) + " = A.LC005 AND D."
               + t.col(t.docNo) + " = A.LC006";
    }
    return "SELECT A.LC005, A.LC006, A.LC007, P.MA002, A.LC009, A.LC010, A.LC011, " + made + ", " + date
           + " FROM ACPLC A LEFT JOIN PURMA P ON P.MA001 = A.LC007" + join + " WHERE A.LC001 = :K ORDER BY A.LC002";
}

void readDocuments(DbConnection& db, WriteOffBatchRecord& r, bool later, Lookups& names)
{
    WriteOffBatchSummary& s = r.summary;
    std::map<std::string, std::pair<std::string, std::string>> madeBy; // currency: type, number
    r.documents.reserve(std::size_t(s.documents));
    db.forEachRow(documentSql(s.type, later), {{"K", s.batchKey()}}, [&](const std::vector<Variant>& row) {
        WriteOffBatchDocument d{text(row[2]), text(row[3]),        text(row[0]),      text(row[1]),
                                text(row[9]), text(row[4]),        AmountOf(row[5]), AmountOf(row[6])};
        addDocument(s, d.currency, d.original, d.local, names);
        const std::string madeNo = text(row[8]);
        if (!madeNo.empty())
            madeBy.emplace(d.currency, std::make_pair(text(row[7]), madeNo));
        r.documents.push_back(std::move(d));
        return true;
    });
    for (const WriteOffBatchTotal& t : s.totals)
        if (const auto it = madeBy.find(t.currency); it != madeBy.end())
            r.made.push_back({s.type == 3, it->second.first, it->second.second, t.currency, t.original, t.local});
}

} // namespace

std::vector<WriteOffBatchSummary> ReadWriteOffBatches(const WriteOffBatchSource& source, std::size_t most)
{
    std::vector<WriteOffBatchSummary> batches;
    if (most == 0)
        return batches;
    Lookups names(source);
    source.company.forEachRow(headSql(hasLaterColumns(source.company), false), {}, [&](const std::vector<Variant>& row) {
        batches.push_back(summaryOf(row, names));
        return batches.size() < most;
    });
    for (WriteOffBatchSummary& s : batches)
        addTotals(source.company, s, names);
    return batches;
}

WriteOffBatchRecord ReadWriteOffBatch(const WriteOffBatchSource& source, const std::string& batchNo,
                                      std::size_t mostDocuments)
{
    const std::string key = WriteOffRequest::BatchKey(StoredBatchNo(batchNo));
    const bool later = hasLaterColumns(source.company);
    Lookups names(source);
    WriteOffBatchRecord r;
    bool found = false;
    source.company.forEachRow(headSql(later, true), {{"K", key}}, [&](const std::vector<Variant>& row) {
        r.summary = summaryOf(row, names);
        found = true;
        return false;
    });
    if (!found)
        throw WriteOffError("There is no write-off batch " + key);
    if (mostDocuments > 0 && std::size_t(r.summary.documents) > mostDocuments)
        throw DbError("The write-off batch " + key + " holds " + std::to_string(r.summary.documents)
                          + " documents, more than the " + std::to_string(mostDocuments) + " an answer may have",
                      DbErrorKind::RowLimit);
    r.companyCode = source.companyCode;
    r.companyName = text(source.system.scalar("SELECT MC002 FROM ADMMC WHERE MC001 = :C", {{"C", source.companyCode}}));
    readDocuments(source.company, r, later, names);
    return r;
}
