#pragma once
// A job form under test: a small job derived from TfrmBaseGene with date, year-month,
// text, list and select-panel fields, opened against a fake session in a throw-away
// installation (registry file, BriskoC.ini naming the in-process server), with every
// dialog answered and recorded.

#include "FakeSession.h"
#include "TempInstall.h"
#include "QtPrint.h"

#include "config/QtVariant.h"
#include "controls/MaskEdit.h"
#include "controls/QvrEdit.h"
#include "controls/SelectPnl.h"
#include "jobform/BaseGene.h"
#include "jobform/SocketConnection.h"
#include "platform/ModalRunner.h"
#include "support/FormatSettings.h"

#include "controls/ExtPage.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>

// An installation whose application server runs in this process.
class TestInstall : public TempInstall {
public:
    TestInstall()
    {
        registry("[Software\\QVR\\Brisko]\nClientPath=" + dir() + "client/\nServerPath=" + dir() + "server/\n");
        interfaceCodePage("936");
        write("server/BriskoS.ini", "[DBE Setting]\nMainDBType=SQLITE\n");
    }
    // The interface code page of the forms made from now on.
    void interfaceCodePage(const std::string& codePage) const
    {
        write("client/BriskoC.ini", "[CodePage]\nUICodePage=" + codePage +
                                        "\n[Server Information]\nComputerName=127.0.0.1\nServerPort=211\n");
    }
};

// What a dialog showed.
struct ShownDialog {
    QString text;
    QString caption;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
};

// Answers every modal window through the process's runner and remembers message boxes.
class DialogLog {
public:
    DialogLog()
    {
        previous_ = SetModalRunner([this](QWidget* window, const std::function<int()>&) {
            ShownDialog d;
            if (auto* box = qobject_cast<QMessageBox*>(window)) {
                d.text = box->text();
                d.caption = box->windowTitle();
                d.icon = box->icon();
                for (QAbstractButton* b : box->buttons())
                    d.buttons << b->text();
            } else {
                d.text = QStringLiteral("<%1>").arg(QString::fromLatin1(window->metaObject()->className()));
            }
            shown.push_back(d);
            if (onShow)
                onShow(d);
            return answer;
        });
    }
    ~DialogLog() { SetModalRunner(previous_); }

    QStringList texts() const
    {
        QStringList t;
        for (const ShownDialog& d : shown)
            t << d.text;
        return t;
    }

    std::vector<ShownDialog> shown;
    int answer = 1;
    std::function<void(const ShownDialog&)> onShow;

private:
    ModalRunFn previous_;
};

// The job under test. Its controls are built like a derived job's: on the first page.
class TestJobForm : public TfrmBaseGene {
public:
    explicit TestJobForm(QWidget* owner = nullptr) : TfrmBaseGene(owner)
    {
        setObjectName(QStringLiteral("frmWOFB07"));
        auto make = [](auto* control, const char* name, int x, int y, int w) {
            control->setObjectName(QLatin1String(name));
            control->setGeometry(x, y, w, 22);
            return control;
        };
        edDate1 = make(new TMaskEdit(tsOption1), "edDate1", 10, 10, 100);
        edDate12 = make(new TMaskEdit(tsOption1), "edDate12", 120, 10, 100);
        edPlain = make(new TQvEdit(tsOption1), "edPlain", 10, 40, 100);
        edMonth = make(new TMaskEdit(tsOption1), "edMonth", 120, 40, 100);
        edName = make(new TQvEdit(tsOption1), "edName", 10, 70, 100);
        edCode = make(new TMaskEdit(tsOption1), "edCode", 120, 70, 100);
        cboKind = make(new TQvComboBox(tsOption1), "cboKind", 10, 100, 100);
        cboKind->addItems({QStringLiteral("应付"), QStringLiteral("其他"), QStringLiteral("预付")});
        spRange = new TSelectPanel(tsOption1);
        spRange->setObjectName(QStringLiteral("spRange"));
        spRange->move(10, 130);
        spList = new TSelectPanel(tsOption1);
        spList->setObjectName(QStringLiteral("spList"));
        spList->SetStyle(TSelectPanel::sp_Discrete);
        spList->move(10, 190);
    }

    TMaskEdit* edDate1;
    TMaskEdit* edDate12;
    TQvEdit* edPlain;
    TMaskEdit* edMonth;
    TQvEdit* edName;
    TMaskEdit* edCode;
    TQvComboBox* cboKind;
    TSelectPanel* spRange;
    TSelectPanel* spList;

    QString serverName = QStringLiteral("JobFormTest.Server");
    std::function<void(TestJobForm*)> onInitJob;
    std::function<bool(Variant&, int)> ownTexts;
    std::function<bool(Variant&, int)> ownValues;
    QStringList hooks;   // what the derived form's own handlers saw
    QList<int> commands;

    void InitJob() override
    {
        TfrmBaseGene::InitJob();
        if (onInitJob)
            onInitJob(this);
    }
    void BeforeConnect(TSocketConnection* connection) override
    {
        TfrmBaseGene::BeforeConnect(connection);
        connection->SetServerName(serverName);
    }
    bool CollectOptionTexts(Variant& texts, int index) override
    {
        if (!TfrmBaseGene::CollectOptionTexts(texts, index))
            return false;
        return !ownTexts || ownTexts(texts, index);
    }
    bool CollectOptionValues(Variant& values, int index) override
    {
        if (!TfrmBaseGene::CollectOptionValues(values, index))
            return false;
        return !ownValues || ownValues(values, index);
    }
    bool RunCommand(int command) override
    {
        commands << command;
        return TfrmBaseGene::RunCommand(command);
    }
    void BeforeApplyValue(QWidget* control, const QString& value) override
    {
        hooks << QStringLiteral("before %1=%2").arg(control->objectName(), value);
    }
    void AfterApplyValue(QWidget* control, const QString& value) override
    {
        hooks << QStringLiteral("after %1=%2").arg(control->objectName(), value);
    }
    void btnOkClick(QObject* sender) override
    {
        TfrmBaseGene::btnOkClick(sender);
        hooks << QStringLiteral("ok");
    }
    using TfrmBaseGene::FocusFirstControl;
    using TfrmBaseGene::pgOptionChanging;
};

inline void settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

class JobFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetFormatSettings();
        session = std::make_shared<FakeSession>();
        session->counter->settings = {{"Sys001", "1"}, {"Sys002", "/"}, {"QVR002", "华东示范电子有限公司"}};
        // The eight columns the validator answers for ADMMB kind 01.
        session->validator->rows["ADMMB/WOFB07"] =
            Variant::list({"应付账款转销作业", "WOF", "B", "N", "應付賬款轉銷作業", "WOFB07C", "x", "A/P Write-off Batch"});
        session->messages = {{"E000005", "日期错误"},
                             {"E000037", "必须输入"},
                             {"E000001", "代号[%s]不存在"},
                             {"W000002", "%s: 应有 %d 项, 实有 %d 项"},
                             {"W000003", "%s: 共 %d 项, 第 %d 项为空"},
                             {"W000014", "参数指定的元件[%s]不存在或不能设置"},
                             {"I000003", "没有定义环境或选项"},
                             {"I000004", "已记录"},
                             {"I000011", "选项文字"}};
        RegisterOleClass("JobFormTest.Server", [this] {
            ++serversMade;
            return std::make_shared<FakeAppServer>();
        });
    }
    void TearDown() override
    {
        if (form)
            form->Free();
        settle();
        UnregisterOleClass("JobFormTest.Server");
        // Recorded calls may hold the session itself (the look-up request carries it).
        session->calls.clear();
        session->counter->calls.clear();
        session->validator->calls.clear();
        session->f2Window->calls.clear();
        resetFormatSettings();
    }

    Variant sessionArray() const { return Variant::list({"DS", "01", "DEMO", std::int64_t(0), "extra"}); }

    // Creates the form as the controller does and initialises it with the session.
    bool open(const Variant& array)
    {
        form = TQVForm::Create<TestJobForm>();
        if (prepare)
            prepare(form);
        form->SetModuleFileName(QStringLiteral("/opt/qv/WOFB07C.so"));
        form->SessionObject = Variant(DispatchPtr(session));
        return form->InitSession(array);
    }
    bool open() { return open(sessionArray()); }

    // Shows the form as the active window, so that focus moves as for a user.
    void showActive()
    {
        form->show();
        QApplication::setActiveWindow(form);
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    }

    // Moves the focus with a Tab press from the focused control.
    void tabFrom(QWidget* control)
    {
        QTest::keyClick(control, Qt::Key_Tab);
        settle();
    }

    TestInstall install;
    DialogLog dialogs;
    std::shared_ptr<FakeSession> session;
    QPointer<TestJobForm> form;
    std::function<void(TestJobForm*)> prepare;
    int serversMade = 0;
};
