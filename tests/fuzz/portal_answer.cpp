// The portal's answers to the user-list request: any text is XML with a status, XML
// without success, or no XML; users are those records with an Id.

#include "FuzzSupport.h"

#include "batch/PortalAnswer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const PortalAnswer a = ReadPortalAnswer(text);
    if (a.status != PortalAnswer::Status::Ok)
        fuzz::check(a.users.empty() && a.skipped == 0, "a failed answer names no users");
    for (const PortalUserRecord& u : a.users)
        fuzz::check(!u.id.empty(), "every user taken has an Id");
    return 0;
}
