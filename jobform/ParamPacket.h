#pragma once
// The parameter packet, both ways. Out: the job request the form hands over,
// [environment, option texts, option values], each array as the job collected it and
// checked complete (CollectParams). In: a packet a host hands in to run the job
// unattended (ApplyParams): its values set by name, then OK pressed or the command run,
// and the checks that refused a value counted from the start of the hand-over.

#include "platform/Variant.h"

class TfrmBaseGene;
enum class TApplyOutcome;

class TParamPacket {
public:
    explicit TParamPacket(TfrmBaseGene& form);

    // ParamPacket from the job's environment, texts and values; false (said) when one
    // could not be collected or came back incomplete.
    bool Collect();
    TApplyOutcome Apply(const Variant& packet);
    // Whether an error or a warning was shown since the running hand-over began.
    bool ChecksRefused() const;

private:
    TfrmBaseGene& form_;
    // The problems shown before the running hand-over began.
    int problemsBefore_ = 0;
};
