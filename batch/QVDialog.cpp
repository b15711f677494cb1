#include "batch/QVDialog.h"

#include "config/Keys.h"
#include "controls/Buttons.h"
#include "controls/CaptionRoom.h"

#include <QAbstractItemView>
#include <QBoxLayout>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace {

void focusIfPossible(QWidget* control)
{
    if (control && control->isEnabled() && control->isVisible() && control->focusPolicy() != Qt::NoFocus)
        control->setFocus();
}

// Memos and grids keep Enter for themselves.
bool keepsEnter(QWidget* w)
{
    for (; w; w = w->parentWidget())
        if (qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QTextEdit*>(w) || qobject_cast<QAbstractItemView*>(w))
            return true;
    return false;
}

} // namespace

TfrmQVDialog::TfrmQVDialog(QWidget* owner) : TQVForm(owner)
{
    setWindowFlags(Qt::Dialog);
    SetKeyPreview(true);
    if (owner)
        SetCaption(owner->window()->windowTitle());
}

void TfrmQVDialog::FormShow(QObject* sender)
{
    TQVForm::FormShow(sender);
    KeyedTexts();
    ConvertOnce();
}

void TfrmQVDialog::F2Action(QWidget* control)
{
    focusIfPossible(control);
}

void TfrmQVDialog::F3Action(QWidget* control)
{
    focusIfPossible(control);
}

void TfrmQVDialog::F4Action(QWidget* control)
{
    focusIfPossible(control);
}

void TfrmQVDialog::Perform(int message, QWidget* control)
{
    switch (message) {
    case WM_F2:
        F2Action(control);
        break;
    case WM_F3:
        F3Action(control);
        break;
    case WM_F4:
        F4Action(control);
        break;
    default:
        break;
    }
}

void TfrmQVDialog::TextsApplied()
{
    MakeRoomForCaptions(this);
}

void TfrmQVDialog::FormKeyDown(QObject* sender, int& key, TShiftState shift)
{
    TQVForm::FormKeyDown(sender, key, shift);
    QWidget* active = ActiveControl();
    switch (key) {
    case VK_F2:
        key = 0;
        F2Action(active);
        break;
    case VK_F3:
        key = 0;
        F3Action(active);
        break;
    case VK_F4:
        key = 0;
        F4Action(active);
        break;
    default:
        break;
    }
}

void TfrmQVDialog::FormKeyPress(QObject* sender, QChar& key)
{
    TQVForm::FormKeyPress(sender, key);
    if (key != QChar(13))
        return;
    QWidget* focused = focusWidget();
    if (!focused || keepsEnter(focused))
        return;
    key = QChar();
    focusNextChild();
}

void TfrmQVDialog::AddOkCancelRow(QBoxLayout* layout, TBitBtn*& ok, TBitBtn*& cancel)
{
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    ok = new TBitBtn(this);
    ok->setObjectName(QStringLiteral("BitBtn1"));
    ok->SetCaption(QStringLiteral("确定(&O)"));
    cancel = new TBitBtn(this);
    cancel->setObjectName(QStringLiteral("BitBtn2"));
    cancel->SetCaption(QStringLiteral("取消(&C)"));
    cancel->OnClick = [this](QObject*) { SetModalResult(mrCancel); };
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
}
