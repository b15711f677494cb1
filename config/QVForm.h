#pragma once
// TQVForm: the root of every form of the suite. A top-level window with the original
// form life cycle: created hidden, OnCreate after the whole class chain is constructed,
// OnShow / OnHide / OnClose / OnDestroy as replaceable events, a close action that may
// free the form, and a modal loop that ends when ModalResult is set.
//
// Forms are destroyed through Free() (or Release() from inside their own handlers), never
// by delete: OnDestroy must run while every level of the form still exists.
//
// Beside the life cycle every form has:
// - creation rules for its components (no forced input method, English fonts under an
//   English interface, drawn disabled images for single-glyph buttons);
// - key preview: FormKeyDown / FormKeyPress see each key before the focused control and
//   may change or consume it; Esc and Enter then reach HandleEscape / HandleEnter;
// - the focus rules: the form tracks its active control; when the focus moves, every
//   control and container left gets OnExit (innermost first) and every one entered gets
//   OnEnter (outermost first); a container is left only when the focus leaves all of its
//   children; the window losing or regaining activation raises nothing;
// - the position: the first time it is shown, a form opens centred on its screen unless
//   it was placed (moved) before;
// - the look-up request (config/LookupRequest.h), answered by LookupRequest();
// - message dialogs through the process's modal runner.

#include "config/CodeConverter.h"
#include "config/Dialogs.h"
#include "config/Events.h"
#include "config/Keys.h"
#include "config/LanguageController.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class QEventLoop;

enum TCloseAction { caNone, caHide, caFree, caMinimize };
using TCloseEvent = std::function<void(QObject* sender, TCloseAction& action)>;

class TQVForm : public QWidget, public TEventSource {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(int ModalResult READ ModalResult WRITE SetModalResult)
    Q_PROPERTY(bool KeyPreview READ KeyPreview WRITE SetKeyPreview)
    Q_PROPERTY(QWidget* ActiveControl READ ActiveControl WRITE SetActiveControl)
    Q_PROPERTY(QString Hint READ Hint WRITE SetHint)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(bool Visible READ isVisible WRITE setVisible)
    Q_PROPERTY(QFont Font READ font WRITE setFont)

public:
    explicit TQVForm(QWidget* owner = nullptr);
    ~TQVForm() override;

    // Creates a form of class T: the constructor chain, then OnCreate (the runtime's
    // AfterConstruction), so that FormCreate sees every level's components.
    template <typename T, typename... Args>
    static T* Create(Args&&... args)
    {
        T* form = new T(std::forward<Args>(args)...);
        form->AfterConstruction();
        return form;
    }

    // Published events; at creation they call the form's own handlers below.
    TNotifyEvent OnCreate;
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;
    TNotifyEvent OnDestroy;
    TCloseEvent OnClose;
    TKeyEvent OnKeyDown;
    TKeyPressEvent OnKeyPress;
    TNotifyEvent* notifyEvent(std::string_view name) override;

    QString Caption() const { return windowTitle(); }
    void SetCaption(const QString& caption) { setWindowTitle(caption); }
    QString Hint() const { return toolTip(); }
    void SetHint(const QString& hint) { setToolTip(hint); }

    // Shows the form modal and returns its modal result once the loop ended.
    int ShowModal();
    // The loop ShowModal runs (what a modal runner calls when it lets the form run).
    int ExecModalLoop();
    bool InModalLoop() const { return modalLoop_ != nullptr; }
    int ModalResult() const { return modalResult_; }
    // In a modal loop a result other than mrNone closes the form.
    void SetModalResult(int result);

    // Centres the form on its screen when it is first shown (see the position above).
    void setVisible(bool visible) override;

    // Destroys the form now: OnDestroy runs first, while the whole form still exists.
    void Free();
    // Destroys the form once control is back in the event loop (safe inside its handlers).
    void Release();
    bool Destroying() const { return destroying_; }

    void AfterConstruction();

    // The components the form owns, in creation order (sub-components of composite
    // controls excluded), and one of them by name, without regard to case.
    QList<QObject*> Components() const;
    int ComponentCount() const { return int(Components().size()); }
    QObject* FindComponent(const QString& name) const;

    bool KeyPreview() const { return keyPreview_; }
    void SetKeyPreview(bool on) { keyPreview_ = on; }

    // The control that has (or last had, while the window is inactive) the focus.
    QWidget* ActiveControl() const { return activeControl_; }
    // Focuses a control of this form; the focus rules run as for a user's move.
    void SetActiveControl(QWidget* control);
    // The control a focus widget stands for (an inner editor of a combo box or spin
    // edit stands for the box).
    static QWidget* ControlOf(QWidget* focusWidget);
    // Runs the exits of a focus move towards `towards` (nullptr: out of every container)
    // without moving the focus: OnExit of the active control and of each container that
    // does not hold `towards`, innermost first, whatever handlers they carry now. They
    // count as left, so the move that follows does not run them again. Stops when a
    // handler moved the focus, or when `failed` answers true after a handler; then the
    // control stays active. True when every exit ran.
    bool ExitActiveControl(QWidget* towards, const std::function<bool()>& failed = {});

    // The form's converter and language controller (components "QvConverter" and
    // "LangController"). The converter reads the client configuration when the form is
    // made: the interface is what the installation says, whatever the process locale.
    TCodeConverter* QvConverter = nullptr;
    TQvLangController* LangController = nullptr;
    // Set once the form's texts were converted for display; from then on everything that
    // comes back from a service passes through the incoming conversion.
    bool ConvertedFlag = false;
    // The language files of the class chain are applied when the form is shown.
    bool TranslateOnShow = true;

    // SystemCodePage alone is the machine's ("936", "950", "437").
    QString SystemCodePage() const { return QvConverter->SystemCodePage(); }
    virtual QString UICodePage() const { return QvConverter->UICodePage(); }
    QString DBCodePage() const { return QvConverter->DBCodePage(); }
    quint8 UIConvertMode() const { return QvConverter->UIConvertMode(); }
    quint8 DBConvertMode() const { return QvConverter->DBConvertMode(); }

    // Converts the form's texts for display, once.
    void ConvertOnce();
    QString DisplayConvert(const QString& text) const { return QvConverter->DisplayConvert(text); }
    Variant DisplayConvert(const Variant& value) const { return QvConverter->DisplayConvert(value); }
    Variant IncomingConvert(const Variant& value) const { return QvConverter->IncomingConvert(value); }
    Variant OutgoingConvert(const Variant& value) const { return QvConverter->OutgoingConvert(value); }
    // A text of a language file by package (class name) and key; the default (display
    // converted when convertDefault is set) when the file has none.
    void GetText(const QString& packageName, const QString& key, QString& text, bool convertDefault,
                 const QString& defaultText) const;

    // Applies the language files of the object's class (whole chain: from the first class
    // below QWidget to the object's own, so that a later file overrides an earlier one).
    // A file that cannot be read, or values its properties cannot take, are skipped with
    // one alert line each; the rest applies.
    virtual void TranslateByClass(QObject* object, bool wholeChain);
    // The same, the chain ending before TQVForm.
    virtual void TranslateDerived(QObject* object, bool wholeChain);
    // The class names a translation reads, most basic first.
    static QStringList TranslationChain(const QObject* object, bool wholeChain, bool derivedOnly);

    // A message dialog owned by this form, shown through the modal runner; the caption is
    // the form's.
    virtual int MessageDialog(const QString& text, TMsgDlgType type, std::initializer_list<TMsgDlgBtn> buttons);

protected:
    // The form's own handlers, run through the events above. Derived forms override
    // them and call the inherited step first, as the system's forms do.
    virtual void FormCreate(QObject* sender);
    virtual void FormShow(QObject* sender);
    // After the language files set the texts on show: forms give their captions room here.
    virtual void TextsApplied() {}
    virtual void FormHide(QObject* sender);
    virtual void FormClose(QObject* sender, TCloseAction& action);
    virtual void FormDestroy(QObject* sender);
    // Key preview (sender: the form). Setting key to 0 (or the character to QChar())
    // consumes it; another value is delivered to the focused control in its place.
    virtual void FormKeyDown(QObject* sender, int& key, TShiftState shift);
    virtual void FormKeyPress(QObject* sender, QChar& key);
    // Esc and Enter not consumed by the preview. The base form clicks a visible, enabled
    // button whose Cancel (Esc) or Default (Enter) property is set, or for Enter the
    // focused button; true when the key was used.
    virtual bool HandleEscape();
    virtual bool HandleEnter();
    // The look-up request for a control (user message 1034). True when answered.
    virtual bool LookupRequest(QWidget* control);

    // The creation rules, run by FormCreate for every component.
    void ApplyCreationRules();

    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void translate(QObject* object, const QStringList& packages);
    void focusChanged(QWidget* old, QWidget* now);
    void moveFocusTo(QWidget* control);
    bool previewKey(QObject* receiver, QKeyEvent* event);

    int modalResult_ = mrNone;
    QEventLoop* modalLoop_ = nullptr;
    bool destroying_ = false;
    bool releasePending_ = false;
    bool keyPreview_ = true;
    bool positioned_ = false;
    QPointer<QWidget> activeControl_;
    QPointer<QWidget> focusTarget_;
    quint64 focusGeneration_ = 0;
    int focusDepth_ = 0;
    QKeyEvent* resent_ = nullptr;
};
