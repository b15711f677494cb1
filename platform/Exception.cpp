#include "platform/Exception.h"

// Out of line, so that the type information of these exceptions lives in the platform
// library alone and a host catches them by type from any plug-in.
Exception::~Exception() = default;
VariantError::~VariantError() = default;
AutomationError::~AutomationError() = default;
