#pragma once
// The hub's tables in PostgreSQL. The hub creates them itself and upgrades
// an older database in place; a database of a newer hub is refused.
//
// Version 1:
//   schema_version   one row: the version the tables are at
//   sites            id (4-byte identity), unique name, first/last seen,
//                    online/offline status, time zone (null: the hub's)
//   samples          t, site, late, then the 50 values under the sample
//                    database's column names as smallint; partitioned by
//                    month (UTC) into samples_YYYY_MM; primary key
//                    (site, t) and no other index
//   summaries_5min   per site and 5-minute bucket (UTC): n and each value's
//                    min, max and sum ("Pd_min", "Pd_max", "Pd_sum", ...);
//                    mean = sum / n. Kept when raw partitions are dropped.
//   faults           the sites' fault list entries (site, t, list, status)
// Alarm tables come with a later version, as an upgrade step.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace orlix::hub {

class PgConnection;

// The upgrades this build knows: element i takes the schema from version
// i + 1 to i + 2. A step is SQL and may hold several statements.
std::span<const std::string_view> schemaUpgrades();

// The version a list of upgrades leads to.
inline int schemaVersionAfter(std::span<const std::string_view> upgrades) {
    return 1 + static_cast<int>(upgrades.size());
}

struct SchemaOutcome {
    bool ok = false;
    int found = 0;    // the version the database held (0: no hub tables)
    int version = 0;  // the version it holds now
    std::string error;
};

// Creates the tables in an empty database, or upgrades older ones, in one
// transaction under an advisory lock, so that hubs starting together do
// not race. Refuses (ok false) a database of a newer version.
SchemaOutcome ensureSchema(PgConnection& db);
SchemaOutcome ensureSchema(PgConnection& db, std::span<const std::string_view> upgrades);

// The name of value column i (0..49): the sample database's column name.
std::string_view valueColumn(int i);

// `pattern` once per value column, every '@' replaced by the column's name,
// joined by `separator`: eachValue("min(\"@\") AS \"@_min\"").
std::string eachValue(std::string_view pattern, std::string_view separator = ", ");

// Months as year * 12 + (month - 1), in UTC.
int monthOf(std::int64_t timeUs);
std::int64_t monthStartUs(int month);
// samples_YYYY_MM
std::string partitionName(int month);
// The month of a partition's name, or -1 for any other name.
int partitionMonth(std::string_view name);
// CREATE TABLE IF NOT EXISTS for the month's partition.
std::string createPartitionSql(int month);

// Advisory lock keys: one for creating and upgrading the schema, one for
// creating and dropping partitions.
inline constexpr std::int64_t kSchemaLockKey = 0x4F524C5800000001;
inline constexpr std::int64_t kPartitionLockKey = 0x4F524C5800000002;

}  // namespace orlix::hub
