#include "batch/BaseBatchCF.h"

TfrmBaseBatch::TfrmBaseBatch(QWidget* owner) : TfrmBaseOpt(owner) {}
