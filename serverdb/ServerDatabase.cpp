#include "serverdb/ServerDatabase.h"

#include "db/PgDialect.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "support/BriskoINI.h"

#include <algorithm>
#include <cstdlib>
#include <cctype>
#include <filesystem>
#include <vector>

namespace {

std::string upperText(std::string_view s)
{
    std::string r(s);
    for (char& c : r)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return r;
}

std::string trimmed(std::string_view s)
{
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string_view::npos)
        return {};
    return std::string(s.substr(b, s.find_last_not_of(" \t") - b + 1));
}

// Paths in the configuration may end with either separator.
std::filesystem::path folderPath(std::string_view folder)
{
    std::string f(folder);
    while (f.size() > 1 && (f.back() == '\\' || f.back() == '/'))
        f.pop_back();
    return std::filesystem::path(f);
}

} // namespace

ServerDatabase::ServerDatabase(ServerDbSettings settings) : settings_(std::move(settings)) {}

ServerDatabase::~ServerDatabase() = default;

ServerDbSettings ServerDatabase::fromConfiguration()
{
    ServerDbSettings s;
    TBriskoIniS ini;
    if (ini.ServerPath.empty()) {
        s.error = ini.ErrorCode == "E;000015"
                      ? "The registry key Software\\QVR\\Brisko is missing (" + Registry::FilePath() + ")"
                      : std::string("The registry names no ServerPath");
        return s;
    }
    const Variant& dbe = ini.DBSettings;
    s.dbType = trimmed(VarToStr(dbe.at(0, 3)));
    const std::string systemDb = trimmed(VarToStr(dbe.at(0, 4)));
    if (!systemDb.empty())
        s.systemDb = systemDb;
    // The folder of the database files; the server folder itself when none is named.
    const std::string folder = trimmed(VarToStr(dbe.at(0, 5)));
    s.folder = (folder.empty() ? ini.ServerPath : ResolvePath(folder, ini.ServerPath));
    s.folder = folderPath(s.folder).lexically_normal().string();
    if (upperText(s.dbType) == "POSTGRESQL" || upperText(s.dbType) == "PGSQL") {
        const IniFile file(ini.IniFileName);
        std::string host = folder;
        std::string port = trimmed(file.ReadString("DBE Setting", "MainServerPort", ""));
        if (const auto colon = host.find_last_of(":,"); colon != std::string::npos) {
            port = trimmed(host.substr(colon + 1));
            host = trimmed(host.substr(0, colon));
        }
        s.server.host = host.empty() ? "127.0.0.1" : host;
        if (!port.empty())
            s.server.port = port;
        s.server.user = trimmed(VarToStr(dbe.at(0, 1)));
        s.server.password = VarToStr(dbe.at(0, 2));
        s.server.database = trimmed(file.ReadString("DBE Setting", "PostgresDatabase", ""));
        if (s.server.database.empty())
            s.server.database = PgSchemaName(s.systemDb);
        s.server.likeCollation = trimmed(file.ReadString("DBE Setting", "LikeCollation", ""));
        const int timeout = dbe.at(0, 6).isEmptyOrNull() ? 0 : dbe.at(0, 6).toInt();
        if (timeout > 0)
            s.server.connectTimeoutS = std::min(timeout, 600);
    }
    ini.GetWorkDLLPaths(s.libraryFolders);
    s.dbCodePage = std::atoi(ini.DBCodePage.c_str());
    if (s.dbCodePage <= 0)
        s.dbCodePage = 936;
    s.busyTimeoutMs = ini.BusyTimeOut;
    s.jobTimeLimitSeconds = ini.JobTimeLimit;
    s.limits.timeMs = ini.QueryTimeOut;
    s.limits.rows = ini.QueryMaxRows;
    s.limits.bytes = ini.QueryMaxBytes;
    s.limits.memory = ini.QueryMaxMemory;
    return s;
}

bool ServerDatabase::isValidDatabaseName(std::string_view name)
{
    if (name.empty() || name.size() > 30)
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    });
}

DbDialect ServerDatabase::dialect() const
{
    return isPostgres() ? DbDialect::PostgreSQL : DbDialect::SQLite;
}

bool ServerDatabase::isPostgres() const
{
    const std::string type = upperText(settings_.dbType);
    return type == "POSTGRESQL" || type == "PGSQL";
}

DbServerLogin ServerDatabase::serverLogin(std::string_view databaseName) const
{
    if (!isValidDatabaseName(databaseName))
        throw DbError("Invalid database name \"" + std::string(databaseName) + "\"");
    DbServerLogin login = settings_.server;
    login.schema = PgSchemaName(databaseName);
    login.name = std::string(databaseName);
    return login;
}

bool ServerDatabase::databaseExists(std::string_view databaseName)
{
    if (!isPostgres())
        return std::filesystem::is_regular_file(filePath(databaseName));
    if (!isValidDatabaseName(databaseName))
        throw DbError("Invalid database name \"" + std::string(databaseName) + "\"");
    return connection().hasDatabase(PgSchemaName(databaseName));
}

std::unique_ptr<DbConnection> ServerDatabase::openDatabase(std::string_view databaseName) const
{
    checkUsable();
    auto conn = std::make_unique<DbConnection>();
    if (isPostgres()) {
        conn->openPostgres(serverLogin(databaseName));
        if (settings_.readOnly)
            conn->execute("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY");
    } else {
        const std::string file = filePath(databaseName);
        if (!std::filesystem::is_regular_file(file))
            throw DbError("The database " + std::string(databaseName) + " does not exist");
        conn->openSqlite(file, false, settings_.readOnly);
    }
    conn->setBusyTimeout(settings_.busyTimeoutMs);
    return conn;
}

void ServerDatabase::checkUsable() const
{
    if (!settings_.error.empty())
        throw DbError(settings_.error);
    const std::string type = upperText(settings_.dbType);
    if (isPostgres()) {
        if (settings_.server.database.empty())
            throw DbError("No PostgreSQL database is configured (PostgresDatabase)");
        return;
    }
    if (type != "SQLITE")
        throw DbError("The database type \"" + settings_.dbType + "\" is not supported (MainDBType=SQLITE or POSTGRESQL)");
    if (settings_.folder.empty())
        throw DbError("No database folder is configured (MainServerName)");
}

std::string ServerDatabase::filePath(std::string_view databaseName) const
{
    if (!isValidDatabaseName(databaseName))
        throw DbError("Invalid database name \"" + std::string(databaseName) + "\"");
    const std::filesystem::path folder = folderPath(settings_.folder);
    const std::string wanted = std::string(databaseName) + ".db";
    std::vector<std::filesystem::path> found;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (upperText(it->path().filename().string()) == upperText(wanted))
            found.push_back(it->path());
    if (found.size() > 1) {
        std::string names;
        for (const auto& f : found)
            names += (names.empty() ? "" : ", ") + f.filename().string();
        throw DbError("The database name " + std::string(databaseName) + " fits several files (" + names +
                      "); names of databases do not differ in case alone");
    }
    return (found.empty() ? folder / wanted : found.front()).string();
}

DbConnection& ServerDatabase::connection()
{
    if (!conn_) {
        checkUsable();
        auto conn = std::make_unique<DbConnection>();
        if (isPostgres()) {
            conn->openPostgres(serverLogin(settings_.systemDb));
            if (settings_.readOnly)
                conn->execute("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY");
            conn->setBusyTimeout(settings_.busyTimeoutMs);
            conn->setQueryLimits(settings_.limits);
            conn_ = std::move(conn);
            return *conn_;
        }
        conn->openSqlite(filePath(settings_.systemDb), false, settings_.readOnly);
        conn->setBusyTimeout(settings_.busyTimeoutMs);
        conn->setQueryLimits(settings_.limits);
        if (settings_.readOnly) {
            conn_ = std::move(conn);
            return *conn_;
        }
        // Clients and servers share the system database: with a write-ahead log readers
        // never wait for a writer, and a commit costs one write instead of a journal's
        // several. The mode stays with the file; a database that cannot switch (another
        // connection holds it) keeps its journal and works as before.
        try {
            conn->execute("PRAGMA journal_mode = WAL");
        } catch (const DbError&) {
        }
        conn_ = std::move(conn);
    }
    return *conn_;
}

void ServerDatabase::useCompanyDatabase(std::string_view databaseName)
{
    DbConnection& conn = connection();
    if (conn.isAttached(databaseName) || upperText(databaseName) == upperText(settings_.systemDb))
        return;
    if (isPostgres()) {
        if (!isValidDatabaseName(databaseName))
            throw DbError("Invalid database name \"" + std::string(databaseName) + "\"");
        if (!conn.hasDatabase(PgSchemaName(databaseName)))
            throw DbError("The company database " + std::string(databaseName) + " does not exist");
        conn.attach(upperText(databaseName), PgSchemaName(databaseName));
        return;
    }
    const std::string file = filePath(databaseName);
    if (!std::filesystem::exists(file))
        throw DbError("The company database " + std::string(databaseName) + " does not exist");
    // Under the name of its file, whatever case the caller wrote.
    conn.attach(std::filesystem::path(file).stem().string(), file);
}

void ServerDatabase::requireDatabase(std::string_view databaseName)
{
    DbConnection& conn = connection();
    if (conn.isAttached(databaseName) || upperText(databaseName) == upperText(settings_.systemDb))
        return;
    if (isPostgres()) {
        if (!databaseExists(databaseName))
            throw DbError("The company database " + std::string(databaseName) + " does not exist");
        return;
    }
    if (!std::filesystem::exists(filePath(databaseName)))
        throw DbError("The company database " + std::string(databaseName) + " does not exist");
}

std::string ServerDatabase::companyDatabase(std::string_view companyCode)
{
    if (trimmed(companyCode).empty())
        return {};
    const Variant v = connection().scalar("SELECT MC003 FROM ADMMC WHERE MC001 = :COMPANY",
                                          {{"COMPANY", trimmed(companyCode)}});
    return v.isEmptyOrNull() ? std::string() : trimmed(v.toString());
}

std::vector<std::string> ServerDatabase::knownDatabases()
{
    std::vector<std::string> names;
    DbConnection& conn = connection();
    conn.forEachRow("SELECT MC003 FROM ADMMC", {}, [&](std::vector<Variant>& row) {
        if (!row[0].isEmptyOrNull())
            names.push_back(trimmed(row[0].toString()));
        return true;
    }, DbAccess::QueryOnly);
    // The server's own reading of the catalogue, which no caller's query may make.
    if (isPostgres())
        conn.forEachRow("SELECT nspname FROM pg_namespace", {}, [&](std::vector<Variant>& row) {
            names.push_back(VarToStr(row[0]));
            return true;
        });
    return names;
}

std::string ServerDatabase::connectString(std::string_view companyDatabase)
{
    checkUsable();
    if (isPostgres()) {
        std::vector<std::pair<std::string, std::string>> attached;
        if (!companyDatabase.empty() && upperText(companyDatabase) != upperText(settings_.systemDb)) {
            if (!databaseExists(companyDatabase))
                throw DbError("The company database " + std::string(companyDatabase) + " does not exist");
            attached.emplace_back(upperText(companyDatabase), PgSchemaName(companyDatabase));
        }
        // Never the password: a caller with the text connects as its own login allows
        // (PGPASSWORD, ~/.pgpass).
        DbServerLogin login = serverLogin(settings_.systemDb);
        login.password.clear();
        return DbConnection::postgresConnectString(login, attached, settings_.busyTimeoutMs);
    }
    const std::string system = filePath(settings_.systemDb);
    if (!std::filesystem::exists(system))
        throw DbError("The system database " + system + " does not exist");
    std::vector<std::pair<std::string, std::string>> attached;
    if (!companyDatabase.empty() && upperText(companyDatabase) != upperText(settings_.systemDb)) {
        const std::string file = filePath(companyDatabase);
        if (!std::filesystem::exists(file))
            throw DbError("The company database " + std::string(companyDatabase) + " does not exist");
        attached.emplace_back(std::filesystem::path(file).stem().string(), file);
    }
    return DbConnection::sqliteConnectString(system, attached, settings_.busyTimeoutMs);
}
