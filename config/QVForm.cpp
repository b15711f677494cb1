#include "config/QVForm.h"
#include "platform/ModalRunner.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QShowEvent>
#include <QTimer>

TQVForm::TQVForm(QWidget* owner) : QWidget(owner, Qt::Window)
{
    setWindowTitle(QStringLiteral("QVForm"));
    resize(400, 191);
    OnCreate = [this](QObject* s) { FormCreate(s); };
    OnShow = [this](QObject* s) { FormShow(s); };
    OnHide = [this](QObject* s) { FormHide(s); };
    OnClose = [this](QObject* s, TCloseAction& a) { FormClose(s, a); };
    OnDestroy = [this](QObject* s) { FormDestroy(s); };
}

TQVForm::~TQVForm()
{
    // A form deleted directly skipped OnDestroy; the class chain is gone by now, so
    // nothing of it may run here.
    Q_ASSERT_X(destroying_, "TQVForm", "forms are destroyed through Free() or Release()");
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

void TQVForm::FormCreate(QObject*) {}
void TQVForm::FormShow(QObject*) {}
void TQVForm::FormHide(QObject*) {}
void TQVForm::FormClose(QObject*, TCloseAction&) {}
void TQVForm::FormDestroy(QObject*) {}

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
