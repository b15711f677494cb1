#pragma once
// The date rules of the run-options form's periodic page: for each condition that holds a
// date or a year and month, how it moves with each run (BaseOptU.h has the rule lines).
// cbocondition lists the conditions and DateRuleList their lines, in the same order; the
// rule controls beside it show and edit the line of the entry chosen. TfrmBaseOpt keeps
// its handlers by name and forwards to these.

#include "platform/Variant.h"

#include <QString>

class TBitCheckBox;
class TQvComboBox;
class TQvSpinEdit;
class TfrmBaseOpt;

namespace DateRuleEdit {

// A fresh page's conditions and their lines, from the date and month fields whose option
// texts (texts) name them; the first entry chosen.
void Fill(TfrmBaseOpt& form, const Variant& texts);
// The line of the entry chosen; empty when none.
QString SelectedLine(const TfrmBaseOpt& form);
// The rule controls show the chosen entry's line (cboconditionChange).
void LoadSelected(TfrmBaseOpt& form);
// The chosen entry's line from the rule controls (StoreDateRule).
void Store(TfrmBaseOpt& form);
// The enabled state of one rule's controls after its check box changed.
void EnableRule(TBitCheckBox* box, TQvSpinEdit* count, TQvComboBox* unit, TQvComboBox* mode, TQvSpinEdit* days,
                bool dayGranularity, bool rangeEnd);
// The rules a periodic request carries: [count of conditions, line, ...], each line
// followed by the index of its condition's option text; DateRuleList keeps them so.
Variant RequestRules(TfrmBaseOpt& form, const Variant& texts);

} // namespace DateRuleEdit
