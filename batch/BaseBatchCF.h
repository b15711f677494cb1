#pragma once
// TfrmBaseBatch: the form class every batch job descends from.

#include "batch/BaseOpt.h"

class TfrmBaseBatch : public TfrmBaseOpt {
    Q_OBJECT

public:
    explicit TfrmBaseBatch(QWidget* owner = nullptr);
};
