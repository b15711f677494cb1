#pragma once
// The values of a job form's controls as condition values: select panels put into the
// option values of a run (a range [#4, begin, end] or a list [#5, row, ...]), filled from a
// look-up, and every kind of control set from a value handed in from outside, by name, as
// a host's ApplyParams packet carries it.

#include "platform/Variant.h"

#include <QList>
#include <QPair>
#include <QPointer>
#include <QString>

class QObject;
class QWidget;
class TfrmBaseGene;
class TSelectPanel;

class TControlValues {
public:
    explicit TControlValues(TfrmBaseGene& form);

    // Two date texts as a compact range, the earlier first.
    void PutDateRange(const QString& beginText, const QString& endText, Variant& values, int index);
    // The panel's range or list; removeText is taken out of every text (and a masked
    // edit's literals with it). An index below 0 replaces values as a whole.
    void PutMaskedPanelValue(TSelectPanel* panel, Variant& values, const QString& removeText, int index);
    // A look-up's answer into the select panel the control belongs to: its list, or the
    // edit the control is.
    void LookupIntoPanel(QWidget* control, const QString& table, const QString& kind, bool list,
                         const QString& extra, const Variant& keys);

    // The values of an ApplyParams packet's command array into the controls (see
    // TfrmBaseGene::ApplyParams); false when a name or a value was refused.
    bool ApplyCommandArray(const Variant& commandArray);
    // The values of the last command array for the controls inside page set again, with
    // their checks: a job calls it when showing a page whose defaults replace them. A
    // control the page left disabled, or a value refused, reports "W;000014" and gives false.
    bool ApplyAgainWithin(QWidget* page);
    // Reports "W;000014" with the name: the hand-over named a control the form lacks or
    // gave a value it cannot take.
    void Refuse(const QString& name);
    // Whether the last command array was refused so (rather than stopped by a check).
    bool Refused() const { return refused_; }

private:
    // Sets a control from a value handed in from outside; false when it cannot take it.
    bool applyControlValue(QWidget* control, const Variant& value);
    bool applyByName(const Variant& texts, const Variant& data);
    bool applyOne(QWidget* control, const Variant& value);

    // The controls the last command array set by name, with their values.
    QList<QPair<QPointer<QWidget>, Variant>> applied_;
    bool refused_ = false;

    TfrmBaseGene& form_;
};
