#pragma once
// The completion notifications of a job: rows of the message queue ADMTC, made from the
// program's notification definitions (TMCMD joined with TMCMC, occasion "6") or from the
// recipients a request names. The direct run of a batch form and the application
// server's job queue both write them through here, so the numbering rule lives once.
//
// A queue number is the server's day "yyyymmdd" and a six-digit day counter: one more
// than the highest number of that day in ADMTC and its history ADMTD together, or the
// day and "000001" for the first. The number is computed and the row inserted in one
// write transaction, and a collision with another writer's number is retried, so two
// clients finishing at once both get their notification, under distinct numbers.
//
// The connection is the one "ResultConnectString" describes: the system database (ADMTC,
// ADMTD) as main, the company database attached under its name.

#include "db/Db.h"

#include <string>
#include <string_view>
#include <vector>

// What one queue row says.
struct NotificationContent {
    std::string receivers;  // TC003: the GB2312 XML declaration and a Root element
    std::string title;      // TC006
    std::string text;       // TC008
    std::string attachment; // TC007
};

// A definition's MD007 text: "<MD007><Receiver>...</Receiver><Title Value=.../></MD007>",
// "||", the message text (the markers "[**********]" removed, trimmed), "||", the
// attachment text. Throws Exception when the XML cannot be read or lacks the receivers
// or the title, as the direct run ends on such a definition.
NotificationContent ParseNotificationDefinition(std::string_view md007);

// The MD007 texts of the program's job-finished definitions that are not blank, in the
// order the database gives them. databaseName names the company database.
std::vector<std::string> ReadNotificationDefinitions(DbConnection& db, const std::string& databaseName,
                                                     const std::string& programCode);

// The server clock as "yyyymmddhhnnsszzz".
std::string ServerTimeStamp(DbConnection& db);

// Queues one row from sender (TC002 and CREATOR) of company; answers its number.
// Throws DbError when the row cannot be written.
std::string QueueNotification(DbConnection& db, const std::string& sender, const std::string& company,
                              const NotificationContent& content);

// A job's recipient list (Root with one element per recipient: ID, Name, Mob, Mail, Type,
// Msg) comes from outside: it names at most kMaxRecipients recipients, no attribute holds a
// control character (CR, LF and the like would split the lines of a mail or a gateway's
// record), and a mobile number or mail address is of a form that can be sent to.
constexpr int kMaxRecipients = 500;
constexpr std::size_t kMaxMailAddressBytes = 254;
constexpr std::size_t kMaxMobileNumberChars = 20;

// A C0 or C1 control character, DEL, or a line or paragraph separator.
bool HasControlCharacter(std::string_view text);
// Why the address (blanks around it aside) cannot be sent to: one "@", no blank, a dot
// inside the domain, at most 254 bytes. Empty when it is plausible or empty.
std::string MailAddressProblem(std::string_view address);
// Why the number (blanks around it aside) cannot be sent to: digits with an optional "+"
// in front, blanks and "-" between, at most 20 characters. Empty when plausible or empty.
std::string MobileNumberProblem(std::string_view number);
// What is wrong with a recipient XML, in words for the person who made it; empty when it
// may be stored and delivered ("" and "N", nobody, are fine).
std::string RecipientListProblem(std::string_view xml);

// What a job's own recipients asked for (their Msg flags): a queue row each for a
// system message, and for a short message or a mail a row of the outbox ADMTO with the
// recipient's mobile number or address (the recipient's own, else the user table's).
// Nothing is sent from this machine; the outbox is what a gateway would pick up. A
// recipient with a control character in an attribute is not told at all, an address that
// fails its check gets no outbox row, and recipients past kMaxRecipients are not told;
// each is named in failures.
struct DeliveryOutcome {
    int messages = 0;   // ADMTC rows
    int shortMessages = 0;
    int mails = 0;
    std::vector<std::string> failures; // recipients whose row could not be written, and why
};
DeliveryOutcome DeliverToRecipients(DbConnection& db, const std::string& sender, const std::string& company,
                                    const NotificationContent& content);

struct NotificationOutcome {
    std::vector<std::string> queued;   // numbers of the rows written
    std::vector<std::string> failures; // why a definition's row could not be written
};

// One queue row for every job-finished definition of the program. A definition that
// cannot be read throws (and ends the caller's run); a row that cannot be written is
// named in failures and the next definition is processed.
NotificationOutcome QueueProgramNotifications(DbConnection& db, const std::string& databaseName,
                                              const std::string& programCode, const std::string& userCode,
                                              const std::string& companyCode);
