#pragma once
// Shared by the hub store tests: one PostgreSQL cluster per test program
// with a fresh database per test, instants in UTC, samples with varied
// values.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include "hub/hub_schema.h"
#include "hub/hub_types.h"
#include "hub/pg_connection.h"
#include "pg_cluster.h"
#include "wait_until.h"

namespace orlix::test {

// Started at first use, stopped when the program ends. Tests that stop
// their server make a cluster of their own.
inline PgCluster& sharedCluster() {
    static PgCluster cluster;
    return cluster;
}

// A new empty database on `cluster`; its URL, or "" when it failed.
inline std::string freshDatabase(PgCluster& cluster = sharedCluster()) {
    static int serial = 0;
    if (!cluster.ok()) return {};
    const std::string name = "hub" + std::to_string(++serial);
    return cluster.createDatabase(name) ? cluster.url(name) : std::string();
}

// A fresh database with the hub's tables; "" when it failed.
inline std::string freshHubDatabase(PgCluster& cluster = sharedCluster()) {
    const std::string url = freshDatabase(cluster);
    if (url.empty()) return url;
    hub::PgConnection db(url);
    return db.ok() && hub::ensureSchema(db).ok ? url : std::string();
}

// The sites' sampling interval.
inline constexpr std::int64_t kStepUs = 4'000'000;

// Unix microseconds of a UTC calendar instant.
inline std::int64_t utcUs(int y, unsigned mo, unsigned d, int h = 0, int mi = 0, int s = 0, std::int64_t us = 0) {
    using namespace std::chrono;
    const sys_days date{year(y) / month(mo) / day(d)};
    return duration_cast<microseconds>(date.time_since_epoch() + hours(h) + minutes(mi) + seconds(s)).count() + us;
}

inline std::int64_t nowUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

// A sample whose values follow from (site, time, seed).
inline hub::HubSample sampleAt(std::int32_t site, std::int64_t timeUs, int seed = 0) {
    hub::HubSample s;
    s.site = site;
    s.timeUs = timeUs;
    for (int i = 0; i < hub::kValueCount; ++i)
        s.values[static_cast<std::size_t>(i)] =
            static_cast<std::int16_t>((timeUs / 4'000'000 * 31 + site * 977 + i * 131 + seed * 7919) % 4001 - 2000);
    return s;
}

// One number from a query, or -1 when it failed.
inline std::int64_t queryNumber(hub::PgConnection& db, const std::string& sql,
                                const std::vector<std::string>& params = {}) {
    const hub::PgResult r = db.exec(sql, params);
    EXPECT_TRUE(r.ok()) << sql << ": " << r.error();
    return r.ok() && r.rows() == 1 ? r.number(0, 0) : -1;
}


}  // namespace orlix::test
