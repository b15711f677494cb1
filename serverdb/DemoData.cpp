#include "serverdb/DemoData.h"
#include "serverdb/DatabaseSetup.h"

#include "dataset/Decimal.h"
#include "platform/OleDate.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <vector>

namespace {

// splitmix64: small, fast and the same on every platform (the standard distributions are not).
class DemoRandom {
public:
    explicit DemoRandom(std::uint64_t seed) : s_(seed) {}
    std::uint64_t next()
    {
        std::uint64_t z = (s_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(int n) { return n <= 0 ? 0 : int(next() % std::uint64_t(n)); }
    bool percent(int p) { return below(100) < p; }
    double between(double lo, double hi) { return lo + (hi - lo) * double(next() >> 11) * 0x1.0p-53; }
    template <class T>
    const T& pick(const std::vector<T>& v) { return v[std::size_t(below(int(v.size())))]; }
    // Index by weight.
    int weighted(const std::vector<int>& weights)
    {
        int total = 0;
        for (int w : weights)
            total += w;
        int r = below(total);
        for (std::size_t i = 0; i < weights.size(); ++i) {
            if (r < weights[i])
                return int(i);
            r -= weights[i];
        }
        return 0;
    }

private:
    std::uint64_t s_;
};

double roundTo(double x, int decimals)
{
    const double p = std::pow(10.0, decimals);
    return std::round(x * p) / p;
}

// An amount as the company tables keep it: the exact decimal text of the value rounded to
// its places, so that a sum of rounded amounts stays exact.
Variant money(double x, int decimals)
{
    return Variant(Decimal::fromDouble(roundTo(x, decimals)).rescaled(decimals).toString());
}

double parseCompactDate(const std::string& s)
{
    int y = 0, m = 0, d = 0;
    double days = 0;
    if (s.size() != 8 || std::sscanf(s.c_str(), "%4d%2d%2d", &y, &m, &d) != 3 || !TryEncodeDate(y, m, d, days))
        throw DbError("The last demo date must be yyyymmdd, not \"" + s + "\"");
    return days;
}

std::string compactDate(double days)
{
    const CivilDate c = DecodeDateTime(days);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", c.year, c.month, c.day);
    return buf;
}

// Inserts rows of one table through one cached statement.
class Inserter {
public:
    Inserter(DbConnection& conn, std::string table, std::vector<std::string> columns)
        : conn_(conn), columns_(std::move(columns))
    {
        sql_ = "INSERT INTO " + table + " (";
        std::string values;
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            sql_ += (i ? ", " : "") + columns_[i];
            values += (i ? ", :" : ":") + columns_[i];
        }
        sql_ += ") VALUES (" + values + ")";
    }
    void operator()(std::vector<Variant> values)
    {
        if (values.size() != columns_.size())
            throw DbError("Demo data: " + std::to_string(values.size()) + " values for " + sql_);
        DbParams p;
        p.reserve(values.size());
        for (std::size_t i = 0; i < values.size(); ++i)
            p.emplace_back(columns_[i], std::move(values[i]));
        conn_.execute(sql_, p);
    }

private:
    DbConnection& conn_;
    std::vector<std::string> columns_;
    std::string sql_;
};

struct Currency {
    const char* code;
    const char* name;
    int priceDecimals;
    int amountDecimals;
    double rate;
};

const std::vector<Currency>& currencies()
{
    static const std::vector<Currency> list = {
        {"RMB", "人民币", 4, 2, 1.0},
        {"USD", "美元", 4, 2, 7.1},
        {"JPY", "日元", 2, 0, 0.0485},
        {"EUR", "欧元", 4, 2, 7.82},
        {"KWD", "科威特第纳尔", 4, 3, 23.15},
        {"CLF", "智利发展单位", 4, 4, 265.5},
    };
    return list;
}

const Currency& currency(const std::string& code)
{
    for (const Currency& c : currencies())
        if (code == c.code)
            return c;
    return currencies()[0];
}

struct Supplier {
    const char* code;
    const char* shortName;
    const char* fullName;
    const char* currency;
    const char* status;
    const char* contact;
    const char* phone;
    const char* address;
};

const std::vector<Supplier>& suppliers()
{
    static const std::vector<Supplier> list = {
        {"A001", "华联电子", "上海华联电子有限公司", "RMB", "1", "周建国", "021-6488 1200", "上海市闵行区莘庄工业区春东路 88 号"},
        {"A002", "宏达五金", "深圳市宏达精密五金厂", "RMB", "1", "黄志强", "0755-2761 3300", "深圳市宝安区福永街道凤凰路 16 号"},
        {"A003", "恒信塑胶", "苏州恒信塑胶制品有限公司", "RMB", "1", "吴晓燕", "0512-6582 4411", "苏州市吴中区木渎镇金枫路 201 号"},
        {"A004", "东方包装", "宁波东方包装材料有限公司", "RMB", "1", "郑海峰", "0574-8771 0020", "宁波市北仑区大港工业城 5 号"},
        {"A005", "永盛电缆", "东莞市永盛电线电缆有限公司", "RMB", "1", "何丽君", "0769-8321 5566", "东莞市长安镇沙头南区 9 号"},
        {"A006", "天元化工", "杭州天元化工有限公司", "RMB", "1", "冯立新", "0571-8666 7788", "杭州市萧山区临江工业园 3 号"},
        {"A007", "中科软件", "北京中科软件有限公司", "RMB", "2", "马文博", "010-8286 9900", "北京市海淀区上地信息路 12 号"},
        {"B001", "新竹光电", "新竹光电股份有限公司", "USD", "1", "林志明", "+886-3-578 1234", "新竹市科学园区研发二路 8 号"},
        {"B002", "三和精工", "三和精工株式会社", "JPY", "1", "山田太郎", "+81-6-6341 2200", "大阪府东大阪市高井田元町 2-1"},
        {"B003", "太平洋物流", "美国太平洋物流公司", "USD", "1", "张安迪", "+1-310-555 0142", "洛杉矶市港湾大道 1200 号"},
        {"B004", "莱茵机械", "德国莱茵精密机械有限公司", "EUR", "1", "韩克斯", "+49-211-555 7301", "杜塞尔多夫市工业大街 41 号"},
        {"B005", "海湾贸易", "科威特海湾贸易公司", "KWD", "1", "阿里", "+965-2245 1000", "科威特城自由大街 7 号"},
        {"B006", "安第斯矿业", "智利安第斯矿业公司", "CLF", "1", "罗德里格", "+56-2-2555 8800", "圣地亚哥市矿业路 300 号"},
    };
    return list;
}

struct DocType {
    const char* code;
    const char* name;
    const char* kind;
    const char* shortName;
};

const std::vector<DocType>& docTypes()
{
    static const std::vector<DocType> list = {
        {"7101", "采购发票", "71", "采购发票"},
        {"7A01", "进口采购发票", "7A", "进口发票"},
        {"7F01", "费用发票", "7F", "费用发票"},
        {"7B01", "其他应付单", "7B", "其他应付"},
        {"7C01", "预付款单", "7C", "预付款"},
        {"7D01", "预付退款单", "7D", "预付退款"},
        {"7D02", "其他退款单", "7D", "其他退款"},
        {"7E01", "应付调整单", "7E", "应付调整"},
    };
    return list;
}

struct Department {
    const char* code;
    const char* name;
};

const std::vector<Department>& departments()
{
    static const std::vector<Department> list = {
        {"1100", "采购部"},
        {"1200", "财务部"},
        {"1300", "生产部"},
        {"1400", "行政部"},
    };
    return list;
}

struct Employee {
    const char* code;
    const char* name;
    const char* title;
    const char* dept;
};

const std::vector<Employee>& employees()
{
    static const std::vector<Employee> list = {
        {"E001", "陈明", "采购专员", "1100"}, {"E002", "刘洋", "采购主管", "1100"},
        {"E003", "赵丽", "会计", "1200"},     {"E004", "孙强", "生产主管", "1300"},
        {"E005", "杨静", "行政助理", "1400"},
    };
    return list;
}

// Remarks the documents draw from; an empty one leaves the remark blank.
const std::vector<std::string>& payableRemarks()
{
    static const std::vector<std::string> list = {"", "", "货款", "月结货款", "进料货款", "模具费", "运费"};
    return list;
}

const std::vector<std::string>& expenseRemarks()
{
    static const std::vector<std::string> list = {"", "办公用品", "设备维修费", "差旅费", "咨询服务费"};
    return list;
}

const std::vector<std::string>& otherRemarks()
{
    static const std::vector<std::string> list = {"", "押金", "代垫运费", "质量扣款退还", "租金"};
    return list;
}

const std::vector<std::string>& prepayRemarks()
{
    static const std::vector<std::string> list = {"", "预付定金", "预付货款", "预付模具款"};
    return list;
}

// Notifications of WOFB07: one live definition for a finished job, one left blank,
// one for another occasion, and a second subject whose program code is in lower case.
struct NotificationSubject {
    const char* group;
    const char* code;
    const char* name;
    const char* description;
    const char* program;
    const char* inUse;
};

const std::vector<NotificationSubject>& notificationSubjects()
{
    static const std::vector<NotificationSubject> list = {
        {"WOF", "WOFB07", "应付账款转销通知", "转销作业完成后通知财务人员", "WOFB07", "Y"},
        {"WOF", "WOFB07M", "应付账款转销通知(主管)", "转销作业完成后通知主管", "wofb07", "Y"},
        {"WOF", "WOFB08", "应付账款重估通知", "", "WOFB08", "Y"},
    };
    return list;
}

const char* const finishedMessage =
    "<MD007><Receiver><R1 ID=\"DS\" Name=\"系统管理员\" Type=\"1\" Msg=\"YNN\"/>"
    "<R2 ID=\"U001\" Name=\"张伟\" Mail=\"zhangwei@example.com\" Type=\"1\" Msg=\"YNY\"/></Receiver>"
    "<Title Value=\"应付账款转销作业已完成\"/></MD007>"
    "||[**********]应付账款转销作业已处理完毕，请查看转销结果。[**********]||WOFB07";
const char* const toManagerMessage =
    "<MD007><Receiver><R1 ID=\"U002\" Name=\"李娜\" Type=\"1\" Msg=\"YNN\"/></Receiver>"
    "<Title Value=\"转销完成(主管)\"/></MD007>||转销作业已完成||";

struct NotificationDefinition {
    const char* group;
    const char* subject;
    const char* serial;
    const char* occasion;
    const char* description;
    const char* channels;
    const char* content;
};

const std::vector<NotificationDefinition>& notificationDefinitions()
{
    static const std::vector<NotificationDefinition> list = {
        {"WOF", "WOFB07", "0001", "6", "作业完成通知", "YNY", finishedMessage},
        {"WOF", "WOFB07", "0002", "6", "未设定内容", "YNN", "   "},
        {"WOF", "WOFB07", "0003", "2", "作业开始通知", "YNN", finishedMessage},
        {"WOF", "WOFB07M", "0001", "6", "主管通知", "YNN", toManagerMessage},
        {"WOF", "WOFB08", "0001", "6", "重估完成通知", "YNN", finishedMessage},
    };
    return list;
}

struct Audit {
    std::string company;
    std::string creator = "DS";
    std::string stamp; // yyyymmddhhnnsszzz
};

std::string stampOf(const std::string& day)
{
    return day + "090000000";
}

// Writes the company's demo rows. Every draw comes from one seeded generator, so the steps
// run in a fixed order and each draws in the order it always has.
class CompanyDemo {
public:
    CompanyDemo(DbConnection& db, const DemoOptions& o)
        : db_(db), o_(o), last_(parseCompactDate(o.lastDate)), rnd_(o.seed), audit_{o.companyCode, "DS", ""}
    {
    }

    void insertCurrencies();
    void insertSuppliers();
    void insertDocTypes();
    void insertDepartments();
    void insertEmployees();
    void insertPayables(int count);
    void insertOtherPayables(int count);
    void insertPrepayments(int count);
    void insertWriteOffBatch();
    void insertNotifications();

private:
    void insertPayableLines(Inserter& tb, const char* typeCode, const std::string& number, const std::string& date,
                            bool expense, const Currency& c, double untaxed, double tax, double localUntaxed);
    void insertOtherPayableLines(Inserter& tj, const std::string& number, const std::string& date, const Currency& c,
                                 double amount, double local);

    std::string numberFor(const std::string& typeCode, double& day);
    double documentDay() { return last_ - rnd_.below(365); }
    std::string accountingDate(double day) { return compactDate(std::min(last_, day + rnd_.below(4))); }
    const Supplier& pickSupplier();
    const Currency& currencyFor(const Supplier& s)
    {
        return rnd_.percent(85) ? currency(s.currency) : currency("RMB");
    }
    double originalAmount(const Currency& c) { return roundTo(rnd_.between(500, 80000) / c.rate, c.amountDecimals); }
    std::string project() { return rnd_.percent(30) ? "P2024-0" + std::to_string(1 + rnd_.below(5)) : std::string(); }
    std::string invoiceNo();
    void revalue(const Currency& c, double original, double local, double& rate, double& diff);

    DbConnection& db_;
    const DemoOptions& o_;
    const double last_;
    DemoRandom rnd_;
    Audit audit_;
    std::map<std::string, int> counters_;
    std::vector<std::pair<std::string, std::string>> settled_; // for the write-off batch
};

// Documents. Numbers are the document date and a three-digit counter per type and day.
std::string CompanyDemo::numberFor(const std::string& typeCode, double& day)
{
    for (;;) {
        const std::string date = compactDate(day);
        int& n = counters_[typeCode + date];
        if (n < 999) {
            char buf[16];
            std::snprintf(buf, sizeof buf, "%03d", ++n);
            return date + buf;
        }
        day -= 1;
    }
}

const Supplier& CompanyDemo::pickSupplier()
{
    // Most business is with the domestic suppliers.
    const auto& all = suppliers();
    return rnd_.percent(70) ? all[std::size_t(rnd_.below(7))] : all[std::size_t(7 + rnd_.below(int(all.size()) - 7))];
}

std::string CompanyDemo::invoiceNo()
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08d", rnd_.below(100000000));
    return std::string(buf);
}

// Revaluation of a foreign-currency document: rate and local difference.
void CompanyDemo::revalue(const Currency& c, double original, double local, double& rate, double& diff)
{
    rate = 0;
    diff = 0;
    if (std::string(c.code) != "RMB" && rnd_.percent(25)) {
        rate = roundTo(c.rate * (1 + rnd_.between(-0.03, 0.03)), 7);
        diff = roundTo(original * rate - local, 2);
    }
}

void CompanyDemo::insertCurrencies()
{
    Inserter cur(db_, "CMSMF", {"MF001", "MF002", "MF003", "MF004", "MF005", "MF006", "COMPANY", "CREATOR", "CREATE_DATE"});
    for (const Currency& c : currencies())
        cur({c.code, c.name, c.priceDecimals, c.amountDecimals, money(c.rate, 7), "Y", audit_.company, audit_.creator, stampOf(o_.lastDate)});
}

void CompanyDemo::insertSuppliers()
{
    Inserter sup(db_, "PURMA", {"MA001", "MA002", "MA003", "MA004", "MA005", "MA006", "MA007", "MA008", "MA009",
                                "MA010", "MA011", "COMPANY", "CREATOR", "CREATE_DATE"});
    for (const Supplier& s : suppliers()) {
        char tax[24];
        std::snprintf(tax, sizeof tax, "91%016llu", static_cast<unsigned long long>(rnd_.next() % 10000000000000000ull));
        sup({s.code, s.shortName, s.fullName, tax, s.contact, s.phone, s.address, s.currency, s.status, "M30",
             std::string("ap@") + s.code + ".example.com", audit_.company, audit_.creator, stampOf(o_.lastDate)});
    }
}

void CompanyDemo::insertDocTypes()
{
    Inserter type(db_, "CMSMQ", {"MQ001", "MQ002", "MQ003", "MQ004", "MQ005", "MQ006", "COMPANY", "CREATOR", "CREATE_DATE"});
    for (const DocType& t : docTypes())
        type({t.code, t.name, t.kind, t.shortName, "Y", "N", audit_.company, audit_.creator, stampOf(o_.lastDate)});
}

void CompanyDemo::insertDepartments()
{
    Inserter dept(db_, "CMSME", {"ME001", "ME002", "ME003", "COMPANY", "CREATOR", "CREATE_DATE"});
    for (const Department& d : departments())
        dept({d.code, d.name, "Y", audit_.company, audit_.creator, stampOf(o_.lastDate)});
}

void CompanyDemo::insertEmployees()
{
    Inserter emp(db_, "CMSMV", {"MV001", "MV002", "MV003", "MV004", "MV005", "COMPANY", "CREATOR", "CREATE_DATE"});
    for (const Employee& e : employees())
        emp({e.code, e.name, e.title, e.dept, "Y", audit_.company, audit_.creator, stampOf(o_.lastDate)});
}

void CompanyDemo::insertPayables(int count)
{
    Inserter ta(db_, "ACPTA", {"TA001", "TA002", "TA003", "TA004", "TA005", "TA008", "TA009", "TA014", "TA021", "TA024",
                               "TA028", "TA029", "TA030", "TA033", "TA034", "TA037", "TA038", "TA050", "TA051", "TA070",
                               "TA079", "TA080", "TA085", "TA087", "TA089", "TA090", "COMPANY", "CREATOR", "CREATE_DATE"});
    Inserter tb(db_, "ACPTB", {"TB001", "TB002", "TB003", "TB004", "TB005", "TB006", "TB009", "TB010", "TB011",
                               "COMPANY", "CREATOR", "CREATE_DATE"});
    for (int i = 0; i < count; ++i) {
        const int kind = rnd_.weighted({50, 20, 30});
        const char* typeCode = kind == 0 ? "7101" : kind == 1 ? "7A01" : "7F01";
        const Supplier& s = pickSupplier();
        const Currency& c = currencyFor(s);
        double day = documentDay();
        const std::string number = numberFor(typeCode, day);
        const std::string date = compactDate(day);
        const double untaxed = originalAmount(c);
        const double tax = std::string(c.code) == "RMB" ? roundTo(untaxed * 0.13, c.amountDecimals) : 0.0;
        const double localUntaxed = roundTo(untaxed * c.rate, 2);
        const double localTax = roundTo(tax * c.rate, 2);
        double revalRate = 0, revalDiff = 0;
        revalue(c, untaxed + tax, localUntaxed + localTax, revalRate, revalDiff);

        std::string confirmed = "Y", debit = "1", inRun = "N", closed = "N", status = "1";
        double paid = 0, paidLocal = 0;
        switch (rnd_.weighted({64, 6, 6, 6, 6, 6, 6})) {
        case 1: confirmed = "N"; break;
        case 2:
            status = "2";
            paid = roundTo((untaxed + tax) * 0.4, c.amountDecimals);
            paidLocal = roundTo((localUntaxed + localTax) * 0.4, 2);
            break;
        case 3:
            status = "3";
            paid = untaxed + tax;
            paidLocal = localUntaxed + localTax;
            settled_.emplace_back(typeCode, number);
            break;
        case 4: debit = "2"; break;
        case 5: inRun = "Y"; break;
        case 6: closed = "Y"; break;
        default: break;
        }
        const std::string remark = kind == 2 ? rnd_.pick(expenseRemarks()) : rnd_.pick(payableRemarks());
        const int d = c.amountDecimals;
        ta({typeCode, number, date, s.code, s.shortName, c.code, money(c.rate, 7), invoiceNo(), remark, confirmed,
            money(untaxed, d), money(tax, d), money(paid, d), closed, accountingDate(day), money(localUntaxed, 2),
            money(localTax, 2), money(revalRate, 7), money(revalDiff, 2), rnd_.pick(departments()).code, debit, inRun,
            money(paidLocal, 2), status, rnd_.pick(employees()).code, project(),
            audit_.company, audit_.creator, stampOf(date)});

        insertPayableLines(tb, typeCode, number, date, kind == 2, c, untaxed, tax, localUntaxed);
    }
}

// One to three lines sharing the payable's amounts; the last line takes what is left.
void CompanyDemo::insertPayableLines(Inserter& tb, const char* typeCode, const std::string& number,
                                     const std::string& date, bool expense, const Currency& c, double untaxed,
                                     double tax, double localUntaxed)
{
    const int lines = 1 + rnd_.below(3);
    double restUntaxed = untaxed, restTax = tax, restLocal = localUntaxed;
    for (int l = 1; l <= lines; ++l) {
        const bool lastLine = l == lines;
        const double share = lastLine ? 1.0 : rnd_.between(0.2, 0.6);
        const double lu = lastLine ? restUntaxed : roundTo(restUntaxed * share, c.amountDecimals);
        const double lt = lastLine ? restTax : roundTo(restTax * share, c.amountDecimals);
        const double ll = lastLine ? restLocal : roundTo(restLocal * share, 2);
        restUntaxed = roundTo(restUntaxed - lu, c.amountDecimals);
        restTax = roundTo(restTax - lt, c.amountDecimals);
        restLocal = roundTo(restLocal - ll, 2);
        char seq[16];
        std::snprintf(seq, sizeof seq, "%04d", l);
        tb({typeCode, number, seq, expense ? "" : "3401", expense ? "" : date.substr(0, 8) + "0" + std::to_string(l) + "1",
            expense ? "费用" : "进货", money(lu, c.amountDecimals), money(lt, c.amountDecimals), money(ll, 2), audit_.company, audit_.creator, stampOf(date)});
    }
}

void CompanyDemo::insertOtherPayables(int count)
{
    Inserter ti(db_, "ACPTI", {"TI001", "TI002", "TI003", "TI004", "TI005", "TI006", "TI007", "TI008", "TI012", "TI013",
                               "TI015", "TI016", "TI017", "TI018", "TI019", "TI026", "TI029", "TI031", "TI032", "TI035",
                               "TI043", "TI044", "COMPANY", "CREATOR", "CREATE_DATE"});
    Inserter tj(db_, "ACPTJ", {"TJ001", "TJ002", "TJ003", "TJ004", "TJ005", "TJ006", "COMPANY", "CREATOR", "CREATE_DATE"});
    for (int i = 0; i < count; ++i) {
        const Supplier& s = pickSupplier();
        const Currency& c = currencyFor(s);
        double day = documentDay();
        const std::string number = numberFor("7B01", day);
        const std::string date = compactDate(day);
        const double amount = originalAmount(c);
        const double local = roundTo(amount * c.rate, 2);
        double revalRate = 0, revalDiff = 0;
        revalue(c, amount, local, revalRate, revalDiff);
        std::string confirmed = "Y", status = "1", docKind = "1", origin = "1", inRun = "N";
        double paid = 0, paidLocal = 0;
        switch (rnd_.weighted({64, 6, 6, 6, 6, 6, 6})) {
        case 1: confirmed = "N"; break;
        case 2:
            status = "2";
            paid = roundTo(amount * 0.5, c.amountDecimals);
            paidLocal = roundTo(local * 0.5, 2);
            break;
        case 3:
            status = "3";
            paid = amount;
            paidLocal = local;
            break;
        case 4: docKind = "2"; break;
        case 5: origin = "2"; break;
        case 6: inRun = "Y"; break;
        default: break;
        }
        ti({"7B01", number, date, s.code, rnd_.pick(employees()).code,
            rnd_.pick(departments()).code, c.code, money(c.rate, 7), rnd_.pick(otherRemarks()), confirmed,
            money(amount, c.amountDecimals), money(local, 2), money(paid, c.amountDecimals), money(paidLocal, 2),
            accountingDate(day), money(revalRate, 7), status, docKind, money(revalDiff, 2), origin, inRun, project(), audit_.company,
            audit_.creator, stampOf(date)});
        insertOtherPayableLines(tj, number, date, c, amount, local);
    }
}

// One or two lines; the first takes half, the last what is left.
void CompanyDemo::insertOtherPayableLines(Inserter& tj, const std::string& number, const std::string& date,
                                          const Currency& c, double amount, double local)
{
    const int lines = 1 + rnd_.below(2);
    double rest = amount, restLocal = local;
    for (int l = 1; l <= lines; ++l) {
        const bool lastLine = l == lines;
        const double a = lastLine ? rest : roundTo(rest * 0.5, c.amountDecimals);
        const double la = lastLine ? restLocal : roundTo(restLocal * 0.5, 2);
        rest = roundTo(rest - a, c.amountDecimals);
        restLocal = roundTo(restLocal - la, 2);
        char seq[16];
        std::snprintf(seq, sizeof seq, "%04d", l);
        tj({"7B01", number, seq, l == 1 ? "其他应付款" : "其他应付款-补充", money(a, c.amountDecimals), money(la, 2), audit_.company, audit_.creator, stampOf(date)});
    }
}

void CompanyDemo::insertPrepayments(int count)
{
    Inserter tk(db_, "ACPTK", {"TK001", "TK002", "TK003", "TK004", "TK005", "TK006", "TK007", "TK008", "TK009", "TK014",
                               "TK020", "TK022", "TK027", "TK028", "TK030", "TK031", "TK035", "TK036", "TK037", "TK039",
                               "TK043", "COMPANY", "CREATOR", "CREATE_DATE"});
    for (int i = 0; i < count; ++i) {
        const Supplier& s = pickSupplier();
        const Currency& c = currencyFor(s);
        double day = documentDay();
        const std::string number = numberFor("7C01", day);
        const std::string date = compactDate(day);
        const double amount = originalAmount(c);
        const double local = roundTo(amount * c.rate, 2);
        double revalRate = 0, revalDiff = 0;
        revalue(c, amount, local, revalRate, revalDiff);
        std::string confirmed = "Y", status = "1", kind = "1";
        double used = 0, usedLocal = 0;
        switch (rnd_.weighted({70, 8, 8, 8, 6})) {
        case 1: confirmed = "N"; break;
        case 2:
            status = "2";
            used = roundTo(amount * 0.3, c.amountDecimals);
            usedLocal = roundTo(local * 0.3, 2);
            break;
        case 3:
            status = "3";
            used = amount;
            usedLocal = local;
            break;
        case 4: kind = "2"; break;
        default: break;
        }
        tk({"7C01", number, date, s.code, rnd_.pick(employees()).code,
            rnd_.pick(departments()).code, c.code, money(c.rate, 7), rnd_.pick(prepayRemarks()), "R" + invoiceNo(), confirmed,
            accountingDate(day), project(), status, money(amount, c.amountDecimals), money(local, 2),
            money(used, c.amountDecimals), money(usedLocal, 2), money(revalRate, 7), money(revalDiff, 2), kind,
            audit_.company, audit_.creator, stampOf(date)});
    }
}

// One write-off batch already made, so that the batch-number check finds something.
void CompanyDemo::insertWriteOffBatch()
{
    Inserter lc(db_, "ACPLC", {"LC001", "LC002", "LC003", "LC004", "LC005", "LC006", "LC007", "LC008", "LC009",
                               "LC010", "LC011", "LC012", "LC013", "LC014", "COMPANY", "CREATOR", "CREATE_DATE"});
    for (std::size_t k = 0; k < settled_.size() && k < 2; ++k) {
        const DbRowSet doc = db_.query("SELECT TA004, TA008, TA028, TA029, TA037, TA038 FROM ACPTA WHERE TA001 = :T "
                                       "AND TA002 = :N",
                                       {{"T", settled_[k].first}, {"N", settled_[k].second}});
        const auto& v = doc.rows[0];
        const auto sum = [](const Variant& a, const Variant& b) {
            return Variant((Decimal::parse(VarToStr(a)) + Decimal::parse(VarToStr(b))).toString());
        };
        char seq[16];
        std::snprintf(seq, sizeof seq, "%04d", int(k + 1));
        lc({"WOFB07-B0001", seq, "1", o_.lastDate, settled_[k].first, settled_[k].second, v[0], "A001",
            v[1], sum(v[2], v[3]), sum(v[4], v[5]), "", "", o_.lastDate + "000001", audit_.company, audit_.creator,
            stampOf(o_.lastDate)});
    }
}

void CompanyDemo::insertNotifications()
{
    Inserter mc(db_, "TMCMC", {"MC001", "MC002", "MC003", "MC004", "MC005", "MC006", "COMPANY", "CREATOR", "CREATE_DATE"});
    for (const NotificationSubject& n : notificationSubjects())
        mc({n.group, n.code, n.name, n.description, n.program, n.inUse, audit_.company, audit_.creator, stampOf(o_.lastDate)});
    Inserter md(db_, "TMCMD", {"MD001", "MD002", "MD003", "MD004", "MD005", "MD006", "MD007", "COMPANY", "CREATOR", "CREATE_DATE"});
    for (const NotificationDefinition& n : notificationDefinitions())
        md({n.group, n.subject, n.serial, n.occasion, n.description, n.channels, n.content, audit_.company, audit_.creator,
            stampOf(o_.lastDate)});
}

} // namespace

void FillSystemDemoData(DbConnection& sys, const DemoOptions& o)
{
    const double last = parseCompactDate(o.lastDate);
    const CivilDate lastDay = DecodeDateTime(last);
    char ym[16];
    std::snprintf(ym, sizeof ym, "%04d12", lastDay.year - 1);
    const std::string closedMonth = ym;
    std::snprintf(ym, sizeof ym, "%04d01", lastDay.year);
    const std::string firstOpenMonth = ym;

    DbTransaction tx(sys);
    Inserter(sys, "ADMMC", {"MC001", "MC002", "MC003", "MC004"})(
        {o.companyCode, "华东示范电子有限公司", o.companyDatabase, "Y"});

    Inserter setting(sys, "ADMMS", {"MS001", "MS002", "MS003", "MS004"});
    setting({o.companyCode, "Sys001", "1", "日期格式: 1 年月日, 2 月日年, 3 日月年, 4/5 民国年"});
    setting({o.companyCode, "Sys002", "/", "日期分隔符"});
    setting({o.companyCode, "Sys003", "RMB", "本位币"});
    setting({o.companyCode, "Sys029", firstOpenMonth, "开账起始年月"});
    setting({o.companyCode, "Sys030", closedMonth, "已结账年月"});
    setting({o.companyCode, "QVR002", "华东示范电子有限公司", "公司抬头"});

    Inserter user(sys, "QVRMA", {"MA001", "MA002", "MA003", "MA004", "MA005", "MA006", "MA007", "MA008"});
    user({"DS", "系统管理员", "13800000000", "admin@example.com", "Y", "CHS", "Y", o.companyCode});
    user({"U001", "张伟", "13912345678", "zhangwei@example.com", "N", "CHS", "Y", o.companyCode});
    user({"U002", "李娜", "13787654321", "lina@example.com", "N", "CHS", "Y", o.companyCode});
    user({"U003", "王芳", "13611112222", "wangfang@example.com", "N", "CHT", "N", o.companyCode});
    user({"U004", "Peter Lee", "", "peter.lee@example.com", "N", "ENG", "Y", o.companyCode});

    Inserter right(sys, "ADMMR", {"MR001", "MR002", "MR003", "MR004", "MR005", "MR006", "MR007", "MR008", "MR009"});
    right({"U001", "WOFB07", "Y", "Y", "Y", "Y", "Y", "Y", ""});
    right({"U002", "WOFB07", "Y", "Y", "N", "N", "Y", "N", "TA004 LIKE 'A%'"});
    right({"U004", "WOFB07", "Y", "Y", "Y", "N", "N", "N", ""});

    Inserter program(sys, "ADMMB", {"MB001", "MB002", "MB003", "MB004", "MB005", "MB006", "MB007", "MB008", "MB009"});
    program({"WOFB07", "应付账款转销作业", "WOF", "B", "N", "應付賬款轉銷作業", "WOFB07C", "A/P Write-off Batch", "Y"});
    program({"WOFB08", "应付账款重估作业", "WOF", "B", "Y", "應付賬款重估作業", "WOFB08C", "A/P Revaluation Batch", "Y"});
    program({"ACPI01", "应付凭单维护", "ACP", "F", "N", "應付憑單維護", "ACPI01C", "A/P Voucher Entry", "Y"});
    program({"ACPR01", "应付账款明细表", "ACP", "R", "N", "應付賬款明細表", "ACPR01C", "A/P Detail Report", "Y"});

    Inserter portal(sys, "QVRINTMA", {"MA001", "MA002", "MA003"});
    portal({"StartupPortal", "启用 Portal 用户通知", "N"});
    portal({"Portal WS", "Portal Web 服务地址", ""});
    tx.commit();
}

void FillCompanyDemoData(DbConnection& db, const DemoOptions& o)
{
    if (o.documents < 0)
        throw DbError("The number of demo documents cannot be negative");
    CompanyDemo demo(db, o);

    DbTransaction tx(db);
    demo.insertCurrencies();
    demo.insertSuppliers();
    demo.insertDocTypes();
    demo.insertDepartments();
    demo.insertEmployees();

    const int payables = o.documents / 2;
    const int others = o.documents / 4;
    const int prepayments = o.documents - payables - others;
    demo.insertPayables(payables);
    demo.insertOtherPayables(others);
    demo.insertPrepayments(prepayments);
    demo.insertWriteOffBatch();
    demo.insertNotifications();
    tx.commit();
}

namespace {

DatabasePair demoPair(const DemoOptions& o)
{
    parseCompactDate(o.lastDate);
    return DatabasePair{o.systemDatabase, o.companyDatabase,
                        [o](DbConnection& sys) { FillSystemDemoData(sys, o); },
                        [o](DbConnection& company) { FillCompanyDemoData(company, o); }};
}

} // namespace

DemoFiles CreateDemoDatabases(const std::string& folder, const DemoOptions& o, bool replace)
{
    const DatabaseFiles files = CreateDatabaseFiles(folder, demoPair(o), replace);
    return DemoFiles{files.systemFile, files.companyFile};
}

bool DemoSchemasExist(const DbServerLogin& server, const DemoOptions& o)
{
    return DatabaseSchemasExist(server, o.systemDatabase, o.companyDatabase);
}

void CreateDemoSchemas(const DbServerLogin& server, const DemoOptions& o, bool replace)
{
    CreateDatabaseSchemas(server, demoPair(o), replace);
}
