#include "hub/hub_schema.h"

#include <array>
#include <chrono>
#include <cstdio>

#include "database/sample_database.h"
#include "hub/hub_types.h"
#include "hub/pg_connection.h"

namespace orlix::hub {

static_assert(kValueCount == kSampleValueColumns, "the hub stores the sample database's values");

namespace {

// None yet. Append a step for every change of the tables; never edit one
// that has shipped.
constexpr std::array<std::string_view, 0> kUpgrades{};

// What the alarms, the pages and their users keep: the newest sample of each
// site (for threshold rules and the fleet page), the alarms with their full
// state (a leader hub works on them; others read them), their history, the
// commands of users waiting for the leader, the notifications sent, and the
// pages' users and sessions.
std::string officeTablesSql() {
    return "CREATE TABLE site_values (\n"
           "  site integer PRIMARY KEY REFERENCES sites (id),\n"
           "  t timestamptz NOT NULL,\n"
           "  vals smallint[] NOT NULL);\n"
           "CREATE TABLE alarms (\n"
           "  site integer NOT NULL REFERENCES sites (id),\n"
           "  source text NOT NULL,\n"
           "  state text NOT NULL,\n"
           "  message text NOT NULL DEFAULT '',\n"
           "  first_t timestamptz,\n"
           "  last_t timestamptz,\n"
           "  count integer NOT NULL DEFAULT 0,\n"
           "  detail jsonb NOT NULL DEFAULT '{}',\n"
           "  changed timestamptz NOT NULL DEFAULT now(),\n"
           "  PRIMARY KEY (site, source));\n"
           "CREATE TABLE alarm_events (\n"
           "  id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,\n"
           "  site integer NOT NULL REFERENCES sites (id),\n"
           "  source text NOT NULL,\n"
           "  at timestamptz NOT NULL,\n"
           "  event text NOT NULL,\n"
           "  from_state text NOT NULL,\n"
           "  to_state text NOT NULL,\n"
           "  by_user text,\n"
           "  why text);\n"
           "CREATE INDEX alarm_events_site ON alarm_events (site, source, at);\n"
           "CREATE TABLE alarm_commands (\n"
           "  id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,\n"
           "  at timestamptz NOT NULL DEFAULT now(),\n"
           "  site integer NOT NULL REFERENCES sites (id),\n"
           "  source text NOT NULL,\n"
           "  command text NOT NULL CHECK (command IN ('acknowledge', 'shelve', 'unshelve', 'out-of-service', "
           "'in-service')),\n"
           "  by_user text NOT NULL,\n"
           "  reason text,\n"
           "  until timestamptz,\n"
           "  done timestamptz,\n"
           "  outcome text);\n"
           "CREATE TABLE notifications (\n"
           "  id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,\n"
           "  at timestamptz NOT NULL,\n"
           "  site integer REFERENCES sites (id),\n"
           "  source text,\n"
           "  receiver text NOT NULL,\n"
           "  kind text NOT NULL,\n"
           "  delivered boolean NOT NULL,\n"
           "  detail text);\n"
           "CREATE TABLE engine_state (\n"
           "  name text PRIMARY KEY,\n"
           "  value text NOT NULL);\n"
           "CREATE TABLE users (\n"
           "  name text PRIMARY KEY,\n"
           "  role text NOT NULL CHECK (role IN ('viewer', 'engineer', 'admin')),\n"
           "  password_hash text NOT NULL,\n"
           "  created timestamptz NOT NULL DEFAULT now());\n"
           "CREATE TABLE sessions (\n"
           "  token_hash text PRIMARY KEY,\n"
           "  name text NOT NULL REFERENCES users (name) ON DELETE CASCADE,\n"
           "  csrf text NOT NULL,\n"
           "  created timestamptz NOT NULL DEFAULT now(),\n"
           "  seen timestamptz NOT NULL DEFAULT now());\n";
}

std::string versionOneSql() {
    std::string sql =
        "CREATE TABLE schema_version (\n"
        "  only_row boolean PRIMARY KEY DEFAULT true CHECK (only_row),\n"
        "  version integer NOT NULL,\n"
        "  changed timestamptz NOT NULL DEFAULT now());\n"
        "CREATE TABLE sites (\n"
        "  id integer GENERATED ALWAYS AS IDENTITY PRIMARY KEY,\n"
        "  name text NOT NULL UNIQUE,\n"
        "  first_seen timestamptz,\n"
        "  last_seen timestamptz,\n"
        "  status text CHECK (status IN ('online', 'offline')),\n"
        "  last_message timestamptz,\n"
        "  time_zone text);\n";
    // Fixed-width columns, widest first: 138 bytes of tuple per sample.
    sql += "CREATE TABLE samples (\n  t timestamptz NOT NULL,\n  site integer NOT NULL,\n  late boolean NOT NULL,\n  ";
    sql += eachValue("\"@\" smallint NOT NULL", ",\n  ");
    sql += ",\n  PRIMARY KEY (site, t)) PARTITION BY RANGE (t);\n";
    // A batch updates the rows of the open buckets, which lie together, in
    // one transaction: each updated row needs room for its new version on
    // its own page to stay there (a HOT update); otherwise it moves and
    // leaves dead rows and key entries behind. Fillfactor 70 leaves room
    // for half a page's rows. Sums are integer: 75 samples of 32767 need a
    // 30th of its range; only a site sending 65,539 samples into one
    // bucket (one per 4.6 ms) would overflow it, and then the samples
    // that would are refused alone (see SampleStore).
    sql += "CREATE TABLE summaries_5min (\n  site integer NOT NULL,\n  n integer NOT NULL,\n"
           "  bucket timestamptz NOT NULL,\n  ";
    sql += eachValue("\"@_min\" smallint NOT NULL", ",\n  ") + ",\n  ";
    sql += eachValue("\"@_max\" smallint NOT NULL", ",\n  ") + ",\n  ";
    sql += eachValue("\"@_sum\" integer NOT NULL", ",\n  ");
    sql += ",\n  PRIMARY KEY (site, bucket)) WITH (fillfactor = 70);\n";
    sql +=
        "CREATE TABLE faults (\n"
        "  site integer NOT NULL REFERENCES sites (id),\n"
        "  t timestamptz NOT NULL,\n"
        "  list text NOT NULL CHECK (list IN ('Err', 'ComErr', 'ProtErr')),\n"
        "  status text NOT NULL,\n"
        "  arrived timestamptz NOT NULL DEFAULT now(),\n"
        "  PRIMARY KEY (site, t, list, status));\n"
        "CREATE INDEX faults_arrived ON faults (arrived);\n";
    sql += officeTablesSql();
    sql += "INSERT INTO schema_version (version) VALUES (1);\n";
    return sql;
}

// The version the database holds (0: no schema_version table), or an
// error text.
bool readVersion(PgConnection& db, int& version, std::string& error) {
    PgResult exists = db.exec("SELECT to_regclass('schema_version') IS NOT NULL");
    if (!exists.ok()) {
        error = exists.error();
        return false;
    }
    version = 0;
    if (exists.text(0, 0) != "t") return true;
    PgResult r = db.exec("SELECT version FROM schema_version");
    if (!r.ok() || r.rows() != 1) {
        error = r.ok() ? "schema_version does not hold exactly one row" : r.error();
        return false;
    }
    version = static_cast<int>(r.number(0, 0));
    return true;
}

// Runs the steps from `from` up to `to` inside the open transaction.
bool upgrade(PgConnection& db, std::span<const std::string_view> upgrades, int from, int to, std::string& error) {
    for (int v = from; v < to; ++v) {
        PgResult r = db.exec(std::string(upgrades[static_cast<std::size_t>(v - 1)]));
        if (!r.ok()) {
            error = "upgrading the hub schema from version " + std::to_string(v) + " to " + std::to_string(v + 1) +
                    " failed: " + r.error();
            return false;
        }
    }
    PgResult r = db.exec("UPDATE schema_version SET version = $1, changed = now()", {std::to_string(to)});
    if (!r.ok()) error = "recording hub schema version " + std::to_string(to) + " failed: " + r.error();
    return r.ok();
}

}  // namespace

std::span<const std::string_view> schemaUpgrades() { return kUpgrades; }

SchemaOutcome ensureSchema(PgConnection& db) { return ensureSchema(db, schemaUpgrades()); }

SchemaOutcome ensureSchema(PgConnection& db, std::span<const std::string_view> upgrades) {
    SchemaOutcome out;
    const int known = schemaVersionAfter(upgrades);
    PgTransaction tx(db);
    PgResult locked = tx.begun().ok() ? db.exec("SELECT pg_advisory_xact_lock(" + std::to_string(kSchemaLockKey) + ")")
                                      : tx.begun();
    if (!locked.ok()) {
        out.error = "locking the hub schema in " + db.shownName() + " failed: " + locked.error();
        return out;
    }
    if (!readVersion(db, out.found, out.error)) {
        out.error = "reading the hub schema version of " + db.shownName() + " failed: " + out.error;
        return out;
    }
    if (out.found > known) {
        out.error = db.shownName() + " holds hub schema version " + std::to_string(out.found) +
                    "; this orlix-hub knows up to " + std::to_string(known) + ": use a newer orlix-hub";
        return out;
    }
    if (out.found == 0) {
        PgResult created = db.exec(versionOneSql());
        if (!created.ok()) {
            out.error = "creating the hub schema in " + db.shownName() + " failed: " + created.error();
            return out;
        }
    }
    const int from = out.found == 0 ? 1 : out.found;
    if (from < known && !upgrade(db, upgrades, from, known, out.error)) {
        out.error = db.shownName() + ": " + out.error;
        return out;
    }
    PgResult committed = tx.commit();
    if (!committed.ok()) {
        out.error = "committing the hub schema in " + db.shownName() + " failed: " + committed.error();
        return out;
    }
    out.ok = true;
    out.version = known;
    return out;
}

std::string_view valueColumn(int i) { return kEmp1Columns[static_cast<std::size_t>(i)]; }

std::string eachValue(std::string_view pattern, std::string_view separator) {
    std::string out;
    for (int i = 0; i < kValueCount; ++i) {
        if (i > 0) out += separator;
        for (const char c : pattern) {
            if (c == '@') {
                out += valueColumn(i);
            } else {
                out += c;
            }
        }
    }
    return out;
}

int monthOf(std::int64_t timeUs) {
    using namespace std::chrono;
    const year_month_day ymd(floor<days>(sys_time<microseconds>(microseconds(timeUs))));
    return static_cast<int>(ymd.year()) * 12 + static_cast<int>(static_cast<unsigned>(ymd.month())) - 1;
}

std::int64_t monthStartUs(int month) {
    using namespace std::chrono;
    const year_month_day ymd(year(month / 12), std::chrono::month(static_cast<unsigned>(month % 12 + 1)), day(1));
    return duration_cast<microseconds>(sys_days(ymd).time_since_epoch()).count();
}

std::string partitionName(int month) {
    char name[32];
    std::snprintf(name, sizeof name, "samples_%04d_%02d", month / 12, month % 12 + 1);
    return name;
}

int partitionMonth(std::string_view name) {
    constexpr std::string_view kPrefix = "samples_";
    if (name.size() != kPrefix.size() + 7 || name.substr(0, kPrefix.size()) != kPrefix) return -1;
    const std::string_view rest = name.substr(kPrefix.size());
    int year = 0, month = 0;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        const char c = rest[i];
        if (i == 4) {
            if (c != '_') return -1;
            continue;
        }
        if (c < '0' || c > '9') return -1;
        (i < 4 ? year : month) = (i < 4 ? year : month) * 10 + (c - '0');
    }
    return month >= 1 && month <= 12 ? year * 12 + month - 1 : -1;
}

std::string createPartitionSql(int month) {
    const auto bound = [](int m) {
        char text[40];
        std::snprintf(text, sizeof text, "'%04d-%02d-01 00:00:00+00'", m / 12, m % 12 + 1);
        return std::string(text);
    };
    return "CREATE TABLE IF NOT EXISTS " + partitionName(month) + " PARTITION OF samples FOR VALUES FROM (" +
           bound(month) + ") TO (" + bound(month + 1) + ")";
}

}  // namespace orlix::hub
