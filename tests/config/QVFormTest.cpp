// The base form's rules, driven by real focus moves and key presses: the enter and exit
// events of controls and containers, key preview, Esc, look-up requests, message dialogs
// and the creation rules.

#include "../controls/GuiTestSupport.h"

#include "../TempInstall.h"

#include "config/LookupRequest.h"
#include "config/RunTimeProps.h"
#include "controls/Buttons.h"
#include "controls/GSpdBtn.h"
#include "controls/QvrEdit.h"
#include "platform/CodePage.h"

#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

namespace {

// A client installation whose BriskoC.ini names the interface code page, on a machine
// whose locale is plain C.UTF-8 (the system code page normalises to 437).
class InterfaceInstall {
public:
    explicit InterfaceInstall(const std::string& uiCodePage, const std::string& dbCodePage = "936")
    {
        env_.set("LANG", "C.UTF-8");
        env_.set("LC_ALL", nullptr);
        env_.set("LC_CTYPE", nullptr);
        env_.set("QV_ACP", nullptr);
        SetACP(0);
        install_.registry("[Software\\QVR\\Brisko]\nClientPath=" + install_.path("client/") + "\n");
        install_.write("client/BriskoC.ini", "[CodePage]\nUICodePage=" + uiCodePage + "\nDBCodePage=" + dbCodePage +
                                                 "\n[Server Information]\nComputerName=127.0.0.1\n");
    }

private:
    EnvGuard env_;
    TempInstall install_;
};

// A container or control that publishes OnEnter / OnExit and logs them.
template <class W>
class Logged : public W, public TEventSource {
public:
    Logged(QWidget* parent, const QString& name, QStringList* log) : W(parent), log_(log)
    {
        this->setObjectName(name);
        OnEnter = [this](QObject*) { log_->append(QStringLiteral("enter ") + this->objectName()); };
        OnExit = [this](QObject*) {
            log_->append(QStringLiteral("exit ") + this->objectName());
            if (onExit)
                onExit();
        };
    }
    TNotifyEvent OnEnter, OnExit;
    std::function<void()> onExit;
    TNotifyEvent* notifyEvent(std::string_view name) override
    {
        if (SameName(name, "OnEnter"))
            return &OnEnter;
        if (SameName(name, "OnExit"))
            return &OnExit;
        return TEventSource::notifyEvent(name);
    }

private:
    QStringList* log_;
};

using Panel = Logged<QWidget>;
using Edit = Logged<QLineEdit>;

class FocusRules : public ::testing::Test {
protected:
    void SetUp() override
    {
        outer = new Panel(form.get(), QStringLiteral("outer"), &log);
        outer->setGeometry(0, 0, 300, 100);
        panel = new Panel(outer, QStringLiteral("sp01"), &log);
        panel->setGeometry(10, 10, 280, 40);
        begin = new Edit(panel, QStringLiteral("edBegin"), &log);
        begin->setGeometry(0, 0, 100, 20);
        final = new Edit(panel, QStringLiteral("edFinal"), &log);
        final->setGeometry(120, 0, 100, 20);
        outside = new Edit(form.get(), QStringLiteral("ed02"), &log);
        outside->setGeometry(10, 150, 100, 20);
        QWidget::setTabOrder(begin, final);
        QWidget::setTabOrder(final, outside);
        begin->setFocus();
        form.showActive();
        ASSERT_TRUE(begin->hasFocus());
        log.clear();
    }

    FormHolder<> form;
    QStringList log;
    Panel* outer = nullptr;
    Panel* panel = nullptr;
    Edit* begin = nullptr;
    Edit* final = nullptr;
    Edit* outside = nullptr;
};

TEST_F(FocusRules, SiblingMoveDoesNotLeaveThePanel)
{
    QTest::keyClick(begin, Qt::Key_Tab);
    ASSERT_TRUE(final->hasFocus());
    EXPECT_EQ(log, (QStringList{QStringLiteral("exit edBegin"), QStringLiteral("enter edFinal")}));
    EXPECT_EQ(form->ActiveControl(), final);
}

TEST_F(FocusRules, LeavingRunsEveryContainerOnceInnermostFirst)
{
    QTest::mouseClick(outside, Qt::LeftButton);
    ASSERT_TRUE(outside->hasFocus());
    EXPECT_EQ(log, (QStringList{QStringLiteral("exit edBegin"), QStringLiteral("exit sp01"), QStringLiteral("exit outer"),
                                QStringLiteral("enter ed02")}));
    EXPECT_EQ(log.count(QStringLiteral("exit sp01")), 1);
    log.clear();
    // Coming back enters outermost first.
    form->SetActiveControl(final);
    EXPECT_EQ(log, (QStringList{QStringLiteral("exit ed02"), QStringLiteral("enter outer"), QStringLiteral("enter sp01"),
                                QStringLiteral("enter edFinal")}));
}

TEST_F(FocusRules, WindowActivationRaisesNothing)
{
    QWidget other;
    other.resize(100, 100);
    other.show();
    QApplication::setActiveWindow(&other);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    EXPECT_TRUE(begin->hasFocus());
    EXPECT_TRUE(log.isEmpty()) << log.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(form->ActiveControl(), begin);
}

TEST_F(FocusRules, ExitHandlerKeepingTheFocusEndsTheMove)
{
    // As an invalid date keeps the focus in its field.
    begin->onExit = [this] { begin->setFocus(); };
    QTest::mouseClick(outside, Qt::LeftButton);
    EXPECT_TRUE(begin->hasFocus());
    EXPECT_EQ(log, QStringList{QStringLiteral("exit edBegin")});
    EXPECT_EQ(form->ActiveControl(), begin);
    // Once it lets go, the move is complete.
    begin->onExit = nullptr;
    log.clear();
    QTest::mouseClick(outside, Qt::LeftButton);
    EXPECT_EQ(log.last(), QStringLiteral("enter ed02"));
    EXPECT_TRUE(log.contains(QStringLiteral("exit outer")));
}

TEST_F(FocusRules, ExitsRunAsIfLeftWithoutMovingTheFocus)
{
    EXPECT_TRUE(form->ExitActiveControl(outside));
    EXPECT_EQ(log, (QStringList{QStringLiteral("exit edBegin"), QStringLiteral("exit sp01"), QStringLiteral("exit outer")}));
    EXPECT_TRUE(begin->hasFocus());
    // The move that follows does not leave them a second time.
    log.clear();
    QTest::mouseClick(outside, Qt::LeftButton);
    EXPECT_EQ(log, QStringList{QStringLiteral("enter ed02")});

    // Towards a control of the same container only what does not hold it is left.
    form->SetActiveControl(begin);
    log.clear();
    EXPECT_TRUE(form->ExitActiveControl(final));
    EXPECT_EQ(log, QStringList{QStringLiteral("exit edBegin")});
}

TEST_F(FocusRules, AFailedExitKeepsTheControlActive)
{
    bool failed = false;
    panel->onExit = [&] { failed = true; };
    EXPECT_FALSE(form->ExitActiveControl(nullptr, [&] { return failed; }));
    EXPECT_EQ(log, (QStringList{QStringLiteral("exit edBegin"), QStringLiteral("exit sp01")}));
    EXPECT_EQ(form->ActiveControl(), begin);
    // Not left after all: a real move leaves it again.
    panel->onExit = nullptr;
    log.clear();
    QTest::mouseClick(outside, Qt::LeftButton);
    EXPECT_EQ(log, (QStringList{QStringLiteral("exit edBegin"), QStringLiteral("exit sp01"), QStringLiteral("exit outer"),
                                QStringLiteral("enter ed02")}));
}

TEST_F(FocusRules, HandlersFoundByNameCanBeSwapped)
{
    // The date fields of the job form swap OnExit by name and restore it later.
    int swapped = 0;
    const TNotifyEvent saved = GetMethodProperty(panel, QStringLiteral("OnExit"));
    SetMethodProperty(panel, QStringLiteral("onexit"), [&](QObject*) { ++swapped; });
    QTest::mouseClick(outside, Qt::LeftButton);
    EXPECT_EQ(swapped, 1);
    EXPECT_FALSE(log.contains(QStringLiteral("exit sp01")));
    SetMethodProperty(panel, QStringLiteral("OnExit"), saved);
    form->SetActiveControl(begin);
    log.clear();
    form->SetActiveControl(outside);
    EXPECT_TRUE(log.contains(QStringLiteral("exit sp01")));
    EXPECT_EQ(swapped, 1);
}

TEST_F(FocusRules, ControlTakenToAnotherWindowIsLeftSilently)
{
    QWidget elsewhere;
    begin->setParent(&elsewhere);
    log.clear();
    form->SetActiveControl(outside);
    EXPECT_TRUE(outside->hasFocus());
    EXPECT_FALSE(log.contains(QStringLiteral("exit edBegin")));
    EXPECT_EQ(log.last(), QStringLiteral("enter ed02"));
    EXPECT_EQ(form->ActiveControl(), outside);
}

TEST(FormKeys, PreviewSeesKeysFirstAndMayConsumeOrChangeThem)
{
    FormHolder<> form;
    auto* edit = new QLineEdit(form.get());
    edit->setFocus();
    form.showActive();
    ASSERT_TRUE(edit->hasFocus());

    QTest::keyClick(edit, Qt::Key_F2);
    EXPECT_EQ(form->keys, QStringList{QStringLiteral("down 113")});

    // Consumed in the key-down preview: the edit never sees it.
    form->onKeyDown = [](int& key) {
        if (key == 'X')
            key = 0;
    };
    QTest::keyClicks(edit, QStringLiteral("axb"));
    EXPECT_EQ(edit->text(), QStringLiteral("ab"));

    // Changed in the key-press preview: the edit gets the new character.
    form->onKeyPress = [](QChar& ch) {
        if (ch == QLatin1Char('c'))
            ch = QLatin1Char('C');
    };
    QTest::keyClicks(edit, QStringLiteral("c"));
    EXPECT_EQ(edit->text(), QStringLiteral("abC"));

    // Without KeyPreview the form's handlers are not asked.
    form->SetKeyPreview(false);
    form->keys.clear();
    QTest::keyClicks(edit, QStringLiteral("x"));
    EXPECT_EQ(edit->text(), QStringLiteral("abCx"));
    EXPECT_TRUE(form->keys.isEmpty());
}

TEST(FormKeys, EnterChangedToTabMovesOn)
{
    FormHolder<> form;
    auto* first = new QLineEdit(form.get());
    auto* second = new QLineEdit(form.get());
    first->move(0, 0);
    second->move(0, 40);
    QWidget::setTabOrder(first, second);
    first->setFocus();
    form.showActive();
    form->onKeyDown = [](int& key) {
        if (key == VK_RETURN)
            key = VK_TAB;
    };
    QTest::keyClick(first, Qt::Key_Return);
    EXPECT_TRUE(second->hasFocus());
}

TEST(FormKeys, EscapeClicksTheCancelButton)
{
    FormHolder<> form;
    auto* edit = new QLineEdit(form.get());
    auto* cancel = new TBitBtn(form.get());
    cancel->move(0, 40);
    cancel->SetCaption(QStringLiteral("取消"));
    int clicks = 0;
    cancel->OnClick = [&](QObject*) { ++clicks; };
    edit->setFocus();
    form.showActive();

    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_TRUE(form->escapes);
    EXPECT_EQ(clicks, 0); // not a Cancel button yet
    cancel->SetCancel(true);
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_EQ(clicks, 1);
    // A derived form that consumes Esc in its preview keeps the button out of it.
    form->onKeyDown = [](int& key) {
        if (key == VK_ESCAPE)
            key = 0;
    };
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_EQ(clicks, 1);
}

TEST(FormMessages, LookupRequestSentAndPosted)
{
    FormHolder<> form;
    auto* edit = new QLineEdit(form.get());
    EXPECT_TRUE(SendLookupRequest(edit));
    ASSERT_EQ(form->lookups.size(), 1);
    EXPECT_EQ(form->lookups[0], edit);
    PostLookupRequest(edit);
    EXPECT_EQ(form->lookups.size(), 1);
    QCoreApplication::sendPostedEvents(form.get());
    EXPECT_EQ(form->lookups.size(), 2);
    // A control destroyed before a posted request arrives is not looked up.
    PostLookupRequest(edit);
    delete edit;
    QCoreApplication::sendPostedEvents(form.get());
    EXPECT_EQ(form->lookups.size(), 2);
}

TEST(FormMessages, DialogsGoThroughTheModalRunner)
{
    DialogRecorder dialogs(mrYes);
    FormHolder<> form;
    form->SetCaption(QStringLiteral("应付核销"));
    QString caption;
    const ModalRunFn recorder = SetModalRunner([&](QWidget* w, const std::function<int()>&) {
        caption = w->windowTitle();
        dialogs.texts << qobject_cast<QMessageBox*>(w)->text();
        return mrNo;
    });
    EXPECT_EQ(form->MessageDialog(QStringLiteral("确定吗?"), mtConfirmation, {mbYes, mbNo}), mrNo);
    EXPECT_EQ(dialogs.texts, QStringList{QStringLiteral("确定吗?")});
    EXPECT_EQ(caption, QStringLiteral("应付核销"));
    SetModalRunner(recorder);
}

TEST(FormMessages, MessageDialogResultOfTheButtonPressed)
{
    // A runner that lets the dialog run and presses its "No" button.
    const ModalRunFn previous = SetModalRunner([](QWidget* w, const std::function<int()>& run) {
        QTimer::singleShot(0, w, [w] {
            auto* box = qobject_cast<QMessageBox*>(w);
            box->button(QMessageBox::No)->click();
        });
        return run();
    });
    EXPECT_EQ(MessageDlg(QStringLiteral("继续?"), mtConfirmation, {mbYes, mbNo}), mrNo);
    SetModalRunner(previous);
}

// A form with the components the creation rules look at.
class CreationForm : public TQVForm {
public:
    CreationForm()
    {
        speed = new TGSpeedButton(this);
        speed->setObjectName(QStringLiteral("btnSpd"));
        speed->SetGlyphIndex(8);
        twoGlyphs = new TBitBtn(this);
        twoGlyphs->setObjectName(QStringLiteral("btnOk"));
        QImage strip(36, 18, QImage::Format_ARGB32);
        strip.fill(Qt::blue);
        twoGlyphs->SetGlyph(strip);
        edit = new TQvEdit(this);
        edit->setObjectName(QStringLiteral("ed01"));
        edit->SetImeName(QStringLiteral("Chinese (Simplified) - QuanPin"));
        btnEdit = new TQvBtnEdit(this);
        btnEdit->setObjectName(QStringLiteral("ed02"));
        btnDbEdit = new TQvBtnDBEdit(this);
        btnDbEdit->setObjectName(QStringLiteral("ed03"));
    }
    TGSpeedButton* speed;
    TBitBtn* twoGlyphs;
    TQvEdit* edit;
    TQvBtnEdit* btnEdit;
    TQvBtnDBEdit* btnDbEdit;
};

TEST(FormCreation, GlyphsImeAndFonts)
{
    InterfaceInstall chinese("936");
    auto* form = TQVForm::Create<CreationForm>();
    // One glyph became two: the disabled image drawn beside it.
    EXPECT_EQ(form->speed->NumGlyphs(), 2);
    EXPECT_EQ(form->speed->Glyph().width(), 36);
    // Two glyphs already: unchanged.
    EXPECT_EQ(form->twoGlyphs->NumGlyphs(), 2);
    EXPECT_EQ(form->twoGlyphs->Glyph().pixelColor(20, 5), QColor(Qt::blue));
    // The data-aware button edit's button is one of the kinds, the plain one's is not.
    EXPECT_EQ(form->btnDbEdit->F2Button()->NumGlyphs(), 2);
    EXPECT_EQ(form->btnEdit->F2Button()->NumGlyphs(), 1);
    EXPECT_EQ(form->edit->ImeName(), QString());
    EXPECT_NE(form->edit->font().family(), QStringLiteral("Tahoma"));
    EXPECT_NE(FontCharset(form->edit), 134);
    form->Free();
}

TEST(FormPosition, AFormOpensCentredUnlessPlaced)
{
    FormHolder<> centred;
    centred->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(centred.get()));
    const QPoint centre = centred->screen()->availableGeometry().center();
    EXPECT_LE((centred->frameGeometry().center() - centre).manhattanLength(), 4) << "centred on the screen";
    // Moved, hidden and shown again, it stays where it was put.
    centred->move(centred->pos() + QPoint(40, 30));
    const QPoint moved = centred->pos();
    centred->hide();
    centred->show();
    EXPECT_EQ(centred->pos(), moved);

    FormHolder<> placed;
    placed->move(12, 34);
    placed->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(placed.get()));
    EXPECT_EQ(placed->pos(), QPoint(12, 34));
}

TEST(FormCreation, EnglishInterfaceGetsTahoma)
{
    InterfaceInstall english("437");
    auto* form = TQVForm::Create<CreationForm>();
    EXPECT_EQ(form->UICodePage(), QStringLiteral("437"));
    for (QWidget* w : std::initializer_list<QWidget*>{form->speed, form->twoGlyphs, form->edit, form->btnEdit}) {
        EXPECT_EQ(w->font().family(), QStringLiteral("Tahoma")) << w->objectName().toStdString();
        EXPECT_EQ(FontCharset(w), 134);
        EXPECT_EQ(GetPropertyPathText(form, w->objectName() + QStringLiteral(".Font.Charset")), QStringLiteral("134"));
    }
    form->Free();
}

// The interface is the installation's, not the process locale's: under C.UTF-8 a client
// configured for 936 is a Chinese interface and one configured for 437 an English one.
TEST(FormCreation, CodePagesComeFromTheConfigurationNotTheLocale)
{
    {
        InterfaceInstall chinese("936", "950");
        auto* form = TQVForm::Create<CreationForm>();
        EXPECT_EQ(form->UICodePage(), QStringLiteral("936"));
        EXPECT_EQ(form->SystemCodePage(), QStringLiteral("437"));
        EXPECT_EQ(form->DBCodePage(), QStringLiteral("950"));
        EXPECT_EQ(form->UIConvertMode(), 0);
        EXPECT_EQ(form->DBConvertMode(), 1);
        EXPECT_NE(form->edit->font().family(), QStringLiteral("Tahoma"));
        form->Free();
    }
    {
        InterfaceInstall english("437");
        auto* form = TQVForm::Create<CreationForm>();
        EXPECT_EQ(form->UICodePage(), QStringLiteral("437"));
        EXPECT_EQ(form->DBCodePage(), QStringLiteral("936"));
        EXPECT_EQ(form->UIConvertMode(), 0);
        EXPECT_EQ(form->DBConvertMode(), 0);
        EXPECT_EQ(form->edit->font().family(), QStringLiteral("Tahoma"));
        form->Free();
    }
    {
        // Traditional interface: the modes follow, on any locale.
        InterfaceInstall traditional("950");
        auto* form = TQVForm::Create<CreationForm>();
        EXPECT_EQ(form->UICodePage(), QStringLiteral("950"));
        EXPECT_EQ(form->UIConvertMode(), 2);
        EXPECT_EQ(form->DBConvertMode(), 2);
        form->Free();
    }
}

} // namespace
