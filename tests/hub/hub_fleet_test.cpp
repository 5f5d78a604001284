// Many sites through one broker into the hub, as the office runs it: every
// sample stored exactly once when a thousand sites publish as fast as the
// broker takes them, when two hubs share the subscriptions, and across an
// outage of the broker or of PostgreSQL (real mosquitto with its
// persistence, a real PostgreSQL cluster).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cstdio>
#include <memory>

#include "base/clock.h"
#include "hub/hub_service.h"
#include "hub_test_util.h"
#include "mqtt/mqtt_client.h"
#include "mqtt/mqtt_url.h"
#include "mosquitto_broker.h"
#include "sampling/site_payloads.h"
#include "wait_until.h"

namespace orlix::hub {
namespace {

using test::qtWaitUntil;

std::string siteName(int i) {
    char name[16];
    std::snprintf(name, sizeof name, "site-%04d", i);
    return name;
}

// The sites' recorders as the broker sees them: one connection that
// publishes every site's samples with QoS 1 and keeps what the broker has
// not acknowledged (through an outage, too), as a recorder does.
class Fleet {
public:
    Fleet(const test::MosquittoBroker& broker, int sites) : sites_(sites) {
        MqttClientSettings s;
        s.url = *parseMqttUrl(broker.url("plant")).url;
        s.maxQueued = 1'000'000;
        s.inFlight = 256;
        client_ = std::make_unique<MqttClient>(s, MqttClient::Events{});
        std::string error;
        client_->start(error);
    }
    ~Fleet() { client_->stop(1000); }
    bool connected() const { return client_->connected(); }
    // Sample `n` of every site, at `t0 + n * 4 s`; its value names the sample.
    void publishRound(Micros t0, int n) {
        for (int i = 1; i <= sites_; ++i) {
            std::array<std::int16_t, kSampleValueColumns> v{};
            v[0] = static_cast<std::int16_t>(n);
            v[1] = static_cast<std::int16_t>(i);
            const Micros us = t0 + n * test::kStepUs;
            client_->publish("plant/" + siteName(i) + "/sample",
                             sampleJson(v, localDateTimeOfUnixMicros(us), utcOffsetSecondsAt(us)), 1);
        }
    }
    // Every message has been acknowledged by the broker (one sent again
    // after a reconnect counts as published twice, so only the queue tells).
    bool drained() const { return client_->counters().queued == 0; }

private:
    int sites_;
    std::unique_ptr<MqttClient> client_;
};

struct Hub {
    Hub(const test::MosquittoBroker& broker, const std::string& db, const std::string& id,
        const std::string& share = {}) {
        HubOptions o;
        o.broker.url = broker.url("plant");
        o.clientId = id;
        o.shareGroup = share;
        o.db = db;
        service = std::make_unique<HubService>(o, AlarmRules{});
        std::string error;
        started = service->start(error);
        EXPECT_TRUE(started) << error;
    }
    std::unique_ptr<HubService> service;
    bool started = false;
};

// Rows, distinct (site, time) keys, and rows whose values do not name their
// own site and sample (0 when every row is the one published).
struct Stored {
    std::int64_t rows = -1, keys = -1, sites = -1, wrong = -1;
};

Stored stored(const std::string& db, Micros t0) {
    PgConnection c(db);
    Stored s;
    if (!c.ok()) return s;
    s.rows = test::queryNumber(c, "SELECT count(*) FROM samples");
    s.keys = test::queryNumber(c, "SELECT count(*) FROM (SELECT DISTINCT site, t FROM samples) k");
    s.sites = test::queryNumber(c, "SELECT count(DISTINCT site) FROM samples");
    // The first value is the round, the second the site's number in its name.
    s.wrong = test::queryNumber(
        c,
        "SELECT count(*) FROM samples m JOIN sites s ON s.id = m.site WHERE "
        "m.\"Pd\" <> round(extract(epoch FROM m.t - to_timestamp($1::float8 / 1e6)) / 4) "
        "OR m.\"Ps\" <> substr(s.name, 6)::int",
        {std::to_string(t0)});
    return s;
}

void expectEveryOnce(const std::string& db, Micros t0, int sites, int rounds) {
    const Stored s = stored(db, t0);
    EXPECT_EQ(s.rows, std::int64_t{sites} * rounds);
    EXPECT_EQ(s.keys, s.rows);
    EXPECT_EQ(s.sites, sites);
    EXPECT_EQ(s.wrong, 0);
}

bool allStored(const std::string& db, std::int64_t n) {
    PgConnection c(db);
    return c.ok() && test::queryNumber(c, "SELECT count(*) FROM samples") == n;
}

class HubFleetTest : public ::testing::Test {
protected:
    void SetUp() override { test::ensureCoreApp("hub_tests"); }
};

TEST_F(HubFleetTest, AThousandSitesAsFastAsTheBrokerTakesThemAreStoredExactlyOnce) {
    test::MosquittoBroker broker;
    const std::string db = test::freshHubDatabase();
    ASSERT_TRUE(broker.ok() && !db.empty());
    Hub hub(broker, db, "orlix-hub-scale");
    ASSERT_TRUE(hub.started);
    Fleet fleet(broker, 1000);
    ASSERT_TRUE(qtWaitUntil([&] { return fleet.connected(); }));
    const Micros t0 = test::nowUs() - 10 * test::kStepUs;
    for (int n = 0; n < 5; ++n) fleet.publishRound(t0, n);
    ASSERT_TRUE(qtWaitUntil([&] { return allStored(db, 5000); }, 120000)) << stored(db, t0).rows;
    ASSERT_TRUE(qtWaitUntil([&] { return fleet.drained(); }));
    expectEveryOnce(db, t0, 1000, 5);
}

TEST_F(HubFleetTest, TwoHubsSharingTheSubscriptionsStoreEverySampleOnceAndBothTakeTheirPart) {
    test::MosquittoBroker broker;
    const std::string db = test::freshHubDatabase();
    ASSERT_TRUE(broker.ok() && !db.empty());
    Hub a(broker, db, "orlix-hub-a", "office");
    Hub b(broker, db, "orlix-hub-b", "office");
    ASSERT_TRUE(a.started && b.started);
    Fleet fleet(broker, 200);
    ASSERT_TRUE(qtWaitUntil([&] { return fleet.connected(); }));
    const Micros t0 = test::nowUs() - 10 * test::kStepUs;
    for (int n = 0; n < 5; ++n) fleet.publishRound(t0, n);
    ASSERT_TRUE(qtWaitUntil([&] { return allStored(db, 1000); }, 60000)) << stored(db, t0).rows;
    expectEveryOnce(db, t0, 200, 5);
    const std::uint64_t takenA = a.service->ingest().counters().samples;
    const std::uint64_t takenB = b.service->ingest().counters().samples;
    EXPECT_EQ(takenA + takenB, 1000u) << "a sample reached both hubs, or neither";
    EXPECT_GT(takenA, 0u);
    EXPECT_GT(takenB, 0u);
}

TEST_F(HubFleetTest, ABrokerOutageLosesNothingAndStoresNothingTwice) {
    test::MosquittoBroker broker;
    const std::string db = test::freshHubDatabase();
    ASSERT_TRUE(broker.ok() && !db.empty());
    Hub hub(broker, db, "orlix-hub-outage");
    ASSERT_TRUE(hub.started);
    Fleet fleet(broker, 100);
    ASSERT_TRUE(qtWaitUntil([&] { return fleet.connected(); }));
    const Micros t0 = test::nowUs() - 20 * test::kStepUs;
    for (int n = 0; n < 5; ++n) fleet.publishRound(t0, n);
    // Stopped while messages are on their way: what the broker accepted is
    // in its persistence, the rest waits in the sites' queues.
    broker.stop();
    for (int n = 5; n < 10; ++n) fleet.publishRound(t0, n);
    QCoreApplication::processEvents();
    ASSERT_TRUE(broker.start());
    ASSERT_TRUE(qtWaitUntil([&] { return allStored(db, 1000); }, 60000)) << stored(db, t0).rows;
    ASSERT_TRUE(qtWaitUntil([&] { return fleet.drained(); }));
    expectEveryOnce(db, t0, 100, 10);
}

TEST_F(HubFleetTest, APostgresOutageKeepsTheSamplesInTheHubUntilTheyAreStoredOnce) {
    test::MosquittoBroker broker;
    test::PgCluster cluster;  // its own: this test stops the server
    const std::string db = test::freshHubDatabase(cluster);
    ASSERT_TRUE(broker.ok() && !db.empty());
    Hub hub(broker, db, "orlix-hub-pg-outage");
    ASSERT_TRUE(hub.started);
    Fleet fleet(broker, 100);
    ASSERT_TRUE(qtWaitUntil([&] { return fleet.connected(); }));
    const Micros t0 = test::nowUs() - 20 * test::kStepUs;
    for (int n = 0; n < 3; ++n) fleet.publishRound(t0, n);
    ASSERT_TRUE(qtWaitUntil([&] { return allStored(db, 300); }, 60000));
    ASSERT_TRUE(cluster.stop());
    for (int n = 3; n < 10; ++n) fleet.publishRound(t0, n);
    // The hub takes them from the broker while the database is away.
    ASSERT_TRUE(qtWaitUntil([&] { return hub.service->ingest().counters().samples >= 1000; }, 60000));
    ASSERT_TRUE(cluster.start());
    ASSERT_TRUE(qtWaitUntil([&] { return allStored(db, 1000); }, 60000)) << stored(db, t0).rows;
    expectEveryOnce(db, t0, 100, 10);
}

}  // namespace
}  // namespace orlix::hub
