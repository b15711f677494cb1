#pragma once
// The installation a server program is started on (--install DIR): DIR/registry.ini holds
// the machine keys (Software\QVR\Brisko, ServerPath), the server folder BriskoS.ini.

#include "serverdb/ServerDatabase.h"

#include <string>

// Points this process at the installation (QV_REGISTRY, and QV_CLASS_TABLE when
// DIR/classes.ini exists) and answers the database settings of its server configuration.
// Exception, saying what is missing, when DIR is no installation or has no system database.
ServerDbSettings OpenInstallation(const std::string& dir);
