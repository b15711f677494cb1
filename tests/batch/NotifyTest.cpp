// The recipient dialog with real widgets: the grid and its keys, the recipient XML it
// reads and writes, and its two look-ups (system users and the portal).

#include "BatchFixture.h"
#include "EnvGuard.h"

#include "batch/Notify.h"
#include "batch/PortalUser.h"

#include <QTableWidget>

#include <httplib.h>

#include <thread>

namespace {

class NotifyTest : public BatchFormTest {
protected:
    void SetUp() override
    {
        BatchFormTest::SetUp();
        ASSERT_TRUE(open());
    }
    void TearDown() override
    {
        if (dialog)
            dialog->Free();
        BatchFormTest::TearDown();
    }
    TfrmNotify* make(const QString& portal = QStringLiteral("N"), const QString& address = QString())
    {
        if (dialog)
            dialog->Free();
        dialog = TQVForm::Create<TfrmNotify>(form, portal, address);
        return dialog;
    }
    QPointer<TfrmNotify> dialog;
};

const QString kDefault = QStringLiteral(
    "<?xml version=\"1.0\" encoding=\"GB2312\"?><Root><R1 ID=\"DS\" Name=\"\" Type=\"5\" Msg=\"YNN\"/></Root>");

} // namespace

TEST_F(NotifyTest, RowsWithCodesAreWrittenUnderTheirRowNumbers)
{
    make();
    EXPECT_EQ(dialog->grReceive->horizontalHeaderItem(0)->text(), QStringLiteral("收件人"));
    EXPECT_EQ(dialog->grReceive->horizontalHeaderItem(7)->text(), QStringLiteral("邮件"));
    EXPECT_EQ(dialog->TypeLine(), QStringLiteral("1.系统用户")) << "the portal is off";
    dialog->BitBtn1Click();
    EXPECT_EQ(dialog->ResultText, QStringLiteral("N")) << "nobody to tell";

    dialog->grReceive->setRowCount(3);
    dialog->SetCell(0, 1, QStringLiteral("U001"));
    dialog->SetCell(1, 1, QStringLiteral("张伟"));
    dialog->SetCell(3, 1, QStringLiteral("zw@example.com"));
    dialog->SetCell(4, 1, QStringLiteral("1.系统用户"));
    dialog->SetCell(5, 1, QStringLiteral("Y"));
    dialog->SetCell(7, 1, QStringLiteral("Y"));
    dialog->SetCell(0, 3, QStringLiteral("U002"));
    dialog->BitBtn1Click();
    EXPECT_EQ(dialog->ResultText,
              QStringLiteral("<?xml version=\"1.0\" encoding=\"GB2312\"?><Root><R1 ID=\"U001\" Name=\"张伟\" "
                             "Mail=\"zw@example.com\" Type=\"1\" Msg=\"YNY\"/><R3 ID=\"U002\" Name=\"\" Msg=\"NNN\"/></Root>"));

    // What was written reads back whole: the gap loses nobody, and YNY stays YNY.
    make();
    dialog->LoadRecipients(QStringLiteral("<?xml version=\"1.0\" encoding=\"GB2312\"?><Root><R1 ID=\"U001\" Msg=\"YNY\"/>"
                                          "<R3 ID=\"U002\" Msg=\"NNN\"/></Root>"));
    EXPECT_EQ(dialog->Cell(0, 2), QStringLiteral("U002"));
    dialog->BitBtn1Click();
    EXPECT_TRUE(dialog->ResultText.contains(QStringLiteral("<R1 ID=\"U001\" Name=\"\" Msg=\"YNY\"/>"))) << dialog->ResultText.toStdString();
    EXPECT_TRUE(dialog->ResultText.contains(QStringLiteral("<R2 ID=\"U002\"")));
}

TEST_F(NotifyTest, TheDefaultListShowsItsTypeOnlyWhenThePortalIsOn)
{
    make(QStringLiteral("Y"), QStringLiteral("http://127.0.0.1:1/"));
    dialog->LoadRecipients(kDefault);
    EXPECT_EQ(dialog->Cell(0, 1), QStringLiteral("DS"));
    EXPECT_EQ(dialog->Cell(4, 1), QStringLiteral("5.Portal用户"));
    EXPECT_EQ(dialog->Cell(5, 1), QStringLiteral("Y"));
    EXPECT_EQ(dialog->Cell(6, 1), QStringLiteral("N"));
    make(QStringLiteral("N"), QStringLiteral("http://127.0.0.1:1/"));
    dialog->LoadRecipients(kDefault);
    EXPECT_EQ(dialog->Cell(4, 1), QString());
    make(QStringLiteral("Y"), QString());
    EXPECT_EQ(dialog->TypeLine(), QStringLiteral("1.系统用户")) << "no address, no portal";

    dialog->LoadRecipients(QStringLiteral("not xml <"));
    EXPECT_EQ(dialog->RowCount(), 2) << "one empty row";
    EXPECT_EQ(dialog->Cell(0, 1), QString());
}

TEST_F(NotifyTest, KeysAddAndRemoveRowsAndF2LooksUpASystemUser)
{
    make();
    dialog->show();
    QApplication::setActiveWindow(dialog);
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
    dialog->LoadRecipients(kDefault);
    dialog->grReceive->setFocus();
    dialog->grReceive->setCurrentCell(0, 1);
    QTest::keyClick(dialog->grReceive, Qt::Key_Down);
    EXPECT_EQ(dialog->RowCount(), 3) << "Down on the last row adds one";
    EXPECT_EQ(dialog->grReceive->currentRow(), 1);
    QTest::keyClick(dialog->grReceive, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(dialog->RowCount(), 2);

    session->f2Window->lookupAnswer = Variant::list({Variant::list({"U001", "张伟", "13800000000", "zw@example.com"})});
    dialog->grReceive->setCurrentCell(0, 0);
    dialog->grReceive->editItem(dialog->grReceive->item(0, 0));
    settle();
    QWidget* editor = QApplication::focusWidget();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->toolTip(), QStringLiteral("[F2]系统用户开窗"));
    QTest::keyClick(editor, Qt::Key_F2);
    settle();
    ASSERT_FALSE(session->f2Window->calls.empty());
    EXPECT_EQ(VarToStr(session->f2Window->calls.back().args[0][0]), "QVRMA");
    EXPECT_EQ(VarToStr(session->f2Window->calls.back().args[0][1]), "04");
    EXPECT_EQ(dialog->Cell(0, 1), QStringLiteral("U001"));
    EXPECT_EQ(dialog->Cell(2, 1), QStringLiteral("13800000000"));
    EXPECT_EQ(dialog->Cell(4, 1), QStringLiteral("1.系统用户"));
    EXPECT_EQ(dialog->Cell(5, 1), QStringLiteral("Y"));

    // F2 outside the recipient column opens nothing.
    session->f2Window->calls.clear();
    dialog->grReceive->setCurrentCell(0, 1);
    QTest::keyClick(dialog->grReceive, Qt::Key_F2);
    EXPECT_TRUE(session->f2Window->calls.empty());
}

// The signed-on user the list starts with reads as a row F2 adds, and a row is added and
// removed with buttons in sight.
TEST_F(NotifyTest, TheDefaultRowIsWholeAndButtonsAddAndRemoveRows)
{
    session->counter->answer = Variant::list({Variant::list({"管理员", "13900000000", "ds@example.com"})});
    form->chkNotify->Click();
    make();
    dialog->LoadRecipients(form->NotifyRecipients);
    EXPECT_EQ(dialog->Cell(0, 1), QStringLiteral("DS"));
    EXPECT_EQ(dialog->Cell(1, 1), QStringLiteral("管理员"));
    EXPECT_EQ(dialog->Cell(2, 1), QStringLiteral("13900000000"));
    EXPECT_EQ(dialog->Cell(3, 1), QStringLiteral("ds@example.com"));
    EXPECT_EQ(dialog->Cell(4, 1), QStringLiteral("1.系统用户"));
    EXPECT_EQ(dialog->Cell(5, 1), QStringLiteral("Y"));

    dialog->show();
    settle();
    ASSERT_TRUE(dialog->btnAdd->isVisible());
    ASSERT_TRUE(dialog->btnRemove->isVisible());
    EXPECT_EQ(dialog->btnAdd->Caption(), QStringLiteral("增加(&A)"));
    session->f2Window->lookupAnswer = Variant::list({Variant::list({"U001", "张伟", "13800000000", "zw@example.com"})});
    QTest::mouseClick(dialog->btnAdd, Qt::LeftButton);
    settle();
    EXPECT_EQ(dialog->RowCount(), 3);
    EXPECT_EQ(dialog->Cell(0, 2), QStringLiteral("U001"));
    EXPECT_EQ(dialog->Cell(4, 2), QStringLiteral("1.系统用户"));
    dialog->grReceive->setCurrentCell(0, 1);
    QTest::mouseClick(dialog->btnRemove, Qt::LeftButton);
    EXPECT_EQ(dialog->RowCount(), 2);
    EXPECT_EQ(dialog->Cell(0, 1), QStringLiteral("U001"));
}

TEST_F(NotifyTest, PortalRequestsCarryTheLocaleAndFailuresAreTold)
{
    EXPECT_TRUE(PortalRequest("DS", "01", "950").contains(QStringLiteral("<Locale language=\"zh_TW\"/>")));
    EXPECT_TRUE(PortalRequest("DS", "01", "437").contains(QStringLiteral("<Locale language=\"ch_US\"/>")));
    const QString r = PortalRequest(QStringLiteral("D\"S"), "01", "936");
    EXPECT_TRUE(r.startsWith(QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?><Request>   <Access>     "
                                            "<Authentication user=\"D&quot;S\" password=\"\"/>     <Connection")));
    EXPECT_TRUE(r.contains(QStringLiteral("<Locale language=\"zh_CN\"/>   </Access>   <RequestContent/> </Request>")));

    make(QStringLiteral("Y"), QStringLiteral("http://127.0.0.1:1/"));
    EXPECT_EQ(dialog->CallPortalService(), QString());
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_TRUE(dialogs.shown.back().text.startsWith(QStringLiteral("Call portal webservice error! ")))
        << dialogs.shown.back().text.toStdString();
}

TEST_F(NotifyTest, ThePortalPickerAnswersTheChosenUser)
{
    const Variant users = Variant::list({Variant::list({"P01", "甲"}), Variant::list({"P02", "乙"})});
    dialogs.answer = mrOk;
    Variant chosen;
    EXPECT_TRUE(PickPortalUser(form, users, chosen));
    EXPECT_EQ(VarToStr(chosen[0]), "P01") << "the first row is current";
    dialogs.answer = mrCancel;
    EXPECT_FALSE(PickPortalUser(form, users, chosen));
    EXPECT_EQ(VarToStr(chosen), "");
}

namespace {

// A portal that answers what the test tells it to, on a loopback port of its own.
class FakePortal {
public:
    FakePortal()
    {
        server_.Post(".*", [this](const httplib::Request&, httplib::Response& res) {
            if (delayMs > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            res.status = status;
            res.set_content(body, "text/xml");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        for (int i = 0; i < 5000 && !server_.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~FakePortal()
    {
        server_.stop();
        thread_.join();
    }
    QString address() const { return QStringLiteral("http://127.0.0.1:%1/").arg(port_); }
    int status = 200;
    std::string body;
    int delayMs = 0;

private:
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
};

} // namespace

TEST_F(NotifyTest, BrokenPortalAnswersOfferWhatCanBeReadAndSayWhy)
{
    FakePortal portal;
    make(QStringLiteral("Y"), portal.address());

    portal.status = 500;
    portal.body = "<html><body>Internal error</body></html>";
    EXPECT_EQ(dialog->CallPortalService(), QString());
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_TRUE(dialogs.shown.back().text.contains(QStringLiteral("HTTP 500"))) << dialogs.shown.back().text.toStdString();
    EXPECT_TRUE(dialogs.shown.back().text.contains(QStringLiteral("Internal error"))) << "the partial result is shown";

    portal.status = 200;
    portal.body = "not xml at all <";
    EXPECT_EQ(dialog->CallPortalService(), QString());
    EXPECT_TRUE(dialogs.shown.back().text.contains(QStringLiteral("not XML"))) << dialogs.shown.back().text.toStdString();

    portal.body = "<R><Status code=\"7\" Description=\"公司未开通\"/></R>";
    EXPECT_EQ(dialog->CallPortalService(), QString());
    EXPECT_EQ(dialogs.shown.back().text, QStringLiteral("Call portal webservice error! \n\n公司未开通"));

    // Two records, one without an Id: the picker offers the one, the user hears of the other.
    portal.body = "<R><Status code=\"0\"/><Record><Field name=\"Id\" value=\"P01\"/><Field name=\"Name\" value=\"甲\"/>"
                  "</Record><Record><Field name=\"Name\" value=\"无号\"/></Record></R>";
    dialog->grReceive->setCurrentCell(0, 0);
    dialogs.shown.clear();
    dialogs.answer = mrOk;
    dialog->grReceiveEditButtonClick();
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_TRUE(dialogs.shown[0].text.contains(QStringLiteral("1 "))) << dialogs.shown[0].text.toStdString();
    EXPECT_EQ(dialogs.shown[1].text, QStringLiteral("<TfrmPortalUser>"));
    EXPECT_EQ(dialog->Cell(0, 1), QStringLiteral("P01"));
    EXPECT_EQ(dialog->Cell(4, 1), QStringLiteral("5.Portal用户"));
}

namespace {

class FaultPortal : public NotifyTest {};

} // namespace

TEST_F(FaultPortal, APortalSlowerThanTheTimeLimitIsGivenUpWithItsReason)
{
    RecordProperty("tried", "a portal that answers after 2 s, with the web-service time limit at 300 ms");
    EnvGuard env;
    env.set("QV_WEBSERVICE_TIMEOUT_MS", "300");
    FakePortal portal;
    portal.delayMs = 2000;
    portal.body = "<R><Status code=\"0\"/></R>";
    make(QStringLiteral("Y"), portal.address());
    EXPECT_EQ(dialog->CallPortalService(), QString());
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_TRUE(dialogs.shown.back().text.contains(QStringLiteral("timed out"), Qt::CaseInsensitive))
        << dialogs.shown.back().text.toStdString();
    EXPECT_EQ(dialog->Cell(0, 1), QString()) << "the recipient list is as it was";
}

TEST_F(FaultPortal, AnErrorPageThatIsWellFormedIsShownNotTakenForAnAnswer)
{
    RecordProperty("tried", "a portal that answers HTTP 200 with an HTML error page, well-formed and not");
    FakePortal portal;
    make(QStringLiteral("Y"), portal.address());
    portal.body = "<html><head><title>503</title></head><body><h1>Service Unavailable</h1></body></html>";
    EXPECT_EQ(dialog->CallPortalService(), QString());
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_TRUE(dialogs.shown.back().text.contains(QStringLiteral("Service Unavailable")))
        << "the page says what went wrong: " << dialogs.shown.back().text.toStdString();
    portal.body = "<html><body>Bad gateway<br></body></html>";
    EXPECT_EQ(dialog->CallPortalService(), QString());
    EXPECT_TRUE(dialogs.shown.back().text.contains(QStringLiteral("not XML")));
    EXPECT_TRUE(dialogs.shown.back().text.contains(QStringLiteral("Bad gateway")));
    EXPECT_EQ(dialog->Cell(0, 1), QString());
}
