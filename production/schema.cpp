#include "production/schema.h"

#include <array>
#include <string_view>

namespace production::schema {

namespace {

// "{key}" stands for the dialect's self-numbering key column.
constexpr std::string_view kVersion1[] = {
    "CREATE TABLE schema_version (version INTEGER NOT NULL)",
    "INSERT INTO schema_version (version) VALUES (0)",
    // next_number only grows: a number below it was handed out once.
    "CREATE TABLE serial_sequences (name TEXT PRIMARY KEY, next_number BIGINT NOT NULL)",
    "CREATE TABLE serial_taken (sequence_name TEXT NOT NULL, number BIGINT NOT NULL,"
    " time_utc TEXT NOT NULL, station TEXT NOT NULL, PRIMARY KEY (sequence_name, number))",
    "CREATE TABLE chips (id {key}, time_utc TEXT NOT NULL, station TEXT NOT NULL,"
    " writer_name TEXT NOT NULL, writer_serial TEXT NOT NULL, part_name TEXT NOT NULL,"
    " part_index INTEGER NOT NULL, project_file TEXT NOT NULL, checksum INTEGER NOT NULL,"
    " sha256 TEXT NOT NULL, sequence_name TEXT NOT NULL, serial BIGINT,"
    " result TEXT NOT NULL, elapsed_ms BIGINT NOT NULL, version TEXT NOT NULL,"
    " FOREIGN KEY (sequence_name, serial) REFERENCES serial_taken (sequence_name, number))",
    "CREATE UNIQUE INDEX chips_by_serial ON chips (sequence_name, serial)",
    "CREATE INDEX chips_by_time ON chips (time_utc)",
    "CREATE TABLE chip_steps (chip_id BIGINT NOT NULL REFERENCES chips (id),"
    " step_no INTEGER NOT NULL, name TEXT NOT NULL, result TEXT NOT NULL,"
    " elapsed_ms BIGINT NOT NULL, PRIMARY KEY (chip_id, step_no))",
};

struct Step {
    const std::string_view* begin;
    const std::string_view* end;
};

constexpr std::array kSteps = {
    Step{std::begin(kVersion1), std::end(kVersion1)},
};

}  // namespace

int Latest() {
    return static_cast<int>(kSteps.size());
}

std::vector<std::string> Migration(int version, Dialect dialect) {
    const std::string key =
        dialect == Dialect::kSqlite ? "INTEGER PRIMARY KEY AUTOINCREMENT" : "BIGSERIAL PRIMARY KEY";
    std::vector<std::string> out;
    if (version < 1 || version > Latest()) return out;
    const Step& step = kSteps[static_cast<std::size_t>(version - 1)];
    for (auto s = step.begin; s != step.end; ++s) {
        std::string statement(*s);
        if (const auto at = statement.find("{key}"); at != std::string::npos)
            statement.replace(at, 5, key);
        out.push_back(std::move(statement));
    }
    out.push_back("UPDATE schema_version SET version = " + std::to_string(version));
    return out;
}

}  // namespace production::schema
