#pragma once
// The job form's keys and its closing. Enter walks the fields of the option page in tab
// order and, from the page's last field, steps forward as the job's step-forward button
// does (never onto Cancel); Esc, the window's close button and Cancel all end the job the
// same way, and when the clerk entered or ticked anything since the form was shown (or a
// scheme was opened) they ask first whether to drop it.

#include "config/Keys.h"
#include "platform/Variant.h"

class QWidget;
class TfrmBaseGene;

class TGeneKeys {
public:
    explicit TGeneKeys(TfrmBaseGene& form);

    // FormKeyDown's own keys: Esc, F1, F2, the page keys and Ctrl+Alt+V.
    void KeyDown(int& key, TShiftState shift);
    // Enter on the focus widget; true when it was used.
    bool Enter(QWidget* focus);

    // What the form shows now counts as nothing entered.
    void TakeSnapshot();
    bool SnapshotTaken() const { return snapshotTaken_; }
    // A field differs from the snapshot, or a candidate is ticked.
    bool ConditionsEntered();

    // The form closes itself (an initialisation that failed, a job that ends the form):
    // nothing to ask.
    void CloseByForm() { byForm_ = true; }
    // A close the clerk asked for: true when it may go on; asks first when conditions
    // were entered.
    bool CloseAllowed();

private:
    bool enterOnPage(QWidget* page, QWidget* focus);

    TfrmBaseGene& form_;
    Variant snapshot_;
    bool snapshotTaken_ = false;
    bool byForm_ = false;
};
