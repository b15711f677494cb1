#include "batch/DateRuleEdit.h"
#include "batch/BaseOpt.h"
#include "batch/BaseOptU.h"
#include "batch/PeriodSchedule.h"
#include "jobform/BaseGeneU.h"

#include "config/QtVariant.h"
#include "controls/BtChkBox.h"
#include "controls/QvSpin.h"
#include "controls/QvrEdit.h"
#include "controls/SelectPnl.h"

#include <QFrame>
#include <QGroupBox>

namespace DateRuleEdit {

void Fill(TfrmBaseOpt& form, const Variant& texts)
{
    form.DateRuleList.clear();
    form.cbocondition->clear();
    const auto currentSingle = [&form] {
        return DateRule{form.edChangeDate->Checked(), numberOf(spinText(form.seDay1)), form.cboDay1->ItemIndex(),
                        form.cboDay2->ItemIndex(), numberOf(spinText(form.seDay2))};
    };
    const auto currentStart = [&form] {
        return DateRule{form.spChangeDate_B->Checked(), numberOf(spinText(form.seDay_B1)),
                        form.cboDay_B1->ItemIndex(), form.cboDay_B2->ItemIndex(), numberOf(spinText(form.seDay_B2))};
    };
    const auto currentEnd = [&form] {
        return DateRule{form.spChangeDate_E->Checked(), numberOf(spinText(form.seDay_E1)),
                        form.cboDay_E1->ItemIndex(), form.cboDay_E2->ItemIndex(), numberOf(spinText(form.seDay_E2))};
    };
    const auto addLines = [&](const QString& name, const QString& granularity) {
        QObject* control = form.FindComponent(name);
        if (auto* panel = qobject_cast<TSelectPanel*>(control)) {
            form.cbocondition->addItem(panel->Caption());
            form.DateRuleList << RangeRuleLine(name, currentStart(), currentEnd(), granularity);
            return;
        }
        if (!control)
            return;
        for (int j = texts.lowBound(); j <= texts.highBound(); ++j) {
            const Variant& entry = texts[j];
            if (!entry.isArray() || entry.count() < 2)
                continue;
            if (VarToQStr(entry[entry.lowBound() + 1]).compare(name, Qt::CaseInsensitive) != 0)
                continue;
            form.cbocondition->addItem(VarToQStr(entry[entry.lowBound()]));
            form.DateRuleList << SingleRuleLine(name, currentSingle(), granularity);
        }
    };
    // The framework's own date controls move with nothing.
    static const QStringList own{QStringLiteral("EDDATE"), QStringLiteral("MESTARTDATE"),
                                 QStringLiteral("MEENDDATE"), QStringLiteral("EDPRINTDATE")};
    for (const QString& name : namesOf(form.DateFields))
        if (!own.contains(name.toUpper()))
            addLines(name, QStringLiteral("D"));
    form.cboDay_B1->SetItemIndex(1);
    form.cboDay1->SetItemIndex(1);
    for (const QString& name : namesOf(form.MonthFields))
        addLines(name, QStringLiteral("M"));
    if (form.cbocondition->count() == 0) {
        form.gbDynamicFields->setEnabled(false);
    } else {
        form.cbocondition->SetItemIndex(0);
        form.cboconditionChange(form.cbocondition);
        form.gbDynamicFields->setEnabled(true);
    }
}

QString SelectedLine(const TfrmBaseOpt& form)
{
    const int i = form.cbocondition->ItemIndex();
    return i >= 0 && i < form.DateRuleList.size() ? form.DateRuleList[i] : QString();
}

void LoadSelected(TfrmBaseOpt& form)
{
    form.RuleEditing = false;
    try {
        const QString line = SelectedLine(form);
        if (line.isEmpty())
            return;
        const QStringList f = RuleFields(line);
        const auto load = [](const DateRule& r, TBitCheckBox* box, TQvSpinEdit* count, TQvComboBox* unit,
                             TQvComboBox* mode, TQvSpinEdit* days) {
            box->SetChecked(r.moves);
            count->SetText(QString::number(r.count));
            unit->SetItemIndex(r.unit);
            mode->SetItemIndex(r.mode);
            days->SetText(QString::number(r.days));
        };
        if (!IsRangeRule(line)) {
            form.pnSp->hide();
            const DateRule r = RuleAt(f, 3);
            form.edChangeDate->SetChecked(r.moves);
            form.edChangeDateClick(nullptr);
            load(r, form.edChangeDate, form.seDay1, form.cboDay1, form.cboDay2, form.seDay2);
            form.cboDay2Change(nullptr);
        } else {
            form.pnSp->show();
            const DateRule start = RuleAt(f, 3);
            const DateRule end = RuleAt(f, 8);
            form.spChangeDate_B->SetChecked(start.moves);
            form.spChangeDate_BClick(nullptr);
            load(start, form.spChangeDate_B, form.seDay_B1, form.cboDay_B1, form.cboDay_B2, form.seDay_B2);
            form.cboDay_B2Change(nullptr);
            form.spChangeDate_E->SetChecked(end.moves);
            form.spChangeDate_EClick(nullptr);
            load(end, form.spChangeDate_E, form.seDay_E1, form.cboDay_E1, form.cboDay_E2, form.seDay_E2);
            form.cboDay_E2Change(nullptr);
        }
        form.pnEdit->setVisible(!form.pnSp->isVisibleTo(form.gbDynamicFields));
        form.StoreDateRule();
    } catch (const std::exception&) {
    }
}

void Store(TfrmBaseOpt& form)
{
    const int i = form.cbocondition->ItemIndex();
    if (i < 0 || i >= form.DateRuleList.size())
        return;
    const QString old = form.DateRuleList[i];
    const QStringList f = RuleFields(old);
    const QString name = f.value(1);
    if (!IsRangeRule(old)) {
        form.DateRuleList[i] = SingleRuleLine(name,
                                              {form.edChangeDate->Checked(), numberOf(spinText(form.seDay1)),
                                               form.cboDay1->ItemIndex(), form.cboDay2->ItemIndex(),
                                               numberOf(spinText(form.seDay2))},
                                              f.value(7));
    } else {
        form.DateRuleList[i] = RangeRuleLine(name,
                                             {form.spChangeDate_B->Checked(), numberOf(spinText(form.seDay_B1)),
                                              form.cboDay_B1->ItemIndex(), form.cboDay_B2->ItemIndex(),
                                              numberOf(spinText(form.seDay_B2))},
                                             {form.spChangeDate_E->Checked(), numberOf(spinText(form.seDay_E1)),
                                              form.cboDay_E1->ItemIndex(), form.cboDay_E2->ItemIndex(),
                                              numberOf(spinText(form.seDay_E2))},
                                             f.value(12));
    }
}

void EnableRule(TBitCheckBox* box, TQvSpinEdit* count, TQvComboBox* unit, TQvComboBox* mode, TQvSpinEdit* days,
                bool dayGranularity, bool rangeEnd)
{
    const bool on = box->Checked();
    count->setEnabled(on);
    if (dayGranularity) {
        unit->setEnabled(on);
        mode->setEnabled(on);
        days->setEnabled(on && mode->ItemIndex() == 0);
    } else {
        // A year-and-month date moves by months alone.
        unit->setEnabled(false);
        mode->setEnabled(false);
        days->setEnabled(false);
        if (rangeEnd)
            unit->SetItemIndex(1);
    }
}

Variant RequestRules(TfrmBaseOpt& form, const Variant& texts)
{
    const int n = int(form.DateRuleList.size());
    Variant rules = Variant::array(0, n);
    rules[0] = form.cbocondition->count();
    for (int i = 0; i < n; ++i) {
        // An earlier submission's index is replaced, not followed by a second one.
        QString line = RuleWithoutIndex(form.DateRuleList[i]);
        const QString name = RuleFields(line).value(1);
        for (int j = texts.lowBound(); j <= texts.highBound(); ++j) {
            const Variant& entry = texts[j];
            if (entry.isArray() && entry.count() > 1
                && VarToQStr(entry[entry.lowBound() + 1]).compare(name, Qt::CaseInsensitive) == 0)
                line += RuleFieldSeparator + QString::number(j);
        }
        form.DateRuleList[i] = line;
        rules[i + 1] = QStrToVar(line);
    }
    return rules;
}

} // namespace DateRuleEdit
