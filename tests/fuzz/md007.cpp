// Notification definitions (MD007 texts): any text either gives a notification or the
// error the direct run ends on; nothing else escapes. A notification names its receivers
// in XML that reads back.

#include "FuzzSupport.h"

#include "platform/Exception.h"
#include "support/NotificationQueue.h"

#include <pugixml.hpp>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    NotificationContent content;
    try {
        content = ParseNotificationDefinition(text);
    } catch (const Exception&) {
        return 0;
    }
    fuzz::check(content.text.find("[**********]") == std::string::npos, "markers leave the message text",
                content.text);
    pugi::xml_document doc;
    fuzz::check(bool(doc.load_string(content.receivers.c_str())), "the receivers are XML", content.receivers);
    return 0;
}
