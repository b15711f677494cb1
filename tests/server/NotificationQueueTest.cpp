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
