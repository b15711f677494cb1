#include "server/JobRequest.h"

#include "platform/OleDate.h"
#include "serverdb/ServerDatabase.h"
#include "support/Dates.h"
#include "support/Helpers.h"
#include "support/NotificationQueue.h"
#include "support/ScheduleRules.h"

#include <pugixml.hpp>

#include <cctype>
#include <cmath>

JobRequestError::~JobRequestError() = default;

namespace {

constexpr int kEnvCount = 12;
constexpr char kFieldMark[] = "\x03";

[[noreturn]] void refuse(const std::string& why)
{
    throw JobRequestError(why);
}

bool isArray1(const Variant& v)
{
    return v.isArray() && v.dimCount() == 1;
}

std::string bounds(const Variant& v)
{
    if (!v.isArray())
        return "no array (" + v.typeName() + ")";
    if (v.dimCount() != 1)
        return "an array of two dimensions";
    return "an array " + std::to_string(v.lowBound()) + ".." + std::to_string(v.highBound());
}

std::string text(const Variant& env, int slot, const char* what, bool required)
{
    const Variant& v = env[slot];
    if (!(v.isString() || (v.isEmptyOrNull() && !required)))
        refuse("Environment slot " + std::to_string(slot) + " (" + what + ") must be a text, not "
               + (v.isArray() ? bounds(v) : v.typeName()));
    const std::string s = trimText(safeVarToStr(v));
    if (required && s.empty())
        refuse("Environment slot " + std::to_string(slot) + " (" + what + ") is empty");
    return s;
}

int whole(const Variant& v, int slot, const char* what)
{
    int n = 0;
    if (v.type() == VarType::Int || v.type() == VarType::Int64 || v.type() == VarType::Double) {
        const double d = v.toDouble();
        if (std::floor(d) == d && std::fabs(d) < 1e9)
            return int(d);
    } else if (v.isString() && tryStrToInt(trimText(safeVarToStr(v)), n)) {
        return n;
    }
    refuse("Environment slot " + std::to_string(slot) + " (" + what + ") must be a whole number, not \""
           + safeVarToStr(v) + "\"");
}

double moment(const Variant& v, int slot, const char* what)
{
    static const double first = EncodeDate(1753, 1, 1);
    static const double last = EncodeDate(9999, 12, 31) + 1;
    double d = 0;
    bool ok = false;
    if (v.type() == VarType::Date || v.isNumeric() || v.isString()) {
        try {
            d = v.toDate();
            ok = d >= first && d < last;
        } catch (const VariantError&) {
        }
    }
    if (!ok)
        refuse("Environment slot " + std::to_string(slot) + " (" + what + ") is no readable date and time: \""
               + safeVarToStr(v) + "\"" + (v.isString() || v.isNumeric() ? "" : " (" + v.typeName() + ")"));
    return d;
}

std::string recipientsOf(const std::string& xml)
{
    if (xml.empty() || xml == "N")
        return {};
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_buffer(xml.data(), xml.size());
    if (!parsed)
        refuse(std::string("Environment slot 12 (recipients) is no XML text: ") + parsed.description());
    if (!doc.child("Root"))
        refuse("Environment slot 12 (recipients) has no Root element");
    if (const std::string why = RecipientListProblem(xml); !why.empty())
        refuse("Environment slot 12 (recipients): " + why);
    return xml;
}

void checkOptions(const Variant& texts, const Variant& values, int count)
{
    if (!isArray1(texts) || texts.lowBound() != 1 || texts.highBound() != count)
        refuse("The option texts (element 1) must be an array 1.." + std::to_string(count) + " (OptionCount), not "
               + bounds(texts));
    if (!isArray1(values) || values.lowBound() != 1 || values.highBound() != count)
        refuse("The option values (element 2) must be an array 1.." + std::to_string(count)
               + (values.isString() && safeVarToStr(values).empty() ? " (the date rules could not be applied)" : "")
               + ", not " + bounds(values));
    for (int i = 1; i <= count; ++i) {
        const Variant& t = texts[i];
        if (!isArray1(t) || t.count() < 2)
            refuse("Option text " + std::to_string(i) + " must be an array [caption, control name], not " + bounds(t));
        if (!t[t.lowBound()].isString() || !t[t.lowBound() + 1].isString())
            refuse("Option text " + std::to_string(i) + " must hold two texts [caption, control name]");
    }
}

void checkRules(const Variant& rules, int count)
{
    if (!isArray1(rules) || rules.lowBound() != 0)
        refuse("The date rules (element 4) must be an array 0..n, not " + bounds(rules));
    const Variant& n = rules[0];
    int lines = -1;
    if (n.isNumeric() || n.isString())
        lines = strToIntDef(trimText(safeVarToStr(n)), -1);
    if (lines != rules.highBound())
        refuse("The date rules (element 4) must hold their number in element 0 (" + safeVarToStr(n)
               + ") and as many lines (" + std::to_string(rules.highBound()) + ")");
    for (int i = 1; i <= lines; ++i) {
        const std::string line = rules[i].isString() ? safeVarToStr(rules[i]) : std::string();
        const std::string kind = GetField(line, kFieldMark, 1);
        const int indexField = kind == "1" ? 9 : kind == "0" ? 14 : 0;
        if (!indexField)
            refuse("Date rule " + std::to_string(i) + " is no rule line (it must start with \"1\" or \"0\")");
        const int index = strToIntDef(GetField(line, kFieldMark, indexField), 0);
        if (CountFields(line, kFieldMark) < indexField || index < 1 || index > count)
            refuse("Date rule " + std::to_string(i) + " does not name the option it moves (field "
                   + std::to_string(indexField) + " must be an option from 1 to " + std::to_string(count) + ")");
    }
}

} // namespace

bool IsValidProgramCode(std::string_view code)
{
    return ServerDatabase::isValidDatabaseName(code) && code.size() <= 10;
}

Variant RollParameters(const Variant& values, const Variant& period, const Variant& rules)
{
    Variant params = Variant::array(1, 3);
    params[1] = values;
    params[2] = period;
    params[3] = rules;
    return params;
}

JobRequest ReadJobRequest(const Variant& packet)
{
    if (!isArray1(packet) || packet.lowBound() != 0 || (packet.highBound() != 2 && packet.highBound() != 4))
        refuse("The request must be an array 0..2, or 0..4 for a periodic job, not " + bounds(packet));
    JobRequest r;
    r.packet = packet;

    const Variant& env = packet[0];
    if (!isArray1(env) || env.lowBound() != 1 || env.highBound() < kEnvCount)
        refuse("The environment (element 0) must be an array 1.." + std::to_string(kEnvCount) + ", not " + bounds(env));
    if (whole(env[2], 2, "EnvCount") != env.highBound())
        refuse("Environment slot 2 (EnvCount) says " + safeVarToStr(env[2]) + " but the environment has "
               + std::to_string(env.highBound()) + " slots");

    r.programCode = upperAscii(text(env, 1, "program code", true));
    if (!IsValidProgramCode(r.programCode))
        refuse("Environment slot 1 (program code) \"" + r.programCode
               + "\" is no program code (letters, digits and \"_\", at most 10)");
    r.optionCount = whole(env[3], 3, "OptionCount");
    if (r.optionCount < 1)
        refuse("Environment slot 3 (OptionCount) must be at least 1, not " + std::to_string(r.optionCount));
    r.companyCode = text(env, 4, "company", true);
    r.userCode = text(env, 5, "user", true);
    r.databaseName = text(env, 6, "database", true);
    if (!ServerDatabase::isValidDatabaseName(r.databaseName))
        refuse("Environment slot 6 (database) \"" + r.databaseName + "\" is no database name");
    r.builtAt = moment(env[7], 7, "moment of the request");
    r.serverClassName = text(env, 8, "server class name", false);
    r.jobKind = text(env, 9, "job kind", true);
    if (r.jobKind.size() != 1 || !std::isalpha(static_cast<unsigned char>(r.jobKind[0])))
        refuse("Environment slot 9 (job kind) must be one letter, not \"" + r.jobKind + "\"");
    r.periodic = std::islower(static_cast<unsigned char>(r.jobKind[0])) != 0;
    r.runMode = whole(env[10], 10, "run mode");
    if (r.runMode < 0 || r.runMode > 2)
        refuse("Environment slot 10 (run mode) must be 0, 1 or 2, not " + std::to_string(r.runMode));
    r.runAt = moment(env[11], 11, "moment of the run");
    r.recipients = recipientsOf(text(env, 12, "recipients", false));

    checkOptions(packet[1], packet[2], r.optionCount);

    if (r.periodic != (packet.highBound() == 4))
        refuse(r.periodic ? "A periodic request (job kind \"" + r.jobKind
                                + "\") must hold the period value and the date rules (elements 3 and 4)"
                          : "The request holds a period value but its job kind \"" + r.jobKind
                                + "\" is not that of a periodic job (lower case)");
    if (r.periodic) {
        // 2 runs by the schedule; 1 runs once at once, then by the schedule.
        if (r.runMode == 0)
            refuse("A periodic request must have run mode 1 or 2 (environment slot 10), not 0");
        std::string why;
        if (!ReadRunPeriod(packet[3], r.period, why))
            refuse(why);
        checkRules(packet[4], r.optionCount);
        const std::string firstDay = dateToCompact(std::floor(FirstRunMoment(r.period, r.runAt)));
        const Variant rolled = RollConditionDates(RollParameters(packet[2], packet[3], packet[4]), firstDay);
        if (!rolled.isArray())
            refuse("The date rules cannot be applied to the option values (run date " + firstDay + ")");
    }
    return r;
}
