#pragma once
// The candidate list of the write-off form's last page: the open documents the pages'
// conditions give, listed into the grid; the find box that narrows the rows in sight; the
// ticks and their totals in cdsSum; and the chosen documents the request carries.

#include "platform/Variant.h"

#include <QString>

class TField;
class TfrmWOFB07;

namespace CandidateList {

// No candidates, and totals of nothing.
void Reset(TfrmWOFB07& form);
// Lists the candidates afresh (CandidateSql), seen whole: the find box is cleared.
void Load(TfrmWOFB07& form);
// The rows in sight are those the find box finds.
void ApplyFind(TfrmWOFB07& form);
// A row's tick changed: its amounts go into or out of the totals.
void TickChanged(TfrmWOFB07& form, TField* sender);
// Every row ticked ("Y") or not ("N"), the totals with them.
void SetTicks(TfrmWOFB07& form, const QString& value);
// The chosen documents: type and number joined, in grid order; ["NN"] when none.
Variant ChosenDocuments(TfrmWOFB07& form);

} // namespace CandidateList
