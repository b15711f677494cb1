#pragma once
// TfrmQVDialog: the dialogs of the batch forms. Caption of the owner, F2, F3 and F4 (and
// the user messages 1034 to 1036) act on a control, Enter moves on.

#include "config/QVForm.h"

class QBoxLayout;
class TBitBtn;

class TfrmQVDialog : public TQVForm {
    Q_OBJECT

public:
    static constexpr int WM_F2 = 1034, WM_F3 = 1035, WM_F4 = 1036;

    explicit TfrmQVDialog(QWidget* owner = nullptr);

    // Each focuses the control when it can take the focus; derived dialogs open their
    // look-ups here.
    virtual void F2Action(QWidget* control);
    virtual void F3Action(QWidget* control);
    virtual void F4Action(QWidget* control);
    // User message 1034, 1035 or 1036 naming the control its second parameter names.
    void Perform(int message, QWidget* control);

protected:
    // The language files, then the texts the dialog looks up by key (KeyedTexts), then the
    // conversion for a traditional interface: a dialog is shown as the job form is.
    void FormShow(QObject* sender) override;
    virtual void KeyedTexts() {}
    // The row of the dialog's two buttons at the foot of layout: ok ("确定(&O)", BitBtn1,
    // whose click the dialog sets) and cancel ("取消(&C)", BitBtn2, closes with mrCancel).
    void AddOkCancelRow(QBoxLayout* layout, TBitBtn*& ok, TBitBtn*& cancel);
    void FormKeyDown(QObject* sender, int& key, TShiftState shift) override;
    void TextsApplied() override;
    void FormKeyPress(QObject* sender, QChar& key) override;
};
