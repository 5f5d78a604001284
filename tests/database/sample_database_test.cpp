#include "database/sample_database.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "db_test_util.h"
#include "run_unprivileged.h"

namespace orlix {
namespace {

using testing::makeRow;
using testing::makeRows;
using testing::fileBytes;
using testing::foreignEmp1Sql;
using testing::rawSql;
using testing::ScratchDir;
using testing::tickTime;

using test::runUnprivileged;

TEST(SampleDatabase, NewFileHoldsEmp1WithTheColumnsInOrderAndNoRecords) {
    ScratchDir dir;
    const std::string path = dir.file("new.mdb");
    ASSERT_TRUE(CreateSampleDatabase(path));
    EXPECT_TRUE(isSampleDatabase(path));
    EXPECT_EQ(countRecords(path), 0);

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA table_info(emp1)", -1, &st, nullptr), SQLITE_OK);
    std::vector<std::pair<std::string, std::string>> cols;
    while (sqlite3_step(st) == SQLITE_ROW)
        cols.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)),
                          reinterpret_cast<const char*>(sqlite3_column_text(st, 2)));
    sqlite3_finalize(st);
    ASSERT_EQ(cols.size(), 52u);
    EXPECT_EQ(cols[0].first, "Pd");
    EXPECT_EQ(cols[23].first, "Ta1");
    EXPECT_EQ(cols[24].first, "Te1");
    EXPECT_EQ(cols[43].first, "Ta3");
    EXPECT_EQ(cols[44].first, "Te3");
    EXPECT_EQ(cols[49].first, "Sub3_free3");
    EXPECT_EQ(cols[50].first, "Time");
    EXPECT_EQ(cols[51].first, "Number");
    EXPECT_EQ(cols[0].second, "SMALLINT");
    EXPECT_EQ(cols[50].second, "REAL");
    EXPECT_EQ(cols[51].second, "INTEGER");

    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT name FROM sqlite_schema WHERE type='index' AND tbl_name='emp1'",
                                 -1, &st, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "emp1_Time");
    sqlite3_finalize(st);
    ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA application_id", -1, &st, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(st, 0), kSampleDatabaseApplicationId);
    sqlite3_finalize(st);
    sqlite3_close(db);
}

TEST(SampleDatabase, CreationRefusesExistingNamesAndMissingFolders) {
    ScratchDir dir;
    const std::string path = dir.file("a.mdb");
    {
        std::ofstream(path) << "keep me";
    }
    EXPECT_FALSE(CreateSampleDatabase(path));
    std::ifstream in(path);
    std::string content;
    std::getline(in, content);
    EXPECT_EQ(content, "keep me");  // an existing file is never touched

    EXPECT_FALSE(CreateSampleDatabase(dir.file("missing/b.mdb")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing")));
    EXPECT_FALSE(CreateSampleDatabase(""));
}

TEST(SampleDatabase, CreationInReadOnlyFolderFailsWithoutLeftovers) {
    ScratchDir dir;
    std::filesystem::create_directory(dir.file("ro"));
    ::chmod(dir.file("ro").c_str(), 0555);
    EXPECT_EQ(runUnprivileged([&] { return CreateSampleDatabase(dir.file("ro/x.mdb")) ? 1 : 0; }), 0);
    EXPECT_TRUE(std::filesystem::is_empty(dir.file("ro")));
}

TEST(SampleDatabase, EveryColumnReadsBackItsOwnValue) {
    ScratchDir dir;
    const std::string path = dir.file("cols.mdb");
    ASSERT_TRUE(CreateSampleDatabase(path));
    SampleRow row;
    for (int i = 0; i < kSampleValueColumns; ++i) row.values[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(1000 + i);
    row.values[0] = -32768;
    row.values[1] = 32767;
    row.values[23] = 100;   // slave 1 pressure byte
    row.values[24] = 0x5A;  // slave 1 flag byte
    row.values[43] = 255;
    row.values[44] = 3;
    row.time = 46001.25;
    ASSERT_TRUE(appendSamples(path, std::span(&row, 1)).stored);

    const HistoryResult h = loadHistory(path, std::nullopt);
    ASSERT_TRUE(h.opened);
    ASSERT_EQ(h.rows.size(), 1u);
    EXPECT_EQ(h.rows[0].unreadable, 0u);
    EXPECT_EQ(h.rows[0].values, row.values);
    EXPECT_EQ(h.rows[0].time, row.time);

    // The columns are addressed by name as well as by position.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT Ta1, Te1, Ta3, Te3, Pd, Ps, Time, Number FROM emp1", -1, &st, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(st, 0), 100);
    EXPECT_EQ(sqlite3_column_int(st, 1), 0x5A);
    EXPECT_EQ(sqlite3_column_int(st, 2), 255);
    EXPECT_EQ(sqlite3_column_int(st, 3), 3);
    EXPECT_EQ(sqlite3_column_int(st, 4), -32768);
    EXPECT_EQ(sqlite3_column_int(st, 5), 32767);
    EXPECT_EQ(sqlite3_column_double(st, 6), 46001.25);
    EXPECT_EQ(sqlite3_column_int(st, 7), 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
}

std::vector<std::int64_t> numbers(const std::string& path) {
    std::vector<std::int64_t> out;
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT Number FROM emp1 ORDER BY rowid", -1, &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW) out.push_back(sqlite3_column_int64(st, 0));
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
}

TEST(SampleDatabase, NumberCountsRecordsBeforeEachAndRestartsAfterClear) {
    ScratchDir dir;
    const std::string path = dir.file("n.mdb");
    ASSERT_TRUE(CreateSampleDatabase(path));
    auto rows = makeRows(0, 45);
    AppendResult r = appendSamples(path, rows);
    EXPECT_TRUE(r.opened && r.stored);
    EXPECT_EQ(r.recordCount, 45);
    rows = makeRows(45, 45);
    r = appendSamples(path, rows);
    EXPECT_EQ(r.recordCount, 90);
    const auto n = numbers(path);
    ASSERT_EQ(n.size(), 90u);
    for (std::size_t i = 0; i < n.size(); ++i) EXPECT_EQ(n[i], static_cast<std::int64_t>(i));

    std::vector<std::int64_t> seen;
    const ClearResult c = clearSamples(path, [&](std::int64_t left) { seen.push_back(left); });
    EXPECT_TRUE(c.opened && c.ok);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), 0);
    EXPECT_EQ(countRecords(path), 0);
    rows = makeRows(90, 3);
    appendSamples(path, rows);
    EXPECT_EQ(numbers(path), (std::vector<std::int64_t>{0, 1, 2}));
}

TEST(SampleDatabase, ClearAlsoRemovesRecordsAddedWhileEventsRun) {
    ScratchDir dir;
    const std::string path = dir.file("c.mdb");
    ASSERT_TRUE(CreateSampleDatabase(path));
    appendSamples(path, makeRows(0, 100));
    int calls = 0;
    const ClearResult c = clearSamples(path, [&](std::int64_t) {
        // A tick that stores a batch while the window runs its events.
        if (calls++ == 0) appendSamples(path, makeRows(100, 45));
    });
    EXPECT_TRUE(c.ok);
    EXPECT_GE(calls, 2);
    EXPECT_EQ(countRecords(path), 0);
}

TEST(SampleDatabase, LargeClearGoesInChunksOldestFirst) {
    ScratchDir dir;
    const std::string path = dir.file("large.mdb");
    ASSERT_TRUE(CreateSampleDatabase(path));
    const int n = static_cast<int>(2 * kClearChunkRecords + 10);
    appendSamples(path, makeRows(0, n));
    std::vector<std::int64_t> seen;
    std::vector<std::int64_t> firstLeft;
    const ClearResult c = clearSamples(path, [&](std::int64_t left) {
        seen.push_back(left);
        // What is left is always the newest part, still counted right.
        const HistoryResult h = loadHistory(path, std::nullopt, 1);
        EXPECT_EQ(h.recordCount, left);
        if (!h.rows.empty()) firstLeft.push_back(std::llround((h.rows[0].time - tickTime(0)) * 86400.0 / 4.0));
    });
    EXPECT_TRUE(c.ok);
    const std::int64_t chunk = kClearChunkRecords;
    EXPECT_EQ(seen, (std::vector<std::int64_t>{chunk + 10, 10, 0}));
    EXPECT_EQ(firstLeft, (std::vector<std::int64_t>{chunk, 2 * chunk}));
    appendSamples(path, makeRows(0, 2));
    EXPECT_EQ(numbers(path), (std::vector<std::int64_t>{0, 1}));
}

TEST(SampleDatabase, ClearGivesUpWhenDeletionKeepsFailing) {
    ScratchDir dir;
    const std::string path = dir.file("locked.mdb");
    ASSERT_TRUE(CreateSampleDatabase(path));
    appendSamples(path, makeRows(0, 10));
    // Another writer holds the file for the whole clear.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    int calls = 0;
    const ClearResult c = clearSamples(path, [&](std::int64_t left) {
        ++calls;
        EXPECT_EQ(left, 10);
    });
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_TRUE(c.opened);
    EXPECT_FALSE(c.ok);
    EXPECT_GE(calls, 1);
    EXPECT_EQ(countRecords(path), 10);
}

TEST(SampleDatabase, ReadOnlyFileCanBeReadButNotWrittenOrCleared) {
    ScratchDir dir;
    const std::string path = dir.file("ro.mdb");
    ASSERT_TRUE(CreateSampleDatabase(path));
    appendSamples(path, makeRows(0, 5));
    ::chmod(path.c_str(), 0444);
    const int failed = runUnprivileged([&] {
        if (loadHistory(path, std::nullopt).rows.size() != 5u) return 1;
        const AppendResult a = appendSamples(path, makeRows(5, 5));
        if (!a.opened || a.stored || a.recordCount != 5) return 2;
        int calls = 0;
        const ClearResult c = clearSamples(path, [&](std::int64_t) { ++calls; });
        if (!c.opened || c.ok || calls == 0) return 3;
        return countRecords(path) == 5 ? 0 : 4;
    });
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(countRecords(path), 5);
}

TEST(SampleDatabase, ForeignAndBrokenFilesAreRefusedUntouched) {
    ScratchDir dir;
    struct Case {
        std::string name;
        std::function<void(const std::string&)> make;
    };
    const std::vector<Case> cases = {
        {"zero bytes", [](const std::string& p) { std::ofstream(p, std::ios::binary); }},
        {"random bytes",
         [](const std::string& p) {
             std::ofstream f(p, std::ios::binary);
             for (int i = 0; i < 4096; ++i) f.put(static_cast<char>((i * 7919) & 0xFF));
         }},
        {"legacy access header",
         [](const std::string& p) {
             std::ofstream f(p, std::ios::binary);
             const char head[] = "\x00\x01\x00\x00Standard Jet DB\x00\x01\x00\x00\x00";
             f.write(head, sizeof head);
             f << std::string(4096, '\0');
         }},
        {"truncated sqlite header",
         [](const std::string& p) { std::ofstream(p, std::ios::binary) << "SQLite format 3"; }},
        {"sqlite without emp1", [](const std::string& p) { rawSql(p, "PRAGMA application_id=1330793560; CREATE TABLE t(x)"); }},
        {"emp1 with too few columns",
         [](const std::string& p) { rawSql(p, "PRAGMA application_id=1330793560; CREATE TABLE emp1(Pd, Ps, Time, Number)"); }},
        {"emp1 columns in another order",
         [](const std::string& p) {
             rawSql(p, foreignEmp1Sql());
             rawSql(p, "ALTER TABLE emp1 RENAME COLUMN Pd TO x; ALTER TABLE emp1 RENAME COLUMN Ps TO Pd;"
                       "ALTER TABLE emp1 RENAME COLUMN x TO Ps");
         }},
        {"emp1 with a text column",
         [](const std::string& p) { rawSql(p, foreignEmp1Sql([](int i) { return i == 7 ? "VARCHAR(8)" : "INTEGER"; })); }},
        {"emp1 with one column more",
         [](const std::string& p) { rawSql(p, foreignEmp1Sql() + "; ALTER TABLE emp1 ADD COLUMN extra INTEGER"); }},
        {"emp1 with a generated column",
         [](const std::string& p) {
             rawSql(p, foreignEmp1Sql([](int) { return "INTEGER"; }) +
                           "; ALTER TABLE emp1 ADD COLUMN g INTEGER GENERATED ALWAYS AS (Pd + 1) VIRTUAL");
         }},
        {"emp1 without rowid",
         [](const std::string& p) {
             rawSql(p, foreignEmp1Sql([](int i) { return i == kNumberColumn ? "INTEGER PRIMARY KEY" : "INTEGER"; },
                                      " WITHOUT ROWID"));
         }},
        {"emp1 with a trigger", [](const std::string& p) {
             ASSERT_TRUE(CreateSampleDatabase(p));
             rawSql(p, "CREATE TABLE log(x); CREATE TRIGGER t AFTER INSERT ON emp1 BEGIN INSERT INTO log VALUES(1); END");
         }},
        {"emp1 as a view", [](const std::string& p) {
             ASSERT_TRUE(CreateSampleDatabase(p));
             rawSql(p, "ALTER TABLE emp1 RENAME TO e; CREATE VIEW emp1 AS SELECT * FROM e");
         }},
    };
    int i = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file("bad" + std::to_string(i++) + ".mdb");
        c.make(path);
        const std::string bytes = fileBytes(path);
        EXPECT_FALSE(isSampleDatabase(path));
        EXPECT_EQ(countRecords(path), -1);
        EXPECT_FALSE(appendSamples(path, makeRows(0, 45)).opened);
        EXPECT_FALSE(loadHistory(path, std::nullopt).opened);
        EXPECT_FALSE(clearSamples(path, {}).opened);
        EXPECT_TRUE(fileBytes(path) == bytes);
        EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
    }
    EXPECT_FALSE(appendSamples(dir.file("gone.mdb"), makeRows(0, 1)).opened);
    EXPECT_FALSE(std::filesystem::exists(dir.file("gone.mdb")));
}

// A file another tool made with the sample table (names in any case, its
// own application id and user_version, no index) loads, pages, records and
// clears; its header stays the other tool's.
TEST(SampleDatabase, ForeignFileWithTheSampleTableIsUsedAndKeepsItsHeader) {
    ScratchDir dir;
    const std::string path = dir.file("foreign.mdb");
    rawSql(path, "PRAGMA application_id=7; PRAGMA user_version=5; " +
                     foreignEmp1Sql().replace(0, 18, "CREATE TABLE EMP1("));
    rawSql(path, "ALTER TABLE emp1 RENAME COLUMN Time TO TIME");
    const std::string made = fileBytes(path);
    ASSERT_TRUE(isSampleDatabase(path));
    EXPECT_EQ(countRecords(path), 0);
    EXPECT_FALSE(loadHistory(path, std::nullopt).rows.size());
    EXPECT_TRUE(fileBytes(path) == made);  // reading writes nothing

    const std::vector<SampleRow> rows = makeRows(0, 600);
    const AppendResult a = appendSamples(path, rows);
    EXPECT_TRUE(a.opened && a.stored);
    EXPECT_EQ(a.recordCount, 600);
    EXPECT_EQ(countRecords(path), 600);
    const HistoryResult all = loadHistory(path, std::nullopt);
    ASSERT_EQ(all.rows.size(), 600u);
    EXPECT_EQ(all.rows[599].values, rows[599].values);
    EXPECT_EQ(all.rows[599].time, rows[599].time);
    const HistoryResult page = loadHistory(path, tickTime(180));
    EXPECT_EQ(page.recordCount, 420);
    ASSERT_FALSE(page.rows.empty());
    EXPECT_EQ(page.rows[0].time, rows[180].time);

    // Another tool adds a record out of order: counts still follow the file.
    rawSql(path, "INSERT INTO emp1 (Time) VALUES (" + std::to_string(tickTime(1000)) + ")");
    EXPECT_EQ(countRecords(path), 601);
    EXPECT_EQ(loadHistory(path, tickTime(599)).recordCount, 2);
    EXPECT_TRUE(clearSamples(path, {}).ok);
    EXPECT_EQ(countRecords(path), 0);

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    const auto pragma = [&](const char* sql) {
        sqlite3_stmt* st = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db, sql, -1, &st, nullptr), SQLITE_OK);
        EXPECT_EQ(sqlite3_step(st), SQLITE_ROW);
        const int v = sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
        return v;
    };
    EXPECT_EQ(pragma("PRAGMA application_id"), 7);
    EXPECT_EQ(pragma("PRAGMA user_version"), 5);
    EXPECT_EQ(pragma("SELECT count(*) FROM sqlite_schema WHERE type='index'"), 0);
    sqlite3_close(db);
}

TEST(SampleDatabase, UnreadableCellsAreFlaggedNotMisread) {
    ScratchDir dir;
    const std::string path = dir.file("cells.mdb");
    ASSERT_TRUE(CreateSampleDatabase(path));
    appendSamples(path, makeRows(0, 3));
    rawSql(path,
           "UPDATE emp1 SET Pd=NULL, Ps='abc', Td=40000, Ts=-40000, Toil=2.5, Ta=7.0, Te=x'01' WHERE Number=0;"
           "UPDATE emp1 SET Time=NULL WHERE Number=1;");
    const HistoryResult h = loadHistory(path, std::nullopt);
    ASSERT_EQ(h.rows.size(), 3u);
    // The record without a time sorts first.
    EXPECT_FALSE(h.rows[0].readable(kTimeColumn));
    EXPECT_EQ(h.rows[0].unreadable, std::uint64_t{1} << kTimeColumn);
    const HistoryRow& bad = h.rows[1];
    for (int c = 0; c <= 4; ++c) EXPECT_FALSE(bad.readable(c)) << c;
    EXPECT_TRUE(bad.readable(5));
    EXPECT_EQ(bad.values[5], 7);
    EXPECT_FALSE(bad.readable(6));
    EXPECT_TRUE(bad.readable(7));
    EXPECT_EQ(bad.values[7], makeRow(0, 0).values[7]);
    EXPECT_EQ(h.rows[2].unreadable, 0u);
}

TEST(SampleDatabase, HistoryReadsAtMostTheFirstRowsAndCountsTheWholeResult) {
    ScratchDir dir;
    const std::string path = dir.file("h.mdb");
    ASSERT_TRUE(CreateSampleDatabase(path));
    // Stored out of time order across two batches: the load sorts by Time.
    appendSamples(path, makeRows(1000, 900));
    appendSamples(path, makeRows(0, 1000));
    HistoryResult h = loadHistory(path, std::nullopt, 720);
    EXPECT_EQ(h.recordCount, 1900);
    ASSERT_EQ(h.rows.size(), 720u);
    for (int i = 0; i < 720; ++i) ASSERT_EQ(h.rows[static_cast<std::size_t>(i)].time, tickTime(i));

    // Bounded loads: at, just after and between samples, and on both sides
    // of the middle (the count is worked out from either end).
    for (int at : {0, 1, 200, 999, 1000, 1500, 1899}) {
        SCOPED_TRACE(at);
        h = loadHistory(path, tickTime(at), 720);
        EXPECT_EQ(h.recordCount, 1900 - at);
        ASSERT_FALSE(h.rows.empty());
        EXPECT_EQ(h.rows.front().time, tickTime(at));
        EXPECT_EQ(h.rows.size(), static_cast<std::size_t>(std::min(720, 1900 - at)));
        h = loadHistory(path, tickTime(at) + secondsToDays(1), 720);
        EXPECT_EQ(h.recordCount, 1900 - at - 1);
    }
    h = loadHistory(path, tickTime(5000), 720);
    EXPECT_TRUE(h.opened);
    EXPECT_EQ(h.recordCount, 0);
    h = loadHistory(path, -1.0, 720);
    EXPECT_EQ(h.recordCount, 1900);

    // Records without a time belong to the whole table but never to a
    // bounded result.
    rawSql(path, "UPDATE emp1 SET Time=NULL WHERE Number IN (5, 6)");  // ticks 1005 and 1006
    EXPECT_EQ(loadHistory(path, std::nullopt).recordCount, 1900);
    EXPECT_EQ(loadHistory(path, tickTime(1200)).recordCount, 700);
    EXPECT_EQ(loadHistory(path, tickTime(900)).recordCount, 998);
    EXPECT_EQ(loadHistory(path, tickTime(0)).recordCount, 1898);
}

// Counts come from the rowids while only this program has written the file;
// any foreign write must send them back to a real count.
TEST(SampleDatabase, CountsStayExactAcrossForeignWritesAndOddTimes) {
    ScratchDir dir;
    const std::string path = dir.file("counts.mdb");
    ASSERT_TRUE(CreateSampleDatabase(path));
    for (int b = 0; b < 3; ++b) appendSamples(path, makeRows(45 * b, 45));
    auto from = [&](int i) { return loadHistory(path, tickTime(i), 10).recordCount; };
    EXPECT_EQ(countRecords(path), 135);
    EXPECT_EQ(from(100), 35);
    EXPECT_EQ(from(0), 135);
    EXPECT_EQ(from(134), 1);
    EXPECT_EQ(from(135), 0);

    // Our own writes leave the header stamped for the fast count.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &st, nullptr);
    sqlite3_step(st);
    const int stamp = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    EXPECT_EQ(stamp & 3, 3);

    rawSql(path, "DELETE FROM emp1 WHERE Number = 50");  // a gap in the middle
    EXPECT_EQ(countRecords(path), 134);
    EXPECT_EQ(from(40), 94);
    EXPECT_EQ(appendSamples(path, makeRows(135, 45)).recordCount, 179);
    EXPECT_EQ(countRecords(path), 179);
    EXPECT_EQ(from(150), 30);

    // A foreign record older than the rest, without values.
    rawSql(path, "INSERT INTO emp1 (Time, Number) VALUES (" + std::to_string(tickTime(-5)) + ", 0)");
    EXPECT_EQ(countRecords(path), 180);
    EXPECT_EQ(from(-10), 180);
    EXPECT_EQ(from(0), 179);
    appendSamples(path, makeRows(180, 45));
    EXPECT_EQ(countRecords(path), 225);
    EXPECT_EQ(from(0), 224);
    EXPECT_EQ(from(200), 25);

    // After a clear the file is ours again; a batch that goes back in time
    // (the clock was set back) keeps the counts right.
    ASSERT_TRUE(clearSamples(path, {}).ok);
    EXPECT_EQ(countRecords(path), 0);
    appendSamples(path, makeRows(1000, 45));
    appendSamples(path, makeRows(500, 45));
    EXPECT_EQ(countRecords(path), 90);
    EXPECT_EQ(from(520), 70);
    EXPECT_EQ(from(1000), 45);
    EXPECT_EQ(from(1040), 5);
    // Another tool switches the file to write-ahead logging and adds a
    // record: its commits no longer show in the change counter.
    rawSql(path, "PRAGMA journal_mode=WAL");
    appendSamples(path, makeRows(1045, 5));
    {
        sqlite3* wal = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &wal), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(wal, ("INSERT INTO emp1 (Time) VALUES (" + std::to_string(tickTime(1100)) + ")").c_str(),
                               nullptr, nullptr, nullptr), SQLITE_OK);
        EXPECT_EQ(countRecords(path), 96);  // read while the log is still open
        EXPECT_EQ(from(1049), 2);
        sqlite3_close(wal);
    }
    EXPECT_EQ(countRecords(path), 96);
    rawSql(path, "PRAGMA journal_mode=DELETE");
    std::vector<SampleRow> backwards = makeRows(2000, 3);
    std::swap(backwards[0], backwards[2]);
    ASSERT_TRUE(clearSamples(path, {}).ok);
    appendSamples(path, backwards);
    EXPECT_EQ(from(2001), 2);
    EXPECT_EQ(loadHistory(path, tickTime(2001), 10).rows.front().time, tickTime(2001));
}

TEST(SampleDatabase, StartBoundIsTheExactInstant) {
    ScratchDir dir;
    const std::string path = dir.file("t.mdb");
    ASSERT_TRUE(CreateSampleDatabase(path));
    // Two samples 0.3 s apart: the bound is a number, not a text to the
    // second (history pages round their start themselves).
    std::vector<SampleRow> rows = {makeRow(0, 46000.5), makeRow(1, 46000.5 + secondsToDays(0.3))};
    appendSamples(path, rows);
    const HistoryResult h = loadHistory(path, 46000.5 + secondsToDays(0.2));
    EXPECT_EQ(h.recordCount, 1);
    ASSERT_EQ(h.rows.size(), 1u);
    EXPECT_EQ(h.rows[0].time, rows[1].time);
}

TEST(SampleDatabase, DefaultFolderIsInTheHomeFolderAndMadeOnRequest) {
    ScratchDir dir;
    const char* old = std::getenv("HOME");
    const std::string saved = old ? old : "";
    ::setenv("HOME", dir.path().c_str(), 1);
    const std::string folder = defaultDatabaseFolder();
    EXPECT_EQ(folder, (dir.path() / "OrlixMonitorDB/").string());
    EXPECT_FALSE(std::filesystem::exists(folder));
    EXPECT_EQ(defaultDatabaseFolder(true), folder);
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    if (old) ::setenv("HOME", saved.c_str(), 1);
    else ::unsetenv("HOME");
}

}  // namespace
}  // namespace orlix
