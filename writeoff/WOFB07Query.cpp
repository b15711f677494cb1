#include "writeoff/WOFB07Query.h"

#include "platform/AsciiText.h"
#include "dataset/ClientDataSet.h"
#include "support/Conditions.h"
#include "support/Dates.h"
#include "support/Helpers.h"

#include <algorithm>
#include <map>
#include <set>

const char* const kCandidateFieldList =
    "CheckData,GYSID,PURMA002,DJLX,DB,DH,FPID,DJRQ,Coin,HL,BMID,CMSME002,RYID,CMSMV002,ZT,YBYF,BBYF,YBBCZX,BBBCZX,BZ,"
    "XMBH,O1,O2,L1,L2,L3,L4,R1,R2";

const char* const kCandidateFields[21] = {"MA001", "MA002", "MA003", "MA400", "MA005", "MA006", "MA007",
                                          "MA008", "MA009", "MA010", "MA011", "MA012", "MA013", "MA014",
                                          "MA015", "MA016", "MA017", "MA021", "MA022", "MA020", "MA023"};

namespace {

struct TypeTexts {
    const char* select;
    const char* parts;   // the exact amount parts, appended to the select list
    const char* from;
    const char* joins;
};

const TypeTexts kTexts[3] = {
    {"select distinct 'N' as CheckData, TA004 as GYSID, PURMA.MA002 as PURMA002, MQ003 as DJLX, TA001 as DB,   TA002 as "
     "DH, TA014 as FPID, TA003 as DJRQ, TA008 as Coin, TA050 as HL, TA070 as BMID,   CMSME.ME002 as CMSME002, TA089 as "
     "RYID, CMSMV.MV002 as CMSMV002,    TA087 as ZT, isnull(TA028,0.0)+isnull(TA029,0.0) as YBYF,   "
     "isnull(TA028,0.0)+isnull(TA029,0.0) as YBBCZX,  (isnull(TA028,0.0)+isnull(TA029,0.0))*(case when "
     "Round(TA050,3)=0.0 then TA009 else TA050 end) as BBBCZX,   "
     "(isnull(TA037,0.0)+isnull(TA038,0.0)+isnull(TA051,0.0)-isnull(TA085,0.0)) as BBYF, TA021 as BZ,TA090 AS XMBH ",
     ", TA028 as O1, TA029 as O2, TA037 as L1, TA038 as L2, TA051 as L3, TA085 as L4, TA050 as R1, TA009 as R2 ",
     "from $$ACPTA as ACPTA  ",
     "  inner join $$ACPTB as ACPTB on TB001=TA001 and TB002=TA002   left join $$PURMA as PURMA on MA001=TA004   left "
     "join $$CMSMQ as CMSMQ on MQ001=TA001   left join $$CMSME as CMSME on ME001=TA070   left join $$CMSMV as CMSMV on "
     "MV001=TA089 "},
    {"select distinct 'N' as CheckData, TI004 as GYSID, PURMA.MA002 as PURMA002, CMSMQ.MQ003 as DJLX, TI001 as DB,   "
     "TI002 as DH, Null as FPID, TI003 as DJRQ, TI007 as Coin, TI026 as HL, TI006 as BMID,   CMSME.ME002 as CMSME002, "
     "TI005 as RYID, CMSMV.MV002 as CMSMV002,    TI029 as ZT, TI015 as YBYF,   "
     "isnull(TI016,0.0)+isnull(TI032,0.0)-isnull(TI018,0.0) as BBYF,    TI015 as YBBCZX, TI015*(case when "
     "Round(TI026,3)=0.0 then TI008 else TI026 end) AS BBBCZX,  TI012 as BZ,TI044 AS XMBH ",
     ", TI015 as O1, Null as O2, TI016 as L1, TI032 as L2, Null as L3, TI018 as L4, TI026 as R1, TI008 as R2 ",
     "from $$ACPTI as ACPTI  ",
     "  inner join $$ACPTJ as ACPTJ on TJ001=TI001 and TJ002=TI002   left join $$PURMA as PURMA on MA001=TI004   left "
     "join $$CMSMQ as CMSMQ on MQ001=TI001   left join $$CMSME as CMSME on ME001=TI006   left join $$CMSMV as CMSMV on "
     "MV001=TI005 "},
    {"select distinct 'N' as CheckData, TK004 as GYSID, PURMA.MA002 as PURMA002, CMSMQ.MQ003 as DJLX, TK001 as DB,   "
     "TK002 as DH, TK014 as FPID, TK003 as DJRQ, TK007 as Coin, TK037 as HL, TK006 as BMID,   CMSME.ME002 as CMSME002, "
     "TK005 as RYID, CMSMV.MV002 as CMSMV002,    TK028 as ZT, TK030 as YBYF,   "
     "isnull(TK031,0.0)+isnull(TK039,0.0)-isnull(TK036,0.0) as BBYF,   TK030 as YBBCZX, TK030*(case when "
     "Round(TK037,3)=0.0 then TK008 else TK037 end) as BBBCZX,  TK009 as BZ,TK027 AS XMBH ",
     ", TK030 as O1, Null as O2, TK031 as L1, TK039 as L2, Null as L3, TK036 as L4, TK037 as R1, TK008 as R2 ",
     "from $$ACPTK as ACPTK  ",
     "  left join $$PURMA as PURMA on MA001=TK004   left join $$CMSMQ as CMSMQ on MQ001=TK001   left join $$CMSME as "
     "CMSME on ME001=TK006   left join $$CMSMV as CMSMV on MV001=TK005 "},
};

Variant valueAt(const Variant& values, int index)
{
    if (!values.isArray() || index < values.lowBound() || index > values.highBound())
        return Variant();
    return values[index];
}

// A condition on one column, appended as the where text's next piece (nothing when empty).
std::string condition(std::string_view column, const Variant& value)
{
    if (value.isEmpty() || value.isNull() || (!value.isArray() && safeVarToStr(value).empty()))
        return {};
    std::string where = "x";
    std::string cond;
    AppendCondition(where, column, value, cond, 1);
    return where.substr(1);
}

std::string textOf(const Variant& v)
{
    return v.isEmpty() || v.isNull() ? std::string() : safeVarToStr(v);
}

} // namespace

std::string CandidateWriteOffDate(const Variant& values)
{
    const Variant v = valueAt(values, 1);
    if (!v.isArray())
        return textOf(v);
    const int first = ConditionValueKind(v) >= 0 ? v.lowBound() + 1 : v.lowBound();
    return first <= v.highBound() ? textOf(v[first]) : std::string();
}

std::string CandidateSql(const CandidateFilter& filter)
{
    const int type = std::clamp(filter.type, 0, 2);
    const Variant& f = filter.values;
    const std::string date = quotedSql(CandidateWriteOffDate(f));
    const std::string currency = quotedSql(textOf(valueAt(f, 2)));
    const TypeTexts& t = kTexts[type];
    std::string where;
    switch (type) {
    case 0:
        where = "where 1=1 and TA024='Y' and Round(TA030,3)=0.0 and TA079='1' and TA087='1' ";
        where += " and TA003<= " + date + " ";
        where += " and TA008= " + currency + " ";
        where += condition("TA034", valueAt(f, 3));
        where += condition("TA004", valueAt(f, 4));
        where += " and (( MQ003 in ('71', '7A') ";
        where += condition("TA001+TA002", valueAt(f, 5));
        where += " ) or (MQ003='7F' ";
        where += condition("TA001+TA002", valueAt(f, 6));
        where += " )) ";
        where += "  and TA080='N' ";
        where += " AND TA033='N' ";
        break;
    case 1:
        where = "where 1=1 and TI031='1' and Round(TI017,3)=0.0 and TI013='Y' and TI035='1' and TI029='1' ";
        where += " and TI003<= " + date + " ";
        where += " and TI007= " + currency + " ";
        where += " AND TI043= 'N' ";
        where += condition("TI019", valueAt(f, 3));
        where += condition("TI004", valueAt(f, 4));
        where += condition("TI001+TI002", valueAt(f, 7));
        break;
    default:
        where = "where 1=1 and MQ003='7C' and Round(TK035,3)=0.0 and TK020='Y' and TK043='1' AND TK028='1' ";
        where += " and TK003<= " + date + " ";
        where += " and TK007= " + currency + " ";
        where += condition("TK022", valueAt(f, 3));
        where += condition("TK004", valueAt(f, 4));
        where += condition("TK001+TK002", valueAt(f, 8));
        break;
    }
    return std::string(t.select) + t.parts + t.from + t.joins + where + " order by GYSID, DB, DH, Coin ";
}

void DefineCandidateFields(TClientDataSet& data)
{
    struct Def {
        const char* name;
        TFieldType type;
        int size;
        const char* label;
    };
    static const Def defs[21] = {
        {"MA001", ftString, 1, "选择"},       {"MA002", ftString, 10, "供应商编号"}, {"MA003", ftString, 255, "供应商名称"},
        {"MA400", ftString, 20, "单据名称"},  {"MA005", ftString, 4, "单别"},         {"MA006", ftString, 20, "单号"},
        {"MA007", ftString, 20, "发票号"},    {"MA008", ftString, 10, "单据日期"},   {"MA009", ftString, 4, "币种"},
        {"MA010", ftBCD, 7, "上次重估汇率"},  {"MA011", ftString, 6, "部门编号"},     {"MA012", ftString, 255, "部门名称"},
        {"MA013", ftString, 20, "业务员"},    {"MA014", ftString, 40, "人员姓名"},   {"MA015", ftString, 1, "核销状态"},
        {"MA016", ftBCD, 6, "原币应付金额"}, {"MA017", ftBCD, 6, "本币应付金额"}, {"MA021", ftBCD, 6, "原币本次转销金额"},
        {"MA022", ftBCD, 6, "本币本次转销金额"}, {"MA020", ftString, 255, "备注"},   {"MA023", ftString, 20, "项目编号"},
    };
    for (const Def& d : defs) {
        TField* field = data.AddField(d.name, d.type, d.size);
        field->SetDisplayLabel(d.label);
        field->SetReadOnly(std::string_view(d.name) != "MA001");
    }
    data.FieldByName("MA010")->SetDisplayFormat("#0.000");
}

Decimal CandidateAmount(const Variant& value)
{
    if (value.isEmpty() || value.isNull() || value.isArray())
        return Decimal();
    switch (value.type()) {
    case VarType::Int:
    case VarType::Int64:
        return Decimal::fromInt(value.toInt64());
    case VarType::Double:
        return Decimal::fromDouble(value.toDouble());
    default:
        break;
    }
    const std::string text(trimBlanks(safeVarToStr(value)));
    Decimal d;
    if (text.empty() || !Decimal::tryParse(text, d))
        return Decimal();
    return d;
}

int LoadCandidates(TClientDataSet& data, Variant answer, int dateFormat, const std::string& separator)
{
    if (!answer.isArray() || answer.dimCount() != 1)
        return 0;
    int loaded = 0;
    ControlsDisabledScope quiet(data);
    // Looked up once: by name for every cell of 100,000 rows was most of the load.
    TField* fields[21];
    for (int pos = 0; pos < 21; ++pos)
        fields[pos] = data.FieldByName(kCandidateFields[pos]);
    const char* names[4] = {"MA016", "MA017", "MA021", "MA022"};
    TField* amounts[4];
    for (int i = 0; i < 4; ++i)
        amounts[i] = data.FieldByName(names[i]);
    // A text of the answer moved into the list, not copied.
    const auto take = [](Variant& v) { return v.type() == VarType::String ? v.takeText() : textOf(v); };
    // One buffer for every row: the records are then made one after the other in memory,
    // which a walk over the list (tick all) finds in the order it reads them.
    std::vector<FieldValue> values(std::size_t(data.FieldCount()));
    for (int r = answer.lowBound(); r <= answer.highBound(); ++r) {
        Variant& row = answer[r];
        if (!row.isArray() || row.count() < 21)
            continue;
        const int b = row.lowBound();
        static const Variant none;
        const Variant& cells = row;
        const auto at = [&](int pos) -> const Variant& { return pos < cells.count() ? cells[b + pos] : none; };
        const auto put = [&](TField* field, FieldValue value) { values[std::size_t(field->Index())] = std::move(value); };
        // A text the database holds is listed whole: a field narrower than the text grows
        // (a cut document key would hand over another document, and a refused one the
        // whole list).
        const auto putText = [&](TField* field, std::string text) {
            field->WidenFor(text);
            put(field, field->ValueFromText(std::move(text)));
        };
        for (int pos = 0; pos < 21; ++pos) {
            TField* field = fields[pos];
            if (pos == 7) {
                const double day = CompactToDate(textOf(at(7)));
                putText(field, day != 0 ? DateToDisplayText(dateFormat, separator, day) : std::string());
            } else if (pos == 9) {
                put(field, field->ValueFromDecimal(CandidateAmount(at(9))));
            } else if (pos < 15 || pos > 18) {
                putText(field, take(row[b + pos]));
            }
        }
        // The amounts from their parts, exactly; an answer without the parts keeps the
        // server's sums.
        Decimal original, local, thisLocal;
        if (row.count() >= 29) {
            original = CandidateAmount(at(21)) + CandidateAmount(at(22));
            local = CandidateAmount(at(23)) + CandidateAmount(at(24)) + CandidateAmount(at(25)) - CandidateAmount(at(26));
            const Decimal revalued = CandidateAmount(at(27));
            const Decimal rate = revalued.rescaled(3).isZero() ? CandidateAmount(at(28)) : revalued;
            thisLocal = original.multipliedBy(rate, 6);
        } else {
            original = CandidateAmount(at(15));
            local = CandidateAmount(at(16));
            thisLocal = CandidateAmount(at(18));
        }
        const Decimal sums[4] = {original, local, original, thisLocal};
        for (int i = 0; i < 4; ++i)
            put(amounts[i], amounts[i]->ValueFromDecimal(sums[i]));
        data.AppendLoaded(values);
        ++loaded;
        // A row is let go once it is in the list: the answer and the list of 100,000
        // candidates are not both held whole (an answer shared with its sender stays).
        row = Variant();
    }
    return loaded;
}

int CurrencyDecimals(const Variant& answer)
{
    Variant v = answer;
    while (v.isArray() && v.count() > 0) {
        const Variant inner = v[v.lowBound()];
        v = inner;
    }
    if (v.isEmpty() || v.isNull() || v.isArray())
        return 2;
    const std::string text(trimBlanks(safeVarToStr(v)));
    if (text.empty() || text.size() > 2 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return 2;
    const int n = std::stoi(text);
    return n >= 0 && n <= 7 ? n : 2;
}

std::vector<int> RowsOfDocumentKeys(const TClientDataSet& data, const std::vector<std::string>& keys,
                                    std::vector<std::string>& missing)
{
    const auto trimmed = [](std::string text) {
        const auto first = text.find_first_not_of(' ');
        if (first == std::string::npos)
            return std::string();
        return text.substr(first, text.find_last_not_of(' ') - first + 1);
    };
    std::map<std::string, int> rowOfKey;
    const TField* type = data.FindField("MA005");
    const TField* number = data.FindField("MA006");
    if (type && number)
        for (int row = 0; row < data.RecordCount(); ++row)
            rowOfKey.emplace(trimmed(type->TextAt(row)) + trimmed(number->TextAt(row)), row);
    std::vector<int> rows;
    std::set<int> seen;
    for (const std::string& key : keys) {
        std::string joined = trimmed(key);
        auto found = rowOfKey.find(joined);
        if (found == rowOfKey.end()) {
            const auto dash = joined.find('-');
            if (dash != std::string::npos)
                found = rowOfKey.find(trimmed(joined.substr(0, dash)) + trimmed(joined.substr(dash + 1)));
        }
        if (found == rowOfKey.end())
            missing.push_back(key);
        else if (seen.insert(found->second).second)
            rows.push_back(found->second);
    }
    return rows;
}
