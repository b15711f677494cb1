// Start-up of the write-off job library: binds the job form class.

#include "plugin/DLLBTCtrller.h"
#include "writeoff/WOFB07CF.h"

namespace {

TfrmBaseBatch* CreateWOFB07(QWidget* owner)
{
    return TQVForm::Create<TfrmWOFB07>(owner);
}

const bool bound = (frmBaseBatchClass = &CreateWOFB07, true);

} // namespace
