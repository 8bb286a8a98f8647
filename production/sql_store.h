// The record in a SQL database through Qt SQL: a SQLite file or a PostgreSQL server.
#pragma once

#include <memory>

#include "production/record_location.h"
#include "production/store.h"

namespace production {

Result<std::unique_ptr<Store>> OpenSqlStore(const RecordLocation& at, const OpenOptions& options);

}  // namespace production
