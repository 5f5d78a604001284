// orlix-fleet-sim as a program against a real broker, heard by
// mosquitto_sub: a clean stop, a run that ends by itself at the instant it
// was given, and the options it refuses.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/clock.h"
#include "broker_listener.h"
#include "fleet/heard.h"
#include "local_zone.h"
#include "mosquitto_broker.h"
#include "tools/process.h"
#include "wait_until.h"

namespace orlix {
namespace {

using namespace std::chrono_literals;

class FleetSim {
public:
    explicit FleetSim(std::vector<std::string> args) : err_(test::tempPath("fleet.err")) {
        args.insert(args.begin(), ORLIX_FLEET_SIM_BIN);
        pid_ = test::spawnProcess(args, err_.string());
    }
    ~FleetSim() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            test::waitForExit(pid_, 5s);
        }
        std::filesystem::remove(err_);
    }
    // Sends `sig` (none: 0) and waits for the end; the exit status, or -1.
    int wait(int sig, std::chrono::milliseconds timeout = 30s) {
        if (sig != 0) ::kill(pid_, sig);
        int status = -1;
        if (!test::waitForExit(pid_, timeout, &status)) status = -2;
        pid_ = -1;
        return status;
    }
    std::string log() const { return test::readWhole(err_); }

private:
    std::filesystem::path err_;
    pid_t pid_ = -1;
};

std::vector<std::string> siteNames(int n) {
    std::vector<std::string> names;
    for (int i = 1; i <= n; ++i) names.push_back("north-000" + std::to_string(i));
    return names;
}

// SIGTERM ends a run without an end cleanly: exit 0, and a subscriber that
// comes later hears every site's retained "offline".
TEST(OrlixFleetSim, ACleanStopLeavesEverySiteOffline) {
    test::MosquittoBroker broker;
    ASSERT_TRUE(broker.ok()) << broker.log();
    test::Subscriber sub(broker.port(), "plants/#");
    FleetSim sim({"--mqtt", broker.url("plants"), "--sites", "5", "--site-prefix", "north-", "--time-scale", "100",
                  "--connections", "2", "--status"});
    ASSERT_TRUE(sub.waitFor([&] {
        const auto names = siteNames(5);
        return std::all_of(names.begin(), names.end(),
                           [&](const std::string& n) { return sub.on("plants/" + n + "/sample").size() >= 2; });
    }))
        << sim.log();
    EXPECT_EQ(sim.wait(SIGTERM), 0) << sim.log();
    EXPECT_NE(sim.log().find("every message delivered"), std::string::npos) << sim.log();
    test::Subscriber late(broker.port(), "plants/+/status");
    EXPECT_TRUE(late.waitFor([&] { return late.lines().size() >= 5; }));
    for (const std::string& name : siteNames(5))
        EXPECT_EQ(late.on("plants/" + name + "/status"), std::vector<std::string>{"1 offline"}) << name;
}

// A run with an end stops by itself with exit 0, and its first sample lies
// at the instant --start named (here with an offset other than the zone's).
TEST(OrlixFleetSim, ARunStartsAtTheGivenInstantAndEndsByItself) {
    test::LocalZone zone("Europe/Berlin");
    test::MosquittoBroker broker;
    ASSERT_TRUE(broker.ok()) << broker.log();
    test::BrokerListener listener(broker, "plants/#");
    ASSERT_TRUE(test::waitUntil([&] { return listener.subscribed(); }));
    FleetSim sim({"--mqtt", broker.url("plants"), "--sites", "2", "--samples-per-site", "3", "--rate", "0",
                  "--start", "2026-03-14T10:00:00+05:00", "--seed", "3"});
    EXPECT_EQ(sim.wait(0), 0) << sim.log();
    ASSERT_TRUE(test::waitUntil([&] { return listener.on("plants/site0002/status").size() == 2; })) << sim.log();
    const std::vector<std::string> samples = listener.on("plants/site0001/sample");
    ASSERT_EQ(samples.size(), 3u);
    EXPECT_EQ(samples[0].rfind("{\"time\": \"2026-03-14T06:00:00\", \"utc_offset\": \"+01:00\", ", 0), 0u)
        << samples[0];
    EXPECT_EQ(samples[2].rfind("{\"time\": \"2026-03-14T06:00:08\", ", 0), 0u) << samples[2];
    EXPECT_EQ(listener.on("plants/site0002/sample").size(), 3u);
    EXPECT_EQ(listener.on("plants/site0002/status"), (std::vector<std::string>{"online", "offline"}));
}

// The last two minutes up to the present at 1000 times real time: the
// samples cover them and none lies in the future.
TEST(OrlixFleetSim, ARunCanEndAtThePresent) {
    test::MosquittoBroker broker;
    ASSERT_TRUE(broker.ok()) << broker.log();
    test::BrokerListener listener(broker, "plants/#");
    ASSERT_TRUE(test::waitUntil([&] { return listener.subscribed(); }));
    const double before = static_cast<double>(unixMicrosNow()) / 1e6;
    FleetSim sim({"--mqtt", broker.url("plants"), "--sites", "2", "--start", "now-2m", "--duration", "2m",
                  "--time-scale", "1000"});
    EXPECT_EQ(sim.wait(0), 0) << sim.log();
    ASSERT_TRUE(test::waitUntil([&] { return listener.on("plants/site0002/status").size() == 2; })) << sim.log();
    const double after = static_cast<double>(unixMicrosNow()) / 1e6;
    for (const auto& [name, site] : test::bySite(listener, "plants")) {
        ASSERT_EQ(site.samples.size(), 30u) << name;
        EXPECT_GE(site.samples.front().instant(), before - 121) << name;
        EXPECT_LE(site.samples.front().instant(), after - 116) << name;
        EXPECT_LE(site.samples.back().instant(), after) << name << ": no sample in the future";
    }
}

TEST(OrlixFleetSim, RefusesBadOptionsWithOneLine) {
    const std::string url = "mqtt://127.0.0.1:1/p";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--sites", "3"}, "--mqtt URL is needed"},
        {{"--mqtt", "http://x/p"}, "--mqtt: "},
        {{"--mqtt", url, "--sites", "0"}, "--sites needs a number"},
        {{"--mqtt", url, "--sites", "many"}, "--sites needs a number"},
        {{"--mqtt", url, "--rate", "10", "--time-scale", "2"}, "exclude each other"},
        {{"--mqtt", url, "--time-scale", "0"}, "--time-scale needs"},
        {{"--mqtt", url, "--sites", "3", "--outage", "site0004:1m:1m"}, "--outage site0004:1m:1m: no site"},
        {{"--mqtt", url, "--outage", "site0001:1m"}, "needs SITE:AFTER:FOR"},
        {{"--mqtt", url, "--start", "yesterday"}, "--start needs"},
        {{"--mqtt", url, "--start", "now-soon"}, "--start needs"},
        {{"--mqtt", url, "--duration", "0"}, "--duration needs"},
        {{"--mqtt", url, "--backlog", "1 h"}, "--backlog needs"},
        {{"--mqtt", url, "--site-prefix", "a/b"}, "--site-prefix needs"},
        {{"--mqtt", url, "--connections", "0"}, "--connections needs"},
        {{"--mqtt", url, "--bogus"}, "bogus"},
        {{"--mqtt", url, "extra"}, "unexpected argument extra"},
    };
    for (const auto& [args, why] : cases) {
        std::vector<std::string> argv{ORLIX_FLEET_SIM_BIN};
        argv.insert(argv.end(), args.begin(), args.end());
        const test::RunResult r = test::runProgram(argv);
        EXPECT_EQ(r.status, 2) << why;
        const std::vector<std::string> lines = test::splitLines(r.err);
        ASSERT_EQ(lines.size(), 2u) << r.err;
        EXPECT_EQ(lines[0].rfind("orlix-fleet-sim: ", 0), 0u) << r.err;
        EXPECT_NE(lines[0].find(why), std::string::npos) << r.err;
        EXPECT_EQ(lines[1], "Try 'orlix-fleet-sim --help' for more information.");
    }
    const test::RunResult help = test::runProgram({ORLIX_FLEET_SIM_BIN, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: orlix-fleet-sim --mqtt URL", 0), 0u) << help.out;
}

}  // namespace
}  // namespace orlix
