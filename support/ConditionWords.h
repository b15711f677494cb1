#pragma once
// What a clerk chose for a job, in words of an interface language: the condition values a
// run-options form sends (their shapes are those of Conditions.h) and the date rules that
// move them with each run (the rule lines of ScheduleRules.h). The queue command shows a
// job's request so, never as the codes and ranges the packet holds.

#include "platform/Variant.h"
#include "support/MessageCatalogue.h"

#include <functional>
#include <string>
#include <string_view>

// One line of a job's record: a condition's caption and its value in words.
struct ConditionLine {
    std::string caption;
    std::string value;
};

// How one single value reads (a date, a document's type and number); the text itself
// when not given.
using ShownValue = std::function<std::string(const std::string&)>;

// A text of a packet, a code-page text read as UTF-8, trimmed; empty for Empty and Null.
std::string PacketText(const Variant& value);
// "2026-12-10" of a compact date, "2026-12" of a year and month; any other text as it is.
std::string ShownCompactDate(std::string_view text);
// A value as the clerk chose it: a range "A 至 B" ("A to B"), with one end "A 起" or
// "至 B", with none "全部"; a list "A, B, C"; a single value as it is; nothing given
// "(未输入)". Each single value goes through shown.
std::string ConditionValueWords(const Variant& value, HostLanguage language, const ShownValue& shown = {});
// "是" or "否" of a check box's "Y" or "N"; another value as it is.
std::string YesNoWords(const Variant& value, HostLanguage language);
// The words for a value left empty.
std::string NotGivenWords(HostLanguage language);
// Whether a value is an SQL query (SELECT or WITH ... FROM): a form's own text, which
// says nothing to a person.
bool IsQueryText(const Variant& value);

// A date rule line in words: "运行日期 -1 个月, 当月最后一天", a range "起: 不变; 止: 运行日期".
// A line that cannot be read says so.
std::string DateRuleWords(std::string_view line, HostLanguage language);
// The option (1-based) a rule line moves: its last field; 0 when it names none.
int DateRuleOption(std::string_view line);
