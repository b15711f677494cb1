#include "host/HostSession.h"

HostSession::HostSession()
{
    defineProperty("VersionType", [this] { return Variant(VersionType); });
    defineProperty("ProductID", [this] { return Variant(ProductID); });
}
