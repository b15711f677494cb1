#pragma once
// The company portal's user service as the job forms' recipient dialog calls it: the
// answer to "PORTAL.getAllUser" lists the installation's users in use, for a company the
// installation knows.

#include "db/Db.h"

#include <string>

// The answer XML (UTF-8): Status code "0" with one Record per user (Field "Id" and Field
// "Name", each in its attribute value); any other code with a Description when the method
// is unknown, the request unreadable or the company unknown.
std::string PortalAnswer(DbConnection& systemDb, const std::string& method, const std::string& request);
