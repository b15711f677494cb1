#include "host/UnattendedRunner.h"

#include <QAbstractButton>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QRegularExpression>
#include <QTimer>

namespace {

// The cancel result of the framework's forms (mrCancel); a plain dialog's is Rejected.
constexpr int kFormCancel = 2;
// A message box that ignores its button is closed after this long.
constexpr int kGraceMs = 2000;

QAbstractButton* defaultAnswer(QMessageBox* box)
{
    const QList<QAbstractButton*> buttons = box->buttons();
    for (QMessageBox::ButtonRole role : {QMessageBox::RejectRole, QMessageBox::NoRole, QMessageBox::AcceptRole,
                                         QMessageBox::YesRole})
        for (QAbstractButton* b : buttons)
            if (box->buttonRole(b) == role)
                return b;
    return buttons.isEmpty() ? nullptr : buttons.first();
}

QString plain(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text.trimmed();
}

QString captionOf(QAbstractButton* button)
{
    // "&Yes" is shown as "Yes".
    QString text = button ? button->text() : QStringLiteral("closed");
    text.remove(QRegularExpression(QStringLiteral("&(?!&)")));
    return text;
}

} // namespace

ModalRunFn UnattendedRunner(std::function<void(const std::string& line, bool problem)> report)
{
    return [report](QWidget* window, const std::function<int()>& run) -> int {
        const QString title = window->windowTitle();
        if (auto* box = qobject_cast<QMessageBox*>(window)) {
            QString text = plain(box->text());
            if (!box->informativeText().isEmpty())
                text += QLatin1Char('\n') + plain(box->informativeText());
            QAbstractButton* answer = defaultAnswer(box);
            const bool problem = box->icon() == QMessageBox::Critical || box->icon() == QMessageBox::Warning;
            report(QStringLiteral("message \"%1\": %2 [answered %3]").arg(title, text, captionOf(answer)).toStdString(),
                   problem);
            // The box runs, so that its caller maps the button as usual; the answer comes
            // as soon as its loop does.
            QPointer<QAbstractButton> button(answer);
            QPointer<QMessageBox> guard(box);
            QTimer::singleShot(0, box, [button, guard] {
                if (button)
                    button->click();
                else if (guard)
                    guard->reject();
            });
            QTimer::singleShot(kGraceMs, box, [guard] {
                if (guard && guard->isVisible())
                    guard->reject();
            });
            return run();
        }
        const QString kind = qobject_cast<QDialog*>(window) ? QStringLiteral("dialog") : QStringLiteral("window");
        report(QStringLiteral("%1 \"%2\" not shown without a display [answered Cancel]").arg(kind, title).toStdString(),
               false);
        return qobject_cast<QDialog*>(window) ? int(QDialog::Rejected) : kFormCancel;
    };
}
