#include "server/JobChoices.h"
#include "server/JobStore.h"

#include "platform/AsciiText.h"
#include "support/Helpers.h"
#include "writeoffserver/WriteOffConditions.h"

#include <algorithm>

namespace {

// Caption and control name of option i; both empty where the texts have none.
std::pair<std::string, std::string> optionText(const Variant& texts, int i)
{
    if (!texts.isArray() || texts.dimCount() != 1 || i < texts.lowBound() || i > texts.highBound())
        return {};
    const Variant& t = texts[i];
    if (!t.isArray() || t.dimCount() != 1 || t.count() < 2)
        return {};
    return {PacketText(t[t.lowBound()]), PacketText(t[t.lowBound() + 1])};
}

// Any program's options by the shapes of their values; a check box's "Y" reads as yes,
// eight digits that make a date as that date.
std::vector<ConditionLine> genericConditions(const Variant& texts, const Variant& values, HostLanguage language)
{
    std::vector<ConditionLine> lines;
    if (!texts.isArray() || texts.dimCount() != 1)
        return lines;
    const ShownValue date = [](const std::string& t) { return t.size() == 8 ? ShownCompactDate(t) : t; };
    for (int i = texts.lowBound(); i <= texts.highBound(); ++i) {
        const auto [caption, control] = optionText(texts, i);
        const bool given = values.isArray() && values.dimCount() == 1 && i >= values.lowBound() && i <= values.highBound();
        const Variant value = given ? values[i] : Variant();
        if (IsQueryText(value))
            continue;
        const bool checkBox = control.size() > 3 && SameTextAscii(control.substr(0, 3), "chk");
        lines.push_back({caption.empty() ? control : caption,
                         checkBox ? YesNoWords(value, language) : ConditionValueWords(value, language, date)});
    }
    return lines;
}

} // namespace

JobChoices DescribeJobChoices(const JobRecord& job, HostLanguage language, DbConnection* company)
{
    JobChoices choices;
    const Variant& packet = job.packet;
    if (!packet.isArray() || packet.dimCount() != 1 || packet.lowBound() != 0 || packet.highBound() < 2)
        return choices;
    const Variant& texts = packet[1];
    const Variant& values = packet[2];
    std::optional<std::vector<ConditionLine>> own;
    if (SameTextAscii(trimBlanks(job.programCode), "WOFB07"))
        own = DescribeWriteOffConditions(texts, values, language, company);
    choices.conditions = own ? std::move(*own) : genericConditions(texts, values, language);

    const Variant& rules = job.rules;
    if (job.periodic() && rules.isArray() && rules.dimCount() == 1)
        for (int i = std::max(rules.lowBound(), 1); i <= rules.highBound(); ++i) {
            const std::string line = safeVarToStr(rules[i]);
            const auto [caption, control] = optionText(texts, DateRuleOption(line));
            choices.dateRules.push_back(
                {caption.empty() ? (control.empty() ? GetField(line, "\x03", 2) : control) : caption,
                 DateRuleWords(line, language)});
        }
    return choices;
}
