// The broker's user names and passwords never reach a log line: orlix-record
// and orlix-hub run against a real mosquitto with users, every logging
// category at debug level, through a login, a wrong password, a password in
// the URL and a broker that refuses the connection; their whole standard
// error is searched. A password file that others can read is used, with one
// warning.
#if defined(ORLIX_RECORD_BIN) && defined(ORLIX_HUB_BIN)
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "mosquitto_broker.h"
#include "pg_cluster.h"
#include "wait_until.h"

namespace orlix {
namespace {

using namespace std::chrono_literals;

// A program run with every category at debug level; its standard error
// (and output) in a file.
class Program {
public:
    Program(const std::filesystem::path& log, std::vector<std::string> args) : log_(log) {
        ::setenv("QT_LOGGING_RULES", "*.debug=true", 1);
        pid_ = test::spawnProcess(args, log.string());
        ::unsetenv("QT_LOGGING_RULES");
    }
    ~Program() { stop(); }
    bool waitFor(const std::string& text, std::chrono::milliseconds timeout = 20s) const {
        return test::waitUntil([&] { return log().find(text) != std::string::npos; }, timeout);
    }
    void stop() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        if (!test::waitForExit(pid_, 20s)) ::kill(pid_, SIGKILL), test::waitForExit(pid_, 5s);
        pid_ = -1;
    }
    std::string log() const { return test::readWhole(log_); }

private:
    std::filesystem::path log_;
    pid_t pid_ = -1;
};

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(BrokerSecrets, NoLogLineAtAnyLevelHoldsABrokerUserNameOrPassword) {
    const std::string recUser = "rec-user-Qx81", recPw = "Rec-pw-Zk42", hubUser = "hub-user-Wm27",
                      hubPw = "Hub-pw-Jt63";
    test::MosquittoBroker broker({{recUser, recPw}, {hubUser, hubPw}});
    ASSERT_TRUE(broker.ok()) << broker.log();
    test::PgCluster pg;
    ASSERT_TRUE(pg.ok()) << pg.error();
    ASSERT_TRUE(pg.createDatabase("hub"));
    const std::filesystem::path dir = broker.dir();
    const std::string open = (dir / "rec.pw").string(), closed = (dir / "hub.pw").string(),
                      wrong = (dir / "wrong.pw").string();
    std::ofstream(open) << recPw << "\n";
    std::ofstream(closed) << hubPw << "\n";
    std::ofstream(wrong) << "Not-the-pw-Yv09\n";
    std::filesystem::permissions(open, std::filesystem::perms(0644));
    std::filesystem::permissions(closed, std::filesystem::perms(0600));
    std::filesystem::permissions(wrong, std::filesystem::perms(0600));
    const std::string port = std::to_string(broker.port());
    auto record = [&](const std::string& name, const std::string& url, const std::string& pwFile) {
        std::vector<std::string> args{ORLIX_RECORD_BIN, "--port", (dir / "no-adapter").string(), "--db",
                                      (dir / (name + ".mdb")).string(), "--mqtt", url, "--site", "north"};
        if (!pwFile.empty()) args.insert(args.end(), {"--mqtt-password-file", pwFile});
        return std::make_unique<Program>(dir / (name + ".err"), args);
    };
    auto hub = [&](const std::string& name, const std::string& pwFile) {
        return std::make_unique<Program>(dir / (name + ".err"),
                                     std::vector<std::string>{ORLIX_HUB_BIN, "--db", pg.url("hub"), "--mqtt",
                                                              "mqtt://" + hubUser + "@127.0.0.1:" + port + "/plants",
                                                              "--mqtt-password-file", pwFile});
    };
    std::vector<std::unique_ptr<Program>> runs;
    runs.push_back(record("rec-right", "mqtt://" + recUser + "@127.0.0.1:" + port + "/plants", open));
    ASSERT_TRUE(runs.back()->waitFor("connected to mqtt://127.0.0.1:" + port)) << runs.back()->log();
    EXPECT_EQ(count(runs.back()->log(), "the password file " + open + " can be read by every user of this machine "
                                        "(mode 0644)"), 1u) << runs.back()->log();
    runs.push_back(record("rec-wrong", "mqtt://" + recUser + "@127.0.0.1:" + port + "/plants", wrong));
    ASSERT_TRUE(runs.back()->waitFor("not authorised")) << runs.back()->log();
    runs.push_back(record("rec-url", "mqtt://" + recUser + ":" + recPw + "@127.0.0.1:" + port + "/plants", {}));
    ASSERT_TRUE(runs.back()->waitFor("connected to")) << runs.back()->log();
    EXPECT_EQ(count(runs.back()->log(), "can read in the process list"), 1u) << runs.back()->log();
    runs.push_back(hub("hub-right", closed));
    ASSERT_TRUE(runs.back()->waitFor("connected to mqtt://127.0.0.1:" + port)) << runs.back()->log();
    EXPECT_EQ(runs.back()->log().find("can be read by every user"), std::string::npos) << runs.back()->log();
    runs.push_back(hub("hub-wrong", wrong));
    ASSERT_TRUE(runs.back()->waitFor("not authorised")) << runs.back()->log();
    // The broker goes: every connection is lost, and refused when tried again.
    broker.stop();
    for (const auto& r : runs) EXPECT_TRUE(r->waitFor("Connection refused", 30s)) << r->log();
    for (const auto& r : runs) r->stop();

    for (const auto& r : runs) {
        const std::string log = r->log();
        for (const std::string& secret : {recUser, recPw, hubUser, hubPw, std::string("Not-the-pw-Yv09")})
            EXPECT_EQ(log.find(secret), std::string::npos) << secret << " in\n" << log;
    }
}

#ifdef ORLIX_README
// The ACL block of the README, as an administrator would copy it.
std::string readmeAcl() {
    std::istringstream in(test::readWhole(ORLIX_README));
    std::string acl;
    bool inBlock = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("    # Each recorder logs in", 0) == 0) inBlock = true;
        if (!inBlock) continue;
        if (!line.empty() && line.rfind("    ", 0) != 0) break;
        acl += (line.size() > 4 ? line.substr(4) : std::string()) + "\n";
    }
    return acl;
}

// The README's fleet ACL against a real mosquitto: a recorder logged in as
// its site publishes its topics; one that names another site is connected
// all the same and its messages are dropped; the office reads every site
// and writes alarms.
TEST(BrokerSecrets, TheReadmesFleetAclLetsARecorderWriteOnlyItsOwnSite) {
    const std::string acl = readmeAcl();
    ASSERT_NE(acl.find("pattern write plants/%u/status"), std::string::npos) << acl;
    test::MosquittoBroker broker({{"north", "North-pw-1"}, {"south", "South-pw-2"}, {"office", "Office-pw-3"}}, acl);
    ASSERT_TRUE(broker.ok()) << broker.log();
    const std::filesystem::path dir = broker.dir();
    const std::string pw = (dir / "north.pw").string();
    std::ofstream(pw) << "North-pw-1\n";
    std::filesystem::permissions(pw, std::filesystem::perms(0600));
    test::Subscriber office(broker.port(), "plants/#", {"-u", "office", "-P", "Office-pw-3"});
    auto record = [&](const std::string& site) {
        return std::make_unique<Program>(
            dir / (site + ".err"),
            std::vector<std::string>{ORLIX_RECORD_BIN, "--port", (dir / "no-adapter").string(), "--db",
                                     (dir / (site + ".mdb")).string(), "--mqtt",
                                     "mqtt://north@127.0.0.1:" + std::to_string(broker.port()) + "/plants", "--site",
                                     site, "--mqtt-password-file", pw});
    };
    // Another site's name first: connected, and its "online" goes nowhere.
    auto south = record("south");
    ASSERT_TRUE(south->waitFor("connected to")) << south->log();
    auto north = record("north");
    ASSERT_TRUE(north->waitFor("connected to")) << north->log();
    ASSERT_TRUE(office.waitFor([&] { return !office.on("plants/north/status").empty(); })) << broker.log();
    EXPECT_EQ(office.on("plants/north/status").front(), "0 online");
    EXPECT_TRUE(office.on("plants/south/status").empty());
    // The office writes an alarm; a recorder may not.
    const auto pub = [&](const std::string& user, const std::string& password, const std::string& topic) {
        const std::string cmd = (std::filesystem::path(ORLIX_MOSQUITTO_SUB).parent_path() / "mosquitto_pub").string() +
                                " -h 127.0.0.1 -p " + std::to_string(broker.port()) + " -u " + user + " -P " +
                                password + " -q 1 -t " + topic + " -m " + user;
        return std::system(cmd.c_str());
    };
    EXPECT_EQ(pub("north", "North-pw-1", "plants/south/alarms"), 0) << "denied without a word";
    EXPECT_EQ(pub("office", "Office-pw-3", "plants/north/alarms"), 0);
    ASSERT_TRUE(office.waitFor([&] { return !office.on("plants/north/alarms").empty(); }));
    EXPECT_EQ(office.on("plants/north/alarms").front(), "0 office");
    EXPECT_TRUE(office.on("plants/south/alarms").empty());
    south->stop();
    north->stop();
    EXPECT_TRUE(office.on("plants/south/status").empty());
}
#endif

}  // namespace
}  // namespace orlix
#endif
