#include "host/ComF2Window.h"

#include "host/DatePicker.h"
#include "host/LookupWindow.h"
#include "dataset/DisplayFormat.h"
#include "platform/IniFile.h"
#include "platform/ModalRunner.h"
#include "support/Dates.h"

#include <QWidget>

#include <cctype>

namespace {

struct Query {
    std::string sql;
    std::string columns;
    Variant params;
};

// What the form sends besides table and kind.
struct Request {
    std::vector<std::string> keys;
    bool list = false;
    std::string extra;
    std::string company;
    std::string database;
    std::uintptr_t window = 0;
    std::string user;
};

struct Lookup {
    const char* table;
    const char* kind;
    Wording3 title;
    std::vector<Wording3> captions;
    // How many leading columns a chosen row gives back (0: all).
    int resultColumns;
    Query (*query)(const Request&);
    // The leading column texts the list opens on.
    QStringList (*start)(const Request&);
    // Columns shown as a date in the user's format and as an amount (-1: none).
    int dateColumn = -1;
    int amountColumn = -1;
};

std::string key(const Request& r, std::size_t i)
{
    return i < r.keys.size() ? r.keys[i] : std::string();
}

QStringList startAtExtra(const Request& r)
{
    return {QString::fromStdString(r.extra)};
}

// Document look-ups get [confirmed only, open only, type, number].
QStringList startAtDocument(const Request& r)
{
    return {QString::fromStdString(key(r, 2)), QString::fromStdString(key(r, 3))};
}

std::string documentFilter(const Request& r, const char* confirmed, const char* open)
{
    std::string where;
    if (key(r, 0) == "1")
        where += std::string(" AND ") + confirmed;
    if (key(r, 1) == "1")
        where += std::string(" AND ") + open;
    return where;
}

// What the form has chosen already narrows a document list: keys [4] the currency, [5]
// "R" with [6] the first and [7] the last supplier, or "L" with the suppliers from [6] on.
// Codes compare without regard to case; the values travel as parameters.
struct Scope {
    std::string where;
    std::vector<Variant> params;
};

Scope documentScope(const Request& r, const char* supplier, const char* currency)
{
    Scope scope;
    const auto bind = [&scope](const std::string& name, const std::string& value) {
        scope.params.push_back(Variant::list({Variant(name), Variant(value)}));
        return "UPPER(:" + name + ")";
    };
    const auto upper = [](const char* column) { return std::string("UPPER(") + column + ")"; };
    if (!key(r, 4).empty())
        scope.where += " AND " + upper(currency) + " = " + bind("CUR", key(r, 4));
    if (key(r, 5) == "R") {
        if (!key(r, 6).empty())
            scope.where += " AND " + upper(supplier) + " >= " + bind("SFROM", key(r, 6));
        if (!key(r, 7).empty())
            scope.where += " AND " + upper(supplier) + " <= " + bind("STO", key(r, 7));
    } else if (key(r, 5) == "L") {
        std::string list;
        for (std::size_t i = 6; i < r.keys.size(); ++i)
            if (!r.keys[i].empty())
                list += (list.empty() ? "" : ", ") + bind("S" + std::to_string(i - 5), r.keys[i]);
        if (!list.empty())
            scope.where += " AND " + upper(supplier) + " IN (" + list + ")";
    }
    return scope;
}

Query documentQuery(const Request& r, std::string select, const std::string& from, const char* supplier,
                    const char* currency, const std::string& where, const char* order, const char* columns)
{
    Scope scope = documentScope(r, supplier, currency);
    return Query{std::move(select) + from + where + scope.where + order, columns,
                 scope.params.empty() ? Variant() : Variant::list(std::move(scope.params))};
}

const std::vector<Wording3> kDocumentCaptions{
    {"单别", "單別", "Type"},     {"单号", "單號", "Number"},    {"单据日期", "單據日期", "Date"},
    {"供应商", "供應商", "Supplier"}, {"供应商简称", "供應商簡稱", "Supplier name"}, {"币种", "幣別", "Currency"},
    {"原币金额", "原幣金額", "Amount"},
};

const char* const kInvoiceSelect = "SELECT TA001, TA002, TA003, TA004, PURMA.MA002 AS SUPPLIER_NAME, TA008, "
                                   "ISNULL(TA028, 0) + ISNULL(TA029, 0) AS AMOUNT ";
const char* const kInvoiceFrom = "FROM $$ACPTA AS ACPTA INNER JOIN $$CMSMQ AS CMSMQ ON MQ001 = TA001 "
                                 "LEFT JOIN $$PURMA AS PURMA ON MA001 = TA004 ";
const char* const kInvoiceColumns = "TA001,TA002,TA003,TA004,SUPPLIER_NAME,TA008,AMOUNT";

const std::vector<Lookup>& lookups()
{
    static const std::vector<Lookup> table{
        {"CMSMF", "01", {"币种信息查询", "幣別資訊查詢", "Currencies"},
         {{"币种", "幣別", "Currency"}, {"币种名称", "幣別名稱", "Name"}, {"金额小数位数", "金額小數位數", "Decimals"}},
         0,
         [](const Request&) {
             return Query{"SELECT MF001, MF002, MF004 FROM $$CMSMF AS CMSMF WHERE MF006 = 'Y' ORDER BY MF001",
                          "MF001,MF002,MF004", Variant()};
         },
         startAtExtra},
        {"PURMA", "01", {"供应商信息查询", "供應商資訊查詢", "Suppliers"},
         {{"供应商编号", "供應商編號", "Supplier"},
          {"供应商简称", "供應商簡稱", "Short name"},
          {"供应商全称", "供應商全稱", "Full name"},
          {"交易币种", "交易幣別", "Currency"}},
         0,
         [](const Request&) {
             return Query{"SELECT MA001, MA002, MA003, MA008 FROM $$PURMA AS PURMA ORDER BY MA001",
                          "MA001,MA002,MA003,MA008", Variant()};
         },
         startAtExtra},
        {"ACPTA", "15", {"采购发票查询", "採購發票查詢", "Purchase invoices"}, kDocumentCaptions, 2,
         [](const Request& r) {
             return documentQuery(r, kInvoiceSelect, kInvoiceFrom, "TA004", "TA008",
                                  "WHERE MQ003 IN ('71', '7A')" + documentFilter(r, "TA024 = 'Y'", "TA087 = '1'"),
                                  " ORDER BY TA001, TA002", kInvoiceColumns);
         },
         startAtDocument, 2, 6},
        {"ACPTA", "16", {"费用发票查询", "費用發票查詢", "Expense invoices"}, kDocumentCaptions, 2,
         [](const Request& r) {
             return documentQuery(r, kInvoiceSelect, kInvoiceFrom, "TA004", "TA008",
                                  "WHERE MQ003 = '7F'" + documentFilter(r, "TA024 = 'Y'", "TA087 = '1'"),
                                  " ORDER BY TA001, TA002", kInvoiceColumns);
         },
         startAtDocument, 2, 6},
        {"ACPTI", "05", {"其他应付单查询", "其他應付單查詢", "Other payables"}, kDocumentCaptions, 2,
         [](const Request& r) {
             return documentQuery(r, "SELECT TI001, TI002, TI003, TI004, PURMA.MA002 AS SUPPLIER_NAME, TI007, TI015 AS AMOUNT ",
                                  "FROM $$ACPTI AS ACPTI LEFT JOIN $$PURMA AS PURMA ON MA001 = TI004 ", "TI004", "TI007",
                                  "WHERE 1 = 1" + documentFilter(r, "TI013 = 'Y'", "TI029 = '1'"),
                                  " ORDER BY TI001, TI002", "TI001,TI002,TI003,TI004,SUPPLIER_NAME,TI007,AMOUNT");
         },
         startAtDocument, 2, 6},
        {"ACPTK", "10", {"预付款单查询", "預付款單查詢", "Prepayments"}, kDocumentCaptions, 2,
         [](const Request& r) {
             return documentQuery(r, "SELECT TK001, TK002, TK003, TK004, PURMA.MA002 AS SUPPLIER_NAME, TK007, TK030 AS AMOUNT ",
                                  "FROM $$ACPTK AS ACPTK INNER JOIN $$CMSMQ AS CMSMQ ON MQ001 = TK001 "
                                  "LEFT JOIN $$PURMA AS PURMA ON MA001 = TK004 ",
                                  "TK004", "TK007", "WHERE MQ003 = '7C'" + documentFilter(r, "TK020 = 'Y'", "TK028 = '1'"),
                                  " ORDER BY TK001, TK002", "TK001,TK002,TK003,TK004,SUPPLIER_NAME,TK007,AMOUNT");
         },
         startAtDocument, 2, 6},
        // [kind, user]: the document types of one kind that are in use.
        {"CMSMQ", "01", {"单据性质信息", "單據性質資訊", "Document types"},
         {{"单别", "單別", "Type"}, {"单别名称", "單別名稱", "Name"}, {"简称", "簡稱", "Short name"}},
         0,
         [](const Request& r) {
             return Query{"SELECT MQ001, MQ002, MQ004 FROM $$CMSMQ AS CMSMQ WHERE MQ003 = :KIND AND MQ005 = 'Y' "
                          "ORDER BY MQ001",
                          "MQ001,MQ002,MQ004", SqlParams({{"KIND", Variant(key(r, 0))}})};
         },
         startAtExtra},
        {"QVRMA", "04", {"用户信息查询", "使用者資訊查詢", "Users"},
         {{"用户编号", "使用者編號", "User"},
          {"用户名称", "使用者名稱", "Name"},
          {"手机号码", "手機號碼", "Mobile"},
          {"邮箱地址", "郵箱地址", "Mail"}},
         0,
         [](const Request&) {
             return Query{"SELECT MA001, MA002, MA003, MA004 FROM QVRMA WHERE MA007 = 'Y' ORDER BY MA001",
                          "MA001,MA002,MA003,MA004", Variant()};
         },
         startAtExtra},
    };
    return table;
}

bool sameCode(std::string_view a, std::string_view b)
{
    while (!a.empty() && a.back() == ' ')
        a.remove_suffix(1);
    while (!b.empty() && b.back() == ' ')
        b.remove_suffix(1);
    while (!a.empty() && a.front() == ' ')
        a.remove_prefix(1);
    while (!b.empty() && b.front() == ' ')
        b.remove_prefix(1);
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

const Lookup* findLookup(std::string_view table, std::string_view kind)
{
    for (const Lookup& l : lookups())
        if (sameCode(table, l.table) && sameCode(kind, l.kind))
            return &l;
    return nullptr;
}

std::string text(const Variant& v)
{
    try {
        return VarToStr(v);
    } catch (const VariantError&) {
        return {};
    }
}

// Element i of a request array, whatever its low bound.
Variant element(const Variant& array, int i)
{
    if (!array.isArray() || array.dimCount() != 1 || i >= array.count())
        return Variant();
    return array[array.lowBound() + i];
}

bool flag(const Variant& v)
{
    try {
        return !v.isEmptyOrNull() && v.toBool();
    } catch (const VariantError&) {
        return false;
    }
}

QWidget* windowOf(std::uintptr_t handle)
{
    return handle ? QWidget::find(WId(handle)) : nullptr;
}

} // namespace

ComF2Window::ComF2Window(std::shared_ptr<AppServerLink> server, HostLanguage language, std::string clientPath)
    : server_(std::move(server)), language_(language), clientPath_(std::move(clientPath))
{
    defineMethod("F2GetData", [this](std::span<Variant> args) { return f2GetData(arg(args, 0)); });
    defineMethod("GetPhrase", [this](std::span<Variant> args) {
        std::uintptr_t window = 0;
        try {
            window = std::uintptr_t(optArg(args, 2).toInt64());
        } catch (const VariantError&) {
        }
        return getPhrase(text(arg(args, 0)), window);
    });
    defineMethod("ShowInputDay", [this](std::span<Variant> args) { return showInputDay(arg(args, 0)); });
}

bool ComF2Window::Knows(std::string_view table, std::string_view kind)
{
    return findLookup(table, kind) != nullptr;
}

namespace {

// The rows as the window shows them: dates in the user's format, amounts with separators.
std::vector<std::vector<Variant>> shownRows(AppServerLink& server, const Lookup& lookup,
                                            const std::vector<std::vector<Variant>>& rows, const Request& r)
{
    if (lookup.dateColumn < 0 && lookup.amountColumn < 0)
        return rows;
    // The user's date order and separator, as the company's settings give them.
    int order = 1;
    std::string separator = "/";
    const std::vector<std::vector<Variant>> settings = RowsOf(
        server.simpleSql("SELECT MS002, MS003 FROM ADMMS WHERE MS001 = :COMPANY AND MS002 IN ('Sys001', 'Sys002')",
                         "MS002,MS003", r.company, "", SqlParams({{"COMPANY", Variant(r.company)}})));
    for (const std::vector<Variant>& setting : settings) {
        if (setting.size() < 2)
            continue;
        const std::string name = text(setting[0]), value = text(setting[1]);
        if (name == "Sys001" && value.size() == 1 && value[0] >= '1' && value[0] <= '5')
            order = value[0] - '0';
        else if (name == "Sys002" && !value.empty())
            separator = value;
    }
    std::vector<std::vector<Variant>> shown = rows;
    for (std::vector<Variant>& row : shown) {
        const auto at = [&row](int column) -> Variant* {
            return column >= 0 && column < int(row.size()) ? &row[std::size_t(column)] : nullptr;
        };
        if (Variant* date = at(lookup.dateColumn)) {
            const double day = CompactToDate(text(*date));
            if (day != 0)
                *date = Variant(DateToDisplayText(order, separator, day));
        }
        if (Variant* amount = at(lookup.amountColumn)) {
            Decimal value;
            if (Decimal::tryParse(text(*amount), value))
                *amount = Variant(ShownAmountText(value, 2));
        }
    }
    return shown;
}

} // namespace

Variant ComF2Window::f2GetData(const Variant& request)
{
    if (!request.isArray() || request.dimCount() != 1 || request.count() < 7)
        return Variant();
    const Lookup* lookup = findLookup(text(element(request, 0)), text(element(request, 1)));
    if (!lookup)
        return Variant();

    Request r;
    const Variant keys = element(request, 2);
    if (keys.isArray() && keys.dimCount() == 1) {
        for (const Variant& k : keys.elements())
            r.keys.push_back(text(k));
    } else if (!keys.isEmptyOrNull()) {
        r.keys.push_back(text(keys));
    }
    r.list = flag(element(request, 3));
    r.extra = text(element(request, 4));
    r.company = text(element(request, 5));
    r.database = text(element(request, 6));
    try {
        r.window = std::uintptr_t(element(request, 7).isNumeric() ? element(request, 7).toInt64() : 0);
    } catch (const VariantError&) {
    }
    r.user = text(element(request, 18));

    const Query q = lookup->query(r);
    const std::vector<std::vector<Variant>> rows =
        RowsOf(server_->simpleSql(q.sql, q.columns, r.company, r.database, q.params));

    QStringList captions;
    for (const Wording3& c : lookup->captions)
        captions << QString::fromUtf8(c.in(language_));
    LookupWindow window(QString::fromUtf8(lookup->title.in(language_)), captions, shownRows(*server_, *lookup, rows, r),
                        r.list, language_, windowOf(r.window));
    if (lookup->amountColumn >= 0)
        window.setRightAligned({lookup->amountColumn});
    window.locate(lookup->start(r));
    if (RunModal(&window, [&window] { return window.exec(); }) != QDialog::Accepted)
        return Variant();

    const std::vector<int> chosen = window.chosenRows();
    if (chosen.empty())
        return Variant();
    std::vector<Variant> answer;
    for (int index : chosen) {
        std::vector<Variant> row = rows[std::size_t(index)];
        if (lookup->resultColumns > 0 && int(row.size()) > lookup->resultColumns)
            row.resize(std::size_t(lookup->resultColumns));
        answer.push_back(Variant::list(std::move(row)));
    }
    return Variant::list(std::move(answer));
}

QStringList ComF2Window::Phrases(const std::string& clientPath, const std::string& user)
{
    QStringList phrases;
    if (clientPath.empty())
        return phrases;
    const IniFile file(clientPath + "Phrase.ini");
    auto add = [&](const std::string& section) {
        for (const std::string& line : file.ReadSectionValues(section)) {
            const auto eq = line.find('=');
            const QString phrase = QString::fromStdString(eq == std::string::npos ? line : line.substr(eq + 1)).trimmed();
            if (!phrase.isEmpty() && !phrases.contains(phrase))
                phrases << phrase;
        }
    };
    if (!user.empty())
        add("User " + user);
    add("Common");
    return phrases;
}

Variant ComF2Window::getPhrase(const std::string& user, std::uintptr_t window)
{
    const QStringList phrases = Phrases(clientPath_, user);
    std::vector<std::vector<Variant>> rows;
    for (const QString& p : phrases)
        rows.push_back({Variant(p.toStdString())});
    static constexpr Wording3 title{"常用词汇", "常用詞彙", "Common phrases"};
    static constexpr Wording3 caption{"词汇", "詞彙", "Phrase"};
    LookupWindow picker(QString::fromUtf8(title.in(language_)), {QString::fromUtf8(caption.in(language_))}, rows, false,
                        language_, windowOf(window));
    if (RunModal(&picker, [&picker] { return picker.exec(); }) != QDialog::Accepted)
        return Variant("");
    const std::vector<int> chosen = picker.chosenRows();
    return chosen.empty() ? Variant("") : Variant(phrases[chosen.front()].toStdString());
}

Variant ComF2Window::showInputDay(const Variant& request)
{
    const bool rocYears = flag(element(request, 0));
    const QDate start = DatePicker::fromCompactText(QString::fromStdString(text(element(request, 1))));
    DatePicker picker(start, rocYears, language_);
    if (RunModal(&picker, [&picker] { return picker.exec(); }) != QDialog::Accepted)
        return Variant("");
    return Variant(DatePicker::compactText(picker.selectedDate()).toStdString());
}
