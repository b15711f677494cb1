#include "config/Dialogs.h"
#include "platform/ModalRunner.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <memory>
#include <vector>

namespace {
QMessageBox::StandardButton standardButton(TMsgDlgBtn b)
{
    switch (b) {
    case mbYes: return QMessageBox::Yes;
    case mbNo: return QMessageBox::No;
    case mbOK: return QMessageBox::Ok;
    case mbCancel: return QMessageBox::Cancel;
    case mbAbort: return QMessageBox::Abort;
    case mbRetry: return QMessageBox::Retry;
    case mbIgnore: return QMessageBox::Ignore;
    case mbAll: return QMessageBox::YesToAll; // Qt has no plain "All"; shown as "Yes to All"
    case mbNoToAll: return QMessageBox::NoToAll;
    case mbYesToAll: return QMessageBox::YesToAll;
    case mbHelp: return QMessageBox::Help;
    }
    return QMessageBox::NoButton;
}

QMessageBox::Icon iconOf(TMsgDlgType type)
{
    switch (type) {
    case mtWarning: return QMessageBox::Warning;
    case mtError: return QMessageBox::Critical;
    case mtInformation: return QMessageBox::Information;
    case mtConfirmation: return QMessageBox::Question;
    case mtCustom: break;
    }
    return QMessageBox::NoIcon;
}
} // namespace

int ModalResultOf(TMsgDlgBtn button)
{
    switch (button) {
    case mbYes: return mrYes;
    case mbNo: return mrNo;
    case mbOK: return mrOk;
    case mbCancel: return mrCancel;
    case mbAbort: return mrAbort;
    case mbRetry: return mrRetry;
    case mbIgnore: return mrIgnore;
    case mbAll: return mrAll;
    case mbNoToAll: return mrNoToAll;
    case mbYesToAll: return mrYesToAll;
    case mbHelp: return mrNone;
    }
    return mrNone;
}

int MessageDlg(const QString& text, TMsgDlgType type, std::initializer_list<TMsgDlgBtn> buttons,
               QWidget* parent, const QString& caption)
{
    QWidget* owner = parent ? parent->window() : nullptr;
    QString title = caption;
    if (title.isEmpty())
        title = owner ? owner->windowTitle() : QApplication::applicationName();
    // Owned here: a runner that answers in place of the dialog never shows it.
    auto box = std::make_unique<QMessageBox>(iconOf(type), title, text, QMessageBox::NoButton, owner);
    std::vector<std::pair<QAbstractButton*, int>> results;
    for (TMsgDlgBtn b : buttons)
        results.emplace_back(box->addButton(standardButton(b)), ModalResultOf(b));
    if (results.empty())
        results.emplace_back(box->addButton(QMessageBox::Ok), mrOk);
    QMessageBox* raw = box.get();
    return RunModal(raw, [raw, &results] {
        raw->exec();
        QAbstractButton* clicked = raw->clickedButton();
        for (const auto& [button, result] : results)
            if (button == clicked)
                return result;
        return mrCancel;
    });
}

void ShowMessage(const QString& text, QWidget* parent)
{
    MessageDlg(text, mtCustom, {mbOK}, parent);
}
