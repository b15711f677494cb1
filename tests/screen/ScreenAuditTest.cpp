// The screen audit: the write-off job opened headless at its default size in each interface
// language, every screen a clerk reaches visited and every visible widget checked for its
// language, its room, and overlaps; the messages of a refused, a direct and a queued run
// checked the same way.

#include "ScreenAudit.h"

#include "batch/Notify.h"
#include "batch/PortalUser.h"
#include "config/QtVariant.h"
#include "controls/Buttons.h"
#include "controls/ExtPage.h"
#include "controls/F2Button.h"
#include "controls/DataSource.h"
#include "controls/FDBGrid.h"
#include "controls/MaskEdit.h"
#include "controls/QvrEdit.h"
#include "controls/SelectPnl.h"
#include "host/DemoInstall.h"
#include "host/HostSession.h"
#include "dataset/ClientDataSet.h"
#include "platform/ModalRunner.h"
#include "writeoff/BatchHistory.h"
#include "writeoff/WOFB07CF.h"

#include "TestPaths.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>

namespace {

void settle()
{
    for (int i = 0; i < 4; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

const char* code(AuditLanguage l)
{
    return l == AuditLanguage::CHS ? "CHS" : l == AuditLanguage::CHT ? "CHT" : "ENG";
}

QString report(const std::vector<AuditFinding>& findings, AuditLanguage language)
{
    QStringList lines;
    for (const AuditFinding& f : findings)
        lines << f.describe(language);
    return lines.join(QLatin1Char('\n'));
}

class ScreenAuditOfTheJob : public ::testing::TestWithParam<AuditLanguage> {
protected:
    void SetUp() override
    {
        audit = std::make_unique<ScreenAudit>(GetParam());
        // Texts that come from the database or from what the clerk typed.
        audit->SetDataWidgets({QStringLiteral("lbl11C"), QStringLiteral("lbl12C"), QStringLiteral("lblToday"),
                               QStringLiteral("lstCondition"), QStringLiteral("lblCompany")});
        installation = DemoInstall::Prepare(folder.filePath(QStringLiteral("demo")).toStdString(), TestBinDir());
        DemoInstall::UseEnvironment(installation);
        DemoInstall::SetLanguage(installation, code(GetParam()));
        previous = SetModalRunner([this](QWidget* w, const std::function<int()>&) { return answer(w); });
        form = TQVForm::Create<TfrmWOFB07>(nullptr);
        form->SetModuleFileName(QStringLiteral("/opt/qv/WOFB07C.so"));
        form->SessionObject = Variant(std::static_pointer_cast<Dispatch>(std::make_shared<HostSession>()));
        opened = form->InitSession(Variant::list({installation.user, installation.company, installation.database,
                                                  std::int64_t(0), Variant()}));
        form->show();
        settle();
        // Pictures of the screens for a person to look at.
        shots = qEnvironmentVariable("QV_AUDIT_SHOTS");
    }
    void TearDown() override
    {
        if (form)
            form->Free();
        settle();
        SetModalRunner(previous);
    }

    void visit(QWidget* window, const QString& name)
    {
        settle();
        const auto found = audit->Visit(window, name);
        findings.insert(findings.end(), found.begin(), found.end());
        ++screens;
        visited << name;
        if (!shots.isEmpty()) {
            QDir().mkpath(shots);
            QString file = name;
            file.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]+")), QStringLiteral("-"));
            window->grab().save(QStringLiteral("%1/%2-%3.png").arg(shots, QLatin1String(code(GetParam())), file));
        }
    }

    // Every modal window passes here: it is shown, audited and answered.
    int answer(QWidget* w)
    {
        const QString name = screen + QStringLiteral(" / ") + (qobject_cast<QMessageBox*>(w) ? QStringLiteral("message")
                                                                                             : w->metaObject()->className());
        if (auto* box = qobject_cast<QMessageBox*>(w))
            messages << box->text();
        w->show();
        visit(w, name);
        w->hide();
        if (auto* box = qobject_cast<QMessageBox*>(w))
            return box->button(QMessageBox::Yes) ? questionAnswer : mrOk;
        return onDialog ? onDialog(w) : 0;
    }

    void pressF2(QWidget* field, const QString& name)
    {
        screen = name;
        field->setFocus();
        settle();
        const int before = screens;
        QTest::keyClick(field, Qt::Key_F2);
        settle();
        EXPECT_EQ(screens - before, 1) << "F2 opens one window: " << name.toStdString();
    }

    void toPage2(int type)
    {
        form->cbo01->SetItemIndex(type);
        form->BtnNext->click();
        settle();
        ASSERT_EQ(form->CurrentPage, TfrmWOFB07::pgNext) << form->MessageCodes.toStdString();
    }
    void toPage3()
    {
        toPage2(0);
        form->sp05->SetStyle(TSelectPanel::sp_Range);
        form->sp05->edBegin->SetText(QStringLiteral("A001"));
        form->sp05->edFinal->SetText(QStringLiteral("A007"));
        form->BtnNext->click();
        settle();
        ASSERT_EQ(form->CurrentPage, TfrmWOFB07::pgLast) << form->MessageCodes.toStdString();
        ASSERT_GT(form->cdsData->RecordCount(), 2);
    }
    // Ticks a row the way the clerk does: the cell selected, then the space bar.
    void tick(int row)
    {
        QTableView* grid = form->grdResult;
        grid->setFocus();
        grid->setCurrentIndex(grid->model()->index(row, 0));
        QTest::keyClick(grid, Qt::Key_Space);
        settle();
    }

    QTemporaryDir folder;
    DemoInstallation installation;
    std::unique_ptr<ScreenAudit> audit;
    QPointer<TfrmWOFB07> form;
    bool opened = false;
    ModalRunFn previous;
    std::function<int(QWidget*)> onDialog;
    QString screen;
    QString shots;
    QStringList messages;
    // How a question (a box with Yes) is answered: as a clerk who goes on, unless a case says.
    int questionAnswer = mrYes;
    std::vector<AuditFinding> findings;
    int screens = 0;
    QStringList visited;
};

} // namespace

TEST_P(ScreenAuditOfTheJob, EveryScreenOfTheJobReadsRightAndFits)
{
    ASSERT_TRUE(opened) << form->MessageTexts.toStdString();
    visit(form, QStringLiteral("page 1"));
    pressF2(form->ed02, QStringLiteral("page 1, date picker"));

    form->pgOption->SetActivePageIndex(1);
    visit(form, QStringLiteral("system options"));
    QTest::mouseClick(form->chkNotify, Qt::LeftButton);
    screen = QStringLiteral("recipients");
    // In the dialog, the look-up of its first column as its ellipsis button opens it.
    onDialog = [this](QWidget* w) {
        if (auto* notify = qobject_cast<TfrmNotify*>(w)) {
            onDialog = nullptr;
            notify->grReceive->setCurrentCell(0, 0);
            screen = QStringLiteral("recipients, user look-up");
            notify->grReceiveEditButtonClick();
        }
        return int(mrCancel);
    };
    form->btnNotify->click();
    settle();
    onDialog = nullptr;
    screen = QStringLiteral("portal users");
    Variant chosen;
    PickPortalUser(form, Variant::list({Variant::list({"P001", "王小明"}), Variant::list({"P002", "Mary Chen"})}), chosen);
    QTest::mouseClick(form->chkNotify, Qt::LeftButton);
    form->pgOption->SetActivePageIndex(0);

    form->btnPeriod->click();
    settle();
    form->pgOption->SetActivePage(form->tsPeriodOption);
    visit(form, QStringLiteral("periodic settings"));
    form->btnPeriod->click();
    form->pgOption->SetActivePageIndex(0);
    settle();

    for (int type = 0; type < 3; ++type) {
        toPage2(type);
        visit(form, QStringLiteral("page 2, type %1").arg(type + 1));
        form->btnprior->click();
        settle();
    }
    toPage2(0);
    pressF2(form->ed04, QStringLiteral("page 2, currency look-up"));
    pressF2(form->sp05->edBegin, QStringLiteral("page 2, supplier look-up"));
    pressF2(form->sp06->edBegin, QStringLiteral("page 2, purchase invoice look-up"));
    form->btnprior->click();
    settle();

    toPage3();
    tick(0);
    tick(2);
    visit(form, QStringLiteral("page 3"));
    // What the clerk decides by is in sight without scrolling.
    TFDBGrid* grid = form->grdResult;
    EXPECT_EQ(grid->horizontalScrollBar()->value(), 0);
    for (const char* field : {"MA005", "MA006", "MA008", "MA009", "MA021", "MA022"}) {
        const int c = form->dsData->ColumnOfField(QString::fromLatin1(field));
        EXPECT_LE(grid->columnViewportPosition(c) + grid->columnWidth(c), grid->viewport()->width())
            << field << " is out of sight in " << code(GetParam());
    }
    // The find box hiding a ticked row: the note beside the totals is seen as well.
    QTest::keyClicks(form->edFind, QString::fromStdString(form->cdsData->FieldByName("MA006")->TextAt(2)).trimmed());
    settle();
    EXPECT_TRUE(form->lblHiddenTicked->isVisible());
    visit(form, QStringLiteral("page 3, find"));
    form->edFind->clear();
    settle();
    pressF2(form->ed11, QStringLiteral("page 3, transfer supplier look-up"));
    // A periodic job's batch number is a prefix: the note under it is read too.
    form->ed10->SetText(QStringLiteral("D9"));
    form->ed11->SetText(QStringLiteral("B006"));
    form->btnPeriod->click();
    form->pgOption->SetActivePage(form->tsOption1);
    settle();
    EXPECT_TRUE(form->lblRunBatch->isVisible());
    visit(form, QStringLiteral("page 3, periodic"));
    form->btnPeriod->click();
    form->pgOption->SetActivePage(form->tsOption1);
    form->ed10->clear();
    form->ed11->clear();
    settle();

    screen = QStringLiteral("scheme dialog");
    form->btnInsert->click();
    settle();

    RecordProperty("screens", screens);
    RecordProperty("findings", int(findings.size()));
    // A screen that did not open is a screen the audit did not see.
    for (const char* name :
         {"page 1", "page 1, date picker / DatePicker", "system options", "recipients / TfrmNotify",
          "recipients, user look-up / LookupWindow", "portal users / TfrmPortalUser", "periodic settings",
          "page 2, type 1", "page 2, type 2", "page 2, type 3", "page 2, currency look-up / LookupWindow",
          "page 2, supplier look-up / LookupWindow", "page 2, purchase invoice look-up / LookupWindow", "page 3",
          "page 3, find", "page 3, transfer supplier look-up / LookupWindow", "page 3, periodic",
          "scheme dialog / TfrmGeneCondition"})
        EXPECT_TRUE(visited.contains(QString::fromUtf8(name))) << "not visited: " << name;
    EXPECT_TRUE(findings.empty()) << findings.size() << " findings on " << screens << " screens:\n"
                                  << report(findings, GetParam()).toStdString() << "\nscreens:\n"
                                  << visited.join(QLatin1Char('\n')).toStdString() << "\nmessages:\n"
                                  << messages.join(QLatin1Char('\n')).toStdString();
}

TEST_P(ScreenAuditOfTheJob, TheMessagesOfRefusedDirectAndQueuedRunsReadRight)
{
    ASSERT_TRUE(opened) << form->MessageTexts.toStdString();
    const QString today = form->ed02->Text();
    screen = QStringLiteral("impossible date");
    form->ed02->SetText(QStringLiteral("2024/02/30"));
    form->BtnNext->click();
    settle();
    EXPECT_EQ(messages.size(), 1);
    form->ed02->SetText(today);
    toPage3();
    screen = QStringLiteral("refused run");
    form->btnQuery->click();
    settle();
    const qsizetype refused = messages.size();
    EXPECT_GT(refused, 0);

    tick(0);
    form->ed10->SetText(QStringLiteral("AUD1"));
    form->ed11->SetText(QStringLiteral("B006"));
    screen = QStringLiteral("direct run");
    form->btnQuery->click();
    settle();
    EXPECT_GT(messages.size(), refused);

    // The history of what ran, and the question before a batch is reversed (answered No).
    screen = QStringLiteral("write-off history");
    audit->SetMappedColumns(QStringLiteral("grBatches"),
                            {QStringLiteral("处理方式"), QStringLiteral("處理方式"), QStringLiteral("Run")});
    int batches = 0;
    onDialog = [&](QWidget* w) {
        if (auto* history = qobject_cast<TfrmBatchHistory*>(w)) {
            onDialog = nullptr;
            batches = history->grBatches->rowCount();
            screen = QStringLiteral("write-off history, reverse question");
            questionAnswer = mrNo;
            history->btnReverse->click();
            questionAnswer = mrYes;
        }
        return int(mrCancel);
    };
    const qsizetype before = messages.size();
    form->btnHistory->click();
    settle();
    onDialog = nullptr;
    EXPECT_TRUE(visited.contains(QStringLiteral("write-off history / TfrmBatchHistory"))) << visited.join(QLatin1Char('\n')).toStdString();
    EXPECT_GE(batches, 1) << "the direct run's batch at least";
    EXPECT_EQ(messages.size(), before + 1) << "the reverse question";

    // Cancel with what was entered asks first; its answer here is not Yes, the job stays.
    screen = QStringLiteral("cancel question");
    questionAnswer = mrNo;
    const qsizetype ran = messages.size();
    form->btnCancel->click();
    settle();
    EXPECT_EQ(messages.size(), ran + 1);
    ASSERT_FALSE(form.isNull());
    const qsizetype direct = messages.size();

    tick(0);
    form->ed10->SetText(QStringLiteral("AUD2"));
    form->ed11->SetText(QStringLiteral("B006"));
    screen = QStringLiteral("queued run");
    questionAnswer = mrYes;
    form->btnOk->click();
    settle();
    EXPECT_GT(messages.size(), direct);

    EXPECT_TRUE(findings.empty()) << report(findings, GetParam()).toStdString() << "\nmessages:\n"
                                  << messages.join(QLatin1Char('\n')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Languages, ScreenAuditOfTheJob,
                         ::testing::Values(AuditLanguage::CHS, AuditLanguage::CHT, AuditLanguage::ENG),
                         [](const auto& info) { return std::string(code(info.param)); });

// Each check finds what it is there for, on widgets made to fail it.
TEST(ScreenAuditChecks, EachCheckFindsItsFault)
{
    const auto checks = [](const std::vector<AuditFinding>& found) {
        QStringList out;
        for (const AuditFinding& f : found)
            out << f.check + QLatin1Char(' ') + f.widget;
        return out;
    };
    QWidget window;
    window.setObjectName(QStringLiteral("window"));
    window.resize(300, 200);
    auto* cut = new QLabel(QStringLiteral("Write-off batch number"), &window);
    cut->setObjectName(QStringLiteral("cut"));
    cut->setGeometry(0, 0, 40, 20);
    auto* group = new QGroupBox(QStringLiteral("运行方式"), &window);
    group->setObjectName(QStringLiteral("group"));
    group->setGeometry(0, 100, 120, 60);
    auto* left = new QPushButton(QStringLiteral("OK"), &window);
    left->setObjectName(QStringLiteral("left"));
    left->setGeometry(150, 10, 80, 24);
    auto* right = new QPushButton(QStringLiteral("確定"), &window);
    right->setObjectName(QStringLiteral("right"));
    right->setGeometry(200, 20, 80, 24);
    auto* away = new QCheckBox(QStringLiteral("Log"), &window);
    away->setObjectName(QStringLiteral("away"));
    away->setGeometry(250, 180, 80, 24);
    // What a scroll bar reaches is in reach.
    auto* scroll = new QScrollArea(&window);
    scroll->setObjectName(QStringLiteral("scroll"));
    scroll->setGeometry(150, 60, 100, 60);
    auto* content = new QWidget;
    content->setObjectName(QStringLiteral("content"));
    content->resize(400, 400);
    scroll->setWidget(content);
    window.show();
    settle();

    const QStringList english = checks(ScreenAudit(AuditLanguage::ENG).Visit(&window, QStringLiteral("test")));
    EXPECT_EQ(english, (QStringList{QStringLiteral("outside window/away"), QStringLiteral("overlap window/left"),
                                    QStringLiteral("clipped window/cut"), QStringLiteral("language window/group.Title"),
                                    QStringLiteral("language window/right.Caption")}))
        << english.join(QLatin1Char('\n')).toStdString();

    // Traditional: a simplified-only title is found, a traditional one passes.
    const QStringList traditional = checks(ScreenAudit(AuditLanguage::CHT).Visit(&window, QStringLiteral("test")));
    EXPECT_TRUE(traditional.contains(QStringLiteral("language window/group.Title")));
    EXPECT_FALSE(traditional.contains(QStringLiteral("language window/right.Caption")));
    EXPECT_TRUE(ScreenAudit(AuditLanguage::CHT).Text(QStringLiteral("t"), QStringLiteral("m"), QStringLiteral("处理完毕")).size() == 1);
    EXPECT_TRUE(ScreenAudit(AuditLanguage::CHT).Text(QStringLiteral("t"), QStringLiteral("m"), QStringLiteral("處理完畢")).empty());
    // A Chinese interface shows codes in Latin letters, but no English sentence.
    EXPECT_TRUE(ScreenAudit(AuditLanguage::CHS).Text(QStringLiteral("t"), QStringLiteral("m"), QStringLiteral("批号 WOFB07-D9, RMB")).empty());
    EXPECT_EQ(ScreenAudit(AuditLanguage::CHS).Text(QStringLiteral("t"), QStringLiteral("m"), QStringLiteral("处理完毕! 1 document written off")).size(), 1u);
}
