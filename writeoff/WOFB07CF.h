#pragma once
// TfrmWOFB07: the accounts-payable write-off job form.

#include "batch/BaseBatchCF.h"

class TfrmWOFB07 : public TfrmBaseBatch {
    Q_OBJECT

public:
    explicit TfrmWOFB07(QWidget* owner = nullptr);
};
