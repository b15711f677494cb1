#pragma once
// Connection strings of DbConnection: "Key=value;..." with keys without regard to case and
// values that may stand in double quotes (inner ones doubled).

#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct ConnectSpec {
    // Provider, Data Source (or Database), Name, Busy Timeout; for PostgreSQL also Host,
    // Port, User, Password, Schema, Connect Timeout; Attach <NAME>=<file or schema>.
    std::string provider;
    std::string dataSource;
    std::string name;
    std::string busyTimeout;
    std::string host, port, user, password, schema, connectTimeout;
    std::string likeCollation; // Like Collation

    std::vector<std::pair<std::string, std::string>> attached;
};

// DbError for a part without a value, an unterminated quote and an unknown key.
ConnectSpec parseConnectString(std::string_view s);
// A value as it may stand in a connection string: quoted when it must be.
std::string connectValue(const std::string& v);
