#include "writeoffserver/WriteOffReversal.h"

#include "wire/VariantStream.h"
#include "writeoffserver/WriteOff.h"
#include "writeoffserver/WriteOffRequest.h"

#include <set>
#include <tuple>

namespace {

std::string text(const Variant& v)
{
    return TrimmedText(v);
}

struct BatchLine {
    int type = 0;
    std::string docType, docNo;
    Variant before, after;
};

struct MadeDocument {
    int type; // the write-off type that made it
    std::string docType, docNo;
    bool operator<(const MadeDocument& o) const
    {
        return std::tie(type, docType, docNo) < std::tie(o.type, o.docType, o.docNo);
    }
};

Variant currentImage(DbConnection& db, const WriteOffTable& t, const std::vector<std::string>& columns,
                     const std::string& docType, const std::string& docNo)
{
    std::string sql = "SELECT ";
    for (std::size_t i = 0; i < columns.size(); ++i)
        sql += (i ? ", " : "") + columns[i];
    sql += " FROM " + std::string(t.table) + " WHERE " + t.col(t.docType) + " = :T AND " + t.col(t.docNo) + " = :N";
    Variant values;
    db.forEachRow(sql, {{"T", docType}, {"N", docNo}}, [&](const std::vector<Variant>& row) {
        values = Variant::array(0, int(row.size()) - 1);
        for (std::size_t i = 0; i < row.size(); ++i)
            values[int(i)] = row[i];
        return false;
    });
    return values;
}

// The batch as recorded: its documents with their images, and the documents it made.
struct RecordedBatch {
    std::vector<BatchLine> lines;
    std::set<MadeDocument> made;
};

// Reads the batch; refused when there is none, when it was reversed already or cannot be.
RecordedBatch recordedBatch(DbConnection& db, const std::string& key)
{
    const DbRowSet rows = db.query("SELECT LC003, LC005, LC006, LC012, LC013, LC015, LC016, LC017, LC018, LC019, LC020 "
                                   "FROM ACPLC WHERE LC001 = :K ORDER BY LC002",
                                   {{"K", key}});
    if (rows.empty())
        throw WriteOffError("There is no write-off batch " + key);
    RecordedBatch b;
    std::vector<BatchLine>& lines = b.lines;
    std::set<MadeDocument>& made = b.made;
    for (const std::vector<Variant>& row : rows.rows) {
        if (text(row[5]) == "Y")
            throw WriteOffError("The write-off batch " + key + " was reversed already by " + text(row[6]) + " at "
                                + text(row[7]));
        BatchLine l;
        l.type = std::atoi(text(row[0]).c_str());
        l.docType = text(row[1]);
        l.docNo = text(row[2]);
        const std::string image = text(row[10]);
        if (l.type < 1 || l.type > 3 || image.empty())
            throw WriteOffError("The write-off batch " + key + " was recorded without the documents' earlier state "
                                "and cannot be reversed");
        try {
            const Variant both = DecodeVariantText(image);
            l.before = both[0];
            l.after = both[1];
        } catch (const std::exception&) {
            throw WriteOffError("The write-off batch " + key + " holds an unreadable state of " + l.docType + "-"
                                + l.docNo + " and cannot be reversed");
        }
        const std::string madeType = text(row[l.type == 3 ? 3 : 8]);
        const std::string madeNo = text(row[l.type == 3 ? 4 : 9]);
        if (!madeNo.empty())
            made.insert({l.type, madeType, madeNo});
        lines.push_back(std::move(l));
    }
    return b;
}

// Nothing may have changed since the run.
void checkUnchanged(DbConnection& db, const std::string& key, const RecordedBatch& b)
{
    std::vector<std::string> changed;
    for (const BatchLine& l : b.lines) {
        const WriteOffTable& t = WriteOffTableOf(l.type);
        const Variant now = currentImage(db, t, SettlementColumns(t), l.docType, l.docNo);
        if (now.isEmpty())
            changed.push_back(l.docType + "-" + l.docNo + " was deleted");
        else if (EncodeVariant(now) != EncodeVariant(l.after))
            changed.push_back(l.docType + "-" + l.docNo + " was changed");
    }
    for (const MadeDocument& m : b.made) {
        const bool refund = m.type == 3;
        const char* table = refund ? "ACPTK" : "ACPTI";
        const std::string p = refund ? "TK" : "TI";
        const std::string status = p + (refund ? "028" : "029");
        const std::string paid = p + (refund ? "035" : "017");
        const DbRowSet doc = db.query("SELECT " + status + ", FLAG, case when Round(" + paid
                                          + ",3)=0.0 then 1 else 0 end FROM " + table + " WHERE " + p + "001 = :T AND "
                                          + p + "002 = :N",
                                      {{"T", m.docType}, {"N", m.docNo}});
        const std::string what = std::string(refund ? "the refund document " : "the transfer document ") + m.docType
                                 + "-" + m.docNo;
        if (doc.empty())
            changed.push_back(what + " was deleted");
        else if (text(doc.rows[0][0]) != "1" || doc.rows[0][1].toInt() != 0 || doc.rows[0][2].toInt() != 1)
            changed.push_back(what + " was settled, paid or edited");
    }
    if (!changed.empty()) {
        std::string why = "The write-off batch " + key + " cannot be reversed: its documents changed since the run: ";
        for (std::size_t i = 0; i < changed.size() && i < 10; ++i)
            why += (i ? "; " : "") + changed[i];
        if (changed.size() > 10)
            why += "; and " + std::to_string(changed.size() - 10) + " more";
        throw WriteOffError(why);
    }
}

// Puts every document's settlement columns back as they were and removes the documents
// the run made.
void restoreBatch(DbConnection& db, const RecordedBatch& b, WriteOffReversal& out)
{
    for (const BatchLine& l : b.lines) {
        const WriteOffTable& t = WriteOffTableOf(l.type);
        const std::vector<std::string> columns = SettlementColumns(t);
        std::string sql = "UPDATE " + std::string(t.table) + " SET ";
        DbParams params;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            sql += (i ? ", " : "") + columns[i] + " = :V" + std::to_string(i);
            params.emplace_back("V" + std::to_string(i), l.before[int(i)]);
        }
        sql += " WHERE " + t.col(t.docType) + " = :T AND " + t.col(t.docNo) + " = :N";
        params.emplace_back("T", l.docType);
        params.emplace_back("N", l.docNo);
        db.execute(sql, params);
        ++out.documents;
    }
    for (const MadeDocument& m : b.made) {
        if (m.type == 3) {
            db.execute("DELETE FROM ACPTK WHERE TK001 = :T AND TK002 = :N", {{"T", m.docType}, {"N", m.docNo}});
        } else {
            db.execute("DELETE FROM ACPTJ WHERE TJ001 = :T AND TJ002 = :N", {{"T", m.docType}, {"N", m.docNo}});
            db.execute("DELETE FROM ACPTI WHERE TI001 = :T AND TI002 = :N", {{"T", m.docType}, {"N", m.docNo}});
        }
        ++out.removed;
    }
}

} // namespace

WriteOffReversal ReverseWriteOffBatch(DbConnection& db, const std::string& batchNo, const std::string& userCode,
                                      const std::string& stamp)
{
    WriteOffReversal out;
    out.batchKey = WriteOffRequest::BatchKey(StoredBatchNo(batchNo));
    const std::string& key = out.batchKey;
    EnsureWriteOffColumns(db);
    DbTransaction tx(db, DbTransaction::Write);

    const RecordedBatch batch = recordedBatch(db, key);
    checkUnchanged(db, key, batch);
    restoreBatch(db, batch, out);
    db.execute("UPDATE ACPLC SET LC015 = 'Y', LC016 = :U, LC017 = :S, MODIFIER = :U, MODI_DATE = :S, FLAG = FLAG + 1 "
               "WHERE LC001 = :K",
               {{"U", userCode}, {"S", stamp}, {"K", key}});
    tx.commit();
    return out;
}

std::string WriteOffReversalSummary(const WriteOffReversal& r)
{
    return "Batch " + r.batchKey + " reversed: " + std::to_string(r.documents)
           + (r.documents == 1 ? " document restored, " : " documents restored, ") + std::to_string(r.removed)
           + (r.removed == 1 ? " transfer or refund document removed" : " transfer or refund documents removed");
}
