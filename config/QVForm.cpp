#include "config/QVForm.h"
#include "config/DisabledGlyph.h"
#include "config/LookupRequest.h"
#include "config/RunTimeProps.h"
#include "platform/ModalRunner.h"
#include "support/AlertLog.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QShowEvent>
#include <QTextEdit>
#include <QScreen>
#include <QTimer>

namespace {
void fireFocusEvent(QWidget* control, std::string_view name)
{
    if (TNotifyEvent* e = FindNotifyEvent(control, name))
        Fire(*e, control);
}

bool isUsableButton(QAbstractButton* b)
{
    return b->isVisible() && b->isEnabled();
}
} // namespace

TQVForm::TQVForm(QWidget* owner) : QWidget(owner, Qt::Window)
{
    QvConverter = new TCodeConverter(this);
    QvConverter->setObjectName(QStringLiteral("QvConverter"));
    LangController = new TQvLangController(this);
    LangController->setObjectName(QStringLiteral("LangController"));
    setWindowTitle(QStringLiteral("QVForm"));
    resize(400, 191);
    // Font names are copied to the heap: the toolkit's font cache keeps them after a
    // plug-in that holds literal text is unloaded.
    QFont f(QString::fromUtf8("宋体"));
    f.setPixelSize(13);
    setFont(f);
    OnCreate = [this](QObject* s) { FormCreate(s); };
    OnShow = [this](QObject* s) { FormShow(s); };
    OnHide = [this](QObject* s) { FormHide(s); };
    OnClose = [this](QObject* s, TCloseAction& a) { FormClose(s, a); };
    OnDestroy = [this](QObject* s) { FormDestroy(s); };
    OnKeyDown = [this](QObject* s, int& key, TShiftState shift) { FormKeyDown(s, key, shift); };
    OnKeyPress = [this](QObject* s, QChar& key) { FormKeyPress(s, key); };
    if (qApp) {
        connect(qApp, &QApplication::focusChanged, this, &TQVForm::focusChanged);
        qApp->installEventFilter(this);
    }
}

TQVForm::~TQVForm()
{
    // A form deleted directly skipped OnDestroy; the class chain is gone by now, so
    // nothing of it may run here.
    Q_ASSERT_X(destroying_, "TQVForm", "forms are destroyed through Free() or Release()");
    // The children die after this body, and their focus changes must not reach a half
    // destroyed form.
    if (qApp) {
        disconnect(qApp, nullptr, this, nullptr);
        qApp->removeEventFilter(this);
    }
}

TNotifyEvent* TQVForm::notifyEvent(std::string_view name)
{
    if (SameName(name, "OnCreate"))
        return &OnCreate;
    if (SameName(name, "OnShow"))
        return &OnShow;
    if (SameName(name, "OnHide"))
        return &OnHide;
    if (SameName(name, "OnDestroy"))
        return &OnDestroy;
    return TEventSource::notifyEvent(name);
}

void TQVForm::AfterConstruction()
{
    Fire(OnCreate, this);
}

void TQVForm::FormCreate(QObject*)
{
    ApplyCreationRules();
}

void TQVForm::FormShow(QObject*)
{
    if (TranslateOnShow)
        TranslateByClass(this, true);
    TextsApplied();
}

void TQVForm::ConvertOnce()
{
    if (!ConvertedFlag)
        QvConverter->ConvertForm(this, nullptr, true);
    ConvertedFlag = true;
}

void TQVForm::GetText(const QString& packageName, const QString& key, QString& text, bool convertDefault,
                      const QString& defaultText) const
{
    const QString fallback = convertDefault ? DisplayConvert(defaultText) : defaultText;
    TQvLangController::GetLangText(LangController->DesignType(), packageName, key, text, fallback);
}

QStringList TQVForm::TranslationChain(const QObject* object, bool wholeChain, bool derivedOnly)
{
    QStringList chain;
    if (!object)
        return chain;
    const QMetaObject* mo = object->metaObject();
    if (!wholeChain)
        return {QString::fromLatin1(mo->className())};
    for (; mo && mo != &QWidget::staticMetaObject && mo != &QObject::staticMetaObject; mo = mo->superClass()) {
        if (derivedOnly && mo == &TQVForm::staticMetaObject)
            break;
        chain.prepend(QString::fromLatin1(mo->className()));
    }
    return chain;
}

void TQVForm::TranslateByClass(QObject* object, bool wholeChain)
{
    translate(object, TranslationChain(object, wholeChain, false));
}

void TQVForm::TranslateDerived(QObject* object, bool wholeChain)
{
    translate(object, TranslationChain(object, wholeChain, true));
}

void TQVForm::translate(QObject* object, const QStringList& packages)
{
    for (const QString& package : packages) {
        LangController->SetLangPackageName(package);
        if (!QFileInfo(LangController->FileName()).isFile())
            continue;
        // A broken file must not keep the form from opening: what it cannot give is left
        // as it was, and the alert log says which file and why.
        try {
            LangController->SetActive(true);
            TLangReader& reader = LangController->Reader();
            reader.ReadComponent(object);
            if (!reader.Failures().isEmpty())
                WriteAlertLog("LanguageController", (LangController->FileName() + QStringLiteral(": not applied: ") +
                                                     reader.Failures().join(QStringLiteral(", ")))
                                                        .toStdString());
        } catch (const std::exception& e) {
            WriteAlertLog("LanguageController",
                          (LangController->FileName() + QStringLiteral(": ") + QString::fromUtf8(e.what())).toStdString());
        }
        LangController->SetActive(false);
    }
}
void TQVForm::FormHide(QObject*) {}
void TQVForm::FormClose(QObject*, TCloseAction&) {}
void TQVForm::FormDestroy(QObject*) {}
void TQVForm::FormKeyDown(QObject*, int&, TShiftState) {}
void TQVForm::FormKeyPress(QObject*, QChar&) {}

bool TQVForm::LookupRequest(QWidget*)
{
    return false;
}

QList<QObject*> TQVForm::Components() const
{
    return OwnedComponents(this);
}

QObject* TQVForm::FindComponent(const QString& name) const
{
    return ::FindComponent(this, name);
}

int TQVForm::MessageDialog(const QString& text, TMsgDlgType type, std::initializer_list<TMsgDlgBtn> buttons)
{
    return QvConverter->ShowMessageDialog(text, type, buttons);
}

void TQVForm::ApplyCreationRules()
{
    const bool english = UICodePage() == QLatin1String("437");
    for (QObject* component : Components()) {
        // No input method is forced on the user.
        if (FindProperty(component, QStringLiteral("ImeName")).isValid())
            SetStringProperty(component, QStringLiteral("ImeName"), QString());
        if (english) {
            if (auto* w = qobject_cast<QWidget*>(component)) {
                QFont f = w->font();
                f.setFamily(QString::fromLatin1("Tahoma"));
                w->setFont(f);
                SetFontCharset(w, 134);
            }
        }
        AddDisabledGlyphs(component);
    }
}

// --- Focus ---------------------------------------------------------------------------------

QWidget* TQVForm::ControlOf(QWidget* w)
{
    while (w && !w->isWindow()) {
        QWidget* parent = w->parentWidget();
        if (!parent)
            break;
        const bool inner = parent->focusProxy() == w || w->objectName().startsWith(QLatin1String("qt_"))
                        || qobject_cast<QComboBox*>(parent) || qobject_cast<QAbstractSpinBox*>(parent);
        if (!inner)
            break;
        w = parent;
    }
    return w;
}

void TQVForm::SetActiveControl(QWidget* control)
{
    if (!control || control->window() != this || control == this)
        return;
    control->setFocus(Qt::OtherFocusReason);
}

void TQVForm::focusChanged(QWidget*, QWidget* now)
{
    // The window losing the activation (now null, or another window) raises nothing, and
    // neither does its return to the control that had the focus.
    if (destroying_ || !now || now->window() != this || now == this)
        return;
    QWidget* control = ControlOf(now);
    if (focusDepth_ > 0 && control == focusTarget_)
        return; // back from a dialog a handler showed during this very move
    if (focusDepth_ == 0 && control == activeControl_)
        return;
    moveFocusTo(control);
}

void TQVForm::moveFocusTo(QWidget* control)
{
    const quint64 generation = ++focusGeneration_;
    QPointer<QWidget> target(control);
    QPointer<TQVForm> self(this);
    focusTarget_ = control;
    ++focusDepth_;
    struct Depth {
        QPointer<TQVForm> form;
        ~Depth()
        {
            if (form)
                --form->focusDepth_;
        }
    } depth{self};

    // Leave: the old control, then each container that does not hold the new one.
    QWidget* left = activeControl_;
    // A control moved to another window since is left without events.
    if (left && left->window() != this)
        left = nullptr;
    while (left && left != this && left != control && !left->isAncestorOf(control)) {
        QPointer<QWidget> parent = left->parentWidget();
        fireFocusEvent(left, "OnExit");
        // A handler that moved the focus (an invalid field keeping it) ends this move.
        if (!self || !target || generation != focusGeneration_)
            return;
        left = parent;
        activeControl_ = left;
    }
    // Enter: the containers between the common one and the new control, outermost first.
    QList<QPointer<QWidget>> entered;
    for (QWidget* w = control; w && w != this && w != left; w = w->parentWidget())
        entered.prepend(w);
    for (const QPointer<QWidget>& w : entered) {
        if (!w)
            continue;
        activeControl_ = w.data();
        fireFocusEvent(w, "OnEnter");
        if (!self || !target || generation != focusGeneration_)
            return;
    }
    activeControl_ = control;
}

bool TQVForm::ExitActiveControl(QWidget* towards, const std::function<bool()>& failed)
{
    QWidget* left = activeControl_;
    if (!left || left->window() != this)
        return true;
    const quint64 generation = focusGeneration_;
    QPointer<TQVForm> self(this);
    QPointer<QWidget> origin(left);
    while (left && left != this && left != towards && !(towards && left->isAncestorOf(towards))) {
        QPointer<QWidget> parent = left->parentWidget();
        fireFocusEvent(left, "OnExit");
        // A handler that moved the focus made a move of its own, which set the active control.
        if (!self || generation != focusGeneration_)
            return false;
        if (failed && failed()) {
            activeControl_ = origin.data();
            return false;
        }
        left = parent;
        activeControl_ = left;
    }
    return true;
}

// --- Keys ----------------------------------------------------------------------------------

bool TQVForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && !destroying_) {
        auto* w = qobject_cast<QWidget*>(watched);
        if (w && w->window() == this)
            return previewKey(watched, static_cast<QKeyEvent*>(event));
    }
    return QWidget::eventFilter(watched, event);
}

bool TQVForm::previewKey(QObject* receiver, QKeyEvent* event)
{
    if (event == resent_)
        return false;
    // Only the first delivery: an unhandled key travels on to the parents of its receiver.
    QWidget* focus = QApplication::focusWidget();
    if (receiver != focus && !(receiver == this && (!focus || focus->window() != this)))
        return false;
    QPointer<QObject> target(receiver);
    auto resend = [&](int qtKey, const QString& text) {
        QKeyEvent copy(QEvent::KeyPress, qtKey, event->modifiers(), text, event->isAutoRepeat());
        if (!target)
            return;
        QKeyEvent* previous = resent_;
        resent_ = &copy;
        QCoreApplication::sendEvent(target, &copy);
        resent_ = previous;
    };

    int key = VirtualKeyFromQt(event->key());
    if (key != 0) {
        const int original = key;
        if (keyPreview_ && OnKeyDown)
            OnKeyDown(this, key, ShiftStateFromQt(event->modifiers()));
        if (key == 0)
            return true;
        if (key != original) {
            const int qtKey = QtKeyFromVirtualKey(key);
            const QString text = key == VK_RETURN ? QStringLiteral("\r")
                               : key == VK_TAB    ? QStringLiteral("\t")
                                                  : QString();
            resend(qtKey, text);
            return true;
        }
        if (key == VK_ESCAPE && HandleEscape())
            return true;
    }
    QChar ch = KeyPressChar(event);
    if (!ch.isNull()) {
        const QChar original = ch;
        if (keyPreview_ && OnKeyPress)
            OnKeyPress(this, ch);
        if (ch.isNull())
            return true;
        if (ch != original) {
            int qtKey = Qt::Key_unknown;
            if (ch == QChar(13))
                qtKey = Qt::Key_Return;
            else if (ch == QChar(9))
                qtKey = Qt::Key_Tab;
            else if (ch == QChar(27))
                qtKey = Qt::Key_Escape;
            else if (ch == QChar(8))
                qtKey = Qt::Key_Backspace;
            else if (ch.toUpper().unicode() < 128)
                qtKey = ch.toUpper().unicode();
            resend(qtKey, QString(ch));
            return true;
        }
        if (ch == QChar(13) && HandleEnter())
            return true;
    }
    return false;
}

bool TQVForm::HandleEscape()
{
    for (QAbstractButton* b : findChildren<QAbstractButton*>())
        if (isUsableButton(b) && b->window() == this && GetPropertyValue(b, QStringLiteral("Cancel")).toBool()
            && FindProperty(b, QStringLiteral("Cancel")).isValid()) {
            b->click();
            return true;
        }
    return false;
}

bool TQVForm::HandleEnter()
{
    QWidget* focus = QApplication::focusWidget();
    if (qobject_cast<QPlainTextEdit*>(focus) || qobject_cast<QTextEdit*>(focus))
        return false;
    if (auto* b = qobject_cast<QAbstractButton*>(focus); b && b->window() == this && isUsableButton(b)) {
        b->click();
        return true;
    }
    for (QAbstractButton* b : findChildren<QAbstractButton*>())
        if (isUsableButton(b) && b->window() == this && FindProperty(b, QStringLiteral("Default")).isValid()
            && GetPropertyValue(b, QStringLiteral("Default")).toBool()) {
            b->click();
            return true;
        }
    return false;
}

// --- Life cycle ----------------------------------------------------------------------------

bool TQVForm::event(QEvent* event)
{
    if (event->type() == TLookupRequestEvent::EventType()) {
        auto* request = static_cast<TLookupRequestEvent*>(event);
        const bool answered = !destroying_ && request->Control() && LookupRequest(request->Control());
        request->setAccepted(answered);
        return true;
    }
    return QWidget::event(event);
}

int TQVForm::ShowModal()
{
    return RunModal(this, [this] { return ExecModalLoop(); });
}

int TQVForm::ExecModalLoop()
{
    if (modalLoop_)
        return mrNone;
    QPointer<TQVForm> guard(this);
    modalResult_ = mrNone;
    setWindowModality(Qt::ApplicationModal);
    show();
    QEventLoop loop;
    modalLoop_ = &loop;
    loop.exec(QEventLoop::DialogExec);
    if (!guard)
        return mrCancel;
    modalLoop_ = nullptr;
    setWindowModality(Qt::NonModal);
    return modalResult_;
}

void TQVForm::SetModalResult(int result)
{
    modalResult_ = result;
    if (modalLoop_ && result != mrNone)
        close();
}

void TQVForm::setVisible(bool visible)
{
    if (visible && !positioned_ && !isVisible()) {
        positioned_ = true;
        // A form that was placed on purpose stays where it was put.
        if (!testAttribute(Qt::WA_Moved))
            if (QScreen* s = screen())
                move(s->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    }
    QWidget::setVisible(visible);
}

void TQVForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        Fire(OnShow, this);
}

void TQVForm::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        Fire(OnHide, this);
}

void TQVForm::closeEvent(QCloseEvent* event)
{
    TCloseAction action = caHide;
    if (OnClose)
        OnClose(this, action);
    if (action == caNone) {
        // A modal loop goes on; the result that asked for the close is dropped.
        if (modalLoop_)
            modalResult_ = mrNone;
        event->ignore();
        return;
    }
    event->accept();
    if (modalLoop_) {
        if (modalResult_ == mrNone)
            modalResult_ = mrCancel;
        modalLoop_->quit();
    }
    if (action == caFree)
        Release();
    else if (action == caMinimize)
        showMinimized();
}

void TQVForm::Free()
{
    if (destroying_)
        return;
    destroying_ = true;
    if (modalLoop_)
        modalLoop_->quit();
    Fire(OnDestroy, this);
    delete this;
}

void TQVForm::Release()
{
    if (releasePending_ || destroying_)
        return;
    releasePending_ = true;
    QTimer::singleShot(0, this, [this] { Free(); });
}
