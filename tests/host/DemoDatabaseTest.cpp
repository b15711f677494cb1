// The session services against a demo installation made by the setup program: each
// validator check and look-up kind answers the shape the job reads, and hostile key
// values find nothing and change nothing. The services reach the database only through
// the application server object, created by ProgID from the class table.

#include "ModalDriver.h"

#include "host/DemoInstall.h"
#include "host/HostSession.h"
#include "host/LookupWindow.h"
#include "db/Db.h"

#include <QCoreApplication>
#include <QDir>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include "TestPaths.h"

#include <cstdlib>

namespace {

std::string binDir()
{
    return TestBinDir();
}

class DemoDatabase : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        root_ = new QTemporaryDir;
        installation_ = new DemoInstallation(
            DemoInstall::Prepare(root_->filePath(QStringLiteral("demo")).toStdString(), binDir()));
        DemoInstall::UseEnvironment(*installation_);
    }
    static void TearDownTestSuite()
    {
        delete installation_;
        delete root_; // removes the installation
        installation_ = nullptr;
        root_ = nullptr;
    }

    void SetUp() override
    {
        // Signed on as jobhost signs on the demo's user.
        HostConfig config = HostConfig::Load();
        config.sessionUser = demo().user;
        config.sessionCompany = demo().company;
        session = Variant(std::static_pointer_cast<Dispatch>(std::make_shared<HostSession>(config, AppServerLink::Factory())));
        validator = session.get("Com_Validator");
    }

    const DemoInstallation& demo() const { return *installation_; }

    // CheckValue (or QueryData) as a job form calls it.
    bool check(const char* table, const char* kind, Variant keys, Variant& result, bool query = false)
    {
        Variant args[5] = {table, kind, Variant(demo().database), std::move(keys), Variant()};
        const bool found = validator.invoke(query ? "QueryData" : "CheckValue", args).toBool();
        result = args[4];
        return found;
    }

    Variant f2(const char* table, const char* kind, Variant keys, bool list = false, const char* extra = "")
    {
        Variant r = Variant::array(0, 18);
        r[0] = table;
        r[1] = kind;
        r[2] = std::move(keys);
        r[3] = list;
        r[4] = extra;
        r[5] = demo().company;
        r[6] = demo().database;
        r[7] = std::int64_t(0);
        r[18] = demo().user;
        return session.get("Com_F2Window").call("F2GetData", {r});
    }

    // Row count of a table of the company database, read on a connection of its own.
    std::int64_t rows(const char* table)
    {
        DbConnection db;
        db.openSqlite(demo().folder + "server/data/" + demo().database + ".db");
        return db.scalar(std::string("SELECT COUNT(*) FROM ") + table).toInt64();
    }

    Variant session;
    Variant validator;

private:
    static inline QTemporaryDir* root_ = nullptr;
    static inline DemoInstallation* installation_ = nullptr;
};

// Takes every row the window lists (a list look-up) or the current one.
struct TakeAll {
    int listed = -1;
    ModalDriver driver{[this](QWidget* w) {
        auto* window = qobject_cast<LookupWindow*>(w);
        ASSERT_NE(window, nullptr);
        listed = window->visibleRows();
        if (window->multiSelect())
            QTest::keyClick(window->grid(), Qt::Key_A, Qt::ControlModifier);
        QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("btnOk")), Qt::LeftButton);
    }};
};

std::vector<std::string> column(const Variant& rowSet, int c)
{
    std::vector<std::string> values;
    if (rowSet.isArray())
        for (const Variant& row : rowSet.elements())
            values.push_back(VarToStr(row[c]));
    return values;
}

} // namespace

TEST_F(DemoDatabase, ProgramChecksGiveNameEnglishNameAndTheDirectRunFlag)
{
    Variant r;
    ASSERT_TRUE(check("ADMMB", "01", Variant::list({"WOFB07"}), r));
    EXPECT_EQ(r[0].toString(), "应付账款转销作业");
    EXPECT_EQ(r[7].toString(), "A/P Write-off Batch");
    ASSERT_TRUE(check("ADMMB", "11", Variant::list({"WOFB07"}), r));
    EXPECT_EQ(r[3].toString(), "N");
    ASSERT_TRUE(check("ADMMB", "11", Variant::list({"WOFB08"}), r));
    EXPECT_EQ(r[3].toString(), "Y") << "a server-only program disables direct processing";
    EXPECT_FALSE(check("ADMMB", "01", Variant::list({"NOPE01"}), r));
    EXPECT_TRUE(r.isEmpty());
}

TEST_F(DemoDatabase, MasterChecksOfTheWriteOffJob)
{
    Variant r;
    EXPECT_TRUE(check("CMSMF", "01", Variant::list({"USD"}), r));
    EXPECT_FALSE(check("CMSMF", "01", Variant::list({"XYZ"}), r));

    EXPECT_TRUE(check("ACPLC", "01", Variant::list({"WOFB07-B0001"}), r)) << "a batch number already used";
    EXPECT_FALSE(check("ACPLC", "01", Variant::list({"WOFB07-B0002"}), r));

    ASSERT_TRUE(check("PURMA", "02", Variant::list({"A001"}), r));
    EXPECT_EQ(r[2].toString(), "上海华联电子有限公司") << "the supplier's name at index 2";
    EXPECT_FALSE(check("PURMA", "02", Variant::list({"Z999"}), r));

    ASSERT_TRUE(check("CMSMQ", "36", Variant::list({"7D01", "7D", "7D", "7D", demo().user}), r));
    EXPECT_EQ(r[0].toString(), "预付退款单");
    EXPECT_FALSE(check("CMSMQ", "36", Variant::list({"7C01", "7D", "7D", "7D", demo().user}), r))
        << "a prepayment type is no refund type";

    // QueryData answers a row set.
    ASSERT_TRUE(check("PURMA", "02", Variant::list({"B001"}), r, true));
    ASSERT_TRUE(r.isArray());
    EXPECT_EQ(r[0][0].toString(), "B001");
}

TEST_F(DemoDatabase, SchemeNameCheckFindsSavedSchemesOnly)
{
    {
        DbConnection db;
        db.openSqlite(demo().folder + "server/data/QVSYS.db");
        db.execute("INSERT INTO GENES (NCONDITION, CREATOR, PROGRAMME, CREATE_DATE) VALUES (:N, :C, :P, '20240601')",
                   {{"N", Variant("月末转销")}, {"C", Variant("DS")}, {"P", Variant("WOFB07")}});
    }
    Variant r;
    EXPECT_TRUE(check("GENES", "01", Variant::list({"月末转销", "DS", "WOFB07"}), r));
    EXPECT_FALSE(check("GENES", "01", Variant::list({"月末转销", "U001", "WOFB07"}), r)) << "schemes are per user";
    EXPECT_FALSE(check("GENES", "01", Variant::list({"月末转销", "DS", "WOFB08"}), r)) << "and per program";
}

TEST_F(DemoDatabase, HostileKeysFindNothingAndChangeNothing)
{
    const std::int64_t suppliers = rows("PURMA");
    const std::int64_t batches = rows("ACPLC");
    Variant r;
    EXPECT_FALSE(check("CMSMF", "01", Variant::list({"X' OR '1'='1"}), r));
    EXPECT_FALSE(check("PURMA", "02", Variant::list({"A001' OR '1'='1"}), r));
    EXPECT_FALSE(check("ACPLC", "01", Variant::list({"x'; DELETE FROM ACPLC; --"}), r));
    EXPECT_FALSE(check("CMSMQ", "36", Variant::list({"7C01", "7D') OR ('1'='1", "7D", "7D", "DS"}), r));
    EXPECT_EQ(rows("PURMA"), suppliers);
    EXPECT_EQ(rows("ACPLC"), batches);
}

TEST_F(DemoDatabase, CounterServesSettingsQueriesAndTheConnection)
{
    const Variant counter = session.get("Com_Counter");
    const Variant matrix = counter.call("GetSysInfo", {demo().company});
    ASSERT_TRUE(matrix.isArray());
    ASSERT_EQ(matrix.dimCount(), 2);
    std::map<std::string, std::string> settings;
    for (int i = matrix.lowBound(2); i <= matrix.highBound(2); ++i)
        settings[matrix.at(0, i).toString()] = matrix.at(1, i).toString();
    EXPECT_EQ(settings["Sys001"], "1");
    EXPECT_EQ(settings["Sys002"], "/");
    EXPECT_EQ(settings["Sys003"], "RMB");
    EXPECT_EQ(settings["QVR002"], "华东示范电子有限公司");

    const Variant context = Variant::list({demo().company, demo().database});
    const Variant decimals = counter.call(
        "GetCounter", {"SimpleSQL", Variant::list({"Select MF004 from $$CMSMF as CMSMF where MF001='KWD'", "MF004"}), context});
    ASSERT_TRUE(decimals.isArray());
    EXPECT_EQ(decimals[0][0].toInt(), 3);

    const std::string connect = counter.call("GetCounter", {"ResultConnectString", Variant::list({""}), context}).toString();
    ASSERT_FALSE(connect.empty());
    DbConnection db;
    db.open(connect);
    EXPECT_GE(db.scalar("SELECT COUNT(*) FROM " + demo().database + "..CMSMQ").toInt(), 1);
}

TEST_F(DemoDatabase, EveryLookupKindListsItsRowsInTheShapeTheJobReads)
{
    {
        TakeAll take;
        const Variant answer = f2("CMSMF", "01", Variant::list({""}), false, "USD");
        EXPECT_GE(take.listed, 4);
        EXPECT_EQ(column(answer, 0), std::vector<std::string>{"USD"}) << "opens on the field's text";
    }
    {
        TakeAll take;
        const Variant answer = f2("PURMA", "01", Variant::list({""}), true);
        EXPECT_EQ(take.listed, 13);
        ASSERT_EQ(column(answer, 0).size(), 13u);
        EXPECT_EQ(column(answer, 0).front(), "A001");
    }
    const struct {
        const char* table;
        const char* kind;
        std::vector<std::string> types;
    } documents[] = {
        {"ACPTA", "15", {"7101", "7A01"}},
        {"ACPTA", "16", {"7F01"}},
        {"ACPTI", "05", {"7B01"}},
        {"ACPTK", "10", {"7C01"}},
    };
    for (const auto& d : documents) {
        SCOPED_TRACE(std::string(d.table) + " " + d.kind);
        TakeAll take;
        const Variant answer = f2(d.table, d.kind, Variant::list({"1", "1", "", ""}), true);
        EXPECT_GT(take.listed, 0);
        ASSERT_TRUE(answer.isArray());
        for (const Variant& row : answer.elements()) {
            ASSERT_EQ(row.count(), 2) << "type and number";
            EXPECT_NE(std::find(d.types.begin(), d.types.end(), row[0].toString()), d.types.end()) << row[0].toString();
            EXPECT_EQ(row[1].toString().size(), 11u);
        }
    }
    {
        TakeAll take;
        const Variant answer = f2("CMSMQ", "01", Variant::list({"7D", demo().user}), true);
        EXPECT_EQ(column(answer, 0), (std::vector<std::string>{"7D01", "7D02"})) << "refund types only";
    }
    {
        TakeAll take;
        const Variant answer = f2("QVRMA", "04", Variant(), true);
        EXPECT_EQ(column(answer, 0), (std::vector<std::string>{"DS", "U001", "U002", "U004"})) << "users in use";
        ASSERT_TRUE(answer.isArray());
        EXPECT_EQ(answer[1][3].toString(), "zhangwei@example.com") << "code, name, mobile, mail";
    }
}

TEST_F(DemoDatabase, DocumentLookupsListOnlyConfirmedOpenDocumentsWhenAsked)
{
    int open = 0, all = 0;
    {
        TakeAll take;
        f2("ACPTA", "15", Variant::list({"1", "1", "", ""}), true);
        open = take.listed;
    }
    {
        TakeAll take;
        f2("ACPTA", "15", Variant::list({"0", "0", "", ""}), true);
        all = take.listed;
    }
    DbConnection db;
    db.openSqlite(demo().folder + "server/data/" + demo().database + ".db");
    EXPECT_EQ(open, db.scalar("SELECT COUNT(*) FROM ACPTA JOIN CMSMQ ON MQ001 = TA001 WHERE MQ003 IN ('71', '7A') "
                              "AND TA024 = 'Y' AND TA087 = '1'")
                        .toInt());
    EXPECT_EQ(all, db.scalar("SELECT COUNT(*) FROM ACPTA JOIN CMSMQ ON MQ001 = TA001 WHERE MQ003 IN ('71', '7A')").toInt());
    EXPECT_LT(open, all);
}

TEST_F(DemoDatabase, ASessionMadeByProgIdFromTheClassTableServesTheInstallation)
{
    // As a job form without a host finds it: through the class table, from VostelWorkCenter.so.
    UnregisterOleClass(HostSession::ProgId);
    const Variant made(CreateOleObject("VostelWorkCenter.Manager"));
    ASSERT_TRUE(made.isDispatch());
    EXPECT_EQ(made.call("GetMessage", {"W", "200295"}).toString(), "供应商不存在!") << "the demo speaks code page 936";
    Variant args[5] = {"PURMA", "02", Variant(demo().database), Variant::list({"A002"}), Variant()};
    EXPECT_TRUE(made.get("Com_Validator").invoke("CheckValue", args).toBool());
    EXPECT_EQ(args[4][2].toString(), "深圳市宏达精密五金厂");
}
