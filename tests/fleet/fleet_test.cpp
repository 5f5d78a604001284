// The fleet in this process against a real broker, heard by a subscriber
// of this process: what every site publishes and when in program time, the
// same run for the same seed, outages, a backlog, raw bytes. The runs have
// an end; the tests wait for it and for the sites' closing statuses.
#include "fleet/fleet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "broker_listener.h"
#include "fleet/heard.h"
#include "comm/receive_path.h"
#include "local_zone.h"
#include "tools/process.h"
#include "wait_until.h"

namespace orlix {
namespace {

using namespace std::chrono_literals;

using test::bySite;
using test::SiteHeard;

constexpr std::int64_t kSecond = 1'000'000;
FleetOptions optionsFor(const test::MosquittoBroker& broker, const std::string& prefix, std::size_t sites) {
    FleetOptions o;
    o.broker.url = broker.url(prefix);
    o.sites = sites;
    o.sitePrefix = "site";
    o.timeScale = 0;  // as fast as the broker takes them
    o.connections = 2;
    return o;
}

// Runs a fleet to its end, stops it cleanly and waits until the listener
// has every site's closing "offline" (the last message of each). Returns
// how long the run took until its end.
std::chrono::duration<double> runToEnd(FleetOptions options, const test::BrokerListener& listener,
                                       const std::string& prefix) {
    const std::size_t sites = options.sites;
    Fleet fleet(std::move(options));
    std::atomic<bool> ended{false};
    fleet.onEnd = [&] { ended = true; };
    const auto t0 = std::chrono::steady_clock::now();
    std::string error;
    const bool started = fleet.start(error);
    EXPECT_TRUE(started) << error;
    if (!started) return {};
    EXPECT_TRUE(test::waitUntil([&] { return ended.load(); }, 120s));
    const auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_TRUE(fleet.finish()) << fleet.statusLine();
    EXPECT_TRUE(test::waitUntil(
        [&] {
            const auto heard = bySite(listener, prefix);
            return heard.size() == sites &&
                   std::all_of(heard.begin(), heard.end(), [](const auto& s) {
                       return !s.second.statuses.empty() && s.second.statuses.back() == "offline";
                   });
        },
        30s));
    return took;
}

std::int64_t utcMicros(std::chrono::sys_days day, int hour, int minute) {
    using namespace std::chrono;
    return duration_cast<microseconds>((day + hours(hour) + minutes(minute)).time_since_epoch()).count();
}

// The messages as mosquitto_sub -F '%r %t %p' writes them, for the
// recorder's payload check.
std::string writeMessages(const test::BrokerListener& listener) {
    const auto path = test::tempPath("fleet-messages");
    std::ofstream f(path);
    for (const auto& [topic, payload] : listener.all())
        if (!topic.ends_with("/raw")) f << "0 " << topic << " " << payload << "\n";
    return path.string();
}

// Three sites across the night the clocks go back in Berlin: every site's
// samples lie exactly 4 s apart in time (as time_days and utc_offset name
// it), spread over each 4 s by site, with no gap and none twice; the
// payloads are a recorder's, faults included; statuses open and close.
TEST(Fleet, EverySiteSamplesEveryFourSecondsAsARecorderAcrossAClockChange) {
    test::LocalZone zone("Europe/Berlin");
    test::MosquittoBroker broker;
    ASSERT_TRUE(broker.ok()) << broker.log();
    test::BrokerListener listener(broker, "fleet/#");
    ASSERT_TRUE(test::waitUntil([&] { return listener.subscribed(); }));
    FleetOptions o = optionsFor(broker, "fleet", 3);
    using namespace std::chrono;
    o.startUs = utcMicros(2026y / October / 25, 0, 40);  // 02:40 CEST; 03:00 CEST is 02:00 CET
    o.samplesPerSite = 360;
    runToEnd(o, listener, "fleet");

    const auto heard = bySite(listener, "fleet");
    ASSERT_EQ(heard.size(), 3u);
    std::size_t site = 0, faults = 0;
    for (const auto& [name, s] : heard) {
        EXPECT_EQ(name, fleetSiteName("site", site));
        EXPECT_EQ(s.statuses.front(), "online");
        ASSERT_EQ(s.samples.size(), 360u) << name;
        const double first = static_cast<double>(o.startUs) / 1e6 + static_cast<double>(site) * 4.0 / 3.0;
        std::set<std::string> offsets;
        for (std::size_t n = 0; n < s.samples.size(); ++n) {
            ASSERT_NEAR(s.samples[n].instant(), first + 4.0 * static_cast<double>(n), 0.002)
                << name << " sample " << n << ": " << s.samples[n].time << s.samples[n].offset;
            offsets.insert(s.samples[n].offset);
        }
        EXPECT_EQ(offsets, (std::set<std::string>{"+01:00", "+02:00"})) << name;
        EXPECT_EQ(s.samples.back().time.substr(0, 16), "2026-10-25T02:03") << "an hour of CEST, then CET";
        faults += s.faults.size();
        ++site;
    }
    EXPECT_GT(faults, 0u) << "the plants' faults reach the office";
    const std::string messages = writeMessages(listener);
    const test::RunResult check = test::runProgram({ORLIX_PYTHON3, ORLIX_CHECK_SITE_JSON_PY, messages,
                                                    "--faults-needed"});
    EXPECT_EQ(check.status, 0) << check.out << check.err;
    std::filesystem::remove(messages);
}

// Equal seeds give equal runs to the byte; another seed other values.
TEST(Fleet, TheSameSeedGivesTheSameRun) {
    test::MosquittoBroker broker;
    ASSERT_TRUE(broker.ok()) << broker.log();
    test::BrokerListener listener(broker, "#");
    ASSERT_TRUE(test::waitUntil([&] { return listener.subscribed(); }));
    for (const auto& [prefix, seed] : {std::pair{"a", 7u}, {"b", 7u}, {"c", 8u}}) {
        FleetOptions o = optionsFor(broker, prefix, 2);
        o.seed = seed;
        o.startUs = 1'780'000'000 * kSecond;
        o.samplesPerSite = 100;
        runToEnd(o, listener, prefix);
    }
    const auto a = bySite(listener, "a"), b = bySite(listener, "b"), c = bySite(listener, "c");
    ASSERT_EQ(a.size(), 2u);
    for (const auto& [name, s] : a) {
        ASSERT_EQ(s.samples.size(), 100u);
        ASSERT_EQ(b.at(name).samples.size(), 100u);
        std::size_t differ = 0;
        for (std::size_t n = 0; n < 100; ++n) {
            EXPECT_EQ(s.samples[n].payload, b.at(name).samples[n].payload) << name << " " << n;
            differ += s.samples[n].payload != c.at(name).samples[n].payload;
        }
        EXPECT_GT(differ, 50u) << name;
        EXPECT_EQ(s.faults, b.at(name).faults);
    }
    EXPECT_NE(a.at("site0001").samples[50].payload, a.at("site0002").samples[50].payload) << "sites differ";
}

// Site 2 goes quiet one minute in for 90 s: its retained status says
// offline, its samples of that span are missing and then come again; the
// other sites do not notice.
TEST(Fleet, AnOutageSilencesItsSiteForItsSpanOnly) {
    test::MosquittoBroker broker;
    ASSERT_TRUE(broker.ok()) << broker.log();
    test::BrokerListener listener(broker, "fleet/#");
    ASSERT_TRUE(test::waitUntil([&] { return listener.subscribed(); }));
    FleetOptions o = optionsFor(broker, "fleet", 3);
    o.startUs = 1'780'000'000 * kSecond;
    o.samplesPerSite = 60;
    o.outages = {{1, 60 * kSecond, 90 * kSecond}};
    runToEnd(o, listener, "fleet");
    const auto heard = bySite(listener, "fleet");
    const double start = static_cast<double>(o.startUs) / 1e6;
    for (std::size_t site = 0; site < 3; ++site) {
        const SiteHeard& s = heard.at(fleetSiteName("site", site));
        const double first = start + static_cast<double>(site) * 4.0 / 3.0;
        std::vector<double> expected;
        for (int n = 0; n < 60; ++n) {
            const double t = first + 4.0 * n;
            if (site != 1 || t < start + 60 || t >= start + 150) expected.push_back(t);
        }
        ASSERT_EQ(s.samples.size(), expected.size()) << site;
        for (std::size_t n = 0; n < expected.size(); ++n) EXPECT_NEAR(s.samples[n].instant(), expected[n], 0.002);
        const std::vector<std::string> statuses =
            site == 1 ? std::vector<std::string>{"online", "offline", "online", "offline"}
                      : std::vector<std::string>{"online", "offline"};
        EXPECT_EQ(s.statuses, statuses) << site;
    }
}

// A backlog of a minute goes out first, its samples carrying times before
// the start; then the run goes on live at its pace (20 times real time:
// the last sample's program time, 18.7 s after the start, comes 0.93 s in).
TEST(Fleet, ABacklogComesFirstWithPastTimesThenTheRunGoesOnLive) {
    test::MosquittoBroker broker;
    ASSERT_TRUE(broker.ok()) << broker.log();
    test::BrokerListener listener(broker, "fleet/#");
    ASSERT_TRUE(test::waitUntil([&] { return listener.subscribed(); }));
    FleetOptions o = optionsFor(broker, "fleet", 3);
    o.startUs = unixMicrosNow() / kSecond * kSecond;
    o.backlogUs = 60 * kSecond;
    o.endUs = o.startUs + 20 * kSecond;
    o.timeScale = 20;
    const auto took = runToEnd(o, listener, "fleet");
    EXPECT_GE(took.count(), 0.9) << "live samples wait for their program time";
    const double start = static_cast<double>(o.startUs) / 1e6;
    for (const auto& [name, s] : bySite(listener, "fleet")) {
        ASSERT_EQ(s.samples.size(), 20u) << name;
        for (std::size_t n = 0; n < 15; ++n) EXPECT_LT(s.samples[n].instant(), start) << name << " " << n;
        for (std::size_t n = 15; n < 20; ++n) EXPECT_GE(s.samples[n].instant(), start - 0.001) << name << " " << n;
        for (std::size_t n = 1; n < 20; ++n)
            EXPECT_NEAR(s.samples[n].instant() - s.samples[n - 1].instant(), 4.0, 0.002) << name << " " << n;
    }
}

// With raw bytes, every frame goes out as a recorder's read, and read back
// through a receive path the frames are whole and alternate A5 / 5A.
TEST(Fleet, RawBytesAreThePlantsFramesOneReadEach) {
    test::MosquittoBroker broker;
    ASSERT_TRUE(broker.ok()) << broker.log();
    test::BrokerListener listener(broker, "fleet/#");
    ASSERT_TRUE(test::waitUntil([&] { return listener.subscribed(); }));
    FleetOptions o = optionsFor(broker, "fleet", 1);
    o.startUs = 1'780'000'000 * kSecond;
    o.samplesPerSite = 10;
    o.raw = true;
    runToEnd(o, listener, "fleet");
    const auto heard = bySite(listener, "fleet");
    const SiteHeard& s = heard.at("site0001");
    // Frames of 0.525 s from 4 s before the first sample to the tenth, 36 s later.
    EXPECT_EQ(s.rawMessages, static_cast<std::size_t>(40.0 / 0.525));
    ManualClock clock;
    ReceivePath path(clock);
    struct Kinds : FrameObserver {
        int good = 0, bad = 0;
        void onChecksum(int, bool ok) override { ++(ok ? good : bad); }
    } kinds;
    path.setFrameObserver(&kinds);
    path.onRead(std::span(reinterpret_cast<const std::uint8_t*>(s.rawBytes.data()), s.rawBytes.size()));
    EXPECT_GE(kinds.good, 74) << "a frame may be damaged on the line now and then";
    EXPECT_LE(kinds.good + kinds.bad, 76);
}

}  // namespace
}  // namespace orlix
