// Where the production record is kept, as `--record` names it.
#pragma once

#include <string>
#include <string_view>

#include "production/result.h"

namespace production {

struct RecordLocation {
    enum class Kind { kNone, kSqlite, kPostgres };
    Kind kind = Kind::kSqlite;
    std::string path;  // SQLite: the database file
    // PostgreSQL, as the client library takes them; `host` may be the folder of the server's
    // socket. Empty or -1: the client library's default.
    std::string user;
    std::string password;
    std::string host;
    int port = -1;
    std::string database;
    std::string sslmode;
    int connectTimeout = 10;  // seconds

    // For messages: the place without the password.
    std::string Where() const;
};

// "" or "default": SQLite at $XDG_DATA_HOME/cv51-writer/production.db (~/.local/share when
// unset); "none": nothing is kept; "sqlite:PATH" or a plain path: SQLite at that file;
// "postgresql://[USER[:PASSWORD]@][HOST][:PORT][/DATABASE][?PARAM=VALUE&...]" (also
// "postgres://"), percent-encoded, PARAM one of host (a host name, or a socket folder),
// port, sslmode and connect_timeout (seconds).
Result<RecordLocation> ParseRecordUrl(std::string_view url);

std::string DefaultRecordPath();

}  // namespace production
