// VostelWorkCenter.so: the session object as an in-process automation class, for job
// forms that run without the host shell (exe mode) and find their session by ProgID
// through the class table:
//     [Classes]
//     VostelWorkCenter.Manager=VostelWorkCenter.so

#include "host/HostSession.h"

extern "C" __attribute__((visibility("default"))) void OleRegisterClasses()
{
    RegisterHostSessionClass();
}
