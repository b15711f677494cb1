#pragma once
// TQVForm: the root of every form of the suite. A top-level window with the original
// form life cycle: created hidden, OnCreate after the whole class chain is constructed,
// OnShow / OnHide / OnClose / OnDestroy as replaceable events, a close action that may
// free the form, and a modal loop that ends when ModalResult is set.
//
// Forms are destroyed through Free() (or Release() from inside their own handlers), never
// by delete: OnDestroy must run while every level of the form still exists.

#include "config/Events.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class QEventLoop;

enum TCloseAction { caNone, caHide, caFree, caMinimize };
using TCloseEvent = std::function<void(QObject* sender, TCloseAction& action)>;

// Modal results.
constexpr int mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6,
              mrNo = 7, mrAll = 8, mrNoToAll = 9, mrYesToAll = 10;

class TQVForm : public QWidget, public TEventSource {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(int ModalResult READ ModalResult WRITE SetModalResult)

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
    TNotifyEvent* notifyEvent(std::string_view name) override;

    QString Caption() const { return windowTitle(); }
    void SetCaption(const QString& caption) { setWindowTitle(caption); }

    // Shows the form modal and returns its modal result once the loop ended.
    int ShowModal();
    // The loop ShowModal runs (what a modal runner calls when it lets the form run).
    int ExecModalLoop();
    bool InModalLoop() const { return modalLoop_ != nullptr; }
    int ModalResult() const { return modalResult_; }
    // In a modal loop a result other than mrNone closes the form.
    void SetModalResult(int result);

    // Destroys the form now: OnDestroy runs first, while the whole form still exists.
    void Free();
    // Destroys the form once control is back in the event loop (safe inside its handlers).
    void Release();
    bool Destroying() const { return destroying_; }

    void AfterConstruction();

protected:
    // The form's own handlers, run through the events above. Derived forms override
    // them and call the inherited step first, as the system's forms do.
    virtual void FormCreate(QObject* sender);
    virtual void FormShow(QObject* sender);
    virtual void FormHide(QObject* sender);
    virtual void FormClose(QObject* sender, TCloseAction& action);
    virtual void FormDestroy(QObject* sender);

    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    int modalResult_ = mrNone;
    QEventLoop* modalLoop_ = nullptr;
    bool destroying_ = false;
    bool releasePending_ = false;
};
