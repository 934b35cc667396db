// The journal's schema and its versioned migrations. `schema_version` holds a row per version
// applied; migrate() applies the missing versions in one transaction (under a lock, so two
// stations starting at once on one PostgreSQL database never both migrate it) and does nothing on
// a database that is up to date. The rules a number must follow are in the schema itself: a
// uniqueness constraint on the number, CHECKs on every state and its fields, and triggers that
// refuse any change of state the `transitions` table does not list, write every change into the
// append-only `events` table, and refuse deleting numbers, plates or events.
#pragma once

#include <string>

#include "station/sql_connection.hpp"

namespace korvex::station {

// The version this program's schema has.
int schema_target_version();
// The version the database is at: 0 when it holds no journal yet.
int schema_version(SqlConnection& c);

struct MigrationResult {
    int from_version = 0, to_version = 0;
};
// Brings the database up to schema_target_version(). A database of a newer version is refused.
MigrationResult migrate_schema(SqlConnection& c, const std::string& now);

}  // namespace korvex::station
