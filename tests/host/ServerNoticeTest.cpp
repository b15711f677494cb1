// A query the application server cannot answer is told to the user once, with the
// server's reason: a company database another program keeps locked is named, and the
// system's look-ups go on meanwhile.

#include "DbLock.h"
#include "EnvGuard.h"
#include "FakeServer.h"
#include "ModalDriver.h"

#include "host/DemoInstall.h"
#include "host/HostSession.h"
#include "host/ServerNotice.h"

#include <QMessageBox>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "TestPaths.h"

#include <fstream>
#include <sstream>

namespace {

// Closes every box and keeps its text.
struct NoticeDriver {
    QStringList texts;
    ModalDriver driver{[this](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->objectName(), QStringLiteral("msgServerFailure"));
        texts << box->text();
        box->accept();
    }};
};

} // namespace

TEST(ServerNotice, AReasonIsToldOnceUntilAQuerySucceeds)
{
    auto fake = std::make_shared<FakeServer>();
    fake->answers.push_back({"PURMA", {{Variant("S01")}}});
    AppServerLink link([fake] { return fake; });
    std::vector<std::string> told;
    link.setNotice([&](const std::string& reason) { told.push_back(reason); });

    EXPECT_TRUE(link.simpleSql("SELECT MF001 FROM $$CMSMF", "MF001", "01", "DEMO").isEmpty());
    EXPECT_TRUE(told.empty()) << "no rows is no failure";

    fake->reason = "The database DEMO is busy";
    EXPECT_TRUE(link.simpleSql("SELECT MF001 FROM $$CMSMF", "MF001", "01", "DEMO").isEmpty());
    EXPECT_TRUE(link.simpleSql("SELECT MQ001 FROM $$CMSMQ", "MQ001", "01", "DEMO").isEmpty());
    EXPECT_EQ(told, std::vector<std::string>{"The database DEMO is busy"}) << "the same reason again is not repeated";
    EXPECT_EQ(link.lastError(), "The database DEMO is busy");

    fake->reason = "The answer has more than 100000 rows";
    EXPECT_TRUE(link.simpleSql("SELECT MQ001 FROM $$CMSMQ", "MQ001", "01", "DEMO").isEmpty());
    ASSERT_EQ(told.size(), 2u);

    fake->reason.clear();
    EXPECT_TRUE(link.simpleSql("SELECT MA001 FROM $$PURMA", "MA001", "01", "DEMO").isArray());
    EXPECT_EQ(link.lastError(), "");
    fake->reason = "The answer has more than 100000 rows";
    EXPECT_TRUE(link.simpleSql("SELECT MQ001 FROM $$CMSMQ", "MQ001", "01", "DEMO").isEmpty());
    EXPECT_EQ(told.size(), 3u) << "after a success the reason is news again";

    EXPECT_EQ(ServerNotice::Text("x", HostLanguage::Traditional), "應用伺服器無法完成這項查詢:\nx");
}

TEST(ServerNotice, ALockedCompanyDatabaseIsNamedToTheUserAndSystemLookupsGoOn)
{
    QTemporaryDir root;
    EnvGuard env;
    env.set("QV_REGISTRY", nullptr);
    env.set("QV_CLASS_TABLE", nullptr);
    const DemoInstallation demo =
        DemoInstall::Prepare(root.filePath(QStringLiteral("demo")).toStdString(), TestBinDir());
    DemoInstall::UseEnvironment(demo);
    {
        // A short busy time, so that the test does not wait the default five seconds.
        const std::string ini = demo.folder + "server/BriskoS.ini";
        std::stringstream text;
        text << std::ifstream(ini).rdbuf();
        std::string content = text.str();
        const std::size_t at = content.find("[DBE Setting]\n");
        ASSERT_NE(at, std::string::npos) << content;
        content.insert(at + 14, "BusyTimeOut=300\n");
        std::ofstream(ini, std::ios::trunc) << content;
    }

    NoticeDriver notices;
    const Variant session(std::static_pointer_cast<Dispatch>(std::make_shared<HostSession>()));
    const Variant validator = session.get("Com_Validator");
    const auto check = [&](const char* table, const char* kind, const Variant& keys) {
        Variant args[5] = {table, kind, Variant(demo.database), keys, Variant()};
        return validator.invoke("CheckValue", args).toBool();
    };

    DbLock lock(demo.folder + "server/data/" + demo.database + ".db");
    ASSERT_TRUE(lock.held());
    const Variant settings = session.get("Com_Counter").call("GetSysInfo", {Variant(demo.company)});
    EXPECT_TRUE(settings.isArray()) << "the company's settings are in the system database";
    EXPECT_TRUE(check("ADMMB", "01", Variant::list({"WOFB07"}))) << "and so are the programs";

    EXPECT_FALSE(check("CMSMF", "01", Variant::list({"RMB"})));
    EXPECT_FALSE(check("PURMA", "02", Variant::list({"A002"})));
    ASSERT_EQ(notices.texts.size(), 1) << "one box for one reason";
    const QString text = notices.texts.front();
    EXPECT_TRUE(text.startsWith(QStringLiteral("应用服务器无法完成这项查询:"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("database ") + QString::fromStdString(demo.database) + QStringLiteral(" is busy")))
        << text.toStdString();
    EXPECT_TRUE(check("ADMMB", "01", Variant::list({"WOFB07"})));

    lock.release();
    EXPECT_TRUE(check("CMSMF", "01", Variant::list({"RMB"})));
    EXPECT_EQ(notices.texts.size(), 1);
}
