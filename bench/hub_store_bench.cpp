// The hub's PostgreSQL store, on a PostgreSQL 15 cluster the bench starts
// itself (tests/pg_cluster.h: 127.0.0.1, a free port, a temporary folder):
//  - rows per second: StoreWriter (queue, batches, the key that skips
//    duplicates, the 5-minute summaries) against a plain binary COPY of
//    the same rows into a bare copy of the samples table (no key, no
//    partitions, no summaries), in one run, on a cluster with PostgreSQL's
//    durable defaults; the ratio is printed at the end;
//  - storage: 100 sites x 24 h of samples at 4 s (2,160,000) in the order
//    they arrive, in batches of 25 (steady use: every sample updates its
//    5-minute summary row), of 100 (every site in every batch) and of 5000
//    (a backlog draining), then bytes on disk per sample over every
//    partition, the summaries and their indexes (goal: at most 210).
// Run: hub_store_bench [--benchmark_filter=...]. Needs about 1.5 GB of
// space in the temporary folder and takes about ten minutes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "hub/hub_schema.h"
#include "hub/pg_connection.h"
#include "hub/sample_store.h"
#include "hub/store_writer.h"
#include "pg_cluster.h"

namespace orlix::hub {
namespace {

constexpr int kSites = 100;
constexpr std::int64_t kStepUs = 4'000'000;
constexpr std::int64_t kDayStartUs = 1'749'513'600'000'000;  // 2025-06-10 00:00 UTC
constexpr int kThroughputTicks = 1000;                       // 100,000 rows
constexpr int kDayTicks = 21'600;                            // 24 h at 4 s

// Values as a plant gives them: each a slow sine of its own period and
// phase around a level, plus a little noise.
HubSample plantSample(std::int32_t site, int tick) {
    HubSample s;
    s.site = site;
    s.timeUs = kDayStartUs + tick * kStepUs;
    std::uint32_t noise = static_cast<std::uint32_t>(site) * 2'654'435'761u ^ static_cast<std::uint32_t>(tick);
    for (int i = 0; i < kValueCount; ++i) {
        noise = noise * 1'664'525u + 1'013'904'223u;
        const double level = 200.0 + 37.0 * i + 11.0 * site;
        const double swing = 50.0 + 13.0 * (i % 7);
        const double period = 900.0 + 150.0 * i;  // ticks: one to four hours
        const double v = level + swing * std::sin(2 * M_PI * tick / period + site * 0.7 + i) +
                         static_cast<double>(noise >> 28) - 8.0;
        s.values[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(std::lround(v));
    }
    return s;
}

std::vector<HubSample> tickRows(const std::vector<std::int32_t>& sites, int tick) {
    std::vector<HubSample> rows;
    rows.reserve(sites.size());
    for (const std::int32_t site : sites) rows.push_back(plantSample(site, tick));
    return rows;
}

// A database with the hub's tables, kSites sites and `bare`, a copy of
// the samples table without key or partitions; the site ids.
std::vector<std::int32_t> makeDatabase(test::PgCluster& pg, const std::string& name) {
    std::vector<std::int32_t> ids;
    if (!pg.ok() || !pg.createDatabase(name)) return ids;
    PgConnection db(pg.url(name));
    if (!ensureSchema(db).ok || !db.exec("CREATE TABLE bare (LIKE samples)").ok()) return ids;
    SampleStore store(db);
    char siteName[32];
    for (int k = 0; k < kSites; ++k) {
        std::snprintf(siteName, sizeof siteName, "site-%03d", k);
        if (const auto id = store.siteId(siteName)) ids.push_back(*id);
    }
    return ids;
}

struct ThroughputDb {
    test::PgCluster pg{true};
    std::vector<std::int32_t> sites = makeDatabase(pg, "throughput");
    std::string url = pg.url("throughput");
    std::vector<HubSample> rows = [this] {
        std::vector<HubSample> all;
        for (int tick = 0; tick < kThroughputTicks; ++tick)
            for (const HubSample& s : tickRows(sites, tick)) all.push_back(s);
        return all;
    }();
};

ThroughputDb& throughputDb() {
    static ThroughputDb db;
    return db;
}

double secondsSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void reportRows(benchmark::State& state, double rows, double seconds) {
    state.counters["rows_per_s"] = rows / seconds;
}

void BM_CopyIntoBareTable(benchmark::State& state) {
    ThroughputDb& d = throughputDb();
    PgConnection db(d.url);
    if (d.sites.size() != kSites || !db.ok()) return state.SkipWithError("no database");
    double total = 0;
    for (auto _ : state) {
        db.exec("TRUNCATE bare");
        db.exec("CHECKPOINT");
        const auto t0 = std::chrono::steady_clock::now();
        PgTransaction tx(db);
        const PgResult r = db.copyIn("COPY bare FROM STDIN (FORMAT binary)", binaryCopyData(d.rows));
        if (!r.ok() || !tx.commit().ok()) return state.SkipWithError(r.error().c_str());
        const double s = secondsSince(t0);
        state.SetIterationTime(s);
        total += s;
    }
    reportRows(state, static_cast<double>(d.rows.size() * state.iterations()), total);
}

void BM_StoreWriter(benchmark::State& state) {
    ThroughputDb& d = throughputDb();
    PgConnection db(d.url);
    if (d.sites.size() != kSites || !db.ok()) return state.SkipWithError("no database");
    WriterOptions options;
    options.conninfo = d.url;
    options.batchRows = static_cast<std::size_t>(state.range(0));
    double total = 0;
    for (auto _ : state) {
        db.exec("TRUNCATE samples, summaries_5min");
        db.exec("CHECKPOINT");
        StoreWriter writer(options);
        const auto t0 = std::chrono::steady_clock::now();
        for (const HubSample& s : d.rows) writer.submit(s);
        if (!writer.flush(std::chrono::minutes(10))) return state.SkipWithError("flush timed out");
        const double s = secondsSince(t0);
        state.SetIterationTime(s);
        total += s;
        if (writer.counters().samples.stored != d.rows.size()) return state.SkipWithError("rows missing");
    }
    reportRows(state, static_cast<double>(d.rows.size() * state.iterations()), total);
}

BENCHMARK(BM_CopyIntoBareTable)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StoreWriter)->Arg(5000)->Arg(500)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// Bytes on disk, from `sql` summing pg_*_size() results.
double bytes(PgConnection& db, const std::string& sql) {
    const PgResult r = db.exec(sql);
    return r.ok() ? static_cast<double>(r.number(0, 0)) : -1;
}

void measureStorage(benchmark::State& state, PgConnection& db, double samples) {
    const std::string partitions =
        "FROM pg_inherits i JOIN pg_class c ON c.oid = i.inhrelid WHERE i.inhparent = 'samples'::regclass";
    const double all = bytes(db, "SELECT sum(pg_total_relation_size(c.oid)) " + partitions);
    const double heap = bytes(db, "SELECT sum(pg_relation_size(c.oid)) " + partitions);
    const double summaries = bytes(db, "SELECT pg_total_relation_size('summaries_5min')");
    state.counters["bytes_per_sample"] = (all + summaries) / samples;
    state.counters["rows_B"] = heap / samples;
    state.counters["key_B"] = (all - heap) / samples;
    state.counters["summaries_B"] = summaries / samples;
    state.counters["MB_total"] = (all + summaries) / 1e6;
}

// The day's samples in the order they reach the hub: each site samples at
// a phase of its own within the 4 s.
class DayFeed {
public:
    explicit DayFeed(const std::vector<std::int32_t>& sites) : sites_(sites) {
        for (std::size_t k = 0; k < sites.size(); ++k) order_.push_back(k);
        std::sort(order_.begin(), order_.end(), [](std::size_t a, std::size_t b) { return phaseUs(a) < phaseUs(b); });
    }
    // The next `n` samples; none at the end of the day.
    std::vector<HubSample> next(std::size_t n) {
        std::vector<HubSample> out;
        while (out.size() < n && tick_ < kDayTicks) {
            const std::size_t k = order_[at_];
            out.push_back(plantSample(sites_[k], tick_));
            out.back().timeUs += phaseUs(k);
            if (++at_ == order_.size()) {
                at_ = 0;
                ++tick_;
            }
        }
        return out;
    }

private:
    static std::int64_t phaseUs(std::size_t k) { return static_cast<std::int64_t>(k * 2'654'435'761u % kStepUs); }
    const std::vector<std::int32_t>& sites_;
    std::vector<std::size_t> order_;
    std::size_t at_ = 0;
    int tick_ = 0;
};

// Stores the day in batches of `batchRows` and measures it; false on a
// failure.
bool storeDay(benchmark::State& state, PgConnection& db, const std::vector<std::int32_t>& sites,
              std::size_t batchRows) {
    SampleStore store(db);
    // Commits need not wait for the disk here: the sizes are the same.
    db.exec("SET synchronous_commit = off");
    DayFeed feed(sites);
    std::int64_t stored = 0;
    for (std::vector<HubSample> rows = feed.next(batchRows); !rows.empty(); rows = feed.next(batchRows)) {
        const StoreOutcome o = store.storeSamples(rows);
        if (!o.ok) {
            state.SkipWithError(o.error.c_str());
            return false;
        }
        stored += o.stored;
    }
    measureStorage(state, db, static_cast<double>(stored));
    return true;
}

// 25 samples a batch is what the writer's 200 ms batches hold for 500
// sites: a quarter of these 100 sites, so more of a page's open summary
// rows change in one batch than 100 sites in steady use would change.
// 100 puts every site in every batch: each open summary row changes in
// every batch, the hardest case for keeping their updates on their pages.
// 5000 is a full batch, as when a backlog drains after an outage.
void BM_StorageOfADay(benchmark::State& state) {
    static test::PgCluster pg;
    const std::string name = "storage" + std::to_string(state.range(0));
    const std::vector<std::int32_t> sites = makeDatabase(pg, name);
    PgConnection db(pg.url(name));
    if (sites.size() != kSites || !db.ok()) return state.SkipWithError("no database");
    for (auto _ : state)
        if (!storeDay(state, db, sites, static_cast<std::size_t>(state.range(0)))) return;
}
BENCHMARK(BM_StorageOfADay)->Arg(25)->Arg(100)->Arg(5000)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

// Keeps rows_per_s of every run for the ratio.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            const auto it = r.counters.find("rows_per_s");
            if (it != r.counters.end()) rates[r.benchmark_name()] = it->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> rates;
};

}  // namespace
}  // namespace orlix::hub

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    orlix::hub::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto& rates = reporter.rates;
    const auto copy = rates.find("BM_CopyIntoBareTable/iterations:3/manual_time");
    if (copy != rates.end() && copy->second > 0) {
        std::printf("\nRows per second against a plain COPY into a bare table (%.0f rows/s):\n", copy->second);
        for (const auto& [name, rate] : rates)
            if (name.rfind("BM_StoreWriter", 0) == 0)
                std::printf("  %-45s %9.0f rows/s = %.2f of COPY\n", name.c_str(), rate, rate / copy->second);
    }
    benchmark::Shutdown();
    return 0;
}
