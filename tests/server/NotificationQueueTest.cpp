// The completion notifications written to ADMTC: the definition's three fields, the
// numbering by day across the queue and its history, and no lost or doubled number when
// several writers finish at once.

#include "ServerFixture.h"
#include "support/NotificationQueue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <thread>

using namespace servertest;

namespace {

const char* const kDefinition =
    "<MD007><Receiver><R1 ID=\"U001\" Name=\"张伟\" Type=\"5\" Msg=\"YNN\"/></Receiver>"
    "<Title Value=\"转销完成\"/></MD007>||  [**********]批次已转销[**********]，请核对。 ||附件";

class NotificationQueue : public ServerFixture {
protected:
    void SetUp() override
    {
        ServerFixture::SetUp();
        server = std::make_unique<TdmReportCounter>(settings());
        db.open(server->ResultConnectString("01", "DEMO"));
    }

    void define(const std::string& subject, const std::string& serial, const Variant& md007)
    {
        db.execute("UPDATE DEMO..TMCMD SET MD007 = :V WHERE MD002 = :S AND MD003 = :N",
                   {{"V", md007}, {"S", subject}, {"N", serial}});
    }

    std::unique_ptr<TdmReportCounter> server;
    DbConnection db;
};

} // namespace

TEST_F(NotificationQueue, DefinitionGivesReceiversTitleTextAndAttachment)
{
    const NotificationContent c = ParseNotificationDefinition(kDefinition);
    EXPECT_EQ(c.receivers, "<?xml version=\"1.0\" encoding=\"GB2312\"?>"
                           "<Root><R1 ID=\"U001\" Name=\"张伟\" Type=\"5\" Msg=\"YNN\"/></Root>");
    EXPECT_EQ(c.title, "转销完成");
    EXPECT_EQ(c.text, "批次已转销，请核对。") << "every marker removed, both ends trimmed";
    EXPECT_EQ(c.attachment, "附件");

    EXPECT_THROW(ParseNotificationDefinition("not xml||a||b"), Exception);
    EXPECT_THROW(ParseNotificationDefinition("<MD007><Title Value=\"t\"/></MD007>||a"), Exception)
        << "no receivers";
    EXPECT_THROW(ParseNotificationDefinition("<MD007><Receiver/></MD007>||a"), Exception) << "no title";

    // Only the Receiver element is renamed: texts that merely contain "Receiver>" stay as written.
    const NotificationContent odd = ParseNotificationDefinition(
        "<MD007><Receiver><R1 Name=\"Receiver>\"/><SubReceiver/></Receiver><Title Value=\"t\"/></MD007>||x");
    EXPECT_EQ(odd.receivers, "<?xml version=\"1.0\" encoding=\"GB2312\"?>"
                             "<Root><R1 Name=\"Receiver>\"/><SubReceiver/></Root>");
}

TEST_F(NotificationQueue, EveryReadableDefinitionOfTheProgramQueuesOneRow)
{
    define("WOFB07", "0001", kDefinition);
    define("WOFB07", "0002", Variant::null()); // skipped: no content
    define("WOFB07M", "0001", "   ");          // skipped: blank
    const std::vector<std::string> texts = ReadNotificationDefinitions(db, "DEMO", "wofb07");
    ASSERT_EQ(texts.size(), 1u) << "occasion 6 only, program code without regard to case, blanks skipped";

    define("WOFB07M", "0001", std::string(kDefinition));
    const NotificationOutcome out = QueueProgramNotifications(db, "DEMO", "WOFB07", "DS", "01");
    ASSERT_EQ(out.queued.size(), 2u);
    EXPECT_TRUE(out.failures.empty());

    const std::string day = ServerTimeStamp(db).substr(0, 8);
    EXPECT_EQ(out.queued[0], day + "000001");
    EXPECT_EQ(out.queued[1], day + "000002");

    const DbRowSet rows = db.query("SELECT TC001, TC002, TC003, TC004, TC005, TC006, TC007, TC008, TC009, COMPANY, "
                                   "CREATOR, CREATE_DATE, FLAG FROM ADMTC ORDER BY TC001");
    ASSERT_EQ(rows.rows.size(), 2u);
    const auto& r = rows.rows[0];
    EXPECT_EQ(r[1].toString(), "DS");
    EXPECT_EQ(r[2].toString().rfind("<?xml version=\"1.0\" encoding=\"GB2312\"?><Root>", 0), 0u);
    EXPECT_EQ(r[3].toString().size(), 17u);
    EXPECT_EQ(r[3].toString().substr(0, 8), day);
    EXPECT_EQ(r[4].toString(), "N");
    EXPECT_EQ(r[5].toString(), "转销完成");
    EXPECT_EQ(r[6].toString(), "附件");
    EXPECT_EQ(r[7].toString(), "批次已转销，请核对。");
    EXPECT_EQ(r[8].toString(), "4");
    EXPECT_EQ(r[9].toString(), "01");
    EXPECT_EQ(r[10].toString(), "DS");
    EXPECT_EQ(r[11].toString(), r[3].toString());
    EXPECT_EQ(r[12].toInt(), 1);
}

TEST_F(NotificationQueue, AnUnreadableDefinitionEndsTheRunBeforeItsRow)
{
    define("WOFB07", "0001", "<MD007/>||a||b");
    EXPECT_THROW(QueueProgramNotifications(db, "DEMO", "WOFB07", "DS", "01"), Exception);
    EXPECT_EQ(db.scalar("SELECT count(*) FROM ADMTC").toInt(), 0);
}

TEST_F(NotificationQueue, NumbersContinueAfterTheDaysRowsMovedToTheHistory)
{
    const NotificationContent c = ParseNotificationDefinition(kDefinition);
    const std::string first = QueueNotification(db, "DS", "01", c);
    db.execute("INSERT INTO ADMTD (TD001, TD004) SELECT TC001, TC004 FROM ADMTC");
    db.execute("DELETE FROM ADMTC");
    const std::string second = QueueNotification(db, "DS", "01", c);
    EXPECT_EQ(std::stoll(second), std::stoll(first) + 1);

    // Another day's numbers do not count.
    db.execute("INSERT INTO ADMTC (TC001, TC004) VALUES ('19990101000777', '19990101120000000')");
    EXPECT_EQ(std::stoll(QueueNotification(db, "DS", "01", c)), std::stoll(first) + 2);
}

TEST_F(NotificationQueue, ConcurrentWritersLoseNoNotificationAndShareNoNumber)
{
    const NotificationContent c = ParseNotificationDefinition(kDefinition);
    const std::string connect = server->ResultConnectString("01", "DEMO");
    constexpr int kWriters = 8, kEach = 10;
    std::vector<std::vector<std::string>> numbers(kWriters);
    std::vector<std::string> errors(kWriters);
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w)
        writers.emplace_back([&, w] {
            try {
                DbConnection own;
                own.open(connect);
                for (int i = 0; i < kEach; ++i)
                    numbers[w].push_back(QueueNotification(own, "U00" + std::to_string(w), "01", c));
            } catch (const std::exception& e) {
                errors[w] = e.what();
            }
        });
    for (auto& t : writers)
        t.join();

    std::set<long long> all;
    for (int w = 0; w < kWriters; ++w) {
        EXPECT_EQ(errors[w], "") << "writer " << w;
        for (const auto& n : numbers[w])
            all.insert(std::stoll(n));
    }
    ASSERT_EQ(all.size(), std::size_t(kWriters * kEach)) << "every number distinct";
    EXPECT_EQ(*all.rbegin() - *all.begin() + 1, kWriters * kEach) << "and none skipped";
    EXPECT_EQ(db.scalar("SELECT count(*) FROM ADMTC").toInt(), kWriters * kEach);
}

TEST(RecipientChecks, AddressesNumbersAndListsFromOutside)
{
    for (const char* good : {"", "  ", "a@b.cn", " zhangwei@example.com ", "张伟@例子.中国", "first.last+tag@mail.example.com"})
        EXPECT_EQ(MailAddressProblem(good), "") << good;
    for (const char* bad : {"zhangwei", "a@@b.cn", "a@b@c.cn", "@b.cn", "a@bcn", "a@.cn", "a@b.", "a b@c.cn",
                            "a@b.cn\r\nBcc: x@y.cn", "a\xe3\x80\x80"
                                                     "b@c.cn"})
        EXPECT_NE(MailAddressProblem(bad), "") << bad;
    EXPECT_EQ(MailAddressProblem(std::string(242, 'a') + "@example.com"), "") << "254 bytes";
    EXPECT_NE(MailAddressProblem(std::string(243, 'a') + "@example.com").find("longer than 254"), std::string::npos);

    for (const char* good : {"", "13912345678", "+86 139-1234-5678", " 021 5555 0000 ", "+8613912345678901234"})
        EXPECT_EQ(MobileNumberProblem(good), "") << good;
    for (const char* bad : {"+", "--", "139 1234 5678 ext 9", "1+39", "(021) 5555", "13912345678\n", "１３９"})
        EXPECT_NE(MobileNumberProblem(bad), "") << bad;
    EXPECT_NE(MobileNumberProblem("+86139123456789012345").find("longer than 20"), std::string::npos);

    EXPECT_TRUE(HasControlCharacter("a\tb"));
    EXPECT_TRUE(HasControlCharacter("a\x7f"));
    EXPECT_TRUE(HasControlCharacter("a\xc2\x85"));     // NEL
    EXPECT_TRUE(HasControlCharacter("a\xe2\x80\xa8")); // line separator
    EXPECT_FALSE(HasControlCharacter("张伟 Peter Lee"));

    const std::string head = "<?xml version=\"1.0\" encoding=\"GB2312\"?><Root>";
    EXPECT_EQ(RecipientListProblem(""), "");
    EXPECT_EQ(RecipientListProblem("N"), "");
    EXPECT_EQ(RecipientListProblem(head + "<R1 ID=\"U001\" Name=\"张伟\" Mob=\"13912345678\" Mail=\"zw@example.com\" "
                                          "Type=\"1\" Msg=\"YYY\"/></Root>"),
              "");
    EXPECT_NE(RecipientListProblem(head + "<R1 ID=\"U001\" Name=\"a&#13;&#10;b\" Msg=\"YNN\"/></Root>")
                  .find("the attribute Name of recipient 1 (U001) holds a control character"),
              std::string::npos);
    EXPECT_NE(RecipientListProblem(head + "<R1 ID=\"U001\" Msg=\"YNN\"><X Y=\"&#10;\"/></R1></Root>")
                  .find("control character"),
              std::string::npos)
        << "what the recipient's element holds too";
    EXPECT_NE(RecipientListProblem(head + "<R1 ID=\"U001\" Msg=\"NNY\"/><R2 ID=\"U002\" Mail=\"lina\" Msg=\"NNY\"/></Root>")
                  .find("recipient 2 (U002): the mail address \"lina\""),
              std::string::npos);
    EXPECT_NE(RecipientListProblem(head + "<R1 ID=\"U001\" Mob=\"call me\" Msg=\"NYN\"/></Root>").find("mobile number"),
              std::string::npos);
    EXPECT_NE(RecipientListProblem("<Root><R1 ID=").find("no XML"), std::string::npos);
    std::string many = head;
    for (int i = 1; i <= kMaxRecipients; ++i)
        many += "<R" + std::to_string(i) + " ID=\"U" + std::to_string(i) + "\" Msg=\"YNN\"/>";
    EXPECT_EQ(RecipientListProblem(many + "</Root>"), "") << "500 are fine";
    EXPECT_NE(RecipientListProblem(many + "<R501 ID=\"X\" Msg=\"YNN\"/></Root>").find("more than 500 recipients"),
              std::string::npos);
}

TEST_F(NotificationQueue, DeliveryWritesNoAddressThatFailsItsCheckAndNamesTheRecipient)
{
    // The user table's addresses are outside input too.
    db.execute("UPDATE QVRMA SET MA003 = '13800000000', MA004 = 'ds@example.com' WHERE MA001 = 'DS'");
    db.execute("UPDATE QVRMA SET MA003 = '138 0000 0000' || char(13) || char(10) || 'x', MA004 = 'zw at example.com' "
               "WHERE MA001 = 'U001'");
    NotificationContent c;
    c.title = "作业完成";
    c.text = "作业已完成";
    c.receivers = "<?xml version=\"1.0\" encoding=\"GB2312\"?><Root>"
                  "<R1 ID=\"DS\" Name=\"\" Msg=\"YYY\"/>"
                  "<R2 ID=\"U001\" Name=\"\" Msg=\"NYY\"/>"
                  "<R3 ID=\"U002\" Name=\"\" Mob=\"+86 139-0000-0000\" Mail=\"lina@example.com&#13;&#10;Bcc: x@y.cn\" "
                  "Msg=\"YYY\"/>"
                  "<R4 ID=\"U004\" Name=\"\" Mob=\"call me\" Mail=\"peter.lee@example.com\" Msg=\"NYY\"/></Root>";
    const DeliveryOutcome out = DeliverToRecipients(db, "DS", "01", c);
    EXPECT_EQ(out.messages, 1) << "DS alone: U002's element holds a line break";
    EXPECT_EQ(out.shortMessages, 1);
    EXPECT_EQ(out.mails, 2);
    std::string failures;
    for (const std::string& f : out.failures)
        failures += f + "\n";
    EXPECT_EQ(out.failures.size(), 4u) << failures;
    EXPECT_NE(failures.find("U001: the mobile number holds a control character; no short message"), std::string::npos)
        << failures;
    EXPECT_NE(failures.find("U001: the mail address \"zw at example.com\""), std::string::npos) << failures;
    EXPECT_NE(failures.find("U002: the attribute Mail of recipient 3 (U002) holds a control character"),
              std::string::npos)
        << failures;
    EXPECT_NE(failures.find("U004: the mobile number \"call me\""), std::string::npos) << failures;

    const DbRowSet rows = db.query("SELECT TO002, TO003, TO004 FROM ADMTO ORDER BY TO001");
    std::string outbox;
    for (const auto& r : rows.rows)
        outbox += VarToStr(r[0]) + " " + VarToStr(r[1]) + " " + VarToStr(r[2]) + "\n";
    EXPECT_EQ(outbox, "S DS 13800000000\nM DS ds@example.com\nM U004 peter.lee@example.com\n");

    // Past the bound nobody is told, and the failures say how many.
    std::string many = "<?xml version=\"1.0\" encoding=\"GB2312\"?><Root>";
    for (int i = 1; i <= kMaxRecipients + 2; ++i)
        many += "<R" + std::to_string(i) + " ID=\"U" + std::to_string(i) + "\" Msg=\"NNN\"/>";
    c.receivers = many + "</Root>";
    const DeliveryOutcome bounded = DeliverToRecipients(db, "DS", "01", c);
    ASSERT_EQ(bounded.failures.size(), 1u);
    EXPECT_EQ(bounded.failures[0], "2 recipients past the first 500 of the list: not told");
}
