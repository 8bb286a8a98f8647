// The record's tables, version by version. Every change to them is one more migration at the
// end of the list in schema.cpp; a database is brought up to date inside the transaction that
// opens it, and one of a newer version than the list reaches is refused.
#pragma once

#include <string>
#include <vector>

namespace production::schema {

enum class Dialect { kSqlite, kPostgres };

// The version this program writes.
int Latest();

// The statements that take a database from `version - 1` to `version` (1 to Latest()).
std::vector<std::string> Migration(int version, Dialect dialect);

}  // namespace production::schema
