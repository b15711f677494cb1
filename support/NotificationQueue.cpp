#include "support/NotificationQueue.h"

#include "platform/AsciiText.h"
#include "platform/Exception.h"
#include "platform/OleDate.h"
#include "support/Helpers.h"

#include <pugixml.hpp>

#include <cstdio>
#include <sstream>

namespace {

constexpr const char* kDefinitionsSql =
    " SELECT MD001, MD002, MD003, MD006, ISNULL(MD007, '') MD007  FROM $$TMCMD  LEFT JOIN $$TMCMC ON MC001 = MD001 "
    "AND MC002 = MD002  WHERE UPPER(MC005) = :MC005  AND MD004 = :MD004 ";

constexpr const char* kInsertSql =
    " INSERT INTO ADMTC (TC001, TC002, TC003, TC004, TC005, TC006, TC007, TC008, TC009,  COMPANY, CREATOR, "
    "CREATE_DATE, FLAG)  VALUES (:TC001, :TC002, :TC003, :TC004, :TC005, :TC006, :TC007, :TC008, :TC009,:COMPANY, "
    ":CREATOR, :CREATE_DATE, :FLAG) ";

constexpr const char* kXmlDeclaration = "<?xml version=\"1.0\" encoding=\"GB2312\"?>";

// A collision means another writer took the number between our read and our insert;
// the write transaction makes that rare on one database, so a few tries are plenty.
constexpr int kNumberAttempts = 50;

std::string nextNumberSql(const std::string& day)
{
    return std::string(" SELECT (SELECT CASE WHEN MAX(TC001) IS NULL THEN '") + day + "000001" + "' "
           + " ELSE CONVERT(CHAR(14), CAST(MAX(TC001) AS BIGINT) + 1) END " + " FROM "
           + " (SELECT MAX(TC001) TC001 FROM ADMTC WHERE TC004 LIKE '" + day + "%' " + " UNION "
           + " SELECT MAX(TD001) TD001 FROM ADMTD WHERE TD004 LIKE '" + day + "%') B) SEQX ";
}

std::string nodeXml(const pugi::xml_node& node)
{
    std::ostringstream out;
    node.print(out, "", pugi::format_raw | pugi::format_no_declaration);
    return out.str();
}

} // namespace

NotificationContent ParseNotificationDefinition(std::string_view md007)
{
    const std::string xml = GetField(md007, "||", 1);
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_buffer(xml.data(), xml.size(), pugi::parse_default);
    if (!parsed)
        throw Exception(std::string("The notification definition is no XML document: ") + parsed.description());
    const pugi::xpath_node receiver = doc.select_node("//MD007/Receiver");
    if (!receiver)
        throw Exception("The notification definition names no receivers (//MD007/Receiver)");
    const pugi::xpath_node title = doc.select_node("//MD007/Title/@Value");
    if (!title)
        throw Exception("The notification definition has no title (//MD007/Title/@Value)");

    // The element itself becomes Root; replacing "Receiver>" in the text would also rewrite
    // attribute values and elements merely named like it (e.g. <SubReceiver>).
    pugi::xml_document receivers;
    pugi::xml_node root = receivers.append_copy(receiver.node());
    root.set_name("Root");
    NotificationContent c;
    c.receivers = kXmlDeclaration + trimText(nodeXml(root));
    c.title = title.attribute().value();
    c.text = ReplaceAll(GetField(md007, "||", 2), "[**********]", "", true);
    c.attachment = GetField(md007, "||", 3);
    return c;
}

std::vector<std::string> ReadNotificationDefinitions(DbConnection& db, const std::string& databaseName,
                                                     const std::string& programCode)
{
    const std::string sql = ReplaceAll(kDefinitionsSql, "$$", databaseName + "..", false);
    const DbRowSet rows = db.query(sql, {{"MC005", upperAscii(programCode)}, {"MD004", "6"}});
    const int col = rows.columnIndex("MD007");
    std::vector<std::string> texts;
    for (const auto& row : rows.rows) {
        std::string text = row.at(col).isNull() ? std::string() : row.at(col).toString();
        if (!trimText(text).empty())
            texts.push_back(std::move(text));
    }
    return texts;
}

std::string ServerTimeStamp(DbConnection& db)
{
    const CivilDate t = DecodeDateTime(db.scalar(" SELECT GETDATE() DATEX ").toDate());
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d%03d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second, t.millisecond);
    return buf;
}

std::string QueueNotification(DbConnection& db, const std::string& sender, const std::string& company,
                              const NotificationContent& content)
{
    for (int attempt = 1;; ++attempt) {
        try {
            DbTransaction tx(db, DbTransaction::Write);
            const std::string stamp = ServerTimeStamp(db);
            const std::string number = trimText(db.scalar(nextNumberSql(stamp.substr(0, 8))).toString());
            db.execute(kInsertSql, {{"TC001", number},
                                    {"TC002", sender},
                                    {"TC003", content.receivers},
                                    {"TC004", stamp},
                                    {"TC005", "N"},
                                    {"TC006", content.title},
                                    {"TC007", content.attachment},
                                    {"TC008", content.text},
                                    {"TC009", "4"},
                                    {"COMPANY", company},
                                    {"CREATOR", sender},
                                    {"CREATE_DATE", stamp},
                                    {"FLAG", 1}});
            tx.commit();
            return number;
        } catch (const DbError& e) {
            if (e.kind() != DbErrorKind::UniqueViolation || attempt >= kNumberAttempts)
                throw;
        }
    }
}

NotificationOutcome QueueProgramNotifications(DbConnection& db, const std::string& databaseName,
                                              const std::string& programCode, const std::string& userCode,
                                              const std::string& companyCode)
{
    NotificationOutcome outcome;
    for (const std::string& md007 : ReadNotificationDefinitions(db, databaseName, programCode)) {
        const NotificationContent content = ParseNotificationDefinition(md007);
        try {
            outcome.queued.push_back(QueueNotification(db, userCode, companyCode, content));
        } catch (const DbError& e) {
            outcome.failures.emplace_back(e.what());
        }
    }
    return outcome;
}

namespace {

constexpr const char* kOutboxSql =
    "CREATE TABLE IF NOT EXISTS ADMTO ("
    " TO001 INTEGER PRIMARY KEY,"                   // outbox number
    " TO002 VARCHAR(1)   NOT NULL DEFAULT '',"      // S short message, M mail
    " TO003 VARCHAR(10)  NOT NULL DEFAULT '',"      // recipient (user code)
    " TO004 VARCHAR(60)  NOT NULL DEFAULT '',"      // mobile number or mail address
    " TO005 VARCHAR(255) NOT NULL DEFAULT '',"      // title
    " TO006 TEXT         NOT NULL DEFAULT '',"      // text
    " TO007 VARCHAR(17)  NOT NULL DEFAULT '',"      // time stamp
    " TO008 VARCHAR(1)   NOT NULL DEFAULT 'N',"     // N waiting, X no address to send to
    " COMPANY VARCHAR(10) NOT NULL DEFAULT '',"
    " CREATOR VARCHAR(10) NOT NULL DEFAULT '')";

std::string userColumn(DbConnection& db, const char* column, const std::string& user)
{
    const DbRowSet r = db.query(std::string("SELECT ") + column + " FROM QVRMA WHERE MA001 = :U", {{"U", user}});
    return r.empty() || r.rows[0][0].isEmptyOrNull() ? std::string() : trimText(r.rows[0][0].toString());
}

} // namespace

bool HasControlCharacter(std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7f)
            return true;
        // C1 (U+0080..U+009F) is C2 80..C2 9F; U+2028 and U+2029 are E2 80 A8 and E2 80 A9.
        if (c == 0xc2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) <= 0x9f
            && static_cast<unsigned char>(text[i + 1]) >= 0x80)
            return true;
        if (c == 0xe2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80
            && (static_cast<unsigned char>(text[i + 2]) == 0xa8 || static_cast<unsigned char>(text[i + 2]) == 0xa9))
            return true;
    }
    return false;
}

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trimmedView(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// A value for a message: quoted, long ones cut at a character's start.
std::string shown(std::string_view value)
{
    constexpr std::size_t kShown = 60;
    if (value.size() <= kShown)
        return "\"" + std::string(value) + "\"";
    std::size_t cut = kShown;
    while (cut > 0 && (static_cast<unsigned char>(value[cut]) & 0xc0) == 0x80)
        --cut;
    return "\"" + std::string(value.substr(0, cut)) + "...\"";
}

// A recipient's name in a message or a log line, never a line of its own.
std::string named(std::string_view id)
{
    std::string out(id);
    if (HasControlCharacter(out))
        for (char& c : out)
            if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f)
                c = '?';
    return out.size() > 40 ? out.substr(0, 40) + "..." : out;
}

} // namespace

std::string MailAddressProblem(std::string_view address)
{
    const std::string_view a = trimmedView(address);
    if (a.empty())
        return {};
    if (a.size() > kMaxMailAddressBytes)
        return "the mail address " + shown(a) + " is longer than " + std::to_string(kMaxMailAddressBytes) + " bytes";
    const std::size_t at = a.find('@');
    if (at == std::string_view::npos || a.find('@', at + 1) != std::string_view::npos)
        return "the mail address " + shown(a) + " must hold one \"@\"";
    if (HasControlCharacter(a))
        return "the mail address holds a control character";
    // Blanks, also the no-break and the ideographic one an input method gives.
    if (a.find_first_of(" \t") != std::string_view::npos || a.find("\xc2\xa0") != std::string_view::npos
        || a.find("\xe3\x80\x80") != std::string_view::npos)
        return "the mail address " + shown(a) + " holds a blank";
    const std::string_view local = a.substr(0, at), domain = a.substr(at + 1);
    const std::size_t dot = domain.find('.');
    if (local.empty() || dot == std::string_view::npos || domain.front() == '.' || domain.back() == '.')
        return "the mail address " + shown(a) + " has no name before the \"@\" or no domain with a dot after it";
    return {};
}

std::string MobileNumberProblem(std::string_view number)
{
    const std::string_view n = trimmedView(number);
    if (n.empty())
        return {};
    if (HasControlCharacter(n))
        return "the mobile number holds a control character";
    bool digit = false, plain = true;
    for (std::size_t i = 0; i < n.size(); ++i) {
        const char c = n[i];
        if (c >= '0' && c <= '9')
            digit = true;
        else if (!(c == ' ' || c == '-' || (c == '+' && i == 0)))
            plain = false;
    }
    if (!plain || !digit)
        return "the mobile number " + shown(n) + " must be digits, with an optional \"+\" in front and blanks or "
               "\"-\" between";
    if (n.size() > kMaxMobileNumberChars)
        return "the mobile number " + shown(n) + " is longer than " + std::to_string(kMaxMobileNumberChars)
               + " characters";
    return {};
}

namespace {

std::string recipientName(const pugi::xml_node& r, int position)
{
    return "recipient " + std::to_string(position) + " (" + named(trimText(r.attribute("ID").value())) + ")";
}

// A control character in an attribute of the recipient element or of anything inside it
// (a system message carries the element whole), or empty.
std::string controlProblem(const pugi::xml_node& r, int position)
{
    for (pugi::xml_node n = r; n;) {
        for (pugi::xml_attribute a : n.attributes())
            if (HasControlCharacter(a.value()))
                return "the attribute " + named(a.name()) + " of " + recipientName(r, position)
                       + " holds a control character (a line break or the like)";
        if (n.first_child()) {
            n = n.first_child();
            continue;
        }
        while (n != r && !n.next_sibling())
            n = n.parent();
        n = n == r ? pugi::xml_node() : n.next_sibling();
    }
    return {};
}

// What is wrong with one recipient element, or empty.
std::string recipientProblem(const pugi::xml_node& r, int position)
{
    if (std::string why = controlProblem(r, position); !why.empty())
        return why;
    if (std::string why = MobileNumberProblem(r.attribute("Mob").value()); !why.empty())
        return recipientName(r, position) + ": " + why;
    if (std::string why = MailAddressProblem(r.attribute("Mail").value()); !why.empty())
        return recipientName(r, position) + ": " + why;
    return {};
}

} // namespace

std::string RecipientListProblem(std::string_view xml)
{
    if (xml.empty() || xml == "N")
        return {};
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_buffer(xml.data(), xml.size());
    if (!parsed)
        return std::string("the recipient list is no XML text: ") + parsed.description();
    const pugi::xml_node root = doc.document_element();
    if (!root)
        return "the recipient list has no Root element";
    int count = 0;
    for (pugi::xml_node r = root.first_child(); r; r = r.next_sibling()) {
        if (r.type() != pugi::node_element)
            continue;
        if (++count > kMaxRecipients)
            return "the recipient list names more than " + std::to_string(kMaxRecipients) + " recipients";
        if (std::string why = recipientProblem(r, count); !why.empty())
            return why;
    }
    return {};
}

DeliveryOutcome DeliverToRecipients(DbConnection& db, const std::string& sender, const std::string& company,
                                    const NotificationContent& content)
{
    DeliveryOutcome out;
    pugi::xml_document doc;
    if (!doc.load_string(content.receivers.c_str()) || !doc.document_element())
        throw Exception("The recipients of the notification are not XML");
    int position = 0, beyond = 0;
    for (pugi::xml_node r : doc.document_element().children()) {
        if (r.type() != pugi::node_element)
            continue;
        if (++position > kMaxRecipients) {
            ++beyond;
            continue;
        }
        const std::string name = r.name();
        if (name.size() < 2 || name[0] != 'R')
            continue;
        const std::string id = trimText(r.attribute("ID").value());
        if (id.empty())
            continue;
        // What would break a line of the queue or the outbox is not passed on.
        if (const std::string why = controlProblem(r, position); !why.empty()) {
            out.failures.push_back(named(id) + ": " + why + "; not told");
            continue;
        }
        const std::string msg = r.attribute("Msg").value();
        const auto wants = [&](std::size_t k) { return k < msg.size() && msg[k] == 'Y'; };
        try {
            if (wants(0)) {
                pugi::xml_document one;
                one.append_child("Root").append_copy(r);
                NotificationContent c = content;
                c.receivers = std::string(kXmlDeclaration) + nodeXml(one.document_element());
                QueueNotification(db, sender, company, c);
                ++out.messages;
            }
            for (std::size_t k : {std::size_t(1), std::size_t(2)}) {
                if (!wants(k))
                    continue;
                const bool mobile = k == 1;
                std::string address = trimText(r.attribute(mobile ? "Mob" : "Mail").value());
                if (address.empty())
                    address = userColumn(db, mobile ? "MA003" : "MA004", id);
                // Only an address a gateway can send to goes into the outbox.
                const std::string bad = mobile ? MobileNumberProblem(address) : MailAddressProblem(address);
                if (!bad.empty()) {
                    out.failures.push_back(named(id) + ": " + bad + "; no " + (mobile ? "short message" : "mail")
                                           + " is queued");
                    continue;
                }
                DbTransaction tx(db, DbTransaction::Write);
                db.execute(kOutboxSql);
                db.execute("INSERT INTO ADMTO (TO002, TO003, TO004, TO005, TO006, TO007, TO008, COMPANY, CREATOR) "
                           "VALUES (:K, :U, :A, :T, :X, :S, :F, :C, :B)",
                           {{"K", mobile ? "S" : "M"},
                            {"U", id},
                            {"A", address},
                            {"T", content.title},
                            {"X", content.text},
                            {"S", ServerTimeStamp(db)},
                            {"F", address.empty() ? "X" : "N"},
                            {"C", company},
                            {"B", sender}});
                tx.commit();
                ++(mobile ? out.shortMessages : out.mails);
            }
        } catch (const DbError& e) {
            out.failures.push_back(named(id) + ": " + e.what());
        }
    }
    if (beyond > 0)
        out.failures.push_back(std::to_string(beyond) + " recipients past the first " + std::to_string(kMaxRecipients)
                               + " of the list: not told");
    return out;
}
