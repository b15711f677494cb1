#pragma once
// TfrmBaseOpt: the job form with run options. It records whether a job was handed over.

#include "jobform/BaseGene.h"

class TfrmBaseOpt : public TfrmBaseGene {
    Q_OBJECT

public:
    explicit TfrmBaseOpt(QWidget* owner = nullptr);

    // 0 nothing handed over, 1 a job was handed over, 2 the user cancelled; read by the
    // controller when the form is destroyed, with the last job number.
    std::int32_t JobSubmitted = 0;
    Variant LastRequestNo;
};
