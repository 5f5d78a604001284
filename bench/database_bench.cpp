// Sample database operations against bare SQLite doing the same work:
//  - storing one batch of 45 samples (open, count, insert, commit, close);
//  - loading 720 records and counting the result from a 1,000,000-record
//    file, for the whole table and for page steps near the start and in the
//    middle;
//  - clearing a 1,000,000-record file against a bare DELETE FROM emp1.
// Run: database_bench [--benchmark_filter=...]. Needs about 1 GB of space in
// the temporary folder.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bench_work_dir.h"
#include "database/sample_database.h"

namespace orlix {
namespace {

namespace fs = std::filesystem;

constexpr int kBigRows = 1'000'000;
constexpr DateTime kStart = 46000.0;
DateTime timeOf(int i) { return kStart + secondsToDays(4.0 * i); }

SampleRow sample(int i) {
    SampleRow r;
    for (int c = 0; c < kSampleValueColumns; ++c)
        r.values[static_cast<std::size_t>(c)] = static_cast<std::int16_t>((i * 37 + c * 101) % 3000 - 300);
    r.time = timeOf(i);
    return r;
}

const fs::path& workDir() {
    static const bench::WorkDir dir("db");
    return dir.path();
}

// The 1,000,000-record file, made once per run.
const std::string& bigFile() {
    static const std::string path = [] {
        const std::string p = (workDir() / "big.mdb").string();
        CreateSampleDatabase(p);
        std::vector<SampleRow> rows;
        rows.reserve(100'000);
        for (int chunk = 0; chunk < kBigRows / 100'000; ++chunk) {
            rows.clear();
            for (int i = 0; i < 100'000; ++i) rows.push_back(sample(chunk * 100'000 + i));
            appendSamples(p, rows);
        }
        return p;
    }();
    return path;
}

// --- bare SQLite -----------------------------------------------------------

sqlite3* rawOpen(const std::string& path) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_exec(db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
    return db;
}

std::int64_t rawCount(sqlite3* db, const char* sql, const double* bound) {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
    if (bound) sqlite3_bind_double(st, 1, *bound);
    sqlite3_step(st);
    const std::int64_t n = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return n;
}

void rawAppend(const std::string& path, const std::vector<SampleRow>& rows) {
    sqlite3* db = rawOpen(path);
    sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    std::int64_t number = rawCount(db, "SELECT count(*) FROM emp1", nullptr);
    std::string sql = "INSERT INTO emp1 VALUES (";
    for (int i = 1; i <= kSampleTableColumns; ++i) {
        sql.append(i > 1 ? ",?" : "?");
        sql.append(std::to_string(i));
    }
    sql += ")";
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
    for (const SampleRow& r : rows) {
        for (int i = 0; i < kSampleValueColumns; ++i) sqlite3_bind_int(st, i + 1, r.values[static_cast<std::size_t>(i)]);
        sqlite3_bind_double(st, 51, r.time);
        sqlite3_bind_int64(st, 52, number++);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

// Reads the first `limit` records the obvious way: count the result, then
// walk the ordered query.
std::int64_t rawLoad(const std::string& path, const double* start, int limit, std::vector<SampleRow>& out) {
    sqlite3* db = rawOpen(path);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    const std::int64_t n = start ? rawCount(db, "SELECT count(*) FROM emp1 WHERE Time >= ?1", start)
                                 : rawCount(db, "SELECT count(*) FROM emp1", nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db,
                       start ? "SELECT * FROM emp1 WHERE Time >= ?1 ORDER BY Time ASC LIMIT ?2"
                             : "SELECT * FROM emp1 ORDER BY Time ASC LIMIT ?2",
                       -1, &st, nullptr);
    if (start) sqlite3_bind_double(st, 1, *start);
    sqlite3_bind_int(st, 2, limit);
    out.clear();
    while (sqlite3_step(st) == SQLITE_ROW) {
        SampleRow r;
        for (int i = 0; i < kSampleValueColumns; ++i)
            r.values[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(sqlite3_column_int(st, i));
        r.time = sqlite3_column_double(st, 50);
        out.push_back(r);
    }
    sqlite3_finalize(st);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return n;
}

// --- append -----------------------------------------------------------------

std::string freshSmallFile(const char* name) {
    const std::string p = (workDir() / name).string();
    fs::remove(p);
    CreateSampleDatabase(p);
    std::vector<SampleRow> rows;
    for (int i = 0; i < 10'000; ++i) rows.push_back(sample(i));
    appendSamples(p, rows);
    return p;
}

std::vector<SampleRow> batch() {
    std::vector<SampleRow> rows;
    for (int i = 0; i < 45; ++i) rows.push_back(sample(20'000 + i));
    return rows;
}

void BM_Append45_Ours(benchmark::State& state) {
    const std::string p = freshSmallFile("append_ours.mdb");
    const auto rows = batch();
    for (auto _ : state) benchmark::DoNotOptimize(appendSamples(p, rows));
}
void BM_Append45_RawSqlite(benchmark::State& state) {
    const std::string p = freshSmallFile("append_raw.mdb");
    const auto rows = batch();
    for (auto _ : state) rawAppend(p, rows);
}
BENCHMARK(BM_Append45_Ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Append45_RawSqlite)->Unit(benchmark::kMicrosecond);

// --- history ----------------------------------------------------------------

// state.range(0): -1 whole table, otherwise the record the page starts at.
void BM_History720_Ours(benchmark::State& state) {
    const std::string& p = bigFile();
    const int at = static_cast<int>(state.range(0));
    for (auto _ : state) {
        const auto r = at < 0 ? loadHistory(p, std::nullopt, 720) : loadHistory(p, timeOf(at), 720);
        if (r.rows.size() != 720) state.SkipWithError("wrong row count");
        benchmark::DoNotOptimize(r.recordCount);
    }
}
void BM_History720_RawSqlite(benchmark::State& state) {
    const std::string& p = bigFile();
    const int at = static_cast<int>(state.range(0));
    const double start = timeOf(at);
    std::vector<SampleRow> out;
    out.reserve(720);
    for (auto _ : state) {
        benchmark::DoNotOptimize(rawLoad(p, at < 0 ? nullptr : &start, 720, out));
        if (out.size() != 720) state.SkipWithError("wrong row count");
    }
}
BENCHMARK(BM_History720_Ours)->Arg(-1)->Arg(180)->Arg(500'000)->Arg(999'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_History720_RawSqlite)->Arg(-1)->Arg(180)->Arg(500'000)->Arg(999'000)->Unit(benchmark::kMillisecond);

// --- clear ------------------------------------------------------------------

std::string copyOfBig(const char* name) {
    const std::string p = (workDir() / name).string();
    fs::remove(p);
    fs::copy_file(bigFile(), p);
    return p;
}

void BM_Clear1M_Ours(benchmark::State& state) {
    bigFile();
    for (auto _ : state) {
        state.PauseTiming();
        const std::string p = copyOfBig("clear_ours.mdb");
        state.ResumeTiming();
        const auto r = clearSamples(p, [](std::int64_t) {});
        if (!r.ok) state.SkipWithError("clear failed");
    }
}
void BM_Clear1M_BareDelete(benchmark::State& state) {
    bigFile();
    for (auto _ : state) {
        state.PauseTiming();
        const std::string p = copyOfBig("clear_raw.mdb");
        state.ResumeTiming();
        sqlite3* db = rawOpen(p);
        sqlite3_exec(db, "DELETE FROM emp1", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
}
BENCHMARK(BM_Clear1M_Ours)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Clear1M_BareDelete)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace orlix

BENCHMARK_MAIN();
