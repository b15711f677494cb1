#include "jobform/FieldChecks.h"
#include "jobform/BaseGene.h"
#include "jobform/BaseGeneU.h"

#include "config/QtVariant.h"
#include "config/RunTimeProps.h"
#include "controls/Buttons.h"
#include "controls/ExtPage.h"
#include "controls/MaskEdit.h"
#include "controls/SelectPnl.h"
#include "support/Dates.h"

#include <QAbstractSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>

namespace {

QString partName(TSelectPanel* panel, int part)
{
    switch (part) {
    case 1: return panel->objectName() + QStringLiteral(".edBegin");
    case 2: return panel->objectName() + QStringLiteral(".edFinal");
    default: return panel->objectName() + QStringLiteral(".ListBox");
    }
}

QWidget* partOf(TSelectPanel* panel, int part)
{
    switch (part) {
    case 1: return panel->edBegin;
    case 2: return panel->edFinal;
    default: return panel->ListBox;
    }
}

// The text a control shows when it is cleared under its own mask.
QString clearedTextOf(QWidget* control)
{
    if (auto* mask = qobject_cast<TMaskEdit*>(control))
        return QString::fromStdString(mask->Mask().clearedText());
    return QString();
}

bool textIsEmpty(QWidget* control)
{
    return GetStringProperty(control, QStringLiteral("Text")).trimmed() == clearedTextOf(control).trimmed();
}

bool canFocus(QWidget* w)
{
    return w && w->isEnabled() && w->focusPolicy() != Qt::NoFocus;
}

} // namespace

TFieldChecks::TFieldChecks(TfrmBaseGene& form) : form_(form) {}

// --- Date fields -----------------------------------------------------------------------------

void TFieldChecks::hook(QObject* control, const char* event, const QString& name)
{
    TNotifyEvent* slot = FindNotifyEvent(control, event);
    if (!slot)
        return;
    const QString key = name + QLatin1Char('.') + QLatin1String(event);
    form_.SavedHandlers.append({key, *slot});
    *slot = QLatin1String(event) == QLatin1String("OnEnter")  ? form_.OnDateFieldEnter
          : QLatin1String(event) == QLatin1String("OnExit")   ? form_.OnDateFieldExit
                                                              : form_.OnRequiredExit;
}

void TFieldChecks::unhook(QObject* control, const char* event, const QString& name)
{
    const QString key = name + QLatin1Char('.') + QLatin1String(event);
    bool restored = false;
    for (qsizetype i = 0; i < form_.SavedHandlers.size();) {
        if (form_.SavedHandlers[i].first.compare(key, Qt::CaseInsensitive) == 0) {
            if (!restored && control) {
                if (TNotifyEvent* slot = FindNotifyEvent(control, event))
                    *slot = form_.SavedHandlers[i].second;
                restored = true;
            }
            form_.SavedHandlers.removeAt(i);
        } else {
            ++i;
        }
    }
}

void TFieldChecks::callSaved(const QString& key, QObject* sender)
{
    for (const auto& [name, handler] : form_.SavedHandlers)
        if (name.compare(key, Qt::CaseInsensitive) == 0) {
            // A copy: the handler may change the saved list.
            const TNotifyEvent saved = handler;
            Fire(saved, sender);
            return;
        }
}

void TFieldChecks::AddDateFields(const QString& list)
{
    QString fields = list.trimmed();
    if (fields == form_.DateFields)
        return;
    const QString previous = form_.DateFields;
    for (const QString& name : namesOf(previous)) {
        QObject* control = form_.FindComponent(name);
        unhook(control, "OnEnter", name);
        unhook(control, "OnExit", name);
    }
    if (!nameListed(fields, QStringLiteral("edPrintDate")) && !previous.isEmpty())
        fields = fields.isEmpty() ? previous : fields + QLatin1Char(',') + previous;
    form_.DateFields = fields;

    const int code = form_.GetDateFormat();
    const QString separator = form_.GetDateSeparator();
    for (const QString& name : namesOf(fields)) {
        QObject* control = form_.FindComponent(name);
        if (!control)
            continue;
        hook(control, "OnEnter", name);
        hook(control, "OnExit", name);
        if (auto* panel = qobject_cast<TSelectPanel*>(control)) {
            panel->SetValueType(TSelectPanel::vt_Date);
            panel->SetDateSign(separator);
            panel->SetDateType(code >= 1 && code <= 5 ? TSelectPanel::TDateType(code) : TSelectPanel::dt_NoneCare);
        }
    }
}

bool TFieldChecks::CheckDateField(QWidget* control, bool entering, QString* code)
{
    return checkField(control, entering, code, FieldKind::Date);
}

bool TFieldChecks::CheckMonthField(QWidget* control, bool entering, QString* code)
{
    return checkField(control, entering, code, FieldKind::Month);
}

bool TFieldChecks::checkField(QWidget* control, bool entering, QString* code, FieldKind kind)
{
    const bool date = kind == FieldKind::Date;
    QList<QWidget*> edits;
    auto* panel = qobject_cast<TSelectPanel*>(control);
    if (panel)
        edits = {panel->edBegin, panel->edFinal};
    else if (qobject_cast<QLineEdit*>(control))
        edits = {control};
    if (edits.isEmpty()) {
        const QString text = date ? form_.GetText(QStringLiteral("sDatePramError"),
                                                  QStringLiteral("判断日期的函数第一个参数错误, 只能传下列三种物件:"))
                                  : form_.GetText(QStringLiteral("sYMPramError"),
                                                  QStringLiteral("判断年月的函数第一个参数错误, 只能传下列三种物件:"));
        form_.MessageDialog(text + QStringLiteral("\rTSelectPanel, TMaskedit, TEdit"), mtCustom, {mbOK});
        return false;
    }

    const QString mask = date ? form_.DateMask() : form_.MonthMask();
    if (entering) {
        if (panel) {
            panel->SetEditMask(mask);
        } else if (auto* maskEdit = qobject_cast<TMaskEdit*>(control)) {
            maskEdit->SetEditMask(mask);
        } else {
            // A plain edit shows where the digits go; what the user typed stays.
            auto* edit = static_cast<QLineEdit*>(control);
            if (edit->text().trimmed().isEmpty())
                SetStringProperty(edit, QStringLiteral("Text"), date ? form_.BlankDate() : form_.BlankMonth());
        }
        return true;
    }

    QWidget* firstInvalid = nullptr;
    for (QWidget* edit : edits) {
        const QString text = GetStringProperty(edit, QStringLiteral("Text"));
        QString compact;
        if (date) {
            compact = form_.DateTextToCompact(text);
        } else {
            if (text.trimmed() == form_.GetDateSeparator())
                continue;
            compact = form_.MonthTextToCompact(text);
            if (!compact.isEmpty())
                compact += QStringLiteral("01");
        }
        if (!compact.isEmpty() && !IsValidCompactDate(compact.toStdString()) && !firstInvalid)
            firstInvalid = edit;
    }
    if (!firstInvalid)
        return true;
    // Which field and what was typed, so that the clerk sees what is wrong and where.
    if (code)
        *code = QStringLiteral("E;000005;") + FieldCaption(control) + QLatin1Char(';')
                + GetStringProperty(firstInvalid, QStringLiteral("Text")).trimmed();
    if (canFocus(firstInvalid))
        firstInvalid->setFocus(Qt::OtherFocusReason);
    return false;
}

void TFieldChecks::DateFieldEnter(QObject* sender)
{
    dateFieldEvent(sender, true);
}

void TFieldChecks::DateFieldExit(QObject* sender)
{
    dateFieldEvent(sender, false);
}

void TFieldChecks::dateFieldEvent(QObject* sender, bool entering)
{
    auto* control = qobject_cast<QWidget*>(sender);
    if (!control)
        return;
    // Leaving for Cancel: the form is going away, its fields need no checking.
    if (!entering && form_.btnCancel && form_.FocusedControl() == form_.btnCancel)
        return;
    const QString name = control->objectName();
    QString code;
    bool ok = true;
    if (nameListed(form_.DateFields, name))
        ok = CheckDateField(control, entering, &code);
    else if (nameListed(form_.MonthFields, name))
        ok = CheckMonthField(control, entering, &code);
    if (!ok) {
        form_.ValidationFailed = true;
        if (!code.isEmpty())
            form_.ReportMessage(code);
        return;
    }
    form_.ValidationFailed = false;
    callSaved(name + (entering ? QStringLiteral(".OnEnter") : QStringLiteral(".OnExit")), control);
}

// --- Required fields -------------------------------------------------------------------------

void TFieldChecks::RecordColours()
{
    form_.SavedColours.clear();
    std::function<void(QWidget*)> walk = [&](QWidget* parent) {
        for (QObject* child : parent->children()) {
            auto* w = qobject_cast<QWidget*>(child);
            if (!w || w->isWindow())
                continue;
            if (auto* panel = qobject_cast<TSelectPanel*>(w)) {
                for (int part = 1; part <= 3; ++part)
                    form_.SavedColours.append(partName(panel, part) + QLatin1Char('=')
                                              + QString::number(GetOrdinalProperty(partOf(panel, part), QStringLiteral("Color"))));
                continue;
            }
            if (!w->objectName().isEmpty() && !IsSubComponent(w) && FindProperty(w, QStringLiteral("Color")).isValid())
                form_.SavedColours.append(w->objectName() + QLatin1Char('=')
                                          + QString::number(GetOrdinalProperty(w, QStringLiteral("Color"))));
            if (!qobject_cast<QAbstractSpinBox*>(w))
                walk(w);
        }
    };
    walk(&form_);
}

void TFieldChecks::restoreColours()
{
    for (const QString& line : form_.SavedColours) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        const QString name = line.left(eq);
        const int value = line.mid(eq + 1).toInt();
        const qsizetype dot = name.indexOf(QLatin1Char('.'));
        QObject* target = nullptr;
        if (dot > 0) {
            if (auto* panel = qobject_cast<TSelectPanel*>(form_.FindComponent(name.left(dot)))) {
                const QString part = name.mid(dot + 1);
                target = part == QLatin1String("edBegin") ? panel->edBegin
                       : part == QLatin1String("edFinal") ? panel->edFinal
                                                          : static_cast<QWidget*>(panel->ListBox);
            }
        } else {
            target = form_.FindComponent(name);
        }
        if (target)
            SetOrdinalProperty(target, QStringLiteral("Color"), value);
    }
}

void TFieldChecks::colour(QWidget* control, int part)
{
    if (auto* panel = qobject_cast<TSelectPanel*>(control)) {
        for (int p = 1; p <= 3; ++p)
            if (part == 0 || part == p)
                SetOrdinalProperty(partOf(panel, p), QStringLiteral("Color"), RequiredColour);
        return;
    }
    if (FindProperty(control, QStringLiteral("Color")).isValid())
        SetOrdinalProperty(control, QStringLiteral("Color"), RequiredColour);
}

void TFieldChecks::SetRequiredFields(const QString& list)
{
    const QString fields = list.trimmed();
    if (!form_.RequiredFields.isEmpty()) {
        restoreColours();
        for (const char* name : {"btnOk", "btnQuery", "btnDesign", "btnPeriod"})
            unhook(form_.FindComponent(QLatin1String(name)), "OnClick", QLatin1String(name));
    }
    form_.RequiredFields = fields;
    for (const TRequiredItem& item : parseRequiredFields(fields))
        if (auto* control = qobject_cast<QWidget*>(form_.FindComponent(item.name)))
            colour(control, item.part);
    for (const char* name : {"btnOk", "btnQuery", "btnDesign", "btnPeriod"})
        if (QObject* button = form_.FindComponent(QLatin1String(name)))
            hook(button, "OnClick", QLatin1String(name));
}

void TFieldChecks::RequiredExit(QObject* sender)
{
    QObject* ok = form_.FindComponent(QStringLiteral("btnOk"));
    QObject* period = form_.FindComponent(QStringLiteral("btnPeriod"));
    const bool periodDown = period && GetPropertyValue(period, QStringLiteral("Down")).toBool();
    const bool checks = (sender && sender == ok) || (sender && sender == period && periodDown)
                     || (sender && sender == form_.FindComponent(QStringLiteral("btnQuery")))
                     || (sender && sender == form_.FindComponent(QStringLiteral("btnDesign")));
    bool failed = false;
    if (checks) {
        failed = CheckRequiredFields(form_.RequiredFields);
        form_.ValidationFailed = failed;
    }
    const QString key = (sender ? sender->objectName() : QString()) + QStringLiteral(".OnClick");
    if (period) {
        if (failed) {
            if (form_.pgOption && form_.pgOption->PageCount() > 0
                && form_.pgOption->ActivePageIndex() != form_.pgOption->PageCount() - 1) {
                SetPropertyValue(period, QStringLiteral("Down"), false);
                if (TTabSheet* last = form_.pgOption->Pages(form_.pgOption->PageCount() - 1))
                    last->SetTabVisible(false);
            }
            return;
        }
        callSaved(key, sender);
        return;
    }
    if (!failed)
        callSaved(key, sender);
}

bool TFieldChecks::IsEmptyField(QWidget* control)
{
    if (auto* panel = qobject_cast<TSelectPanel*>(control)) {
        if (panel->IsRangeMode())
            return textIsEmpty(panel->edBegin) || textIsEmpty(panel->edFinal);
        return panel->ListBox->ItemCount() == 0;
    }
    if (FindProperty(control, QStringLiteral("Text")).isValid())
        return textIsEmpty(control);
    return false;
}

QString TFieldChecks::FieldCaption(QWidget* control) const
{
    if (!control)
        return QString();
    const auto plain = [](QString text) { return text.remove(QRegularExpression(QStringLiteral("&(?!&)"))).trimmed(); };
    for (QWidget* w = control; w && w != &form_; w = w->parentWidget()) {
        if (qobject_cast<TSelectPanel*>(w) || w == control) {
            const QString caption = plain(GetStringProperty(w, QStringLiteral("Caption")));
            if (!caption.isEmpty())
                return caption;
        }
    }
    for (QLabel* label : form_.findChildren<QLabel*>()) {
        const QVariant focus = label->property("FocusControl");
        if (label->buddy() == control || (focus.isValid() && focus.value<QWidget*>() == control))
            if (const QString caption = plain(label->text()); !caption.isEmpty())
                return caption;
    }
    // A job names each option's control beside its caption.
    if (form_.OptionCount > 0) {
        Variant texts = Variant::array(1, form_.OptionCount);
        const bool filled = form_.OptionsFilled;
        try {
            form_.CollectOptionTexts(texts, form_.OptionCount - form_.OptionBase);
        } catch (const std::exception&) {
        }
        form_.OptionsFilled = filled;
        for (int i = 1; i <= form_.OptionCount; ++i) {
            const Variant& entry = texts[i];
            if (entry.isArray() && entry.count() > 1
                && VarToQStr(entry[entry.lowBound() + 1]).compare(control->objectName(), Qt::CaseInsensitive) == 0)
                if (const QString caption = plain(VarToQStr(entry[entry.lowBound()])); !caption.isEmpty())
                    return caption;
        }
    }
    for (QWidget* w = control->parentWidget(); w && w != &form_; w = w->parentWidget())
        if (auto* group = qobject_cast<QGroupBox*>(w); group && !plain(group->title()).isEmpty())
            return plain(group->title());
    return control->objectName();
}

void TFieldChecks::showPageOf(QWidget* control)
{
    if (!form_.pgOption)
        return;
    for (QWidget* w = control; w && w != &form_; w = w->parentWidget())
        if (auto* sheet = qobject_cast<TTabSheet*>(w)) {
            if (sheet->PageControl() == form_.pgOption)
                form_.pgOption->SetActivePage(sheet);
            return;
        }
}

bool TFieldChecks::CheckRequiredFields(const QString& list)
{
    for (const TRequiredItem& item : parseRequiredFields(list)) {
        auto* control = qobject_cast<QWidget*>(form_.FindComponent(item.name));
        if (!control || !item.checked() || !IsEmptyField(control))
            continue;
        form_.ReportMessage(QStringLiteral("E;000037;") + FieldCaption(control));
        showPageOf(control);
        if (control->isEnabled()) {
            QWidget* target = control;
            if (auto* panel = qobject_cast<TSelectPanel*>(control))
                target = panel->IsRangeMode() ? static_cast<QWidget*>(panel->edBegin) : panel->ListBox;
            if (canFocus(target))
                target->setFocus(Qt::OtherFocusReason);
        }
        return true;
    }
    return false;
}
