// The recorder's engine in this process, against a real broker: a replayed
// capture as its port (so every run is short and its samples known), the
// database it makes, what it publishes, a broker that restarts under it, and
// a capture it cannot write. The tests wait for events (the end of the
// replay, the broker's grant of a subscription, messages), not for times.
#include "recorder/record_engine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "capture/capture_reader.h"
#include "database/sample_database.h"
#include "broker_listener.h"
#include "log_capture.h"
#include "mosquitto_broker.h"
#include "sampling/capture_database.h"
#include "scratch_dir.h"
#include "sim/plant_capture.h"
#include "sources/capture_replay_source.h"
#include "wait_until.h"

namespace orlix {
namespace {

using test::qtWaitUntil;

constexpr std::int64_t kStartUs = 1'780'000'123'456'789;

struct Scratch : test::ScratchDir {
    Scratch() : ScratchDir("orlix_engine") {}
};

using Listener = test::BrokerListener;

struct EngineRun {
    explicit EngineRun(RecordOptions o) : clock(o.timeScale), engine(std::move(o), clock) {
        engine.onEnd = [this] { ended = true; };
    }
    // Starts; the replay's end counts after a short quiet.
    bool start(std::string& error) {
        if (!engine.start(error)) return false;
        if (auto* r = dynamic_cast<CaptureReplaySource*>(engine.pipeline().port().source())) r->setEndQuietMs(300);
        return true;
    }
    ScaledClock clock;
    RecordEngine engine;
    bool ended = false;
};

RecordOptions replayOf(const std::string& capture, const std::string& db, double scale) {
    RecordOptions o;
    o.port = capture;
    o.db = db;
    o.timeScale = scale;
    o.site = "s1";
    return o;
}

std::int64_t recordsIn(const std::string& db) { return countRecords(db); }

TEST(RecordEngine, ACaptureAsThePortStoresWhatACaptureDatabaseHolds) {
    test::ensureCoreApp("recorder_tests");
    Scratch dir;
    const std::string cap = dir.file("a.pcap"), live = dir.file("live.mdb"), made = dir.file("made.mdb");
    ASSERT_TRUE(writePlantCapture(cap, 6, 2500, kStartUs, 10, false, 300).ok);
    EngineRun run(replayOf(cap, live, 1000));
    std::string error;
    ASSERT_TRUE(run.start(error)) << error;
    ASSERT_TRUE(qtWaitUntil([&] { return run.ended; }, 60000));
    EXPECT_TRUE(run.engine.finish());

    CaptureReader reader;
    ASSERT_EQ(reader.open(cap), CaptureReader::Open::Ok);
    ASSERT_TRUE(captureToDatabase(reader, made).ok);
    const HistoryResult a = loadHistory(live, std::nullopt, 100'000);
    const HistoryResult b = loadHistory(made, std::nullopt, 100'000);
    ASSERT_GT(b.rows.size(), 300u);
    ASSERT_EQ(a.rows.size(), b.rows.size());
    for (std::size_t i = 0; i < a.rows.size(); ++i) {
        ASSERT_EQ(a.rows[i].values, b.rows[i].values) << i;
        ASSERT_EQ(a.rows[i].time, b.rows[i].time) << i;
    }
}

// Every stored sample is published once as the documented JSON, each new
// fault too, and the status is "online" around the run and "offline" after.
TEST(RecordEngine, PublishesEveryStoredSampleAndItsFaultsWithTheStatusAroundTheRun) {
    test::ensureCoreApp("recorder_tests");
    test::MosquittoBroker broker;
    ASSERT_TRUE(broker.ok()) << broker.log();
    Listener sub(broker, "plant/s1/+");
    ASSERT_TRUE(qtWaitUntil([&] { return sub.subscribed(); }));
    Scratch dir;
    const std::string cap = dir.file("f.pcap"), db = dir.file("f.mdb");
    ASSERT_TRUE(writePlantCapture(cap, 6, 6000, kStartUs, 10, false, 0).ok);
    RecordOptions o = replayOf(cap, db, 1000);
    o.broker.url = broker.url("plant");
    EngineRun run(o);
    std::string error;
    ASSERT_TRUE(run.start(error)) << error;
    ASSERT_TRUE(qtWaitUntil([&] { return run.ended; }, 60000));
    EXPECT_TRUE(run.engine.finish());
    const std::int64_t stored = recordsIn(db);
    ASSERT_GT(stored, 700);
    EXPECT_TRUE(qtWaitUntil([&] { return sub.on("plant/s1/sample").size() == static_cast<std::size_t>(stored); }))
        << sub.on("plant/s1/sample").size() << " of " << stored;
    EXPECT_TRUE(qtWaitUntil([&] { return sub.on("plant/s1/status").size() >= 2; }));
    const auto status = sub.on("plant/s1/status");
    EXPECT_EQ(status.front(), "online");
    EXPECT_EQ(status.back(), "offline");
    const auto faults = sub.on("plant/s1/faults");
    ASSERT_FALSE(faults.empty());
    EXPECT_EQ(faults.front().rfind("{\"list\": \"", 0), 0u) << faults.front();
    EXPECT_FALSE(sub.on("plant/s1/raw").empty());
}

// The broker goes away during the run and comes back: the samples of the
// outage wait in the engine and reach a subscriber with a persistent
// session; every stored sample arrives once at least.
TEST(RecordEngine, ABrokerRestartLosesNoSample) {
    test::ensureCoreApp("recorder_tests");
    test::MosquittoBroker broker;
    ASSERT_TRUE(broker.ok()) << broker.log();
    Scratch dir;
    const std::string cap = dir.file("r.pcap"), db = dir.file("r.mdb");
    ASSERT_TRUE(writePlantCapture(cap, 7, 4000, kStartUs, 10, false, 0).ok);
    auto sub = std::make_unique<Listener>(broker, "plant/s1/sample", "orlix-engine-restart");
    ASSERT_TRUE(qtWaitUntil([&] { return sub->subscribed(); }));
    RecordOptions o = replayOf(cap, db, 300);
    o.broker.url = broker.url("plant");
    o.status = true;
    EngineRun run(o);
    std::string error;
    ASSERT_TRUE(run.start(error)) << error;
    ASSERT_TRUE(qtWaitUntil([&] { return sub->on("plant/s1/sample").size() > 20; }, 30000));
    broker.stop();
    // Samples queue while the broker is away.
    ASSERT_TRUE(qtWaitUntil([&] { return run.engine.statusLine().find("queued 0,") == std::string::npos; }, 30000))
        << run.engine.statusLine();
    ASSERT_TRUE(qtWaitUntil([&] { return run.ended || run.engine.statusLine().find(", queued 2") != std::string::npos; },
                            60000));
    ASSERT_TRUE(broker.start()) << broker.log();
    ASSERT_TRUE(qtWaitUntil([&] { return run.ended; }, 120000));
    EXPECT_TRUE(run.engine.finish());
    const std::int64_t stored = recordsIn(db);
    ASSERT_GT(stored, 450);
    EXPECT_TRUE(qtWaitUntil([&] { return sub->on("plant/s1/sample").size() >= static_cast<std::size_t>(stored); },
                            30000))
        << sub->on("plant/s1/sample").size() << " of " << stored;
}

// A capture that cannot be written whole ends the run as a failure, said
// with its cause; the recording itself is whole.
TEST(RecordEngine, ACaptureThatCannotBeWrittenMakesTheRunFail) {
    test::ensureCoreApp("recorder_tests");
    Scratch dir;
    const std::string cap = dir.file("c.pcap"), db = dir.file("c.mdb");
    ASSERT_TRUE(writePlantCapture(cap, 6, 1500, kStartUs, 10, false, 0).ok);
    test::LogCapture log;
    RecordOptions o = replayOf(cap, db, 1000);
    o.capture = "/dev/full";
    EngineRun run(o);
    std::string error;
    ASSERT_TRUE(run.start(error)) << error;
    ASSERT_TRUE(qtWaitUntil([&] { return run.ended; }, 60000));
    EXPECT_FALSE(run.engine.finish());
    EXPECT_GT(recordsIn(db), 100);
    bool said = false;
    for (const std::string& l : log.of(log::kCapture)) said = said || l.find("/dev/full") != std::string::npos;
    EXPECT_TRUE(said) << ::testing::PrintToString(log.all());
}

}  // namespace
}  // namespace orlix
