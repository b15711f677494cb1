#pragma once
// TfrmPortalUser ("Portal 用户信息查询"): picks one user of the portal's user list.

#include "batch/QVDialog.h"
#include "platform/Variant.h"

class QTableWidget;
class TBitBtn;

class TfrmPortalUser : public TfrmQVDialog {
    Q_OBJECT

public:
    // users: array 0..n-1 of [code, name].
    TfrmPortalUser(QWidget* owner, const Variant& users);

    QTableWidget* grUser = nullptr;
    TBitBtn* BitBtn1 = nullptr;
    TBitBtn* BitBtn2 = nullptr;
    // [code, name] of the current row when the dialog closed.
    Variant Chosen;

protected:
    void FormClose(QObject* sender, TCloseAction& action) override;
};

// OK: true and [code, name]; Cancel: false and the empty text.
bool PickPortalUser(QWidget* owner, const Variant& users, Variant& chosen);
