#include "hub/hub_schema.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "database/sample_database.h"
#include "hub_test_util.h"

namespace orlix::hub {
namespace {

std::vector<std::string> columnsOf(PgConnection& db, const std::string& table) {
    const PgResult r = db.exec(
        "SELECT column_name || ' ' || data_type FROM information_schema.columns WHERE table_name = $1 "
        "ORDER BY ordinal_position",
        {table});
    EXPECT_TRUE(r.ok()) << r.error();
    std::vector<std::string> out;
    for (int i = 0; i < r.rows(); ++i) out.push_back(r.text(i, 0));
    return out;
}

std::int64_t version(PgConnection& db) { return test::queryNumber(db, "SELECT version FROM schema_version"); }

TEST(HubSchema, CreatesVersionOneOnceWithTheSampleDatabasesColumns) {
    PgConnection db(test::freshDatabase());
    ASSERT_TRUE(db.ok()) << db.error();
    const SchemaOutcome made = ensureSchema(db);
    ASSERT_TRUE(made.ok) << made.error;
    EXPECT_EQ(made.found, 0);
    EXPECT_EQ(made.version, 1);
    EXPECT_EQ(version(db), 1);

    const std::vector<std::string> samples = columnsOf(db, "samples");
    ASSERT_EQ(samples.size(), 53u);
    EXPECT_EQ(samples[0], "t timestamp with time zone");
    EXPECT_EQ(samples[1], "site integer");
    EXPECT_EQ(samples[2], "late boolean");
    for (int i = 0; i < kValueCount; ++i)
        EXPECT_EQ(samples[static_cast<std::size_t>(3 + i)], std::string(kEmp1Columns[static_cast<std::size_t>(i)]) +
                                                                 " smallint");
    // The only index of samples is the key (site, t).
    EXPECT_EQ(test::queryNumber(db, "SELECT count(*) FROM pg_indexes WHERE tablename = 'samples'"), 1);
    EXPECT_EQ(test::queryNumber(db, "SELECT count(*) FROM pg_indexes WHERE tablename = 'samples' AND "
                                    "indexdef LIKE '%UNIQUE%(site, t)'"),
              1);

    const std::vector<std::string> summaries = columnsOf(db, "summaries_5min");
    ASSERT_EQ(summaries.size(), 3u + 3u * kValueCount);
    EXPECT_EQ(summaries[3], "Pd_min smallint");
    EXPECT_EQ(summaries[3 + kValueCount], "Pd_max smallint");
    EXPECT_EQ(summaries.back(), "Sub3_free3_sum integer");
    EXPECT_EQ(columnsOf(db, "sites").size(), 7u);
    EXPECT_EQ(columnsOf(db, "faults").size(), 5u);
    for (const char* table : {"site_values", "alarms", "alarm_events", "alarm_commands", "notifications", "users",
                              "sessions"})
        EXPECT_FALSE(columnsOf(db, table).empty()) << table;

    const SchemaOutcome again = ensureSchema(db);
    ASSERT_TRUE(again.ok) << again.error;
    EXPECT_EQ(again.found, 1);
    EXPECT_EQ(again.version, 1);
}

TEST(HubSchema, UpgradesAnOlderDatabaseInOneTransaction) {
    PgConnection db(test::freshDatabase());
    ASSERT_TRUE(ensureSchema(db).ok);
    ASSERT_TRUE(db.exec("INSERT INTO sites (name) VALUES ('kept')").ok());

    const std::string_view toTwo = "ALTER TABLE sites ADD COLUMN note text; UPDATE sites SET note = 'two'";
    const std::vector<std::string_view> steps{toTwo};
    const SchemaOutcome up = ensureSchema(db, steps);
    ASSERT_TRUE(up.ok) << up.error;
    EXPECT_EQ(up.found, 1);
    EXPECT_EQ(up.version, 2);
    EXPECT_EQ(version(db), 2);
    EXPECT_EQ(test::queryNumber(db, "SELECT count(*) FROM sites WHERE name = 'kept' AND note = 'two'"), 1);

    // A step that fails half-way leaves nothing of itself behind.
    const std::vector<std::string_view> broken{toTwo, "CREATE TABLE later (id integer); SELECT * FROM nowhere"};
    const SchemaOutcome failed = ensureSchema(db, broken);
    EXPECT_FALSE(failed.ok);
    EXPECT_NE(failed.error.find("from version 2 to 3"), std::string::npos) << failed.error;
    EXPECT_EQ(test::queryNumber(db, "SELECT count(*) FROM pg_tables WHERE tablename = 'later'"), 0);
    EXPECT_EQ(version(db), 2);
}

TEST(HubSchema, RefusesADatabaseOfANewerHub) {
    PgConnection db(test::freshDatabase());
    const std::vector<std::string_view> steps{"ALTER TABLE sites ADD COLUMN note text"};
    ASSERT_TRUE(ensureSchema(db).ok);
    ASSERT_TRUE(ensureSchema(db, steps).ok);

    const SchemaOutcome refused = ensureSchema(db);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.found, 2);
    EXPECT_EQ(refused.error, db.shownName() +
                                 " holds hub schema version 2; this orlix-hub knows up to 1: use a newer orlix-hub");
    EXPECT_EQ(version(db), 2);
}

TEST(HubSchema, HubsStartingTogetherCreateItOnce) {
    const std::string url = test::freshDatabase();
    ASSERT_FALSE(url.empty());
    constexpr int kHubs = 4;
    std::vector<PgConnection> dbs;
    for (int i = 0; i < kHubs; ++i) {
        dbs.emplace_back(url);
        ASSERT_TRUE(dbs.back().ok()) << dbs.back().error();
    }
    std::atomic<bool> go{false};
    std::vector<SchemaOutcome> outcomes(kHubs);
    std::vector<std::thread> hubs;
    for (int i = 0; i < kHubs; ++i)
        hubs.emplace_back([&, i] {
            while (!go) std::this_thread::yield();
            outcomes[static_cast<std::size_t>(i)] = ensureSchema(dbs[static_cast<std::size_t>(i)]);
        });
    go = true;
    for (std::thread& t : hubs) t.join();
    int creators = 0;
    for (const SchemaOutcome& o : outcomes) {
        EXPECT_TRUE(o.ok) << o.error;
        EXPECT_EQ(o.version, 1);
        creators += o.found == 0 ? 1 : 0;
    }
    EXPECT_EQ(creators, 1);
    EXPECT_EQ(test::queryNumber(dbs[0], "SELECT count(*) FROM schema_version"), 1);
}

TEST(HubSchema, MonthPartitionsFollowTheUtcCalendar) {
    const int feb2024 = 2024 * 12 + 1;
    EXPECT_EQ(monthOf(test::utcUs(2024, 2, 29, 23, 59, 59, 999'999)), feb2024);
    EXPECT_EQ(monthOf(test::utcUs(2024, 3, 1)), feb2024 + 1);
    EXPECT_EQ(monthStartUs(feb2024 + 1), test::utcUs(2024, 3, 1));
    EXPECT_EQ(monthStartUs(2024 * 12 + 11) + 31LL * 86'400'000'000, monthStartUs(2025 * 12));
    EXPECT_EQ(partitionName(feb2024), "samples_2024_02");
    EXPECT_EQ(partitionMonth("samples_2024_02"), feb2024);
    EXPECT_EQ(partitionMonth("samples_2024_12"), 2024 * 12 + 11);
    for (const char* other : {"samples_2024_13", "samples_2024_00", "samples_default", "samples_2024_1x", "samples"})
        EXPECT_EQ(partitionMonth(other), -1) << other;
    EXPECT_NE(createPartitionSql(2024 * 12 + 11).find("FROM ('2024-12-01 00:00:00+00') TO ('2025-01-01 00:00:00+00')"),
              std::string::npos);
}

}  // namespace
}  // namespace orlix::hub
