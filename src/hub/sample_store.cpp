#include "hub/sample_store.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "hub/hub_schema.h"
#include "base/log.h"

namespace orlix::hub {

namespace {

// PostgreSQL counts binary timestamps in microseconds from 2000-01-01 UTC.
constexpr std::int64_t kPgEpochUs = 946'684'800'000'000;
constexpr const char* kInsertStatement = "hub_insert_samples";
// Fault rows per INSERT: four parameters each, far below the protocol's
// 65535.
constexpr std::size_t kFaultRowsPerStatement = 500;

void put16(std::string& s, std::uint16_t v) {
    s.push_back(static_cast<char>(v >> 8));
    s.push_back(static_cast<char>(v));
}
void put32(std::string& s, std::uint32_t v) {
    put16(s, static_cast<std::uint16_t>(v >> 16));
    put16(s, static_cast<std::uint16_t>(v));
}
void put64(std::string& s, std::uint64_t v) {
    put32(s, static_cast<std::uint32_t>(v >> 32));
    put32(s, static_cast<std::uint32_t>(v));
}

std::int64_t nowUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

bool acceptedTime(std::int64_t timeUs, std::int64_t now) {
    return timeUs >= SampleStore::kEarliestUs && timeUs <= now + SampleStore::kMaxAheadUs;
}

const std::string& stagingSql() {
    static const std::string sql =
        "CREATE TEMP TABLE IF NOT EXISTS hub_staging (t timestamptz NOT NULL, site integer NOT NULL, late boolean NOT NULL, " +
        eachValue("\"@\" smallint NOT NULL") + ") ON COMMIT DELETE ROWS";
    return sql;
}

// The staged rows go into samples; only the rows actually inserted
// (RETURNING skips the conflicts) feed the summaries and last_seen, all in
// one statement. Rows are taken in key order so that two hubs writing the
// same sites lock their rows in the same order.
constexpr const char* kLockSitesSql =
    "SELECT id FROM sites WHERE id IN (SELECT DISTINCT site FROM hub_staging) ORDER BY id FOR UPDATE";

const std::string& insertSql() {
    static const std::string sql =
        "WITH ins AS (\n"
        "  INSERT INTO samples (t, site, late, " + eachValue("\"@\"") + ")\n"
        "  SELECT t, site, late, " + eachValue("\"@\"") + " FROM hub_staging ORDER BY site, t\n"
        "  ON CONFLICT (site, t) DO NOTHING\n"
        "  RETURNING t, site, " + eachValue("\"@\"") + "),\n"
        "sums AS (\n"
        "  INSERT INTO summaries_5min AS s (site, n, bucket, " + eachValue("\"@_min\"") + ", " +
        eachValue("\"@_max\"") + ", " + eachValue("\"@_sum\"") + ")\n"
        "  SELECT site, count(*), date_bin(interval '5 minutes', t, timestamptz '2000-01-01 00:00:00+00') AS b, " +
        eachValue("min(\"@\")") + ", " + eachValue("max(\"@\")") + ", " + eachValue("sum(\"@\")") + "\n"
        "  FROM ins GROUP BY site, b ORDER BY site, b\n"
        "  ON CONFLICT (site, bucket) DO UPDATE SET n = s.n + EXCLUDED.n, " +
        eachValue("\"@_min\" = least(s.\"@_min\", EXCLUDED.\"@_min\")") + ", " +
        eachValue("\"@_max\" = greatest(s.\"@_max\", EXCLUDED.\"@_max\")") + ", " +
        eachValue("\"@_sum\" = s.\"@_sum\" + EXCLUDED.\"@_sum\"") + "),\n"
        "seen AS (\n"
        "  UPDATE sites SET last_seen = x.latest\n"
        "  FROM (SELECT site, max(t) AS latest FROM ins GROUP BY site ORDER BY site) x\n"
        "  WHERE sites.id = x.site AND (sites.last_seen IS NULL OR sites.last_seen < x.latest))\n"
        "SELECT count(*) FROM ins";
    return sql;
}

std::string faultInsertSql(std::size_t rows) {
    std::string sql = "INSERT INTO faults (site, t, list, status) VALUES ";
    for (std::size_t i = 0; i < rows; ++i) {
        const std::string p = std::to_string(4 * i + 1);
        if (i > 0) sql += ", ";
        sql += "($" + p + "::integer, $" + std::to_string(4 * i + 2) + "::timestamptz, $" + std::to_string(4 * i + 3) +
               ", $" + std::to_string(4 * i + 4) + ")";
    }
    return sql + " ON CONFLICT DO NOTHING";
}

bool isMissingPartition(const PgResult& r) {
    return r.sqlState() == "23514" && r.message().rfind("no partition of relation", 0) == 0;
}

// Stores `rows` through `write`; when the database refuses them by their
// content, splits them until each refused row stands alone, so that one
// bad row costs only itself. False when a failure other than a refusal
// stopped it (the caller offers the whole batch again).
template <class Row, class Write>
bool isolate(PgConnection& db, std::span<const Row> rows, const Write& write, StoreOutcome& out,
             std::string_view what) {
    std::int64_t stored = 0;
    const PgResult r = write(rows, stored);
    if (r.ok()) {
        out.stored += stored;
        out.duplicates += static_cast<std::int64_t>(rows.size()) - stored;
        return true;
    }
    if (!isDataError(r) || !db.ok()) {
        out.error = r.error();
        return false;
    }
    if (rows.size() == 1) {
        ++out.refused;
        if (out.error.empty()) out.error = r.error();
        log::failure(log::kHub, "the database refused " + std::string(what) + ": " + r.message() + " [SQLSTATE " +
                                    r.sqlState() + "]");
        return true;
    }
    const std::size_t half = rows.size() / 2;
    return isolate(db, rows.first(half), write, out, what) && isolate(db, rows.subspan(half), write, out, what);
}

}  // namespace

std::string timestampText(std::int64_t timeUs) {
    using namespace std::chrono;
    const sys_time<microseconds> t{microseconds(timeUs)};
    const sys_days day = floor<days>(t);
    const year_month_day ymd(day);
    const hh_mm_ss<microseconds> hms(t - day);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d.%06lld+00", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                  static_cast<int>(hms.hours().count()), static_cast<int>(hms.minutes().count()),
                  static_cast<int>(hms.seconds().count()), static_cast<long long>(hms.subseconds().count()));
    return text;
}

std::string binaryCopyData(std::span<const HubSample> rows) {
    static constexpr char kSignature[] = "PGCOPY\n\377\r\n";  // and its terminating NUL
    std::string s(kSignature, sizeof kSignature);
    put32(s, 0);  // flags
    put32(s, 0);  // header extension length
    s.reserve(s.size() + rows.size() * (2 + 12 + 8 + 5 + 6 * kValueCount) + 2);
    for (const HubSample& r : rows) {
        put16(s, 3 + kValueCount);
        put32(s, 8);
        put64(s, static_cast<std::uint64_t>(r.timeUs - kPgEpochUs));
        put32(s, 4);
        put32(s, static_cast<std::uint32_t>(r.site));
        put32(s, 1);
        s.push_back(r.late ? 1 : 0);
        for (const std::int16_t v : r.values) {
            put32(s, 2);
            put16(s, static_cast<std::uint16_t>(v));
        }
    }
    put16(s, 0xFFFF);  // end of data
    return s;
}

SampleStore::SampleStore(PgConnection& db) : db_(db) {}

std::optional<std::int32_t> SampleStore::siteId(std::string_view name) {
    if (const auto it = sites_.find(name); it != sites_.end()) return it->second;
    const std::vector<std::string> param{std::string(name)};
    PgResult r = db_.exec("SELECT id FROM sites WHERE name = $1", param);
    // Another hub may add the same site at the same moment: then the
    // INSERT skips it and the second SELECT, in a newer snapshot, finds it.
    if (r.ok() && r.rows() == 0)
        r = db_.exec("INSERT INTO sites (name, first_seen) VALUES ($1, now()) ON CONFLICT (name) DO NOTHING RETURNING id",
                     param);
    if (r.ok() && r.rows() == 0) r = db_.exec("SELECT id FROM sites WHERE name = $1", param);
    if (!r.ok() || r.rows() != 1) {
        lastError_ = "looking up site " + std::string(name) + " in " + db_.shownName() + " failed: " +
                     (r.ok() ? std::string("it vanished meanwhile") : r.error());
        return std::nullopt;
    }
    const auto id = static_cast<std::int32_t>(r.number(0, 0));
    sites_.emplace(std::string(name), id);
    return id;
}

PgResult SampleStore::ensureSession() {
    if (session_ == db_.session()) return PgResult::succeeded();
    // The table may be left from an attempt whose preparing failed.
    PgResult r = db_.exec(stagingSql());
    // Planned once per session: planning it costs as much as running it
    // for a small batch.
    if (r.ok()) r = db_.prepare(kInsertStatement, insertSql());
    if (r.ok()) session_ = db_.session();
    return r;
}

PgResult SampleStore::ensurePartitions(std::span<const HubSample> rows) {
    std::set<int> wanted;
    int latest = 0;
    for (const HubSample& s : rows) {
        const int m = monthOf(s.timeUs);
        latest = std::max(latest, m);
        if (!months_.contains(m)) wanted.insert(m);
    }
    // Next month's partition is made ahead, so that the hubs do not all
    // change the table at midnight on the first.
    if (latest == monthOf(nowUs()) && !months_.contains(latest + 1)) wanted.insert(latest + 1);
    if (wanted.empty()) return PgResult::succeeded();
    PgTransaction tx(db_);
    PgResult r = tx.begun();
    if (r.ok()) r = db_.exec("SELECT pg_advisory_xact_lock(" + std::to_string(kPartitionLockKey) + ")");
    for (auto it = wanted.begin(); r.ok() && it != wanted.end(); ++it) r = db_.exec(createPartitionSql(*it));
    if (r.ok()) r = tx.commit();
    if (r.ok()) months_.insert(wanted.begin(), wanted.end());
    return r;
}

PgResult SampleStore::writeSamples(std::span<const HubSample> rows, std::int64_t& stored) {
    for (int attempt = 0;; ++attempt) {
        PgTransaction tx(db_);
        PgResult r = tx.begun();
        if (r.ok()) r = db_.copyIn("COPY hub_staging FROM STDIN (FORMAT binary)", binaryCopyData(rows));
        // The sites' rows are locked in id order before the insert moves
        // their last_seen: the site directory updates the same rows in id
        // order too, and a join would lock them in whatever order its plan
        // reads them, which deadlocks against it.
        if (r.ok()) r = db_.exec(kLockSitesSql);
        if (r.ok()) r = db_.execPrepared(kInsertStatement);
        if (r.ok()) stored = r.number(0, 0);
        if (r.ok()) r = tx.commit();
        // Another hub dropped a partition this store believed in.
        if (attempt > 0 || !isMissingPartition(r)) return r;
        months_.clear();
        if (PgResult p = ensurePartitions(rows); !p.ok()) return p;
    }
}

StoreOutcome SampleStore::storeSamples(std::span<const HubSample> samples) {
    StoreOutcome out;
    const std::int64_t now = nowUs();
    std::vector<HubSample> kept;
    const bool allAccepted =
        std::all_of(samples.begin(), samples.end(), [now](const HubSample& s) { return acceptedTime(s.timeUs, now); });
    if (!allAccepted) {
        std::copy_if(samples.begin(), samples.end(), std::back_inserter(kept),
                     [now](const HubSample& s) { return acceptedTime(s.timeUs, now); });
        out.refused = static_cast<std::int64_t>(samples.size() - kept.size());
        log::failure(log::kHub, "refused samples whose time lies before 2000-01-01 or more than a day ahead of this "
                                "clock");
    }
    const std::span<const HubSample> rows = allAccepted ? samples : std::span<const HubSample>(kept);
    if (rows.empty()) {
        out.ok = true;
        return out;
    }
    PgResult ready = ensureSession();
    if (ready.ok()) ready = ensurePartitions(rows);
    if (!ready.ok()) {
        out.error = "preparing to store samples in " + db_.shownName() + " failed: " + ready.error();
        return out;
    }
    const auto write = [this](std::span<const HubSample> part, std::int64_t& stored) {
        return writeSamples(part, stored);
    };
    out.ok = isolate(db_, rows, write, out, "a sample");
    if (!out.ok) out.error = "storing samples in " + db_.shownName() + " failed: " + out.error;
    return out;
}

PgResult SampleStore::writeFaults(std::span<const FaultEvent> rows, std::int64_t& stored) {
    stored = 0;
    PgTransaction tx(db_);
    PgResult r = tx.begun();
    for (std::size_t at = 0; r.ok() && at < rows.size(); at += kFaultRowsPerStatement) {
        const std::span<const FaultEvent> part = rows.subspan(at, std::min(kFaultRowsPerStatement, rows.size() - at));
        std::vector<std::string> params;
        params.reserve(part.size() * 4);
        for (const FaultEvent& f : part) {
            params.push_back(std::to_string(f.site));
            params.push_back(timestampText(f.timeUs));
            params.push_back(f.list);
            params.push_back(f.status);
        }
        r = db_.exec(faultInsertSql(part.size()), params);
        stored += r.affected();
    }
    if (r.ok()) r = tx.commit();
    return r;
}

StoreOutcome SampleStore::storeFaults(std::span<const FaultEvent> faults) {
    StoreOutcome out;
    const std::int64_t now = nowUs();
    std::vector<FaultEvent> kept;
    for (const FaultEvent& f : faults)
        if (acceptedTime(f.timeUs, now)) kept.push_back(f);
    out.refused = static_cast<std::int64_t>(faults.size() - kept.size());
    if (out.refused > 0)
        log::failure(log::kHub, "refused faults whose time lies before 2000-01-01 or more than a day ahead of this "
                                "clock");
    if (kept.empty()) {
        out.ok = true;
        return out;
    }
    const auto write = [this](std::span<const FaultEvent> part, std::int64_t& stored) {
        return writeFaults(part, stored);
    };
    out.ok = isolate(db_, std::span<const FaultEvent>(kept), write, out, "a fault");
    if (!out.ok) out.error = "storing faults in " + db_.shownName() + " failed: " + out.error;
    return out;
}

DropOutcome SampleStore::dropPartitionsBefore(int keepMonths, std::int64_t nowUs) {
    DropOutcome out;
    if (keepMonths < 0) {
        out.error = "months to keep cannot be negative";
        return out;
    }
    const int cutoff = monthOf(nowUs) - keepMonths;
    PgTransaction tx(db_);
    PgResult r = tx.begun();
    if (r.ok()) r = db_.exec("SELECT pg_advisory_xact_lock(" + std::to_string(kPartitionLockKey) + ")");
    PgResult list = r.ok() ? db_.exec("SELECT c.relname FROM pg_inherits i JOIN pg_class c ON c.oid = i.inhrelid "
                                      "WHERE i.inhparent = 'samples'::regclass ORDER BY 1")
                           : r;
    for (int i = 0; list.ok() && r.ok() && i < list.rows(); ++i) {
        const std::string name = list.text(i, 0);
        const int month = partitionMonth(name);
        if (month < 0 || month >= cutoff) continue;
        r = db_.exec("DROP TABLE IF EXISTS " + name);
        if (r.ok()) out.dropped.push_back(name);
    }
    if (!list.ok()) r = list;
    if (r.ok()) r = tx.commit();
    if (!r.ok()) {
        out.dropped.clear();
        out.error = "dropping old sample partitions in " + db_.shownName() + " failed: " + r.error();
        log::failure(log::kHub, out.error);
        return out;
    }
    months_.clear();
    out.ok = true;
    if (!out.dropped.empty())
        log::info(log::kHub, "dropped " + std::to_string(out.dropped.size()) + " month(s) of samples older than " +
                                 std::to_string(keepMonths) + " months (" + out.dropped.front() + " .. " +
                                 out.dropped.back() + "); their 5-minute summaries stay");
    return out;
}

}  // namespace orlix::hub
