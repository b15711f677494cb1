#include "jobform/ControlValues.h"
#include "jobform/BaseGene.h"
#include "jobform/BaseGeneU.h"

#include "config/Dialogs.h"
#include "config/QtVariant.h"
#include "config/RunTimeProps.h"
#include "controls/MaskEdit.h"
#include "controls/SelectPnl.h"
#include "support/Dates.h"
#include "support/Helpers.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QList>
#include <QPair>
#include <QRegularExpression>

namespace {

// Range and list markers of condition values.
const char kRangeMarker[] = "\x04";
const char kListMarker[] = "\x05";

QString markerOf(const Variant& value)
{
    if (!value.isArray() || value.count() < 1)
        return QString();
    try {
        return VarToQStr(value[value.lowBound()]);
    } catch (const std::exception&) {
        return QString();
    }
}

// A text longer than its edit takes would be cut, and a cut batch number or supplier code
// is another one: it is refused instead.
bool fits(QObject* edit, const QString& text)
{
    const QMetaProperty p = FindProperty(edit, QStringLiteral("MaxLength"));
    const int most = p.isValid() ? p.read(edit).toInt() : 0;
    return most <= 0 || text.size() <= most;
}

// Eight digits of a date that does not exist, laid out as the user's format lays a date
// out, so that the date field shows what was handed in and its check can say what is wrong.
QString digitsAsDate(const QString& text, int code, const QString& separator)
{
    const QString y = text.left(4), m = text.mid(4, 2), d = text.mid(6, 2);
    switch (code) {
    case 2: return m + separator + d + separator + y;
    case 3: return d + separator + m + separator + y;
    case 4:
    case 5: return QString::number(y.toInt() - 1911).rightJustified(code == 4 ? 2 : 3, QLatin1Char('0')) + separator + m + separator + d;
    default: return y + separator + m + separator + d;
    }
}

// A value handed in from outside read as a check mark.
bool readFlag(const Variant& value, bool& ok)
{
    ok = true;
    if (value.isEmptyOrNull())
        return false;
    if (value.type() == VarType::Bool || value.isNumeric())
        return value.toDouble() != 0;
    const QString text = VarToQStr(value).trimmed().toUpper();
    if (text == QLatin1String("Y") || text == QLatin1String("1") || text == QLatin1String("TRUE"))
        return true;
    if (text == QLatin1String("N") || text == QLatin1String("0") || text == QLatin1String("FALSE") || text.isEmpty())
        return false;
    ok = false;
    return false;
}

// The texts of a value as the hooks before and after applying it see them.
QString valueText(const Variant& value)
{
    if (!value.isArray())
        return VarToQStr(value);
    QStringList parts;
    for (int i = value.lowBound(); i <= value.highBound(); ++i) {
        const Variant& e = value[i];
        if (i == value.lowBound() && (markerOf(value) == QLatin1String(kRangeMarker) || markerOf(value) == QLatin1String(kListMarker)))
            continue;
        parts << (e.isArray() ? valueText(e) : VarToQStr(e));
    }
    return parts.join(QLatin1Char(';'));
}

// The control can take a value by name: a select panel, a combo box, or a control with one
// of the value properties.
bool settable(QObject* control)
{
    if (!control || !qobject_cast<QWidget*>(control))
        return false;
    if (qobject_cast<TSelectPanel*>(control) || qobject_cast<QComboBox*>(control))
        return true;
    // A push button's caption is no value (the toolkit calls it "text"); check boxes and
    // radio buttons take their flag.
    if (auto* button = qobject_cast<QAbstractButton*>(control))
        return button->isCheckable();
    for (const char* name : {"ItemIndex", "Checked", "Text", "Lines"})
        if (FindProperty(control, QLatin1String(name)).isValid())
            return true;
    return false;
}

} // namespace

TControlValues::TControlValues(TfrmBaseGene& form) : form_(form) {}

void TControlValues::PutDateRange(const QString& beginText, const QString& endText, Variant& values, int index)
{
    QString begin = form_.DateTextToCompact(beginText);
    QString end = form_.DateTextToCompact(endText);
    if (!begin.isEmpty() && !end.isEmpty() && begin.compare(end, Qt::CaseInsensitive) > 0)
        std::swap(begin, end);
    values[index] = Variant::list({kRangeMarker, QStrToVar(begin), QStrToVar(end)});
}

void TControlValues::PutMaskedPanelValue(TSelectPanel* panel, Variant& values, const QString& removeText, int index)
{
    const auto clean = [&](TMaskEdit* edit) {
        QString text = edit->Text();
        if (!removeText.isEmpty())
            text.remove(removeText);
        if (!removeText.isEmpty() && edit->IsMasked())
            text = QString::fromStdString(StripMaskLiterals(Utf8(text), Utf8(edit->EditMask())));
        return text;
    };
    Variant value;
    if (panel->IsRangeMode()) {
        value = Variant::list({kRangeMarker, QStrToVar(clean(panel->edBegin)), QStrToVar(clean(panel->edFinal))});
    } else {
        std::vector<Variant> items{kListMarker};
        for (const QStringList& row : panel->ListBox->Rows()) {
            std::vector<Variant> cells;
            for (QString cell : row) {
                if (!removeText.isEmpty())
                    cell.remove(removeText);
                cells.push_back(QStrToVar(cell));
            }
            items.push_back(Variant::list(std::move(cells)));
        }
        value = Variant::list(std::move(items));
    }
    if (index < 0)
        values = value;
    else
        values[index] = value;
}

void TControlValues::LookupIntoPanel(QWidget* control, const QString& table, const QString& kind, bool list,
                                     const QString& extra, const Variant& keys)
{
    TSelectPanel* panel = nullptr;
    for (QWidget* w = control; w && w != &form_; w = w->parentWidget())
        if ((panel = qobject_cast<TSelectPanel*>(w)))
            break;
    if (!panel) {
        form_.MessageDialog(form_.GetText(QStringLiteral("sBBM"),
                                          QStringLiteral("同学, 你吗帮帮忙, 这个 Procedure 是专门给TSelectPanel元件用的!")),
                            mtError, {mbOK});
        return;
    }
    Variant result;
    form_.LookupData(table, kind, result, list, extra, keys);
    if (result.isEmptyOrNull())
        return;
    // The answer is one value, one row or a list of rows.
    QList<Variant> rows;
    if (!result.isArray()) {
        rows << Variant::list({result});
    } else {
        bool nested = result.count() > 0;
        for (int i = result.lowBound(); i <= result.highBound(); ++i)
            nested = nested && result[i].isArray();
        if (nested)
            for (int i = result.lowBound(); i <= result.highBound(); ++i)
                rows << result[i];
        else
            rows << result;
    }
    if (rows.isEmpty())
        return;
    const bool toList = control == panel->ListBox || panel->ListBox->isAncestorOf(control);
    if (toList) {
        for (const Variant& row : rows) {
            QStringList cells;
            const int last = list ? row.highBound() : std::min(row.highBound(), row.lowBound() + 3);
            for (int i = row.lowBound(); i <= last; ++i)
                cells << VarToQStr(row[i]);
            panel->AddValues(cells);
        }
        return;
    }
    const Variant& first = rows.first();
    const QString text = first.count() > 0 ? VarToQStr(first[first.lowBound()]) : QString();
    if (control == panel->edFinal || panel->edFinal->isAncestorOf(control))
        panel->edFinal->SetText(text);
    else
        panel->edBegin->SetText(text);
}

bool TControlValues::applyControlValue(QWidget* control, const Variant& value)
{
    // Compact dates of date and year-month fields are shown in the user's format.
    const auto shown = [&](const Variant& v) {
        const QString text = VarToQStr(v);
        for (QWidget* w = control; w && w != &form_; w = w->parentWidget()) {
            const QString listed = w->objectName();
            if (nameListed(form_.DateFields, listed) && text.size() == 8 && IsValidCompactDate(Utf8(text)))
                return QString::fromStdString(DateToDisplayText(form_.GetDateFormat(), Utf8(form_.GetDateSeparator()), CompactToDate(Utf8(text))));
            static const QRegularExpression eightDigits(QStringLiteral("^\\d{8}$"));
            if (nameListed(form_.DateFields, listed) && eightDigits.match(text).hasMatch())
                return digitsAsDate(text, form_.GetDateFormat(), form_.GetDateSeparator());
            if (nameListed(form_.MonthFields, listed) && text.size() == 6 && IsValidCompactDate(Utf8(text + QStringLiteral("01"))))
                return QString::fromStdString(MonthToDisplayText(form_.GetDateFormat(), Utf8(form_.GetDateSeparator()),
                                                                 CompactToDate(Utf8(text + QStringLiteral("01")))));
        }
        return text;
    };

    if (auto* panel = qobject_cast<TSelectPanel*>(control)) {
        const QString marker = markerOf(value);
        if (marker == QLatin1String(kListMarker)) {
            if (panel->Style() == TSelectPanel::sp_Range)
                return false;
            if (panel->Style() == TSelectPanel::sp_UserChoice)
                panel->SetUserChoice(false);
            panel->ListBox->ClearItems();
            for (int i = value.lowBound() + 1; i <= value.highBound(); ++i) {
                const Variant& item = value[i];
                QStringList cells;
                if (item.isArray())
                    for (int k = item.lowBound(); k <= item.highBound(); ++k)
                        cells << VarToQStr(item[k]);
                else
                    cells << VarToQStr(item);
                panel->AddValues(cells);
            }
            return true;
        }
        Variant low, high;
        if (marker == QLatin1String(kRangeMarker)) {
            low = value.count() > 1 ? value[value.lowBound() + 1] : Variant();
            high = value.count() > 2 ? value[value.lowBound() + 2] : Variant();
        } else if (value.isArray()) {
            // A plain pair: a third value would be dropped unseen.
            if (value.count() != 2)
                return false;
            low = value[value.lowBound()];
            high = value[value.lowBound() + 1];
        } else {
            low = value;
        }
        if (value.isEmptyOrNull()) {
            panel->edBegin->SetText(QString());
            panel->edFinal->SetText(QString());
            panel->ListBox->ClearItems();
            return true;
        }
        if (panel->Style() == TSelectPanel::sp_Discrete)
            return false;
        const QString begin = shown(low), end = shown(high);
        if (!fits(panel->edBegin, begin) || !fits(panel->edFinal, end))
            return false;
        if (panel->Style() == TSelectPanel::sp_UserChoice)
            panel->SetUserChoice(true);
        panel->edBegin->SetText(begin);
        panel->edFinal->SetText(end);
        return true;
    }
    if (value.isArray())
        return false;
    if (auto* combo = qobject_cast<QComboBox*>(control); combo || FindProperty(control, QStringLiteral("ItemIndex")).isValid()) {
        int index = -1;
        if (!value.isEmptyOrNull()) {
            bool ok = false;
            index = VarToQStr(value).trimmed().toInt(&ok);
            if (!ok) {
                if (!combo)
                    return false;
                index = combo->findText(VarToQStr(value));
                if (index < 0)
                    return false;
            }
        }
        if (combo) {
            if (index < -1 || index >= combo->count())
                return false;
            combo->setCurrentIndex(index);
            return true;
        }
        return SetOrdinalProperty(control, QStringLiteral("ItemIndex"), index);
    }
    if (FindProperty(control, QStringLiteral("Checked")).isValid()) {
        bool ok = false;
        const bool checked = readFlag(value, ok);
        return ok && SetOrdinalProperty(control, QStringLiteral("Checked"), checked ? 1 : 0);
    }
    if (FindProperty(control, QStringLiteral("Text")).isValid()) {
        const QString text = shown(value);
        return fits(control, text) && SetStringProperty(control, QStringLiteral("Text"), text);
    }
    if (FindProperty(control, QStringLiteral("Lines")).isValid())
        return SetPropertyValue(control, QStringLiteral("Lines"), VarToQStr(value).split(QRegularExpression(QStringLiteral("\r\n|\n|\r"))));
    return false;
}

bool TControlValues::applyByName(const Variant& texts, const Variant& data)
{
    // First every name is checked, so that bad input changes nothing.
    QList<QPair<QWidget*, Variant>> targets;
    QList<QPair<QWidget*, Variant>> actions;
    bool passed = texts.isArray();
    for (int i = texts.isArray() ? texts.lowBound() : 0; passed && i <= texts.highBound(); ++i) {
        const Variant& entry = texts[i];
        if (!entry.isArray() || entry.count() < 2)
            continue;
        const QString name = VarToQStr(entry[entry.lowBound() + 1]);
        QObject* control = form_.FindComponent(name);
        auto* widget = qobject_cast<QWidget*>(control);
        const bool action = widget && form_.TakesAction(widget);
        if (!action && !settable(control)) {
            Refuse(name);
            passed = false;
            break;
        }
        const Variant value =
            data.isArray() && i >= data.lowBound() && i <= data.highBound() ? data[i] : Variant();
        (action ? actions : targets).append({widget, value});
    }
    applied_.clear();
    for (const auto& [control, value] : targets) {
        if (!passed)
            break;
        passed = applyOne(control, value);
        applied_.append({control, value});
    }
    for (const auto& [control, value] : actions) {
        if (!passed)
            break;
        passed = form_.ApplyAction(control, value);
    }
    return passed;
}

void TControlValues::Refuse(const QString& name)
{
    refused_ = true;
    form_.ReportMessage(QStringLiteral("W;000014;") + name);
}

bool TControlValues::ApplyCommandArray(const Variant& cmd)
{
    refused_ = true;
    applied_.clear();
    if (!cmd.isArray() || cmd.count() <= 1 || !cmd[cmd.lowBound() + 1].isArray())
        return false;
    refused_ = false;
    bool byName = true;
    try {
        byName = cmd[cmd.lowBound()].toBool();
    } catch (const std::exception&) {
        byName = true;
    }
    form_.ApplyByName = byName;
    const Variant& values = cmd[cmd.lowBound() + 1];
    if (!byName) {
        refused_ = !form_.ApplyValues(values);
        return !refused_;
    }
    return applyByName(values.count() > 0 ? values[values.lowBound()] : Variant(),
                       values.count() > 1 ? values[values.lowBound() + 1] : Variant());
}

bool TControlValues::applyOne(QWidget* control, const Variant& value)
{
    const QString text = valueText(value);
    const bool refusedBefore = refused_;
    form_.BeforeApplyValue(control, text);
    // The job may refuse the value before it is set (RefuseParam).
    if (refused_ && !refusedBefore)
        return false;
    if (!applyControlValue(control, value)) {
        Refuse(control->objectName());
        return false;
    }
    form_.AfterApplyValue(control, text);
    return true;
}

bool TControlValues::ApplyAgainWithin(QWidget* page)
{
    for (const auto& [control, value] : applied_) {
        if (!control || !page->isAncestorOf(control))
            continue;
        // A control the page left disabled takes no part in the run: its value would not
        // be used, and the run would do more than it was told.
        if (!control->isEnabled()) {
            Refuse(control->objectName());
            return false;
        }
        if (!applyOne(control, value))
            return false;
    }
    return true;
}
