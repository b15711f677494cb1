#pragma once
// TfrmBaseOpt: the job form with run options. It hands jobs to the application server's
// job service, so it connects to that service and uses the look-up window service for its
// date pickers; it records whether a job was handed over.

#include "jobform/BaseGene.h"

class TfrmBaseOpt : public TfrmBaseGene {
    Q_OBJECT

public:
    // The job service every job with run options is handed to.
    static constexpr const char* JobServiceName = "ReportCounterS.dmReportCounter";

    explicit TfrmBaseOpt(QWidget* owner = nullptr);

    // 0 nothing handed over, 1 a job was handed over, 2 the user cancelled; read by the
    // controller when the form is destroyed, with the last job number.
    std::int32_t JobSubmitted = 0;
    Variant LastRequestNo;
    // Recipient XML of the users told when the job has finished.
    QString NotifyRecipients;

    void InitJob() override;
    void BeforeConnect(TSocketConnection* connection) override;
    void HandleF2Key(int key, QWidget* control) override;
    // Slots 9 to 12: job kind, run mode (0 queue, 1 at once, 2 at the given time), the
    // moment of the run, and the recipients when they are to be told.
    bool CollectEnvironment(Variant& environment) override;
};
