// The office hub in this process against a real mosquitto and a real
// PostgreSQL cluster: sites publish as their recorders do (the same payload
// code); what arrives is stored once, faults raise and clear alarms that a
// person acknowledges, a quiet site goes offline, a threshold rule fires,
// the receivers on the broker are told, and what cannot be read is refused.
#include "hub/hub_service.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <atomic>
#include <fstream>
#include <mutex>

#include "base/clock.h"
#include "hub/hub_commands.h"
#include "hub_test_util.h"
#include "log_capture.h"
#include "mosquitto_broker.h"
#include "sampling/site_payloads.h"
#include "scratch_dir.h"
#include "wait_until.h"

namespace orlix::hub {
namespace {

using test::qtWaitUntil;

// A site's recorder as far as the broker sees it.
class FakeSite {
public:
    FakeSite(const test::MosquittoBroker& broker, std::string name) : name_(std::move(name)) {
        MqttClientSettings s;
        s.url = *parseMqttUrl(broker.url("plant")).url;
        s.statusTopic = "plant/" + name_ + "/status";
        client_ = std::make_unique<MqttClient>(s, MqttClient::Events{});
        std::string error;
        client_->start(error);
    }
    bool connected() const { return client_->connected(); }
    void sample(Micros us, std::int16_t pd) {
        std::array<std::int16_t, kSampleValueColumns> v{};
        v[0] = pd;
        client_->publish("plant/" + name_ + "/sample", sampleJson(v, localDateTimeOfUnixMicros(us), utcOffsetSecondsAt(us)), 1);
    }
    void fault(Micros us, const std::string& status) {
        client_->publish("plant/" + name_ + "/faults", faultJson(0, localDateTimeOfUnixMicros(us), utcOffsetSecondsAt(us), status), 1);
    }
    void raw(const std::string& topicEnd, const std::string& payload) {
        client_->publish("plant/" + name_ + "/" + topicEnd, payload, 1);
    }
    void stop() { client_->stop(1000); }

private:
    std::string name_;
    std::unique_ptr<MqttClient> client_;
};

// What the office publishes on PREFIX/+/alarms.
class AlarmListener {
public:
    explicit AlarmListener(const test::MosquittoBroker& broker) {
        MqttClientSettings s;
        s.url = *parseMqttUrl(broker.url("plant")).url;
        MqttClient::Events e;
        e.onMessage = [this](const std::string&, std::span<const std::uint8_t> p) {
            std::lock_guard lock(mutex_);
            notices_.emplace_back(p.begin(), p.end());
        };
        e.onSubscribed = [this](bool ok, const std::string&) { subscribed_ = ok; };
        client_ = std::make_unique<MqttClient>(s, std::move(e));
        client_->subscribe("plant/+/alarms", 1);
        std::string error;
        client_->start(error);
    }
    bool subscribed() const { return subscribed_; }
    std::vector<std::string> notices() const {
        std::lock_guard lock(mutex_);
        return notices_;
    }

private:
    std::unique_ptr<MqttClient> client_;
    mutable std::mutex mutex_;
    std::vector<std::string> notices_;
    std::atomic<bool> subscribed_{false};
};

struct HubRig {
    HubRig() {
        test::ensureCoreApp("hub_tests");
        db = test::freshHubDatabase();
    }
    bool start(const std::string& rulesText) {
        const std::string path = dir.file("rules.ini");
        std::ofstream(path) << rulesText;
        const RulesLoad load = loadAlarmRules(QString::fromStdString(path));
        if (!load.errors.empty()) return false;
        HubOptions o;
        o.broker.url = broker.url("plant");
        o.clientId = "orlix-hub-test";
        o.db = db;
        o.rulesPath = path;
        service = std::make_unique<HubService>(o, load.rules);
        std::string error;
        return service->start(error);
    }
    std::int64_t count(const std::string& sql, const std::vector<std::string>& params = {}) {
        PgConnection c(db);
        const PgResult r = c.exec(sql, params);
        return r.ok() && r.rows() == 1 ? r.number(0, 0) : -1;
    }
    std::string text(const std::string& sql) {
        PgConnection c(db);
        const PgResult r = c.exec(sql);
        return r.ok() && r.rows() == 1 ? r.text(0, 0) : std::string("<none>");
    }
    test::ScratchDir dir{"orlix_hub"};
    test::MosquittoBroker broker;
    std::string db;
    std::unique_ptr<HubService> service;
};

constexpr const char* kMqttRules =
    "[hub]\noffline_after = 3s\nfault_receivers = board\noffline_receivers = board\n"
    "[receiver:board]\ntype = mqtt\n"
    "[threshold:pd-high]\nvalue = Pd\nabove = 3000\nsites = north\nreceivers = board\n";

TEST(HubService, StoresSamplesOnceAndWorksAFaultsAlarmThroughAnAcknowledgement) {
    HubRig rig;
    ASSERT_TRUE(rig.broker.ok() && !rig.db.empty());
    AlarmListener board(rig.broker);
    ASSERT_TRUE(qtWaitUntil([&] { return board.subscribed(); }));
    ASSERT_TRUE(rig.start(kMqttRules));
    FakeSite north(rig.broker, "north");
    ASSERT_TRUE(qtWaitUntil([&] { return north.connected(); }));
    const Micros t0 = test::nowUs() - 40 * kMicrosPerSecond;
    for (int i = 0; i < 10; ++i) north.sample(t0 + i * test::kStepUs, static_cast<std::int16_t>(1000 + i));
    north.sample(t0, 1000);  // delivered twice
    north.fault(t0 + 5 * kMicrosPerSecond, "EEPROM");
    ASSERT_TRUE(qtWaitUntil([&] { return rig.count("SELECT count(*) FROM samples") == 10; }, 20000));
    ASSERT_TRUE(qtWaitUntil([&] { return rig.text("SELECT state FROM alarms WHERE source = 'Err'") == "unacknowledged"; }));
    EXPECT_EQ(rig.text("SELECT message FROM alarms WHERE source = 'Err'"), "EEPROM");
    ASSERT_TRUE(qtWaitUntil([&] { return !board.notices().empty(); }));
    const QJsonObject notice = QJsonDocument::fromJson(QByteArray::fromStdString(board.notices().front())).object();
    EXPECT_EQ(notice["site"].toString(), "north");
    EXPECT_EQ(notice["source"].toString(), "Err");
    EXPECT_EQ(notice["state"].toString(), "unacknowledged") << board.notices().front();
    EXPECT_EQ(notice["message"].toString(), "EEPROM");

    // A person acknowledges (the running hub leads and applies it); the
    // fault's "Normal" then returns the alarm to normal.
    std::string message;
    int acked = -1;
    std::thread person([&] {
        acked = runAlarmCommand({rig.db, "north", "Err", "acknowledge", "mia", "", 0}, AlarmRules{}, message);
    });
    ASSERT_TRUE(qtWaitUntil([&] { return rig.text("SELECT state FROM alarms WHERE source = 'Err'") == "acknowledged"; }));
    person.join();
    EXPECT_EQ(acked, 0) << message;
    north.fault(t0 + 9 * kMicrosPerSecond, "Normal");
    ASSERT_TRUE(qtWaitUntil([&] { return rig.text("SELECT state FROM alarms WHERE source = 'Err'") == "normal"; }));
    EXPECT_EQ(rig.count("SELECT count(*) FROM alarm_events WHERE by_user = 'mia' AND event = 'acknowledged'"), 1);
    north.stop();
}

TEST(HubService, AQuietSiteGoesOfflineAndAThresholdRuleFires) {
    HubRig rig;
    ASSERT_TRUE(rig.broker.ok() && !rig.db.empty());
    ASSERT_TRUE(rig.start(kMqttRules));
    FakeSite north(rig.broker, "north");
    ASSERT_TRUE(qtWaitUntil([&] { return north.connected(); }));
    north.sample(test::nowUs(), 3500);  // above the rule's limit
    ASSERT_TRUE(qtWaitUntil([&] {
        return rig.text("SELECT state FROM alarms WHERE source = 'threshold:pd-high'") == "unacknowledged";
    }, 20000));
    // Then nothing more: offline after 3 s of quiet (the rules' setting).
    ASSERT_TRUE(qtWaitUntil([&] { return rig.text("SELECT state FROM alarms WHERE source = 'offline'") == "unacknowledged"; },
                            20000));
    north.sample(test::nowUs(), 100);
    ASSERT_TRUE(qtWaitUntil([&] {
        return rig.text("SELECT state FROM alarms WHERE source = 'offline'") == "returned-unacknowledged";
    }, 20000));
    north.stop();
}

TEST(HubService, RefusesWhatCannotBeReadWithOneLineAndStoresNothingOfIt) {
    HubRig rig;
    ASSERT_TRUE(rig.broker.ok() && !rig.db.empty());
    test::LogCapture log;
    ASSERT_TRUE(rig.start(""));
    FakeSite site(rig.broker, "x'; DROP TABLE samples; --");
    ASSERT_TRUE(qtWaitUntil([&] { return site.connected(); }));
    for (int i = 0; i < 3; ++i) site.raw("sample", "{\"time\": 12, \"values\": []}");
    site.raw("sample", std::string(70000, 'x'));
    site.sample(test::nowUs(), 7);  // one good one from the same strange name
    ASSERT_TRUE(qtWaitUntil([&] { return rig.count("SELECT count(*) FROM samples") == 1; }, 20000));
    EXPECT_EQ(rig.count("SELECT count(*) FROM sites WHERE name = $1", {"x'; DROP TABLE samples; --"}), 1);
    int refusals = 0;
    for (const std::string& l : log.of(log::kHub)) refusals += l.find("refused") != std::string::npos ||
                                                               l.find("sample from") != std::string::npos;
    EXPECT_GE(refusals, 1);
    EXPECT_LE(refusals, 3) << ::testing::PrintToString(log.of(log::kHub));  // repeats counted, not written
    site.stop();
}

}  // namespace
}  // namespace orlix::hub
