#include "serverdb/Installation.h"

#include "platform/Exception.h"
#include "support/BriskoINI.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

ServerDbSettings OpenInstallation(const std::string& folder)
{
    std::error_code ec;
    const fs::path dir = fs::absolute(folder, ec);
    const fs::path registry = dir / "registry.ini";
    if (ec || !fs::is_directory(dir))
        throw Exception("the installation folder " + dir.string() + " does not exist");
    if (!fs::is_regular_file(registry))
        throw Exception(dir.string() + " is no installation: " + registry.string() + " is missing");
    setenv("QV_REGISTRY", registry.c_str(), 1);
    if (fs::is_regular_file(dir / "classes.ini"))
        setenv("QV_CLASS_TABLE", (dir / "classes.ini").c_str(), 1);

    // A settings file the server's user may not read would pass for one with the defaults.
    if (const TBriskoIniS ini; !ini.IniFileName.empty() && ::access(ini.IniFileName.c_str(), F_OK) == 0 &&
                               ::access(ini.IniFileName.c_str(), R_OK) != 0)
        throw Exception(ini.IniFileName + " cannot be read by this user: " + std::strerror(errno) +
                        " (qvsetup site --owner gives its group the server's user)");
    ServerDbSettings settings = ServerDatabase::fromConfiguration();
    if (!settings.error.empty())
        throw Exception(dir.string() + ": " + settings.error);
    ServerDatabase db(settings);
    if (db.isPostgres()) {
        try {
            if (!db.databaseExists(settings.systemDb))
                throw Exception("the PostgreSQL database " + settings.server.database + " has no system database "
                                + settings.systemDb + " (create it with qvsetup --database postgresql)");
        } catch (const DbError& e) {
            throw Exception(dir.string() + ": " + e.what());
        }
        return settings;
    }
    const std::string system = db.filePath(settings.systemDb);
    if (!fs::is_regular_file(system))
        throw Exception("the system database " + system + " does not exist (create it with qvsetup)");
    return settings;
}
