#include "jobform/JobMessages.h"
#include "jobform/BaseGene.h"
#include "jobform/BaseGeneU.h"

#include "config/QtVariant.h"
#include "controls/Buttons.h"
#include "support/Format.h"
#include "support/Helpers.h"

#include <QApplication>
#include <QMouseEvent>

#include <vector>


TJobMessages::TJobMessages(TfrmBaseGene& form) : form_(form) {}

QString TJobMessages::FormText(const QString& section, const QString& key, const QString& defaultText) const
{
    const QString base = QStringLiteral("TfrmBaseGene");
    QString text;
    if (section != base) {
        form_.TQVForm::GetText(section, key, text, false, QString());
        if (!text.isEmpty())
            return text;
    }
    form_.TQVForm::GetText(base, key, text, true, defaultText);
    return text;
}

TMsgDlgType TJobMessages::DialogTypeOf(const QString& type)
{
    const QString t = type.trimmed().toUpper();
    if (t == QLatin1String("C") || t == QLatin1String("D") || t == QLatin1String("W"))
        return mtWarning;
    if (t == QLatin1String("E"))
        return mtError;
    if (t == QLatin1String("I"))
        return mtInformation;
    if (t == QLatin1String("Q"))
        return mtConfirmation;
    return mtCustom;
}

QList<TMsgDlgBtn> TJobMessages::DefaultButtonsOf(const QString& type)
{
    const QString t = type.trimmed().toUpper();
    if (t == QLatin1String("C") || t == QLatin1String("Q") || t == QLatin1String("W"))
        return {mbOK, mbCancel};
    if (t == QLatin1String("D"))
        return {mbYes, mbNo, mbCancel};
    return {mbOK};
}

QString TJobMessages::FormatWithParameters(const QString& templ, const QList<Variant>& params)
{
    std::vector<FormatArg> args;
    args.reserve(std::size_t(params.size()));
    for (const Variant& p : params)
        args.emplace_back(VarToStr(p));
    try {
        return QString::fromStdString(Format(Utf8(templ), args));
    } catch (const std::exception&) {
        QString text = templ + QLatin1Char('\r');
        for (const Variant& p : params)
            text += VarToQStr(p) + QLatin1Char(';');
        return text;
    }
}

bool TJobMessages::cancelling() const
{
    return form_.btnCancel && form_.FocusedControl() == form_.btnCancel;
}

void TJobMessages::recordText(const QString& text)
{
    if (!form_.MessageTexts.contains(text))
        form_.MessageTexts += text + QStringLiteral("; ");
}

void TJobMessages::ReportMessage(const QString& code)
{
    if (cancelling())
        return;
    if (code.isEmpty()) {
        form_.MessageCodes.clear();
        form_.MessageTexts.clear();
        return;
    }
    form_.MessageCodes += code + QStringLiteral("; ");
    const TMessageCode parsed = parseMessageCode(code);
    const QString templ = form_.GetMessageText(parsed.type, parsed.number);
    const QList<Variant> params(parsed.params.begin(), parsed.params.end());
    const QString text = FormatWithParameters(templ, params);
    recordText(text);
    if (parsed.show)
        ShowMessageDialog(text, DialogTypeOf(parsed.type), {mbOK});
}

void TJobMessages::ReportRawError(const QString& text)
{
    if (cancelling())
        return;
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        form_.MessageCodes.clear();
        form_.MessageTexts.clear();
        return;
    }
    form_.MessageCodes += QStringLiteral("E;-1; ");
    recordText(trimmed);
}

int TJobMessages::ShowCodedMessage(const QString& type, const QString& number, const QList<TMsgDlgBtn>& buttons,
                                   const QList<Variant>& args)
{
    const QString templ = form_.GetMessageText(type, number);
    QString text = templ;
    if (!args.isEmpty()) {
        std::vector<FormatArg> formatArgs;
        for (const Variant& a : args)
            formatArgs.emplace_back(a);
        try {
            text = QString::fromStdString(Format(Utf8(templ), formatArgs));
        } catch (const std::exception&) {
            // A wording that does not take these arguments still says what happened.
            text = FormatWithParameters(templ, args);
        }
    }
    return ShowMessageDialog(text, DialogTypeOf(type), buttons.isEmpty() ? DefaultButtonsOf(type) : buttons);
}

int TJobMessages::ShowMessageDialog(const QString& text, TMsgDlgType type, const QList<TMsgDlgBtn>& buttons,
                                    std::optional<TMsgDlgBtn> defaultButton)
{
    // While the form validates before a page switch only errors are worth a dialog.
    if (form_.PageChanging && type != mtError)
        return 0;
    if (type == mtError || type == mtWarning)
        ++problemsShown_;

    std::function<QString(TMsgDlgBtn)> captions;
    if (!form_.EnglishInterface())
        captions = [this](TMsgDlgBtn b) {
            return form_.DisplayConvert(QString::fromStdString(LocalButtonCaption(Utf8(ButtonName(b)))));
        };
    const int result = MessageDlg(text, type, buttons, &form_, form_.windowTitle(), captions, nullptr, defaultButton);

    // A control that started a mouse action before the dialog must not stay captured.
    if (QWidget* active = form_.FocusedControl()) {
        const QPointF at(0, 0);
        QCoreApplication::postEvent(active, new QMouseEvent(QEvent::MouseButtonRelease, at, active->mapToGlobal(at),
                                                             Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    }
    if (type == mtError && form_.LastFocusedControl && form_.LastFocusedControl->isEnabled()
        && form_.LastFocusedControl->isVisible() && form_.LastFocusedControl->focusPolicy() != Qt::NoFocus)
        form_.LastFocusedControl->setFocus(Qt::OtherFocusReason);
    return result;
}
