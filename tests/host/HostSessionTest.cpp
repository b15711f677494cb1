// The session object and its counter and validator services: properties, names, result
// shapes and what goes to the application server.

#include "FakeServer.h"
#include "ModalDriver.h"

#include "host/ComValidator.h"
#include "host/HostSession.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>

#include <gtest/gtest.h>

namespace {

struct Session {
    std::shared_ptr<FakeServer> server = std::make_shared<FakeServer>();
    std::shared_ptr<HostSession> host;
    Variant object;

    explicit Session(HostConfig config = {})
    {
        if (config.serverAddress.empty())
            config.serverAddress = "127.0.0.1";
        host = std::make_shared<HostSession>(config, [s = server] { return s; });
        object = Variant(std::static_pointer_cast<Dispatch>(host));
    }
};

void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
}

} // namespace

TEST(HostSession, PropertiesServicesAndUnknownNames)
{
    Session s;
    EXPECT_EQ(s.object.get("VersionType").type(), VarType::Int);
    EXPECT_EQ(s.object.get("productid").toInt(), 3);
    for (const char* service : {"Com_Counter", "Com_Validator", "Com_F2Window"}) {
        const Variant first = s.object.get(service);
        ASSERT_TRUE(first.isDispatch()) << service;
        EXPECT_EQ(first.toDispatch(), s.object.get(service).toDispatch()) << service << " is one object per session";
    }
    EXPECT_THROW(s.object.get("Com_Printer"), AutomationError);
    EXPECT_THROW(s.object.call("GetMessages", {"E", "000001"}), AutomationError);
    EXPECT_THROW(s.object.put("ProductID", 5), AutomationError) << "read-only";
    EXPECT_THROW(s.object.call("GetMessage", {"E"}), AutomationError) << "a missing argument";
    EXPECT_THROW(s.object.get("Com_Counter").call("GetNextNumber"), AutomationError);
    EXPECT_THROW(s.object.get("Com_Validator").get("Checkvalues"), AutomationError);
}

TEST(HostSession, CreatableByProgIdForExeMode)
{
    RegisterHostSessionClass();
    DispatchPtr session = CreateOleObject("vostelworkcenter.MANAGER");
    ASSERT_NE(session, nullptr);
    EXPECT_TRUE(Variant(session).get("Com_Validator").isDispatch());
    UnregisterOleClass(HostSession::ProgId);
}

TEST(HostSession, GetMessageSpeaksTheInterfaceLanguage)
{
    HostConfig cht;
    cht.uiCodePage = 950;
    HostConfig eng;
    eng.uiCodePage = 437;
    EXPECT_EQ(Session(cht).object.call("GetMessage", {"W", "200295"}).toString(), "供應商不存在!");
    EXPECT_EQ(Session(eng).object.call("GetMessage", {"W", "200295"}).toString(), "This supplier does not exist!");
    HostConfig chs;
    chs.uiCodePage = 936;
    EXPECT_EQ(Session(chs).object.call("GetMessage", {"E", "000003"}).toString(), "%s 不可空白!");
}

TEST(HostSession, GetFileListDescribesServerLibrariesOnly)
{
    QTemporaryDir dir;
    HostConfig config;
    const QString pkg = dir.filePath(QStringLiteral("S_PKG"));
    writeFile(pkg + QStringLiteral("/WOFB07S.so"), "library");
    writeFile(dir.filePath(QStringLiteral("secret.so")), "outside");
    config.workDllPaths = {dir.filePath(QStringLiteral("missing")).toStdString() + "/", pkg.toStdString() + "/"};
    Session s(config);
    const std::string answer = s.object.call("GetFileList", {Variant::list({"wofb07s.so"})}).toString();
    const QRegularExpression shape(QStringLiteral("^<Modify>(\\d{14})</Modify><Path>(.*)</Path>$"));
    const QRegularExpressionMatch m = shape.match(QString::fromStdString(answer));
    ASSERT_TRUE(m.hasMatch()) << answer;
    EXPECT_EQ(m.captured(2), pkg + QStringLiteral("/WOFB07S.so"));
    EXPECT_EQ(s.object.call("GetFileList", {Variant::list({"other.so"})}).toString(), "");
    EXPECT_EQ(s.object.call("GetFileList", {Variant::list({"../secret.so"})}).toString(), "");
    EXPECT_EQ(s.object.call("GetFileList", {Variant::list({".."})}).toString(), "");
}

TEST(HostSession, CallHelpShowsTheTopicsPageOrSaysThereIsNone)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("client/Help/WOF/13070000.html")),
              "<html><body><h1>应付转销</h1></body></html>");
    HostConfig config;
    config.clientPath = dir.filePath(QStringLiteral("client")).toStdString() + "/";
    config.uiCodePage = 936;
    Session s(config);

    QString page;
    {
        ModalDriver driver([&](QWidget* w) {
            page = w->findChild<QTextBrowser*>(QStringLiteral("txtHelp"))->toPlainText();
            QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("btnClose")), Qt::LeftButton);
        });
        EXPECT_TRUE(s.object.call("CallHelp", {Variant::list({"WOF", "13070000"})}).toBool());
        EXPECT_EQ(driver.shown, 1);
    }
    EXPECT_TRUE(page.contains(QStringLiteral("应付转销")));

    QStringList told;
    {
        ModalDriver driver([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            ASSERT_NE(box, nullptr);
            told << box->text();
            box->button(QMessageBox::Ok)->click();
        });
        EXPECT_FALSE(s.object.call("CallHelp", {Variant::list({"WOF", "62120000"})}).toBool());
        // Names that would leave the help folder are no topics.
        EXPECT_FALSE(s.object.call("CallHelp", {Variant::list({"..", "../client/Help/WOF/13070000"})}).toBool());
        EXPECT_EQ(driver.shown, 2);
    }
    ASSERT_EQ(told.size(), 2);
    EXPECT_TRUE(told[0].contains(QStringLiteral("62120000")));
    EXPECT_FALSE(s.object.call("CallHelp", {Variant("WOF")}).toBool());
}

TEST(ComCounter, GetSysInfoAnswersTheSettingsMatrixOfTheCompany)
{
    Session s;
    s.server->answers.push_back({"FROM ADMMS", {{"QVR002", "演示公司"}, {"Sys001", "1"}, {"Sys002", "/"}}});
    const Variant matrix = s.object.get("Com_Counter").call("GetSysInfo", {"DEMO"});
    ASSERT_TRUE(matrix.isArray());
    ASSERT_EQ(matrix.dimCount(), 2);
    EXPECT_EQ(matrix.lowBound(1), 0);
    EXPECT_EQ(matrix.highBound(1), 1);
    EXPECT_EQ(matrix.lowBound(2), 0);
    EXPECT_EQ(matrix.highBound(2), 2);
    EXPECT_EQ(matrix.at(0, 1).toString(), "Sys001");
    EXPECT_EQ(matrix.at(1, 0).toString(), "演示公司");
    EXPECT_EQ(s.server->param("COMPANY").toString(), "DEMO");
    EXPECT_EQ(s.server->calls.back().sql.find("DEMO"), std::string::npos) << "the company is bound, not pasted";

    s.server->answers.clear();
    EXPECT_TRUE(s.object.get("Com_Counter").call("GetSysInfo", {"NONE"}).isEmpty());
}

TEST(ComCounter, GetCounterForwardsSimpleSqlWithTheContext)
{
    Session s;
    s.server->answers.push_back({"$$CMSMF", {{4}}});
    const Variant counter = s.object.get("Com_Counter");
    Variant args[3] = {"SimpleSQL", Variant::list({"Select MF004 from $$CMSMF as CMSMF where MF001='USD'", "MF004"}),
                       Variant::list({"DEMO", "DEMODB"})};
    const Variant rows = counter.invoke("GetCounter", args);
    ASSERT_TRUE(rows.isArray());
    EXPECT_EQ(rows[0][0].toInt(), 4);
    const FakeServer::Call& call = s.server->calls.back();
    EXPECT_EQ(call.sql, "Select MF004 from $$CMSMF as CMSMF where MF001='USD'") << "the text goes as it is";
    EXPECT_EQ(call.columns, "MF004");
    EXPECT_EQ(call.company, "DEMO");
    EXPECT_EQ(call.database, "DEMODB");

    // Parameters ride as the third element of the arguments.
    Variant withParams[3] = {"SIMPLESQL",
                             Variant::list({"select MA002 from $$PURMA where MA001=:CODE", "MA002",
                                            Variant::list({Variant::list({"CODE", "A001"})})}),
                             Variant::list({"DEMO", "DEMODB"})};
    counter.invoke("GetCounter", withParams);
    EXPECT_EQ(s.server->param("CODE").toString(), "A001");

    EXPECT_EQ(counter.call("GetCounter", {"ResultConnectString", Variant::list({""}), Variant::list({"DEMO", "DEMODB"})})
                  .toString(),
              "sqlite:DEMO/DEMODB");
    EXPECT_TRUE(counter.call("GetCounter", {"NoSuchMethod", Variant::list({""}), Variant::list({"DEMO", "DEMODB"})})
                    .isEmpty());
    EXPECT_TRUE(counter.call("GetCounter", {"SimpleSQL", Variant::list({"select 1 from $$CMSMQ", "X"}),
                                            Variant::list({"DEMO", "DEMODB"})})
                    .isEmpty())
        << "nothing came back";
}

TEST(ComCounter, SimpleSqlPartsFromAServerWithoutThemIsTheWholeAnswerAtOnce)
{
    Session s;
    s.server->answers.push_back({"$$PURMA", {{"A001"}, {"A002"}, {"A003"}}});
    const Variant counter = s.object.get("Com_Counter");
    std::vector<int> sizes;
    const Variant receiver(MakeCallbackObject("Rows", [&](std::span<Variant> args) {
        sizes.push_back(args[0].count());
        return Variant(true);
    }));
    const auto parts = [&](const char* sql, const Variant& to) {
        Variant args[3] = {"SimpleSQLParts", Variant::list({sql, "MA001", Variant(), to, 2}), Variant::list({"DEMO", "DEMODB"})};
        return counter.invoke("GetCounter", args);
    };
    EXPECT_EQ(parts("SELECT MA001 FROM $$PURMA", receiver).toInt(), 3);
    EXPECT_EQ(sizes, (std::vector<int>{3})) << "a server that cannot hand over parts sends its answer whole";
    EXPECT_EQ(s.server->calls.back().company, "DEMO");

    sizes.clear();
    EXPECT_EQ(parts("SELECT MA001 FROM $$CMSMQ", receiver).toInt(), 0) << "no rows";
    EXPECT_TRUE(sizes.empty());
    s.server->reason = "The table is locked";
    int notices = 0;
    const ModalRunFn previous = SetModalRunner([&](QWidget*, const std::function<int()>&) { return ++notices, 1; });
    const Variant failed = parts("SELECT MA001 FROM $$CMSMQ", receiver);
    SetModalRunner(previous);
    EXPECT_EQ(notices, 1) << "the user hears why the list stays empty";
    ASSERT_EQ(failed.type(), VarType::Bool) << "a failure is told from an empty answer";
    EXPECT_FALSE(failed.toBool());
    EXPECT_FALSE(parts("SELECT MA001 FROM $$PURMA", Variant()).toBool()) << "no receiver";
}

TEST(ComValidator, WritablePropertiesAndTheChecksTheJobUses)
{
    Session s;
    const Variant validator = s.object.get("Com_Validator");
    validator.put("ProductID", 5);
    validator.put("BaseLimited", "A001,B002");
    EXPECT_EQ(validator.get("ProductID").toInt(), 5);
    EXPECT_EQ(validator.get("BaseLimited").toString(), "A001,B002");
    for (const char* check : {"ADMMB/01", "ADMMB/11", "CMSMF/01", "ACPLC/01", "PURMA/02", "CMSMQ/36", "GENES/01"}) {
        const std::string c(check);
        EXPECT_TRUE(ComValidator::Knows(c.substr(0, 5), c.substr(6))) << c;
    }
}

TEST(ComValidator, ResultShapesAsTheFormsReadThem)
{
    Session s;
    s.server->answers.push_back({"FROM ADMMB WHERE", {{"应付款批次转销作业", "WOFB07", "ACP", "B", "N", "應付款批次轉銷作業",
                                                       "WOFB07C.so", "Payable write-off"}}});
    s.server->answers.push_back({"FROM $$PURMA", {{"A001", "华北钢铁", "华北钢铁股份有限公司"}}});
    const Variant validator = s.object.get("Com_Validator");

    Variant args[5] = {"ADMMB", "01", "DEMODB", Variant::list({"WOFB07"}), Variant()};
    EXPECT_TRUE(validator.invoke("CheckValue", args).toBool());
    ASSERT_TRUE(args[4].isArray());
    EXPECT_EQ(args[4][0].toString(), "应付款批次转销作业");
    EXPECT_EQ(args[4][7].toString(), "Payable write-off");
    EXPECT_EQ(s.server->param("K1").toString(), "WOFB07");

    // QueryData answers every row.
    Variant query[5] = {"PURMA", "02", "DEMODB", Variant::list({" A001 "}), Variant()};
    EXPECT_TRUE(validator.invoke("QueryData", query).toBool());
    ASSERT_TRUE(query[4].isArray());
    EXPECT_EQ(query[4][0][2].toString(), "华北钢铁股份有限公司");
    EXPECT_EQ(s.server->param("K1").toString(), "A001") << "keys lose their blanks";
    EXPECT_EQ(s.server->calls.back().database, "DEMODB");

    // Not found: false, result Empty even when the caller passed something in.
    Variant missing[5] = {"ACPLC", "01", "DEMODB", Variant::list({"WOFB07-B9"}), "stale"};
    EXPECT_FALSE(validator.invoke("CheckValue", missing).toBool());
    EXPECT_TRUE(missing[4].isEmpty());
}

TEST(ComValidator, KeysAreBoundNeverPasted)
{
    Session s;
    const Variant validator = s.object.get("Com_Validator");
    const char* hostile = "X' OR '1'='1";
    Variant args[5] = {"CMSMQ", "36", "DEMODB", Variant::list({hostile, "7D", "7D", "7D", "DS"}), Variant()};
    EXPECT_FALSE(validator.invoke("CheckValue", args).toBool());
    const FakeServer::Call& call = s.server->calls.back();
    EXPECT_EQ(call.sql.find(hostile), std::string::npos);
    EXPECT_EQ(s.server->param("K1").toString(), hostile);
    EXPECT_EQ(s.server->param("K2").toString(), "7D");
    EXPECT_TRUE(s.server->param("K5").isEmpty()) << "only the keys the query uses";
}

TEST(ComValidator, UnknownChecksShortKeysAndServerFailuresAnswerFalse)
{
    Session s;
    const Variant validator = s.object.get("Com_Validator");
    Variant unknown[5] = {"PURMA", "77", "DEMODB", Variant::list({"A001"}), Variant()};
    EXPECT_FALSE(validator.invoke("CheckValue", unknown).toBool());
    Variant shortKeys[5] = {"GENES", "01", "", Variant::list({"方案一", "DS"}), Variant()};
    EXPECT_FALSE(validator.invoke("CheckValue", shortKeys).toBool());
    EXPECT_TRUE(s.server->calls.empty());
    Variant twoDim[5] = {"CMSMF", "01", "DEMODB", Variant::array2(0, 1, 0, 1), Variant()};
    EXPECT_FALSE(validator.invoke("CheckValue", twoDim).toBool());

    auto broken = std::make_shared<HostSession>(HostConfig{}, []() -> DispatchPtr { throw Exception("down"); });
    Variant args[5] = {"CMSMF", "01", "DEMODB", Variant::list({"RMB"}), Variant()};
    EXPECT_FALSE(Variant(std::static_pointer_cast<Dispatch>(broken)).get("Com_Validator").invoke("CheckValue", args).toBool());
    EXPECT_TRUE(Variant(std::static_pointer_cast<Dispatch>(broken)).get("Com_Counter").call("GetSysInfo", {"DEMO"}).isEmpty());
}
