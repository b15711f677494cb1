#include "serverdb/SiteData.h"

#include "platform/Exception.h"
#include "platform/OleDate.h"
#include "support/Utf8.h"

#include <cstdio>

namespace {

bool codeCharacters(const std::string& text, const std::string& others)
{
    for (const char c : text)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
              others.find(c) != std::string::npos))
            return false;
    return true;
}

// A name as the tables keep it: whole UTF-8 characters, none of them a control character,
// not padded (texts are stored trimmed), at most most characters.
std::string nameProblem(const std::string& text, std::size_t most)
{
    if (toUtf8(toUtf32(text)) != text)
        return "is no UTF-8 text";
    for (const char32_t c : toUtf32(text))
        if (c < 0x20 || c == 0x7f)
            return "holds a control character";
    if (text.front() == ' ' || text.back() == ' ')
        return "starts or ends with a blank";
    if (utf8Length(text) > most)
        return "is longer than " + std::to_string(most) + " characters";
    return {};
}

void insert(DbConnection& db, const std::string& table, const std::vector<std::string>& columns,
            const std::vector<std::string>& values)
{
    std::string names, marks;
    DbParams params;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        names += (i ? ", " : "") + columns[i];
        marks += (i ? ", :" : ":") + columns[i];
        params.emplace_back(columns[i], Variant(values[i]));
    }
    db.execute("INSERT INTO " + table + " (" + names + ") VALUES (" + marks + ")", params);
}

} // namespace

void CheckSiteCompany(const SiteCompany& s)
{
    if (s.code.empty() || s.code.size() > 10 || !codeCharacters(s.code, "_"))
        throw Exception("--company \"" + s.code + "\" is not 1 to 10 letters, digits or _");
    if (s.name.empty())
        throw Exception("--company-name is empty");
    if (const std::string why = nameProblem(s.name, 80); !why.empty())
        throw Exception("--company-name " + why);
    if (s.adminCode.empty() || s.adminCode.size() > 10 || !codeCharacters(s.adminCode, "_-."))
        throw Exception("--admin \"" + s.adminCode + "\" is not 1 to 10 letters, digits, _, - or .");
    if (!s.adminName.empty())
        if (const std::string why = nameProblem(s.adminName, 40); !why.empty())
            throw Exception("--admin-name " + why);
}

void FillSiteSystemData(DbConnection& sys, const SiteCompany& s)
{
    CheckSiteCompany(s);
    const int year = DecodeDateTime(s.today).year;
    char closed[16], open[16];
    std::snprintf(closed, sizeof closed, "%04d12", year - 1);
    std::snprintf(open, sizeof open, "%04d01", year);

    DbTransaction tx(sys);
    insert(sys, "ADMMC", {"MC001", "MC002", "MC003", "MC004"}, {s.code, s.name, s.database, "Y"});
    const std::vector<std::string> setting{"MS001", "MS002", "MS003", "MS004"};
    insert(sys, "ADMMS", setting, {s.code, "Sys001", "1", "日期格式: 1 年月日, 2 月日年, 3 日月年, 4/5 民国年"});
    insert(sys, "ADMMS", setting, {s.code, "Sys002", "/", "日期分隔符"});
    insert(sys, "ADMMS", setting, {s.code, "Sys003", "RMB", "本位币"});
    insert(sys, "ADMMS", setting, {s.code, "Sys029", open, "开账起始年月"});
    insert(sys, "ADMMS", setting, {s.code, "Sys030", closed, "已结账年月"});
    insert(sys, "ADMMS", setting, {s.code, "QVR002", s.name, "公司抬头"});

    insert(sys, "QVRMA", {"MA001", "MA002", "MA005", "MA006", "MA007", "MA008"},
           {s.adminCode, s.adminName.empty() ? s.adminCode : s.adminName, "Y", "CHS", "Y", s.code});
    insert(sys, "ADMMR", {"MR001", "MR002", "MR003", "MR004", "MR005", "MR006", "MR007", "MR008", "MR009"},
           {s.adminCode, "WOFB07", "Y", "Y", "Y", "Y", "Y", "Y", ""});
    insert(sys, "ADMMB", {"MB001", "MB002", "MB003", "MB004", "MB005", "MB006", "MB007", "MB008", "MB009"},
           {"WOFB07", "应付账款转销作业", "WOF", "B", "N", "應付賬款轉銷作業", "WOFB07C", "A/P Write-off Batch", "Y"});
    insert(sys, "QVRINTMA", {"MA001", "MA002", "MA003"}, {"StartupPortal", "启用 Portal 用户通知", "N"});
    insert(sys, "QVRINTMA", {"MA001", "MA002", "MA003"}, {"Portal WS", "Portal Web 服务地址", ""});
    tx.commit();
}
