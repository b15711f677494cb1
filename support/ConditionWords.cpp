#include "support/ConditionWords.h"

#include "platform/AsciiText.h"
#include "platform/CodePage.h"
#include "support/Conditions.h"
#include "support/Dates.h"
#include "support/Helpers.h"

#include <cctype>
#include <optional>
#include <vector>

namespace {

constexpr char kFieldMark[] = "\x03";

constexpr Wording3 kNotGiven{"(未输入)", "(未輸入)", "(not given)"};
constexpr Wording3 kAll{"全部", "全部", "all"};
constexpr Wording3 kNone{"无", "無", "none"};
constexpr Wording3 kUnshown{"(无法显示的数值)", "(無法顯示的數值)", "(a value that cannot be shown)"};
constexpr Wording3 kBetween{" 至 ", " 至 ", " to "};
constexpr Wording3 kFromLead{"", "", "from "};
constexpr Wording3 kFromTail{" 起", " 起", ""};
constexpr Wording3 kUpTo{"至 ", "至 ", "up to "};
constexpr Wording3 kYes{"是", "是", "yes"};
constexpr Wording3 kNo{"否", "否", "no"};

constexpr Wording3 kStays{"不变", "不變", "stays as entered"};
constexpr Wording3 kRunDate{"运行日期", "執行日期", "the run date"};
constexpr Wording3 kRunMonth{"运行月份", "執行月份", "the run month"};
constexpr Wording3 kWeek{"周", "週", "week"};
constexpr Wording3 kWeeks{"周", "週", "weeks"};
constexpr Wording3 kMonth{"个月", "個月", "month"};
constexpr Wording3 kMonths{"个月", "個月", "months"};
constexpr Wording3 kDay{"天", "天", "day"};
constexpr Wording3 kDays{"天", "天", "days"};
constexpr Wording3 kFirstOfMonth{"当月第一天", "當月第一天", "first day of the month"};
constexpr Wording3 kLastOfMonth{"当月最后一天", "當月最後一天", "last day of the month"};
constexpr Wording3 kSunday{"当周星期日", "當週星期日", "Sunday of the week"};
constexpr Wording3 kSaturday{"当周星期六", "當週星期六", "Saturday of the week"};
constexpr Wording3 kStart{"起: ", "起: ", "start: "};
constexpr Wording3 kEnd{"止: ", "止: ", "end: "};
constexpr Wording3 kUnreadable{"(无法读取的日期规则)", "(無法讀取的日期規則)", "(a date rule that cannot be read)"};

std::string shownOne(const Variant& v, const ShownValue& shown)
{
    // A list element that is an array stands for its element 0, as in a condition.
    const Variant& single = v.isArray() && v.dimCount() == 1 && v.count() > 0 ? v[v.lowBound()] : v;
    const std::string text = PacketText(single);
    return text.empty() || !shown ? text : shown(text);
}

std::string rangeWords(const std::string& low, const std::string& high, HostLanguage language)
{
    if (low.empty() && high.empty())
        return kAll.in(language);
    if (low == high)
        return low;
    if (high.empty())
        return kFromLead.in(language) + low + kFromTail.in(language);
    if (low.empty())
        return kUpTo.in(language) + high;
    return low + kBetween.in(language) + high;
}

std::string listWords(const Variant& value, int from, HostLanguage language, const ShownValue& shown)
{
    std::string out;
    for (int i = from; i <= value.highBound(); ++i)
        if (const std::string one = shownOne(value[i], shown); !one.empty())
            out += (out.empty() ? "" : ", ") + one;
    return out.empty() ? kNone.in(language) : out;
}

std::optional<int> number(const std::string& text)
{
    int n = 0;
    if (!tryStrToInt(trimText(text), n))
        return std::nullopt;
    return n;
}

std::string signedCount(int n, const Wording3& one, const Wording3& many, HostLanguage language)
{
    const std::string sign = n < 0 ? "-" : "+";
    return sign + std::to_string(n < 0 ? -n : n) + " " + (n == 1 || n == -1 ? one : many).in(language);
}

// One rule (moves, count, unit, mode, days from field first on) in words; none when a
// field cannot be read.
std::optional<std::string> ruleWords(std::string_view line, int first, bool byMonth, HostLanguage language)
{
    auto f = [&](int k) { return GetField(line, kFieldMark, first + k); };
    const std::string moves = f(0);
    if (moves == "N")
        return kStays.in(language);
    const std::optional<int> count = number(f(1)), unit = number(f(2)), mode = number(f(3)), days = number(f(4));
    if (moves != "Y" || !count || !unit || !mode || !days || *unit < 0 || *unit > 1 || *mode < 0 || *mode > 2)
        return std::nullopt;
    // A year and month moves by whole months.
    if (byMonth)
        return std::string(kRunMonth.in(language)) + (*count ? " " + signedCount(*count, kMonth, kMonths, language) : "");
    std::string s = kRunDate.in(language);
    if (*count)
        s += " " + (*unit == 1 ? signedCount(*count, kMonth, kMonths, language)
                               : signedCount(*count, kWeek, kWeeks, language));
    if (*mode == 0 && *days)
        s += " " + signedCount(*days, kDay, kDays, language);
    else if (*mode == 1)
        s += std::string(", ") + (*unit == 1 ? kFirstOfMonth : kSunday).in(language);
    else if (*mode == 2)
        s += std::string(", ") + (*unit == 1 ? kLastOfMonth : kSaturday).in(language);
    return s;
}

} // namespace

std::string PacketText(const Variant& value)
{
    if (value.type() == VarType::AnsiString)
        return trimText(CodePageToUtf8(value.ansiBytes(), value.ansiCodePage()));
    return trimText(safeVarToStr(value));
}

std::string ShownCompactDate(std::string_view text)
{
    if (text.size() == 8 && IsValidCompactDate(text))
        return std::string(text.substr(0, 4)) + "-" + std::string(text.substr(4, 2)) + "-"
             + std::string(text.substr(6, 2));
    if (text.size() == 6 && IsValidCompactDate(std::string(text) + "01"))
        return std::string(text.substr(0, 4)) + "-" + std::string(text.substr(4, 2));
    return std::string(text);
}

std::string ConditionValueWords(const Variant& value, HostLanguage language, const ShownValue& shown)
{
    if (!value.isArray()) {
        const std::string one = shownOne(value, shown);
        return one.empty() ? kNotGiven.in(language) : one;
    }
    if (value.dimCount() != 1)
        return kUnshown.in(language);
    const int low = value.lowBound();
    auto at = [&](int i) { return i <= value.highBound() ? shownOne(value[i], shown) : std::string(); };
    switch (ConditionValueKind(value)) {
    case 1:
        return listWords(value, low + 1, language, shown);
    case 0:
        return rangeWords(at(low + 1), at(low + 2), language);
    default:
        // Any other pair is a range too, as the condition text reads it.
        return value.count() == 2 ? rangeWords(at(low), at(low + 1), language) : listWords(value, low, language, shown);
    }
}

std::string YesNoWords(const Variant& value, HostLanguage language)
{
    const std::string text = PacketText(value);
    if (SameTextAscii(text, "Y"))
        return kYes.in(language);
    if (SameTextAscii(text, "N"))
        return kNo.in(language);
    return text.empty() ? kNotGiven.in(language) : text;
}

std::string NotGivenWords(HostLanguage language)
{
    return kNotGiven.in(language);
}

bool IsQueryText(const Variant& value)
{
    if (!value.isString())
        return false;
    std::string text = PacketText(value);
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    const auto starts = [&](std::string_view word) {
        return text.size() > word.size() && text.compare(0, word.size(), word) == 0
            && std::isspace(static_cast<unsigned char>(text[word.size()]));
    };
    return (starts("select") || starts("with")) && text.find("from") != std::string::npos;
}

std::string DateRuleWords(std::string_view line, HostLanguage language)
{
    const std::string kind = GetField(line, kFieldMark, 1);
    if (kind == "1") {
        const auto words = ruleWords(line, 3, GetField(line, kFieldMark, 8) == "M", language);
        if (words)
            return *words;
    } else if (kind == "0") {
        const bool byMonth = GetField(line, kFieldMark, 13) == "M";
        const auto start = ruleWords(line, 3, byMonth, language);
        const auto end = ruleWords(line, 8, byMonth, language);
        if (start && end)
            return kStart.in(language) + *start + "; " + kEnd.in(language) + *end;
    }
    return kUnreadable.in(language);
}

int DateRuleOption(std::string_view line)
{
    const std::string kind = GetField(line, kFieldMark, 1);
    const int field = kind == "1" ? 9 : kind == "0" ? 14 : 0;
    return field ? strToIntDef(trimText(GetField(line, kFieldMark, field)), 0) : 0;
}
