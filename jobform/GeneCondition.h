#pragma once
// TfrmGeneCondition: names a condition scheme before it is saved and ties the job's date
// conditions to the scheduled run date. Its caller reads Result() after ShowModal:
// [scheme name, date-field list, replace flag], or ["", "", ""] when it was cancelled.
// The rules themselves are written into the job form's DateRules as the user edits them.

#include "config/QVForm.h"
#include "platform/Variant.h"

#include <QStringList>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QWidget;
class TBitBtn;
class TQvSpinEdit;
class TfrmBaseGene;

class TfrmGeneCondition : public TQVForm {
    Q_OBJECT

public:
    // The last leaveOut names of dateFields (the ones the framework added) get no rule.
    TfrmGeneCondition(const QString& dateFields, int leaveOut, TfrmBaseGene* owner);

    QLineEdit* edConName = nullptr;
    QGroupBox* gbDateFields = nullptr;
    QComboBox* cbodatecondition = nullptr;
    QWidget* pnSp = nullptr;
    QCheckBox* spDate_B = nullptr;
    TQvSpinEdit* seSetDay_B1 = nullptr;
    QComboBox* cboSetDay_B1 = nullptr;
    QComboBox* cboSetDay_B2 = nullptr;
    TQvSpinEdit* seSetDay_B2 = nullptr;
    QCheckBox* spDate_E = nullptr;
    TQvSpinEdit* seSetDay_E1 = nullptr;
    QComboBox* cboSetDay_E1 = nullptr;
    QComboBox* cboSetDay_E2 = nullptr;
    TQvSpinEdit* seSetDay_E2 = nullptr;
    QWidget* pnEdit = nullptr;
    QCheckBox* edSetDate = nullptr;
    TQvSpinEdit* seSetDay1 = nullptr;
    QComboBox* cboSetDay1 = nullptr;
    QComboBox* cboSetDay2 = nullptr;
    TQvSpinEdit* seSetDay2 = nullptr;
    TBitBtn* btnOk = nullptr;
    TBitBtn* btnCancel = nullptr;

    Variant Result() const;
    // The controls' names of the entries of cbodatecondition, in order.
    const QStringList& Entries() const { return entries_; }

    void btnOkClick();
    void btnCancelClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void TextsApplied() override;

private:
    struct RuleControls {
        QCheckBox* tie;
        TQvSpinEdit* count;
        QComboBox* unit;
        QComboBox* adjust;
        TQvSpinEdit* days;
    };
    QWidget* buildRule(QWidget* parent, const QString& prefix, const QString& caption, RuleControls& rc,
                       const QString& tieName, const QString& countName, const QString& unitName,
                       const QString& adjustName, const QString& daysName);
    QString captionOf(QWidget* control, const Variant& texts) const;
    void showEntry(int index);
    void loadRule(const RuleControls& rc, const QStringList& fields, int first, bool fullDate);
    void enableRule(const RuleControls& rc, bool fullDate, bool endOfRange);
    void writeBack();
    void leaveSpin(TQvSpinEdit* spin);

    TfrmBaseGene& form_;
    QStringList entries_;
    RuleControls begin_{}, end_{}, single_{};
    bool loading_ = false;
    bool replace_ = false;
    QString name_;
    QString dateFields_;
};
