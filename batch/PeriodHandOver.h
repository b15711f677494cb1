#pragma once
// The periodic page handed in from outside (ApplyParams, jobhost --run): btnPeriod takes
// true or false and is pressed as the clerk presses it; the page is set up before the
// first of its controls takes a value, so that its own defaults do not replace them. The
// date rules are set by cbocondition: an entry (its index, the condition's control name or
// its caption) whose rule the rule controls named beside it give, or a list of whole rules,
// one an entry: [entry, moves, count, unit, day, days] for a date, and for a range the
// start's five and the end's five (moves true/false; count in weeks or months, may be
// negative; unit 0 weeks, 1 months; day 0 plus days, 1 first day, 2 last day).

#include "batch/BaseOptU.h"

#include <QString>

class QWidget;
class TfrmBaseOpt;

class TPeriodHandOver {
public:
    explicit TPeriodHandOver(TfrmBaseOpt& form);

    bool TakesAction(QWidget* control) const;
    // Presses btnPeriod or sets the rules; false (the control named) when refused.
    bool ApplyAction(QWidget* control, const Variant& value);
    // A control of the periodic page is refused unless the hand-over presses btnPeriod.
    void BeforeApplyValue(QWidget* control);
    void AfterApplyValue(QWidget* control);

private:
    // The value the current hand-over gives the control of that name; Empty when none.
    Variant handed(const QString& name) const;
    bool pressPeriod(bool down);
    // The entry of cbocondition an index, control name or caption names; -1 when none.
    int entryOf(const Variant& entry) const;
    bool choose(const Variant& entry);
    bool applyRules(const Variant& list);
    // The page's panels and checks follow the values handed in, as the clerk's clicks do.
    void settle();
    bool isRuleControl(QWidget* control) const;

    TfrmBaseOpt& form_;
};
