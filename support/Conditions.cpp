#include "support/Conditions.h"
#include "support/Helpers.h"

#include <optional>

namespace {

const std::string kRange(1, '\x04');
const std::string kList(1, '\x05');

bool inBounds(const Variant& a, int i)
{
    return a.isArray() && a.dimCount() == 1 && i >= a.lowBound() && i <= a.highBound();
}

// A bound as text, or nothing when it is not given.
std::optional<std::string> bound(const Variant& value, int index, bool isArray)
{
    const Variant* v = &value;
    if (isArray) {
        if (!inBounds(value, index))
            return std::nullopt;
        v = &value[index];
    }
    if (v->isEmptyOrNull() || v->isArray() || v->isDispatch())
        return std::nullopt;
    std::string text = safeVarToStr(*v);
    if (text.empty())
        return std::nullopt;
    return text;
}

bool isNumber(std::string_view s)
{
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    bool digits = false;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9')
        ++i, digits = true;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9')
            ++i, digits = true;
    }
    if (!digits)
        return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            ++i;
        bool exp = false;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9')
            ++i, exp = true;
        if (!exp)
            return false;
    }
    return i == s.size();
}

std::string numeric(const std::string& text)
{
    return isNumber(text) ? text : quotedSql(text);
}

std::string rangeCondition(std::string_view f, std::optional<std::string> low, std::optional<std::string> high,
                           int kind)
{
    const std::string col(f);
    if (kind == 1) {
        if (low && high) {
            if (*low == *high)
                return " (" + col + "=" + quotedSql(*low) + ") ";
            return " (" + col + " Between " + quotedSql(*low) + " and " + quotedSql(*high) + ") ";
        }
        if (low)
            return " (" + col + ">= " + quotedSql(*low) + ")";
        if (high)
            return " (" + col + "<= " + quotedSql(*high) + " OR " + col + " IS NULL )";
        return {};
    }
    if (kind == 2 || kind == 3) {
        if (low) {
            low = trimText(*low);
            if (low->empty())
                low.reset();
        }
        if (high) {
            high = trimText(*high);
            if (high->empty())
                high.reset();
        }
        if (low && high) {
            if (*low == *high)
                return " (" + col + "=" + numeric(*low) + ") ";
            return " (" + col + " Between " + numeric(*low) + " and " + numeric(*high) + ") ";
        }
        if (low)
            return " (" + col + ">=" + numeric(*low) + ")";
        if (high)
            return " (" + col + "<=" + numeric(*high) + " OR " + col + " IS NULL )";
    }
    return {};
}

std::string listCondition(std::string_view f, const Variant& value)
{
    std::string list;
    auto add = [&](const Variant& item) {
        const Variant* v = &item;
        if (item.isArray()) {
            if (!inBounds(item, 0))
                return;
            v = &item[0];
        }
        const std::string text = v->isArray() ? std::string() : safeVarToStr(*v);
        if (text.empty())
            return;
        if (!list.empty())
            list += ", ";
        list += quotedSql(text);
    };
    if (value.isArray()) {
        if (value.dimCount() == 1)
            for (int i = 1; i <= value.highBound(); ++i)
                if (i >= value.lowBound())
                    add(value[i]);
    } else {
        add(value);
    }
    if (list.empty())
        return {};
    return "(" + std::string(f) + " IN (" + list + "))";
}

} // namespace

Variant rangeMarker()
{
    return Variant(kRange);
}

Variant listMarker()
{
    return Variant(kList);
}

std::string quotedSql(std::string_view text)
{
    std::string r;
    r.reserve(text.size() + 2);
    r += '\'';
    for (char c : text) {
        if (c == '\'')
            r += '\'';
        r += c;
    }
    r += '\'';
    return r;
}

int ConditionValueKind(const Variant& value)
{
    if (!value.isArray())
        return -1;
    if (!inBounds(value, 0))
        return -1;
    const std::string head = safeVarToStr(value[0]);
    if (head == kList)
        return 1;
    if (head == kRange)
        return 0;
    return -1;
}

void AppendCondition(std::string& where, std::string_view column, const Variant& value, std::string& condition,
                     int kind)
{
    condition.clear();
    switch (ConditionValueKind(value)) {
    case 1:
        condition = listCondition(column, value);
        break;
    case 0:
        condition = rangeCondition(column, bound(value, 1, true), bound(value, 2, true), kind);
        break;
    default:
        if (value.isArray())
            condition = rangeCondition(column, bound(value, 0, true), bound(value, 1, true), kind);
        else
            condition = rangeCondition(column, bound(value, 0, false), std::nullopt, kind);
        break;
    }
    if (condition.empty())
        return;
    if (where.empty())
        where = "Where " + condition;
    else
        where += " and " + condition;
}

Variant GetConditionValue(const Variant& values, int index, int part, int subpart)
{
    if (!inBounds(values, index))
        return Variant();
    const Variant& element = values[index];
    auto piece = [](const Variant& v) { return v.isEmptyOrNull() ? Variant(std::string()) : v; };
    if (part == -1 || !element.isArray())
        return piece(element);
    if (element.dimCount() != 1)
        return Variant(std::string());
    if (ConditionValueKind(element) >= 0) {
        if (part == 0)
            part = 1;
        if (part > element.highBound())
            part = element.highBound();
    }
    if (!inBounds(element, part))
        return Variant(std::string());
    const Variant& entry = element[part];
    if (subpart == -1 || !entry.isArray())
        return piece(entry);
    if (entry.dimCount() != 1)
        return Variant(std::string());
    if (subpart < 0)
        subpart = 0;
    if (subpart > entry.highBound())
        subpart = entry.highBound();
    if (!inBounds(entry, subpart))
        return Variant(std::string());
    return piece(entry[subpart]);
}
