#include "database/sample_database.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "base/folders.h"
#include "database/database_log.h"
#include "database/sqlite_handle.h"
#include "base/log.h"

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

namespace orlix {
namespace {

using sqlite::Connection;
using sqlite::Statement;
using sqlite::queryInt;

// The file is written with a rollback journal and synchronous=FULL: a
// transaction (one batch) is either wholly in the file or not at all, even
// when the process is killed or the power fails mid-write; the next open
// rolls a left-over journal back. A batch comes every few minutes, so the
// extra syncs cost nothing that matters, and unlike WAL nothing but the
// file itself stays beside it between operations.
constexpr const char* kConnectionSetup =
    "PRAGMA synchronous=FULL;"
    "PRAGMA foreign_keys=OFF;";

constexpr int kBusyTimeoutMs = 2000;

std::string createTableSql() {
    std::string sql = "CREATE TABLE emp1(";
    for (int i = 0; i < kSampleTableColumns; ++i) {
        if (i) sql += ", ";
        sql += kEmp1Columns[static_cast<std::size_t>(i)];
        if (i < kSampleValueColumns) sql += " SMALLINT";
        else if (i == kTimeColumn) sql += " REAL";
        else sql += " INTEGER";
    }
    sql += ")";
    return sql;
}

std::string insertSql() {
    std::string sql = "INSERT INTO emp1 VALUES (";
    for (int i = 1; i <= kSampleTableColumns; ++i) {
        if (i > 1) sql.push_back(',');
        sql.push_back('?');
        sql.append(std::to_string(i));
    }
    sql += ")";
    return sql;
}

// A SQLite file starts with this 16-byte header string. Checking it first
// keeps an empty file (which SQLite would take for a new database) and any
// foreign file away from the engine.
bool hasSqliteHeader(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    char head[16] = {};
    f.read(head, sizeof head);
    return f.gcount() == static_cast<std::streamsize>(sizeof head) &&
           std::memcmp(head, "SQLite format 3", 16) == 0;
}

bool sameName(std::string_view a, const char* b) {
    // SQL names compare without regard to ASCII case.
    if (!b || a.size() != std::strlen(b)) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// A declared type whose affinity is text would turn our numbers into text.
bool holdsNumbers(const char* declaredType) {
    std::string t = declaredType ? declaredType : "";
    for (char& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (t.find("INT") != std::string::npos) return true;
    return t.find("CHAR") == std::string::npos && t.find("CLOB") == std::string::npos &&
           t.find("TEXT") == std::string::npos;
}

// The file holds the sample table: an ordinary table `emp1` with exactly the
// 52 columns by name and in order, numeric (or untyped), and no triggers.
// Which program made the file does not matter.
bool hasSampleTable(const Connection& db) {
    if (queryInt(db, "SELECT count(*) FROM sqlite_schema WHERE type='table' AND name='emp1' COLLATE NOCASE "
                     "AND sql NOT LIKE 'CREATE VIRTUAL%'") != 1)
        return false;
    // Triggers would run foreign code on our inserts and deletes.
    if (queryInt(db, "SELECT count(*) FROM sqlite_schema WHERE type='trigger'") != 0) return false;
    // Clearing and counting go by rowid.
    if (!Statement(db, "SELECT rowid FROM emp1 LIMIT 0")) return false;
    Statement info(db, "PRAGMA table_xinfo(emp1)");
    if (!info) return false;
    int n = 0;
    while (info.step() == SQLITE_ROW) {
        if (n >= kSampleTableColumns) return false;
        const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 1));
        const auto* type = reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 2));
        const bool hidden = sqlite3_column_int(info.get(), 6) != 0;  // generated or hidden column
        if (hidden || !sameName(kEmp1Columns[static_cast<std::size_t>(n)], name) || !holdsNumbers(type))
            return false;
        ++n;
    }
    return n == kSampleTableColumns;
}

// Files that carry our application id were made by this program: only
// those keep the counting facts below in their header, since another tool
// may use user_version for itself.
bool isOurFile(const Connection& db) {
    return queryInt(db, "PRAGMA application_id") == kSampleDatabaseApplicationId;
}

Connection rawOpen(const std::string& path) {
    sqlite3* h = nullptr;
    // Read-write when the file allows it, read-only otherwise; never creates.
    const int rc = sqlite3_open_v2(path.c_str(), &h, SQLITE_OPEN_READWRITE, nullptr);
    Connection db(h);
    if (rc != SQLITE_OK) {
        dblog::noteSqliteFailure(h, "open");
        return {};
    }
    sqlite3_extended_result_codes(h, 1);
    sqlite3_busy_timeout(h, kBusyTimeoutMs);
    sqlite3_db_config(h, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(h, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    if (!db.exec(kConnectionSetup)) return {};
    return db;
}

// Opens `path` when it is a sample database.
Connection openOurs(const std::string& path) {
    if (!hasSqliteHeader(path)) {
        dblog::noteFailure(dblog::unreadableReason(path));
        return {};
    }
    Connection db = rawOpen(path);
    if (!db) return {};
    if (!hasSampleTable(db)) {
        dblog::noteFailure("not a sample database (no table emp1 of the 52 sample columns in order)");
        return {};
    }
    return db;
}

bool readValue(sqlite3_stmt* st, int column, std::int16_t& out) {
    switch (sqlite3_column_type(st, column)) {
        case SQLITE_INTEGER: {
            const sqlite3_int64 v = sqlite3_column_int64(st, column);
            if (v < -32768 || v > 32767) return false;
            out = static_cast<std::int16_t>(v);
            return true;
        }
        case SQLITE_FLOAT: {
            const double v = sqlite3_column_double(st, column);
            if (!(v >= -32768.0 && v <= 32767.0) || v != std::floor(v)) return false;
            out = static_cast<std::int16_t>(v);
            return true;
        }
        default:
            return false;
    }
}

HistoryRow readRow(sqlite3_stmt* st) {
    HistoryRow row;
    for (int i = 0; i < kSampleValueColumns; ++i) {
        std::int16_t v = 0;
        if (readValue(st, i, v)) row.values[static_cast<std::size_t>(i)] = v;
        else row.unreadable |= std::uint64_t{1} << i;
    }
    const int t = sqlite3_column_type(st, kTimeColumn);
    if (t == SQLITE_INTEGER || t == SQLITE_FLOAT) row.time = sqlite3_column_double(st, kTimeColumn);
    else row.unreadable |= std::uint64_t{1} << kTimeColumn;
    return row;
}

std::optional<double> queryNumber(const Connection& db, const char* sql) {
    Statement st(db, sql);
    if (!st || st.step() != SQLITE_ROW) return std::nullopt;
    const int t = sqlite3_column_type(st.get(), 0);
    if (t != SQLITE_INTEGER && t != SQLITE_FLOAT) return std::nullopt;
    return sqlite3_column_double(st.get(), 0);
}

std::int64_t countWithBound(const Connection& db, const char* sql, double bound) {
    Statement st(db, sql);
    if (!st) return -1;
    sqlite3_bind_double(st.get(), 1, bound);
    if (st.step() != SQLITE_ROW) return -1;
    return sqlite3_column_int64(st.get(), 0);
}

// Records with Time >= start, counted the plain way. The walk goes entry by
// entry through the index, so it counts whichever side of `start` is likely
// the smaller (judged from the first and last time) and derives the other
// from the total.
std::int64_t countFromByWalk(const Connection& db, double start, std::int64_t total) {
    const auto first = queryNumber(db, "SELECT min(Time) FROM emp1");
    const auto last = queryNumber(db, "SELECT max(Time) FROM emp1");
    const bool countBefore = first && last && (start - *first) < (*last - start);
    if (!countBefore) return countWithBound(db, "SELECT count(*) FROM emp1 WHERE Time >= ?1", start);
    const std::int64_t before = countWithBound(db, "SELECT count(*) FROM emp1 WHERE Time < ?1", start);
    const std::int64_t nulls = queryInt(db, "SELECT count(*) FROM emp1 WHERE Time IS NULL");
    if (before < 0 || nulls < 0) return -1;
    return total - nulls - before;
}

// Counting without a walk.
//
// Counting a table walks every page of its smallest index: tens of
// milliseconds for a million records, on every load, page and batch. Files
// written only by this program have gap-free rowids (records are only
// appended, and a clear empties the table), and normally times that never go
// backwards from one record to the next. In files this program made, every
// write of ours records those two facts in the header's user_version,
// stamped with the file change counter that its own commit produces. While
// the stamp still matches the header, nobody else has written since, and
// counts come from the rowids in a few index lookups. Any other writer bumps
// the counter, and counting falls back to the walk until the facts are
// established again. Files made by another tool are always counted by walk.
constexpr std::int64_t kGapFreeBit = 1;
constexpr std::int64_t kTimeOrderedBit = 2;
constexpr std::uint32_t kStampMask = 0x0FFFFFFF;

struct FileFacts {
    bool gapFree = false;      // rowids run min..max without gaps
    bool timeOrdered = false;  // Time never decreases with the rowid, and is never NULL
};

// The change counter in the file header (bytes 24..27, big-endian); 0 for a
// file that has no header yet. Read while a lock on the file is held. A file
// that another tool switched to write-ahead logging (bytes 18 and 19 = 2)
// does not count its changes there: no counter then.
std::optional<std::uint32_t> fileChangeCounter(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return std::nullopt;
    unsigned char b[28] = {};
    f.read(reinterpret_cast<char*>(b), sizeof b);
    if (f.gcount() == 0) return 0u;
    if (f.gcount() != static_cast<std::streamsize>(sizeof b)) return std::nullopt;
    if (b[18] != 1 || b[19] != 1) return std::nullopt;
    return (std::uint32_t{b[24]} << 24) | (std::uint32_t{b[25]} << 16) | (std::uint32_t{b[26]} << 8) | b[27];
}

// Inside a transaction.
FileFacts readFacts(const Connection& db, const std::string& path) {
    if (!isOurFile(db)) return {};  // takes the read lock
    const std::int64_t uv = queryInt(db, "PRAGMA user_version");
    const auto counter = fileChangeCounter(path);
    if (uv < 0 || !counter || (static_cast<std::uint32_t>(uv >> 2) & kStampMask) != (*counter & kStampMask))
        return {};
    return {(uv & kGapFreeBit) != 0, (uv & kGapFreeBit) != 0 && (uv & kTimeOrderedBit) != 0};
}

// Inside a write transaction, before its commit; `counterBefore` was read
// after the transaction took its write lock. Without a counter the stamp is
// cleared, so that nothing trusts it.
bool writeFacts(const Connection& db, std::optional<std::uint32_t> counterBefore, FileFacts facts) {
    if (!isOurFile(db)) return true;  // another tool's header stays as it is
    if (!counterBefore) return db.exec("PRAGMA user_version=0");
    const std::int64_t uv = (static_cast<std::int64_t>((*counterBefore + 1) & kStampMask) << 2) |
                            (facts.gapFree ? kGapFreeBit : 0) | (facts.timeOrdered ? kTimeOrderedBit : 0);
    return db.exec(("PRAGMA user_version=" + std::to_string(uv)).c_str());
}

// Each of min and max alone is one index lookup; asked together the engine
// would scan the table.
std::int64_t rowidSpan(const Connection& db) {
    Statement lo(db, "SELECT min(rowid) FROM emp1");
    Statement hi(db, "SELECT max(rowid) FROM emp1");
    if (!lo || !hi || lo.step() != SQLITE_ROW || hi.step() != SQLITE_ROW) return -1;
    if (sqlite3_column_type(lo.get(), 0) == SQLITE_NULL) return 0;
    return sqlite3_column_int64(hi.get(), 0) - sqlite3_column_int64(lo.get(), 0) + 1;
}

std::int64_t countAll(const Connection& db, const FileFacts& facts) {
    return facts.gapFree ? rowidSpan(db) : queryInt(db, "SELECT count(*) FROM emp1");
}

std::int64_t countFrom(const Connection& db, const FileFacts& facts, double start, std::int64_t total) {
    if (!facts.timeOrdered) return countFromByWalk(db, start, total);
    // Times follow the rowids: the records from `start` on are the rowids
    // from the first one at or after it up to the last.
    Statement first(db, "SELECT rowid FROM emp1 WHERE Time >= ?1 ORDER BY Time ASC LIMIT 1");
    if (!first) return -1;
    sqlite3_bind_double(first.get(), 1, start);
    const int rc = first.step();
    if (rc == SQLITE_DONE) return 0;
    if (rc != SQLITE_ROW) return -1;
    const std::int64_t from = sqlite3_column_int64(first.get(), 0);
    const std::int64_t last = queryInt(db, "SELECT max(rowid) FROM emp1");
    return last < from ? -1 : last - from + 1;
}

bool timesAscending(std::span<const SampleRow> rows) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (!std::isfinite(rows[i].time)) return false;
        if (i > 0 && !(rows[i - 1].time <= rows[i].time)) return false;
    }
    return true;
}

}  // namespace

std::string defaultDatabaseFolder(bool create) {
#ifdef _WIN32
    std::string folder = "D:\\OrlixMonitorDB\\";
#else
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* pw = getpwuid(getuid());
        home = pw && pw->pw_dir ? pw->pw_dir : ".";
    }
    std::string folder(home);
    if (folder.empty() || folder.back() != '/') folder.push_back('/');
    folder.append("OrlixMonitorDB/");
#endif
    if (create) {
        std::string error;
        if (!makeFolders(folder, error)) log::failure(log::kDatabase, error);
    }
    return folder;
}

bool CreateSampleDatabase(const std::string& path) {
    dblog::Operation op("creating the sample database", path);
    if (path.empty()) return false;
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::path(path), ec) || ec) {
        dblog::noteFailure(ec ? ec.message() : "a file of that name exists");
        return false;
    }
    // Claim the name first: "x" fails when the file appeared meanwhile.
    std::FILE* claim = std::fopen(path.c_str(), "wbx");
    if (!claim) {
        dblog::noteFailure(std::strerror(errno));
        return false;
    }
    std::fclose(claim);

    bool ok = false;
    {
        Connection db = rawOpen(path);
        ok = db && db.exec("PRAGMA journal_mode=DELETE") && db.exec("BEGIN IMMEDIATE") &&
             db.exec(("PRAGMA application_id=" + std::to_string(kSampleDatabaseApplicationId)).c_str()) &&
             db.exec(createTableSql().c_str()) &&
             db.exec("CREATE INDEX emp1_Time ON emp1(Time)");
        ok = ok && writeFacts(db, fileChangeCounter(path), {true, true}) && db.exec("COMMIT");
        if (!ok && db) db.exec("ROLLBACK");
    }
    if (ok) ok = static_cast<bool>(openOurs(path));
    if (!ok) {
        std::filesystem::remove(std::filesystem::path(path), ec);
        std::filesystem::remove(std::filesystem::path(path + "-journal"), ec);
    }
    return ok;
}

bool isSampleDatabase(const std::string& path) {
    dblog::Operation op("checking the sample database", path);
    return static_cast<bool>(openOurs(path));
}

std::int64_t countRecords(const std::string& path) {
    dblog::Operation op("counting the records of", path);
    Connection db = openOurs(path);
    if (!db || !db.exec("BEGIN")) return -1;
    return countAll(db, readFacts(db, path));
}

AppendResult appendSamples(const std::string& path, std::span<const SampleRow> rows) {
    AppendResult result;
    dblog::Operation op("storing " + std::to_string(rows.size()) + (rows.size() == 1 ? " sample in" : " samples in"),
                        path);
    Connection db = openOurs(path);
    if (!db) return result;
    result.opened = true;
    if (rows.empty()) {
        // Nothing to store: no write, just the count.
        result.stored = db.exec("BEGIN");
        result.recordCount = result.stored ? countAll(db, readFacts(db, path)) : -1;
        result.stored = result.stored && result.recordCount >= 0;
        if (!result.stored) result.recordCount = 0;
        return result;
    }
    if (!db.exec("BEGIN IMMEDIATE")) {
        result.recordCount = queryInt(db, "SELECT count(*) FROM emp1");
        return result;
    }
    const auto counter = fileChangeCounter(path);
    FileFacts facts = readFacts(db, path);
    const std::int64_t before = countAll(db, facts);
    bool ok = before >= 0;
    if (ok) {
        // Re-establish the facts after a foreign write where that is cheap;
        // keep them where our rows continue them.
        if (!facts.gapFree) facts.gapFree = before == 0 || rowidSpan(db) == before;
        if (before == 0) facts.timeOrdered = facts.gapFree;
        if (facts.timeOrdered && !rows.empty()) {
            const auto lastTime = queryNumber(db, "SELECT max(Time) FROM emp1");
            facts.timeOrdered = timesAscending(rows) && (before == 0 || (lastTime && *lastTime <= rows.front().time));
        }
    }
    static const std::string kInsert = insertSql();
    Statement insert(db, kInsert.c_str());
    ok = ok && static_cast<bool>(insert);
    std::int64_t number = before;
    for (const SampleRow& row : rows) {
        if (!ok) break;
        sqlite3_stmt* st = insert.get();
        for (int i = 0; i < kSampleValueColumns; ++i)
            sqlite3_bind_int(st, i + 1, row.values[static_cast<std::size_t>(i)]);
        sqlite3_bind_double(st, kTimeColumn + 1, row.time);
        sqlite3_bind_int64(st, kNumberColumn + 1, number);
        ok = insert.step() == SQLITE_DONE;
        insert.reset();
        ++number;
    }
    ok = ok && writeFacts(db, counter, facts) && db.exec("COMMIT");
    if (!ok) {
        db.exec("ROLLBACK");
        result.recordCount = before >= 0 ? before : queryInt(db, "SELECT count(*) FROM emp1");
        return result;
    }
    result.stored = true;
    result.recordCount = number;
    return result;
}

HistoryResult loadHistory(const std::string& path, std::optional<DateTime> startAtOrAfter,
                          int maxRows) {
    HistoryResult result;
    dblog::Operation op("loading the history from", path);
    Connection db = openOurs(path);
    if (!db) return result;
    // One read transaction, so the count and the rows agree.
    if (!db.exec("BEGIN")) return result;
    const FileFacts facts = readFacts(db, path);
    const bool bounded = startAtOrAfter.has_value() && !std::isnan(*startAtOrAfter);
    // A walked count from the start needs the total; the fast one does not.
    const std::int64_t total = bounded && facts.timeOrdered ? 0 : countAll(db, facts);
    if (total < 0) return result;
    const std::int64_t count = bounded ? countFrom(db, facts, *startAtOrAfter, total) : total;
    if (count < 0) return result;

    Statement query(db, bounded ? "SELECT * FROM emp1 WHERE Time >= ?1 ORDER BY Time ASC LIMIT ?2"
                                : "SELECT * FROM emp1 ORDER BY Time ASC LIMIT ?2");
    if (!query) return result;
    if (bounded) sqlite3_bind_double(query.get(), 1, *startAtOrAfter);
    sqlite3_bind_int(query.get(), 2, maxRows < 0 ? 0 : maxRows);
    result.recordCount = count;
    result.rows.reserve(static_cast<std::size_t>(std::min<std::int64_t>(count, maxRows < 0 ? 0 : maxRows)));
    int rc;
    while ((rc = query.step()) == SQLITE_ROW) result.rows.push_back(readRow(query.get()));
    if (rc != SQLITE_DONE) {
        result.rows.clear();
        result.recordCount = 0;
        return result;
    }
    db.exec("COMMIT");
    result.opened = true;
    return result;
}

namespace {

// Records now, in a read transaction of its own.
std::int64_t countNow(const Connection& db, const std::string& path) {
    if (!db.exec("BEGIN")) return -1;
    const std::int64_t n = countAll(db, readFacts(db, path));
    db.exec("COMMIT");
    return n;
}

}  // namespace

ClearResult clearSamples(const std::string& path,
                         const std::function<void(std::int64_t remaining)>& betweenChunks) {
    ClearResult result;
    dblog::Operation op("clearing", path);
    Connection db = openOurs(path);
    if (!db) return result;
    result.opened = true;
    // Deletes the oldest-stored records a chunk at a time, each chunk one
    // transaction, so that the window runs its events in between and a kill
    // loses nothing but the chunk in progress. Taking them by rowid keeps
    // the rest gap-free, so the fast count stays valid. The last chunk empties
    // the table in one statement, which the engine runs as a truncation.
    // Ticks may add records meanwhile, so it goes on until the table is
    // empty, and gives up after attempts that remove nothing (a read-only
    // or locked file).
    constexpr int kMaxFruitlessAttempts = 2;
    int fruitless = 0;
    for (;;) {
        const std::int64_t before = countNow(db, path);
        if (before == 0) {
            result.ok = true;
            break;
        }
        bool deleted = false;
        if (before > 0 && db.exec("BEGIN IMMEDIATE")) {
            const auto counter = fileChangeCounter(path);
            const FileFacts facts = readFacts(db, path);
            if (before <= kClearChunkRecords) {
                deleted = db.exec("DELETE FROM emp1") && writeFacts(db, counter, {true, true});
            } else {
                Statement chunk(db, "DELETE FROM emp1 WHERE rowid < (SELECT min(rowid) FROM emp1) + ?1");
                if (chunk) sqlite3_bind_int64(chunk.get(), 1, kClearChunkRecords);
                deleted = chunk && chunk.step() == SQLITE_DONE && writeFacts(db, counter, facts);
            }
            deleted = deleted && db.exec("COMMIT");
            if (!deleted) db.exec("ROLLBACK");
        }
        const std::int64_t after = countNow(db, path);
        if (!deleted || after < 0 || after >= before) {
            if (++fruitless >= kMaxFruitlessAttempts) break;
        } else {
            fruitless = 0;
        }
        if (betweenChunks) betweenChunks(after < 0 ? before : after);
    }
    return result;
}

std::int64_t fillSampleDatabase(const std::string& path,
                                const std::function<FillStep(StoredRecord&)>& next) {
    Connection db = openOurs(path);
    if (!db || !db.exec("BEGIN IMMEDIATE")) return -1;
    const auto counter = fileChangeCounter(path);
    static const std::string kInsert = insertSql();
    Statement insert(db, kInsert.c_str());
    if (!insert || countAll(db, readFacts(db, path)) != 0) {
        db.exec("ROLLBACK");
        return -1;
    }
    // The rowids run from 1 without gaps; times are ordered while each one is
    // present, finite and not before the one before it.
    FileFacts facts{true, true};
    double lastTime = -HUGE_VAL;
    std::int64_t stored = 0;
    StoredRecord r;
    FillStep step;
    while ((step = next(r)) == FillStep::Record) {
        sqlite3_stmt* st = insert.get();
        for (int i = 0; i < kSampleTableColumns; ++i) {
            if (r.missing >> i & 1u) sqlite3_bind_null(st, i + 1);
            else if (i < kSampleValueColumns) sqlite3_bind_int(st, i + 1, r.values[static_cast<std::size_t>(i)]);
            else if (i == kTimeColumn) sqlite3_bind_double(st, i + 1, r.time);
            else sqlite3_bind_int(st, i + 1, r.number);
        }
        const bool timePresent = (r.missing >> kTimeColumn & 1u) == 0 && std::isfinite(r.time);
        facts.timeOrdered = facts.timeOrdered && timePresent && lastTime <= r.time;
        if (timePresent) lastTime = r.time;
        if (insert.step() != SQLITE_DONE) {
            db.exec("ROLLBACK");
            return -1;
        }
        insert.reset();
        ++stored;
    }
    if (step != FillStep::End || !writeFacts(db, counter, facts) || !db.exec("COMMIT")) {
        db.exec("ROLLBACK");
        return -1;
    }
    return stored;
}

}  // namespace orlix
