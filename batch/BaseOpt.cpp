#include "batch/BaseOpt.h"

TfrmBaseOpt::TfrmBaseOpt(QWidget* owner) : TfrmBaseGene(owner) {}
