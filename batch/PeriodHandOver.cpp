#include "batch/PeriodHandOver.h"
#include "batch/BaseOpt.h"

#include "config/QtVariant.h"
#include "controls/BtChkBox.h"
#include "controls/Buttons.h"
#include "controls/ExtPage.h"
#include "controls/MaskEdit.h"
#include "controls/QvRadioButton.h"
#include "controls/QvrEdit.h"

#include <QGroupBox>

namespace {

// A flag as a run file writes it: true/false, or 1/0.
bool readFlag(const Variant& value, bool& flag)
{
    try {
        if (value.type() == VarType::Bool) {
            flag = value.toBool();
            return true;
        }
        if (value.isNumeric() || value.isString()) {
            const int n = value.toInt();
            flag = n != 0;
            return n == 0 || n == 1;
        }
    } catch (const std::exception&) {
    }
    return false;
}

bool readInt(const Variant& value, int low, int high, int& out)
{
    try {
        if (value.isArray() || value.isEmptyOrNull())
            return false;
        out = value.toInt();
        return out >= low && out <= high;
    } catch (const std::exception&) {
        return false;
    }
}

// Five values from first on: moves, count, unit, day, days.
bool readRule(const Variant& item, int first, bool months, DateRule& rule)
{
    if (!readFlag(item[first], rule.moves) || !readInt(item[first + 1], -999, 999, rule.count)
        || !readInt(item[first + 2], 0, 1, rule.unit) || !readInt(item[first + 3], 0, 2, rule.mode)
        || !readInt(item[first + 4], -999, 999, rule.days))
        return false;
    // A year-and-month date moves by whole months alone, as its controls allow.
    return !months || (rule.unit == 1 && rule.mode == 0 && rule.days == 0);
}

} // namespace

TPeriodHandOver::TPeriodHandOver(TfrmBaseOpt& form) : form_(form) {}

bool TPeriodHandOver::TakesAction(QWidget* control) const
{
    return control && (control == form_.btnPeriod || control == form_.cbocondition);
}

Variant TPeriodHandOver::handed(const QString& name) const
{
    const Variant& cmd = form_.CommandArray;
    if (!cmd.isArray() || cmd.count() < 2 || !form_.ApplyByName)
        return {};
    const Variant& values = cmd[cmd.lowBound() + 1];
    if (!values.isArray() || values.count() < 2)
        return {};
    const Variant& texts = values[values.lowBound()];
    const Variant& data = values[values.lowBound() + 1];
    if (!texts.isArray() || !data.isArray())
        return {};
    for (int i = texts.lowBound(); i <= texts.highBound(); ++i) {
        const Variant& entry = texts[i];
        if (entry.isArray() && entry.count() > 1
            && VarToQStr(entry[entry.lowBound() + 1]).compare(name, Qt::CaseInsensitive) == 0)
            return i >= data.lowBound() && i <= data.highBound() ? data[i] : Variant();
    }
    return {};
}

bool TPeriodHandOver::pressPeriod(bool down)
{
    if (form_.btnPeriod->Down() == down)
        return true;
    if (!form_.btnPeriod->isEnabled())
        return false;
    // The press puts today into the start date, as for the clerk; a start handed in stays.
    const QString start = form_.meStartDate->Text();
    form_.btnPeriod->click();
    if (down && !handed(QStringLiteral("meStartDate")).isEmptyOrNull())
        form_.meStartDate->SetText(start);
    return form_.btnPeriod->Down() == down;
}

bool TPeriodHandOver::isRuleControl(QWidget* control) const
{
    return control != form_.cbocondition && form_.gbDynamicFields->isAncestorOf(control);
}

void TPeriodHandOver::BeforeApplyValue(QWidget* control)
{
    if (!control || !form_.tsPeriodOption->isAncestorOf(control))
        return;
    bool down = false;
    // The page's values take part in a periodic job only: alone they would be dropped unseen.
    if (!readFlag(handed(QStringLiteral("btnPeriod")), down) || !down) {
        form_.RefuseParam(control->objectName());
        return;
    }
    // The page gets its defaults first, as the press would give them; the press itself
    // comes after every other value, as the clerk's does.
    if (form_.PeriodPageFresh)
        form_.PreparePeriodPage();
    if (!isRuleControl(control))
        return;
    const Variant entry = handed(QStringLiteral("cbocondition"));
    if (entry.isArray() || entry.isEmptyOrNull() || !choose(entry))
        form_.RefuseParam(control->objectName());
}

void TPeriodHandOver::AfterApplyValue(QWidget* control)
{
    if (!control || !isRuleControl(control))
        return;
    form_.edChangeDateClick(nullptr);
    form_.spChangeDate_BClick(nullptr);
    form_.spChangeDate_EClick(nullptr);
    form_.StoreDateRule();
}

int TPeriodHandOver::entryOf(const Variant& entry) const
{
    TQvComboBox* list = form_.cbocondition;
    if (entry.isNumeric()) {
        int i = -1;
        return readInt(entry, 0, list->count() - 1, i) ? i : -1;
    }
    const QString name = VarToQStr(entry).trimmed();
    for (int i = 0; i < form_.DateRuleList.size(); ++i)
        if (RuleFields(form_.DateRuleList[i]).value(1).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return list->findText(name);
}

bool TPeriodHandOver::choose(const Variant& entry)
{
    const int i = entryOf(entry);
    if (i < 0 || i >= form_.DateRuleList.size())
        return false;
    if (form_.cbocondition->ItemIndex() != i) {
        form_.cbocondition->SetItemIndex(i);
        form_.cboconditionChange(form_.cbocondition);
    }
    return true;
}

bool TPeriodHandOver::applyRules(const Variant& list)
{
    // Every rule is read before any is changed: bad input changes nothing.
    QStringList lines = form_.DateRuleList;
    int from = list.lowBound();
    if (list.count() > 0 && !list[from].isArray() && VarToStr(list[from]) == "\x05")
        ++from; // {"list": [...]}
    for (int k = from; k <= list.highBound(); ++k) {
        const Variant& item = list[k];
        if (!item.isArray() || item.count() < 1)
            return false;
        const int i = entryOf(item[item.lowBound()]);
        if (i < 0 || i >= lines.size())
            return false;
        const QString line = RuleWithoutIndex(lines[i]);
        const QString name = RuleFields(line).value(1);
        const QString granularity = RuleGranularity(line);
        const bool months = granularity == QLatin1String("M");
        const int first = item.lowBound() + 1;
        DateRule start, end;
        if (!IsRangeRule(line)) {
            if (item.count() != 6 || !readRule(item, first, months, start))
                return false;
            lines[i] = SingleRuleLine(name, start, granularity);
        } else {
            if (item.count() != 11 || !readRule(item, first, months, start) || !readRule(item, first + 5, months, end))
                return false;
            lines[i] = RangeRuleLine(name, start, end, granularity);
        }
    }
    form_.DateRuleList = lines;
    if (form_.cbocondition->count() > 0)
        form_.cboconditionChange(form_.cbocondition);
    return true;
}

void TPeriodHandOver::settle()
{
    TfrmBaseOpt& f = form_;
    if (f.rdoEveryWeek->Checked())
        f.rdoEveryWeekClick(f.rdoEveryWeek);
    else if (f.rdoEveryMonth->Checked())
        f.rdoEveryMonthClick(f.rdoEveryMonth);
    else if (f.rbEveryHour->Checked())
        f.rbEveryHourClick(f.rbEveryHour);
    else
        f.rdoEverydayClick(f.rdoEveryday);
    if (f.rdoEveryMonth->Checked())
        f.rdomonth_2->Checked() ? f.rdomonth_2Click(f.rdomonth_2) : f.rdomonth_1Click(f.rdomonth_1);
    if (f.rbCycleRang_2->Checked())
        f.rbCycleRang_2Click(f.rbCycleRang_2);
    else if (f.rbCycleRang_3->Checked())
        f.rbCycleRang_3Click(f.rbCycleRang_3);
    else
        f.rbCycleRang_1Click(f.rbCycleRang_1);
    f.edDate->SetText(f.meStartDate->Text());
    f.showNextRuns();
}

bool TPeriodHandOver::ApplyAction(QWidget* control, const Variant& value)
{
    if (control == form_.btnPeriod) {
        bool down = false;
        if (!readFlag(value, down) || !pressPeriod(down)) {
            form_.RefuseParam(control->objectName());
            return false;
        }
        if (down)
            settle();
        return !form_.HandOverChecksRefused();
    }
    if (control != form_.cbocondition)
        return false;
    bool down = false;
    bool ok = readFlag(handed(QStringLiteral("btnPeriod")), down) && down;
    if (ok && form_.PeriodPageFresh)
        form_.PreparePeriodPage();
    ok = ok && (value.isArray() ? applyRules(value) : choose(value));
    if (!ok)
        form_.RefuseParam(control->objectName());
    return ok;
}
