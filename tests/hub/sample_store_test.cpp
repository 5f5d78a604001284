#include "hub/sample_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <vector>

#include "hub_test_util.h"
#include "log_capture.h"

namespace orlix::hub {
namespace {

// Raw rows aggregated by 5-minute bucket, compared with the stored
// summaries in both directions: the rows that differ.
std::int64_t summaryMismatches(PgConnection& db) {
    const std::string raw =
        "SELECT site, date_bin(interval '5 minutes', t, timestamptz '2000-01-01 00:00:00+00'), count(*)::integer, " +
        eachValue("min(\"@\")") + ", " + eachValue("max(\"@\")") + ", " + eachValue("sum(\"@\")::bigint") +
        " FROM samples GROUP BY 1, 2";
    const std::string kept = "SELECT site, bucket, n, " + eachValue("\"@_min\"") + ", " + eachValue("\"@_max\"") +
                             ", " + eachValue("\"@_sum\"") + " FROM summaries_5min";
    return test::queryNumber(db, "SELECT count(*) FROM ((" + raw + " EXCEPT " + kept + ") UNION ALL (" + kept +
                                     " EXCEPT " + raw + ")) differing");
}

class SampleStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        url_ = test::freshHubDatabase();
        ASSERT_FALSE(url_.empty()) << test::sharedCluster().error();
        ASSERT_TRUE(db_.connect(url_)) << db_.error();
    }
    std::string url_;
    PgConnection db_;
};

TEST_F(SampleStoreTest, SiteIdsAreTheSameForEveryHub) {
    SampleStore a(db_);
    PgConnection other(url_);
    SampleStore b(other);
    const auto alpha = a.siteId("alpha");
    ASSERT_TRUE(alpha) << a.lastError();
    EXPECT_EQ(b.siteId("alpha"), alpha);
    const auto beta = b.siteId("beta");
    ASSERT_TRUE(beta);
    EXPECT_NE(*beta, *alpha);
    EXPECT_EQ(a.siteId("beta"), beta);
    EXPECT_EQ(test::queryNumber(db_, "SELECT count(*) FROM sites WHERE first_seen IS NOT NULL"), 2);
    // Not UTF-8: the database refuses the name, nothing is made.
    EXPECT_FALSE(a.siteId("bad\xff"));
    EXPECT_NE(a.lastError().find("UTF8"), std::string::npos) << a.lastError();
}

TEST_F(SampleStoreTest, ASampleDeliveredTwiceIsStoredAndCountedOnce) {
    SampleStore store(db_);
    const std::int32_t site = *store.siteId("s1");
    const std::int64_t t0 = test::utcUs(2025, 3, 10, 12);
    std::vector<HubSample> batch;
    for (int i = 0; i < 10; ++i) batch.push_back(test::sampleAt(site, t0 + i * test::kStepUs));
    batch.push_back(batch[3]);  // twice in one batch
    batch.push_back(batch[7]);
    StoreOutcome first = store.storeSamples(batch);
    ASSERT_TRUE(first.ok) << first.error;
    EXPECT_EQ(first.stored, 10);
    EXPECT_EQ(first.duplicates, 2);

    // Across batches: five again, five new, the newest one first.
    std::vector<HubSample> second(batch.begin() + 5, batch.begin() + 10);
    for (int i = 10; i < 15; ++i) second.push_back(test::sampleAt(site, t0 + i * test::kStepUs));
    std::reverse(second.begin(), second.end());
    const StoreOutcome again = store.storeSamples(second);
    ASSERT_TRUE(again.ok) << again.error;
    EXPECT_EQ(again.stored, 5);
    EXPECT_EQ(again.duplicates, 5);

    EXPECT_EQ(test::queryNumber(db_, "SELECT count(*) FROM samples"), 15);
    EXPECT_EQ(test::queryNumber(db_, "SELECT sum(n) FROM summaries_5min"), 15);
    EXPECT_EQ(summaryMismatches(db_), 0);
    // last_seen is the latest sample's instant, not the last one stored.
    EXPECT_EQ(test::queryNumber(db_, "SELECT (extract(epoch FROM last_seen) * 1000000)::bigint FROM sites"),
              t0 + 14 * test::kStepUs);
}

TEST_F(SampleStoreTest, SummariesStayExactWithLateAndRepeatedSamples) {
    SampleStore store(db_);
    const std::int32_t sites[] = {*store.siteId("a"), *store.siteId("b"), *store.siteId("c")};
    const std::int64_t t0 = test::utcUs(2025, 3, 10, 8);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> value(-32768, 32767);
    std::vector<HubSample> all;
    for (const std::int32_t site : sites)
        for (int i = 0; i < 900; ++i) {  // an hour each
            HubSample s = test::sampleAt(site, t0 + i * test::kStepUs);
            for (auto& v : s.values) v = static_cast<std::int16_t>(value(random));
            if (i % 50 == 0) s.values.fill(i % 100 == 0 ? 32767 : -32768);  // extremes
            all.push_back(s);
        }
    // Delivered in a shuffled order (samples arriving late into buckets
    // already summed), with a tenth delivered again later.
    std::vector<HubSample> delivery = all;
    std::shuffle(delivery.begin(), delivery.end(), random);
    for (std::size_t i = 0; i < all.size(); i += 10) delivery.push_back(all[i]);
    std::int64_t stored = 0, duplicates = 0;
    for (std::size_t at = 0; at < delivery.size();) {
        const std::size_t n = std::min<std::size_t>(delivery.size() - at, 1 + random() % 400);
        const StoreOutcome o = store.storeSamples(std::span<const HubSample>(delivery).subspan(at, n));
        ASSERT_TRUE(o.ok) << o.error;
        stored += o.stored;
        duplicates += o.duplicates;
        at += n;
    }
    EXPECT_EQ(stored, 2700);
    EXPECT_EQ(duplicates, 270);
    EXPECT_EQ(test::queryNumber(db_, "SELECT count(*) FROM summaries_5min"), 3 * 12);
    EXPECT_EQ(test::queryNumber(db_, "SELECT min(n) FROM summaries_5min"), 75);
    EXPECT_EQ(test::queryNumber(db_, "SELECT max(n) FROM summaries_5min"), 75);
    EXPECT_EQ(summaryMismatches(db_), 0);

    // Bucket edges: the last microsecond before 08:05 and 08:05 itself.
    const std::int32_t d = *store.siteId("d");
    const HubSample edge[] = {test::sampleAt(d, t0 + 300'000'000 - 1), test::sampleAt(d, t0 + 300'000'000)};
    ASSERT_TRUE(store.storeSamples(edge).ok);
    const PgResult buckets = db_.exec(
        "SELECT to_char(bucket AT TIME ZONE 'UTC', 'HH24:MI') FROM summaries_5min WHERE site = $1 ORDER BY 1",
        {std::to_string(d)});
    ASSERT_EQ(buckets.rows(), 2);
    EXPECT_EQ(buckets.text(0, 0), "08:00");
    EXPECT_EQ(buckets.text(1, 0), "08:05");
}

TEST_F(SampleStoreTest, OneMonthPerPartitionAndKeepMonthsDropsOnlyOldOnes) {
    SampleStore store(db_);
    const std::int32_t site = *store.siteId("s");
    const HubSample rows[] = {
        test::sampleAt(site, test::utcUs(2025, 1, 15)),
        test::sampleAt(site, test::utcUs(2025, 1, 31, 23, 59, 59, 999'999)),
        test::sampleAt(site, test::utcUs(2025, 2, 1)),
        test::sampleAt(site, test::utcUs(2025, 3, 31, 23, 59, 56)),
    };
    ASSERT_TRUE(store.storeSamples(rows).ok);
    const PgResult where = db_.exec("SELECT tableoid::regclass::text, count(*) FROM samples GROUP BY 1 ORDER BY 1");
    ASSERT_EQ(where.rows(), 3);
    EXPECT_EQ(where.text(0, 0) + " " + where.text(0, 1), "samples_2025_01 2");
    EXPECT_EQ(where.text(1, 0) + " " + where.text(1, 1), "samples_2025_02 1");
    EXPECT_EQ(where.text(2, 0) + " " + where.text(2, 1), "samples_2025_03 1");
    const std::int64_t summaries = test::queryNumber(db_, "SELECT count(*) FROM summaries_5min");
    EXPECT_EQ(summaries, 4);

    // In mid-March, keeping one month keeps February (it holds samples
    // younger than a month) and March; January goes.
    test::LogCapture log;
    const DropOutcome one = store.dropPartitionsBefore(1, test::utcUs(2025, 3, 15));
    ASSERT_TRUE(one.ok) << one.error;
    EXPECT_EQ(one.dropped, std::vector<std::string>{"samples_2025_01"});
    EXPECT_EQ(test::queryNumber(db_, "SELECT count(*) FROM samples"), 2);
    EXPECT_EQ(test::queryNumber(db_, "SELECT count(*) FROM summaries_5min"), summaries);
    EXPECT_EQ(log.of(log::kHub).size(), 1u);

    const DropOutcome none = store.dropPartitionsBefore(1, test::utcUs(2025, 3, 31));
    EXPECT_TRUE(none.ok && none.dropped.empty());
    const DropOutcome zero = store.dropPartitionsBefore(0, test::utcUs(2025, 3, 31));
    EXPECT_EQ(zero.dropped, std::vector<std::string>{"samples_2025_02"});
    EXPECT_EQ(test::queryNumber(db_, "SELECT count(*) FROM summaries_5min"), summaries);
    EXPECT_FALSE(store.dropPartitionsBefore(-1, test::utcUs(2025, 3, 31)).ok);

    // A sample of a dropped month still finds a partition.
    const HubSample lateJanuary = test::sampleAt(site, test::utcUs(2025, 1, 20));
    const StoreOutcome late = store.storeSamples({&lateJanuary, 1});
    EXPECT_TRUE(late.ok && late.stored == 1) << late.error;
}

TEST_F(SampleStoreTest, TimesOutsideTheAcceptedRangeAreRefused) {
    SampleStore store(db_);
    const std::int32_t site = *store.siteId("s");
    const HubSample rows[] = {
        test::sampleAt(site, test::utcUs(1999, 12, 31, 23, 59, 59)),
        test::sampleAt(site, test::utcUs(2000, 1, 1)),
        test::sampleAt(site, test::nowUs() + 2 * 86'400'000'000LL),
        test::sampleAt(site, test::nowUs() + 86'400'000'000LL - 60'000'000),
    };
    test::LogCapture log;
    const StoreOutcome o = store.storeSamples(rows);
    ASSERT_TRUE(o.ok) << o.error;
    EXPECT_EQ(o.stored, 2);
    EXPECT_EQ(o.refused, 2);
    EXPECT_EQ(test::queryNumber(db_, "SELECT count(*) FROM samples"), 2);
    EXPECT_EQ(log.of(log::kHub).size(), 1u);
}

TEST_F(SampleStoreTest, ARowTheDatabaseRefusesCostsOnlyItself) {
    ASSERT_TRUE(db_.exec("ALTER TABLE samples ADD CONSTRAINT no_sentinel CHECK (\"Pd\" <> 32000)").ok());
    SampleStore store(db_);
    const std::int32_t site = *store.siteId("s");
    std::vector<HubSample> batch;
    for (int i = 0; i < 200; ++i) batch.push_back(test::sampleAt(site, test::utcUs(2025, 3, 10) + i * test::kStepUs));
    // test::sampleAt's values lie within -2000..2000.
    batch[17].values[0] = 32000;
    batch[150].values[0] = 32000;
    test::LogCapture log;
    const StoreOutcome o = store.storeSamples(batch);
    ASSERT_TRUE(o.ok) << o.error;
    EXPECT_EQ(o.stored, 198);
    EXPECT_EQ(o.refused, 2);
    EXPECT_NE(o.error.find("no_sentinel"), std::string::npos) << o.error;
    EXPECT_EQ(test::queryNumber(db_, "SELECT sum(n) FROM summaries_5min"), 198);
    EXPECT_EQ(summaryMismatches(db_), 0);
    // The second refusal of the same kind is counted, not written again.
    const auto lines = log.of(log::kHub);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("no_sentinel"), std::string::npos) << lines[0];
}

TEST_F(SampleStoreTest, ASampleThatWouldOverflowItsBucketIsRefusedAlone) {
    SampleStore store(db_);
    const std::int32_t site = *store.siteId("s");
    // 65,538 x 32767 is the most an integer sum holds; a site sending
    // every 4 ms fills one bucket that far.
    constexpr int kMost = 65'538;
    std::vector<HubSample> flood(kMost + 10);
    for (int i = 0; i < kMost + 10; ++i) {
        flood[static_cast<std::size_t>(i)].site = site;
        flood[static_cast<std::size_t>(i)].timeUs = test::utcUs(2025, 3, 10) + i * 4'000LL;
        flood[static_cast<std::size_t>(i)].values.fill(32767);
    }
    const StoreOutcome full = store.storeSamples(std::span<const HubSample>(flood).first(kMost));
    ASSERT_TRUE(full.ok) << full.error;
    const HubSample normal = test::sampleAt(site, test::utcUs(2025, 3, 10, 1));
    std::vector<HubSample> beyond;
    for (int i = kMost; i < kMost + 10; ++i) {
        beyond.push_back(flood[static_cast<std::size_t>(i)]);
        if (i == kMost + 4) beyond.push_back(normal);  // in another bucket
    }
    test::LogCapture log;
    const StoreOutcome o = store.storeSamples(beyond);
    ASSERT_TRUE(o.ok) << o.error;
    EXPECT_EQ(o.stored, 1);
    EXPECT_EQ(o.refused, 10);
    EXPECT_EQ(o.error.find("SQLSTATE 22003"), o.error.size() - 15) << o.error;
    EXPECT_EQ(log.of(log::kHub).size(), 1u);
    EXPECT_EQ(test::queryNumber(db_, "SELECT count(*) FROM samples"), kMost + 1);
    EXPECT_EQ(test::queryNumber(db_, "SELECT max(n) FROM summaries_5min"), kMost);
    EXPECT_EQ(summaryMismatches(db_), 0);
}

TEST_F(SampleStoreTest, FaultsAreStoredOnceAndABadOneCostsOnlyItself) {
    SampleStore store(db_);
    const std::int32_t site = *store.siteId("s");
    const std::int64_t t = test::utcUs(2025, 3, 10, 9);
    const std::vector<FaultEvent> faults = {
        {site, t, "Err", "E4 high pressure"},
        {site, t, "ComErr", "Sub1 silent"},
        {site, t + 4'000'000, "Err", "Normal"},
        {site, t, "Err", "E4 high pressure"},  // again
        {site + 1000, t, "Err", "no such site"},
        {site, t, "ProtErr", "bad\xff"},  // not UTF-8
    };
    test::LogCapture log;
    const StoreOutcome first = store.storeFaults(faults);
    ASSERT_TRUE(first.ok) << first.error;
    // One line per kind of refusal, with the database's reason.
    const auto lines = log.of(log::kHub);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("faults_site_fkey"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("UTF8"), std::string::npos) << lines[1];
    EXPECT_EQ(first.stored, 3);
    EXPECT_EQ(first.duplicates, 1);
    EXPECT_EQ(first.refused, 2);
    const StoreOutcome again = store.storeFaults(faults);
    ASSERT_TRUE(again.ok) << again.error;
    EXPECT_EQ(again.stored, 0);
    EXPECT_EQ(again.duplicates, 4);
    const PgResult r = db_.exec("SELECT list || ' ' || status FROM faults ORDER BY t, list, status");
    ASSERT_EQ(r.rows(), 3);
    EXPECT_EQ(r.text(0, 0), "ComErr Sub1 silent");
    EXPECT_EQ(r.text(1, 0), "Err E4 high pressure");
    EXPECT_EQ(r.text(2, 0), "Err Normal");
}

TEST_F(SampleStoreTest, ABatchFailingForAnotherReasonIsReportedNotRefused) {
    SampleStore store(db_);
    const std::int32_t site = *store.siteId("s");
    ASSERT_TRUE(db_.exec("ALTER TABLE summaries_5min RENAME TO elsewhere").ok());
    const HubSample s = test::sampleAt(site, test::utcUs(2025, 3, 10));
    const StoreOutcome o = store.storeSamples({&s, 1});
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.refused, 0);
    EXPECT_NE(o.error.find("summaries_5min"), std::string::npos) << o.error;
    EXPECT_EQ(test::queryNumber(db_, "SELECT count(*) FROM samples"), 0);
}

}  // namespace
}  // namespace orlix::hub
