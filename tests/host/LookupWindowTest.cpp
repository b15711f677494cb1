// The look-up window and the date picker, driven by key presses and clicks through the
// look-up service, as a job form's F2 press reaches them.

#include "FakeServer.h"
#include "ModalDriver.h"

#include "host/ComF2Window.h"
#include "host/DatePicker.h"
#include "host/LookupWindow.h"

#include <QCalendarWidget>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <QToolButton>

#include <gtest/gtest.h>

namespace {

std::vector<std::vector<Variant>> suppliers()
{
    return {{"A001", "华北钢铁", "华北钢铁股份有限公司", "RMB"},
            {"B002", "东方电子", "东方电子有限公司", "USD"},
            {"C003", "南方化工", "南方化工有限公司", "RMB"},
            {"C010", "中原纸业", "中原纸业有限公司", "HKD"}};
}

struct Fixture {
    std::shared_ptr<FakeServer> server = std::make_shared<FakeServer>();
    std::shared_ptr<ComF2Window> f2;
    Variant service;

    explicit Fixture(HostLanguage language = HostLanguage::Simplified, std::string clientPath = {})
    {
        server->answers.push_back({"FROM $$PURMA", suppliers()});
        server->answers.push_back({"FROM $$ACPTA",
                                   {{"7A01", "20240100001", "20240105", "A001", "华北钢铁", "RMB", 1170.0},
                                    {"7A01", "20240100002", "20240106", "B002", "东方电子", "RMB", 500.0},
                                    {"7A02", "20240100001", "20240107", "C003", "南方化工", "RMB", 88.5}}});
        auto link = std::make_shared<AppServerLink>([s = server] { return s; });
        f2 = std::make_shared<ComF2Window>(link, language, std::move(clientPath));
        service = Variant(std::static_pointer_cast<Dispatch>(f2));
    }

    // The 19 values a job form sends.
    static Variant request(const char* table, const char* kind, Variant keys, bool list, const char* extra)
    {
        Variant r = Variant::array(0, 18);
        r[0] = table;
        r[1] = kind;
        r[2] = std::move(keys);
        r[3] = list;
        r[4] = extra;
        r[5] = "DEMO";
        r[6] = "DEMODB";
        r[7] = std::int64_t(0);
        r[8] = 1;
        r[9] = false;
        r[10] = 3;
        for (int i = 11; i <= 14; ++i)
            r[i] = "";
        r[15] = false;
        r[16] = false;
        r[18] = "DS";
        return r;
    }

    Variant f2GetData(const Variant& request) { return service.call("F2GetData", {request}); }
};

LookupWindow* lookup(QWidget* w)
{
    auto* window = qobject_cast<LookupWindow*>(w);
    EXPECT_NE(window, nullptr);
    return window;
}

void clickRow(QTableView* grid, int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    const QRect cell = grid->visualRect(grid->model()->index(row, 1));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, modifiers, cell.center());
}

void clickButton(QWidget* window, const char* name)
{
    auto* button = window->findChild<QPushButton*>(QString::fromLatin1(name));
    ASSERT_NE(button, nullptr) << name;
    QTest::mouseClick(button, Qt::LeftButton);
}

std::vector<std::string> firstValues(const Variant& rowSet)
{
    std::vector<std::string> codes;
    if (rowSet.isArray())
        for (const Variant& row : rowSet.elements())
            codes.push_back(VarToStr(row[0]));
    return codes;
}

} // namespace

TEST(LookupWindow, TypingInTheFilterNarrowsTheListAndEnterTakesTheRow)
{
    Fixture f;
    int visibleAfterFilter = -1;
    QString title;
    ModalDriver driver([&](QWidget* w) {
        LookupWindow* window = lookup(w);
        title = window->windowTitle();
        EXPECT_EQ(window->visibleRows(), 4);
        QTest::keyClicks(window->filterBox(), "usd");
        visibleAfterFilter = window->visibleRows();
        QTest::keyClick(window->filterBox(), Qt::Key_Return);
    });
    const Variant answer = f.f2GetData(Fixture::request("PURMA", "01", Variant::list({""}), false, ""));
    EXPECT_EQ(driver.shown, 1);
    EXPECT_EQ(title, QStringLiteral("供应商信息查询"));
    EXPECT_EQ(visibleAfterFilter, 1) << "the filter matches any column";
    ASSERT_TRUE(answer.isArray());
    ASSERT_EQ(answer.count(), 1);
    EXPECT_EQ(answer[0][0].toString(), "B002");
    EXPECT_EQ(answer[0][2].toString(), "东方电子有限公司");
    EXPECT_EQ(f.server->calls.back().company, "DEMO");
    EXPECT_EQ(f.server->calls.back().database, "DEMODB");
}

TEST(LookupWindow, OpensOnTheFieldsTextAndAClickPicksAnotherRow)
{
    Fixture f;
    QString currentAtOpen;
    ModalDriver driver([&](QWidget* w) {
        LookupWindow* window = lookup(w);
        currentAtOpen = window->grid()->currentIndex().data().toString();
        clickRow(window->grid(), 3);
        clickButton(window, "btnOk");
    });
    const Variant answer = f.f2GetData(Fixture::request("PURMA", "01", Variant::list({""}), false, "c0"));
    EXPECT_EQ(currentAtOpen, QStringLiteral("C003"));
    EXPECT_EQ(firstValues(answer), std::vector<std::string>{"C010"});
}

TEST(LookupWindow, DoubleClickTakesTheRow)
{
    Fixture f;
    ModalDriver driver([&](QWidget* w) {
        QTableView* grid = lookup(w)->grid();
        const QPoint at = grid->visualRect(grid->model()->index(1, 0)).center();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    });
    EXPECT_EQ(firstValues(f.f2GetData(Fixture::request("PURMA", "01", Variant::list({""}), false, ""))),
              std::vector<std::string>{"B002"});
}

TEST(LookupWindow, AListLookupReturnsEveryTickedRowAndTicksSurviveTheFilter)
{
    Fixture f;
    ModalDriver driver([&](QWidget* w) {
        LookupWindow* window = lookup(w);
        QTest::keyClick(window->filterBox(), Qt::Key_Down); // into the list, on the first row
        QTest::keyClick(window->grid(), Qt::Key_Space);     // tick A001
        QTest::keyClick(window->grid(), Qt::Key_Down);
        QTest::keyClick(window->grid(), Qt::Key_Space); // tick B002 ...
        QTest::keyClick(window->grid(), Qt::Key_Space); // ... and untick it
        QTest::keyClicks(window->filterBox(), "C01");
        EXPECT_EQ(window->visibleRows(), 1);
        window->grid()->setFocus();
        QTest::keyClick(window->grid(), Qt::Key_Space); // tick C010
        EXPECT_EQ(window->checkedRows(), 2);
        clickButton(window, "btnOk");
    });
    const Variant answer = f.f2GetData(Fixture::request("PURMA", "01", Variant::list({""}), true, ""));
    EXPECT_EQ(firstValues(answer), (std::vector<std::string>{"A001", "C010"}));
    ASSERT_TRUE(answer.isArray());
    EXPECT_EQ(answer[1].count(), 4) << "every column of a chosen supplier";
}

TEST(LookupWindow, AListLookupTakesACtrlClickSelectionWhenNothingIsTicked)
{
    Fixture f;
    ModalDriver driver([&](QWidget* w) {
        LookupWindow* window = lookup(w);
        clickRow(window->grid(), 0);
        clickRow(window->grid(), 2, Qt::ControlModifier);
        clickButton(window, "btnOk");
    });
    EXPECT_EQ(firstValues(f.f2GetData(Fixture::request("PURMA", "01", Variant::list({""}), true, ""))),
              (std::vector<std::string>{"A001", "C003"}));
}

TEST(LookupWindow, ASingleLookupGivesOneRowEvenAfterCtrlClicks)
{
    Fixture f;
    ModalDriver driver([&](QWidget* w) {
        LookupWindow* window = lookup(w);
        clickRow(window->grid(), 0);
        clickRow(window->grid(), 2, Qt::ControlModifier);
        QTest::keyClick(window->grid(), Qt::Key_Space); // ticks nothing in a single look-up
        clickButton(window, "btnOk");
    });
    const Variant answer = f.f2GetData(Fixture::request("PURMA", "01", Variant::list({""}), false, ""));
    ASSERT_TRUE(answer.isArray());
    EXPECT_EQ(answer.count(), 1);
}

TEST(LookupWindow, CancelEscapeAndAnEmptyFilterResultAnswerEmpty)
{
    Fixture f;
    {
        ModalDriver driver([&](QWidget* w) { clickButton(w, "btnCancel"); });
        EXPECT_TRUE(f.f2GetData(Fixture::request("PURMA", "01", Variant::list({""}), false, "")).isEmpty());
    }
    {
        ModalDriver driver([&](QWidget* w) { QTest::keyClick(lookup(w)->filterBox(), Qt::Key_Escape); });
        EXPECT_TRUE(f.f2GetData(Fixture::request("PURMA", "01", Variant::list({""}), false, "")).isEmpty());
    }
    {
        ModalDriver driver([&](QWidget* w) {
            QTest::keyClicks(lookup(w)->filterBox(), "no such supplier");
            clickButton(w, "btnOk");
        });
        EXPECT_TRUE(f.f2GetData(Fixture::request("PURMA", "01", Variant::list({""}), false, "")).isEmpty());
    }
}

TEST(LookupWindow, DocumentLookupsOpenOnTheKeyedDocumentAndGiveTypeAndNumber)
{
    Fixture f;
    QString currentNumber;
    ModalDriver driver([&](QWidget* w) {
        LookupWindow* window = lookup(w);
        currentNumber = window->grid()->model()->index(window->grid()->currentIndex().row(), 1).data().toString();
        QTest::keyClick(window->grid(), Qt::Key_Return);
    });
    const Variant answer =
        f.f2GetData(Fixture::request("ACPTA", "15", Variant::list({"1", "1", "7A01", "20240100002"}), false, ""));
    EXPECT_EQ(currentNumber, QStringLiteral("20240100002"));
    ASSERT_TRUE(answer.isArray());
    ASSERT_EQ(answer.count(), 1);
    ASSERT_EQ(answer[0].count(), 2) << "a row joins to type-number";
    EXPECT_EQ(answer[0][0].toString(), "7A01");
    EXPECT_EQ(answer[0][1].toString(), "20240100002");
    // Confirmed and open only, purchase invoice kinds.
    std::string sql;
    for (const auto& call : f.server->calls)
        if (call.sql.find("$$ACPTA") != std::string::npos)
            sql = call.sql;
    EXPECT_NE(sql.find("TA024 = 'Y'"), std::string::npos);
    EXPECT_NE(sql.find("TA087 = '1'"), std::string::npos);
    EXPECT_NE(sql.find("('71', '7A')"), std::string::npos);
}

TEST(LookupWindow, UserTextNeverReachesTheQueryText)
{
    Fixture f;
    ModalDriver driver([&](QWidget* w) { clickButton(w, "btnCancel"); });
    const char* hostile = "7D' OR '1'='1";
    f.f2GetData(Fixture::request("CMSMQ", "01", Variant::list({hostile, "DS"}), false, hostile));
    ASSERT_FALSE(f.server->calls.empty());
    EXPECT_EQ(f.server->calls.back().sql.find("OR '1'"), std::string::npos);
    EXPECT_EQ(f.server->param("KIND").toString(), hostile);
    f.f2GetData(Fixture::request("ACPTA", "15", Variant::list({"1' OR '1'='1", "1", hostile, hostile}), false, ""));
    EXPECT_EQ(f.server->calls.back().sql.find("OR '1'"), std::string::npos);
}

TEST(LookupWindow, UnknownLookupsAndBadRequestsShowNothing)
{
    Fixture f;
    ModalDriver driver([&](QWidget* w) { clickButton(w, "btnCancel"); });
    EXPECT_TRUE(f.f2GetData(Fixture::request("PURMA", "99", Variant::list({""}), false, "")).isEmpty());
    EXPECT_TRUE(f.f2GetData(Variant("PURMA")).isEmpty());
    EXPECT_TRUE(f.f2GetData(Variant::list({"PURMA", "01"})).isEmpty());
    EXPECT_EQ(driver.shown, 0);
    EXPECT_TRUE(f.server->calls.empty());
    for (const char* known : {"CMSMF/01", "PURMA/01", "ACPTA/15", "ACPTA/16", "ACPTI/05", "ACPTK/10", "CMSMQ/01",
                              "QVRMA/04"}) {
        const std::string k(known);
        EXPECT_TRUE(ComF2Window::Knows(k.substr(0, 5), k.substr(6))) << k;
    }
}

TEST(LookupWindow, WithoutAServerTheWindowStillOpensEmpty)
{
    auto link = std::make_shared<AppServerLink>([]() -> DispatchPtr { throw AutomationError("no server"); });
    Variant service(std::static_pointer_cast<Dispatch>(std::make_shared<ComF2Window>(link, HostLanguage::English, "")));
    int rows = -1;
    ModalDriver driver([&](QWidget* w) {
        rows = lookup(w)->visibleRows();
        clickButton(w, "btnOk");
    });
    EXPECT_TRUE(service.call("F2GetData", {Fixture::request("CMSMF", "01", Variant::list({""}), false, "")}).isEmpty());
    EXPECT_EQ(rows, 0);
    EXPECT_EQ(link->lastError(), "no server");
}

TEST(DatePicker, ArrowKeysAndEnterPickADayAsCompactText)
{
    Fixture f;
    ModalDriver driver([&](QWidget* w) {
        auto* picker = qobject_cast<DatePicker*>(w);
        ASSERT_NE(picker, nullptr);
        EXPECT_EQ(picker->selectedDate(), QDate(2024, 1, 15));
        QWidget* days = picker->calendar()->focusProxy();
        ASSERT_NE(days, nullptr);
        QTest::keyClick(days, Qt::Key_Right);
        QTest::keyClick(days, Qt::Key_Down);
        QTest::keyClick(days, Qt::Key_Return);
    });
    EXPECT_EQ(f.service.call("ShowInputDay", {Variant::list({false, "20240115", "DEMO"})}).toString(), "20240123");
}

TEST(DatePicker, CancelAnswersEmptyAndABadStartOpensOnToday)
{
    Fixture f;
    QDate opened;
    {
        ModalDriver driver([&](QWidget* w) {
            opened = qobject_cast<DatePicker*>(w)->selectedDate();
            clickButton(w, "btnCancel");
        });
        EXPECT_EQ(f.service.call("ShowInputDay", {Variant::list({false, "2024011", "DEMO"})}).toString(), "");
    }
    EXPECT_EQ(opened, QDate::currentDate());
    {
        ModalDriver driver([&](QWidget* w) { clickButton(w, "btnOk"); });
        EXPECT_EQ(f.service.call("ShowInputDay", {Variant::list({false, "20240230", "DEMO"})}).toString(),
                  QDate::currentDate().toString(QStringLiteral("yyyyMMdd")).toStdString())
            << "30 February is no start date";
    }
}

TEST(DatePicker, AnEnglishPickerNamesItsMonthsInEnglishAndEscapeClosesIt)
{
    // On a desk whose machine speaks Chinese.
    const QLocale machine;
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    Fixture f(HostLanguage::English);
    QString month, title;
    bool escaped = false;
    ModalDriver driver([&](QWidget* w) {
        auto* picker = qobject_cast<DatePicker*>(w);
        ASSERT_NE(picker, nullptr);
        month = picker->calendar()->findChild<QToolButton*>(QStringLiteral("qt_calendar_monthbutton"))->text();
        title = w->windowTitle();
        QTest::keyClick(picker->calendar()->focusProxy(), Qt::Key_Escape);
        escaped = !w->isVisible();
    });
    EXPECT_EQ(f.service.call("ShowInputDay", {Variant::list({false, "20240315", "DEMO"})}).toString(), "");
    QLocale::setDefault(machine);
    EXPECT_EQ(month, QStringLiteral("March"));
    EXPECT_EQ(title, QStringLiteral("Pick a date"));
    EXPECT_TRUE(escaped);
}

TEST(DatePicker, TodayButtonAndYearCountFrom1912)
{
    Fixture f;
    QString shown;
    ModalDriver driver([&](QWidget* w) {
        shown = w->findChild<QLabel*>(QStringLiteral("lblDate"))->text();
        clickButton(w, "btnToday");
        clickButton(w, "btnOk");
    });
    EXPECT_EQ(f.service.call("ShowInputDay", {Variant::list({true, "20240115", "DEMO"})}).toString(),
              QDate::currentDate().toString(QStringLiteral("yyyyMMdd")).toStdString());
    EXPECT_EQ(shown, QStringLiteral("民国 113 年 01 月 15 日"));
    EXPECT_EQ(DatePicker::displayText(QDate(2024, 1, 15), true, HostLanguage::English), QStringLiteral("ROC 113/01/15"));
    EXPECT_EQ(DatePicker::displayText(QDate(1900, 1, 15), true, HostLanguage::English), QStringLiteral("1900/01/15"));
    EXPECT_FALSE(DatePicker::fromCompactText(QStringLiteral("17521231")).isValid());
    EXPECT_TRUE(DatePicker::fromCompactText(QStringLiteral("17530101")).isValid());
    EXPECT_FALSE(DatePicker::fromCompactText(QStringLiteral("2024o115")).isValid());
}

TEST(PhrasePicker, OffersTheUsersOwnPhrasesFirstThenTheCommonOnes)
{
    QTemporaryDir dir;
    {
        QFile f(dir.filePath(QStringLiteral("Phrase.ini")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Common]\n1=月末转销\n2=预付款退回\n[User DS]\n1=本人常用\n2=月末转销\n");
    }
    const std::string clientPath = dir.path().toStdString() + "/";
    EXPECT_EQ(ComF2Window::Phrases(clientPath, "DS"),
              (QStringList{QStringLiteral("本人常用"), QStringLiteral("月末转销"), QStringLiteral("预付款退回")}));
    EXPECT_EQ(ComF2Window::Phrases(clientPath, "U001").size(), 2);

    Fixture f(HostLanguage::Simplified, clientPath);
    {
        ModalDriver driver([&](QWidget* w) {
            LookupWindow* window = lookup(w);
            QTest::keyClick(window->filterBox(), Qt::Key_Down);
            QTest::keyClick(window->grid(), Qt::Key_Down);
            QTest::keyClick(window->grid(), Qt::Key_Return);
        });
        EXPECT_EQ(f.service.call("GetPhrase", {"DS", "DEMO", std::int64_t(0)}).toString(), "月末转销");
    }
    {
        ModalDriver driver([&](QWidget* w) { clickButton(w, "btnCancel"); });
        EXPECT_EQ(f.service.call("GetPhrase", {"DS", "DEMO", std::int64_t(0)}).toString(), "");
    }
}
