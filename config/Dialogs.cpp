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
    case mbAll: return QMessageBox::NoButton; // Qt has no plain "All": a button of its own
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
    return MessageDlg(text, type, QList<TMsgDlgBtn>(buttons), parent, caption, {});
}

int MessageDlg(const QString& text, TMsgDlgType type, const QList<TMsgDlgBtn>& buttons, QWidget* parent,
               const QString& caption, const std::function<QString(TMsgDlgBtn)>& buttonCaption, const QFont* font,
               std::optional<TMsgDlgBtn> defaultButton)
{
    QWidget* owner = parent ? parent->window() : nullptr;
    QString title = caption;
    if (title.isEmpty())
        title = owner ? owner->windowTitle() : QApplication::applicationName();
    // Owned here: a runner that answers in place of the dialog never shows it.
    // The suite's texts break lines with CR, which a label does not: one line would be cut.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    auto box = std::make_unique<QMessageBox>(iconOf(type), title, shown, QMessageBox::NoButton, owner);
    if (font)
        box->setFont(*font);
    else if (owner)
        box->setFont(owner->font());
    std::vector<std::pair<QAbstractButton*, int>> results;
    for (TMsgDlgBtn b : buttons.isEmpty() ? QList<TMsgDlgBtn>{mbOK} : buttons) {
        QAbstractButton* button = b == mbAll ? box->addButton(QString(), QMessageBox::AcceptRole)
                                             : box->addButton(standardButton(b));
        const QString local = buttonCaption ? buttonCaption(b) : QString();
        button->setText(local.isEmpty() ? EnglishButtonCaption(b) : local);
        if (defaultButton == b)
            if (auto* push = qobject_cast<QPushButton*>(button))
                box->setDefaultButton(push);
        results.emplace_back(button, ModalResultOf(b));
    }
    QMessageBox* raw = box.get();
    return RunModal(raw, [raw, &results] {
        raw->exec();
        QAbstractButton* clicked = raw->clickedButton();
        for (const auto& [button, result] : results)
            if (button == clicked)
                return result;
        return int(mrCancel);
    });
}

void ShowMessage(const QString& text, QWidget* parent)
{
    MessageDlg(text, mtCustom, {mbOK}, parent);
}

QString ButtonName(TMsgDlgBtn button)
{
    switch (button) {
    case mbYes: return QStringLiteral("Yes");
    case mbNo: return QStringLiteral("No");
    case mbOK: return QStringLiteral("OK");
    case mbCancel: return QStringLiteral("Cancel");
    case mbAbort: return QStringLiteral("Abort");
    case mbRetry: return QStringLiteral("Retry");
    case mbIgnore: return QStringLiteral("Ignore");
    case mbAll: return QStringLiteral("All");
    case mbNoToAll: return QStringLiteral("NoToAll");
    case mbYesToAll: return QStringLiteral("YesToAll");
    case mbHelp: return QStringLiteral("Help");
    }
    return QString();
}

QString EnglishButtonCaption(TMsgDlgBtn button)
{
    switch (button) {
    case mbYes: return QStringLiteral("&Yes");
    case mbNo: return QStringLiteral("&No");
    case mbOK: return QStringLiteral("OK");
    case mbCancel: return QStringLiteral("Cancel");
    case mbAbort: return QStringLiteral("&Abort");
    case mbRetry: return QStringLiteral("&Retry");
    case mbIgnore: return QStringLiteral("&Ignore");
    case mbAll: return QStringLiteral("&All");
    case mbNoToAll: return QStringLiteral("N&o to All");
    case mbYesToAll: return QStringLiteral("Yes to &All");
    case mbHelp: return QStringLiteral("&Help");
    }
    return QString();
}
