#include "writeoff/WOFB07CF.h"

TfrmWOFB07::TfrmWOFB07(QWidget* owner) : TfrmBaseBatch(owner)
{
    setObjectName(QStringLiteral("frmWOFB07"));
}
