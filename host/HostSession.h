#pragma once
// The host shell's session object ("VostelWorkCenter.Manager"): what a job form asks of
// the host. This first version answers the version and product properties only.

#include "platform/Automation.h"

class HostSession : public DispatchObject {
public:
    HostSession();

    int VersionType = 1;
    int ProductID = 3;
};
