// Every program, run with inputs for each exit status its documentation
// lists, and the line it says: one table per program, each row a run.
// Usage errors are one line (and the pointer to --help) and leave no file.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "database/sample_database.h"
#include "jet_test_util.h"
#include "mosquitto_broker.h"
#include "process.h"
#include "sim/plant_capture.h"

namespace orlix {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kStartUs = 1'780'000'123'456'789;

struct Run {
    Run(const char* w, std::vector<std::string> a, int st, std::string s, bool u = false, std::string out = {},
        std::string in = {}, std::string nothing = {})
        : what(w), args(std::move(a)), status(st), says(std::move(s)), usage(u), stdoutPath(std::move(out)),
          stdinPath(std::move(in)), leavesNothing(std::move(nothing)) {}
    const char* what;
    std::vector<std::string> args;  // after the program
    int status;
    std::string says;           // in standard error ("": nothing asked)
    bool usage;                 // a usage error: exactly one line besides "Try ... --help"
    std::string stdoutPath;     // as for runProgram
    std::string stdinPath;
    std::string leavesNothing;  // a path that must not exist afterwards
};

// The inputs the runs need, made once in a scratch folder.
struct Inputs {
    fs::path dir = test::tempPath("exit_status");
    std::string capture, otherLink, cutCapture, badRecord, database, text, jet, taken, emptyPw;

    Inputs() {
        fs::create_directories(dir);
        capture = file("plant.pcap");
        writePlantCapture(capture, 4, 300, kStartUs, 10);
        const std::string head = test::readFile(capture).substr(0, 24);
        std::string other = head;
        other[20] = 1;  // link type 1 (Ethernet)
        std::ofstream(otherLink = file("ethernet.pcap"), std::ios::binary) << other;
        std::ofstream(cutCapture = file("cut.pcap"), std::ios::binary) << head.substr(0, 10);
        // A record header that claims more bytes than any record may hold.
        std::string rec(16, '\0');
        rec[8 + 2] = rec[12 + 2] = 0x10;  // caplen = len = 1 MiB
        std::ofstream(badRecord = file("bad-record.pcap"), std::ios::binary) << head << rec;
        CreateSampleDatabase(database = file("samples.mdb"));
        std::ofstream(text = file("notes.mdb")) << "not a database";
        testing::makeJetFile(jet = file("old.mdb"), 45);
        std::ofstream(taken = file("taken.mdb")) << "keep me";
        std::ofstream(emptyPw = file("empty.pw")).flush();
    }
    ~Inputs() { fs::remove_all(dir); }
    std::string file(const std::string& name) const { return (dir / name).string(); }
    std::string missingFolder(const std::string& name) const { return (dir / "no-such-folder" / name).string(); }
};

const Inputs& inputs() {
    static const Inputs in;
    return in;
}

// The lines of standard error that are not the pointer to --help.
std::vector<std::string> saidLines(const std::string& err) {
    std::vector<std::string> out;
    for (const std::string& l : test::splitLines(err))
        if (l.rfind("Try '", 0) != 0) out.push_back(l);
    return out;
}

void check(const std::string& program, const std::vector<Run>& runs) {
    const std::string name = fs::path(program).filename().string();
    for (const Run& r : runs) {
        SCOPED_TRACE(name + ": " + r.what);
        std::vector<std::string> args{program};
        args.insert(args.end(), r.args.begin(), r.args.end());
        const test::RunResult got = test::runProgram(args, r.stdinPath, r.stdoutPath);
        EXPECT_EQ(got.status, r.status) << got.err;
        EXPECT_NE(got.err.find(r.says), std::string::npos) << got.err;
        if (r.usage) {
            const std::vector<std::string> said = saidLines(got.err);
            ASSERT_EQ(said.size(), 1u) << got.err;
            EXPECT_EQ(said[0].rfind(name + ": ", 0), 0u) << said[0];
        }
        if (!r.leavesNothing.empty()) {
            EXPECT_FALSE(fs::exists(r.leavesNothing)) << r.leavesNothing;
        }
    }
}

// --help and --version answer with 0, or 1 when their text cannot be written;
// an unknown option is a usage error.
std::vector<Run> commonRuns() {
    return {
        {"--help", {"--help"}, 0, ""},
        {"--version to a full disk", {"--version"}, 1, "", false, "/dev/full"},
        {"an unknown option", {"--bogus"}, 2, "bogus", true},
    };
}

std::vector<Run> with(std::vector<Run> runs) {
    std::vector<Run> all = commonRuns();
    all.insert(all.end(), runs.begin(), runs.end());
    return all;
}

TEST(ExitStatus, OrlixMonitor) {
    const Inputs& in = inputs();
    check(ORLIX_MONITOR_BIN,
          with({
              {"a remote site with a wildcard", {"--port", "Com1=mqtt://u:pw@host/plants/+"}, 2,
               "--port Com1=mqtt://host/plants/+: ", true},
              {"a remote site without a site", {"--port", "Com2=mqtt://host/plants"}, 2, "names no site", true},
              {"a capture of another link type", {"--port", "Com1=" + in.otherLink}, 2, "link type", true},
              {"a capture cut inside its header", {"--port", "Com1=" + in.cutCapture}, 2,
               "shorter than a capture header", true},
              {"a CA file that is not there", {"--tls-ca", in.missingFolder("ca.pem")}, 2,
               "--tls-ca " + in.missingFolder("ca.pem") + ": cannot read it: No such file or directory", true},
          }));
}

TEST(ExitStatus, OrlixRecord) {
    const Inputs& in = inputs();
    const std::string db = in.file("rec.mdb"), never = in.file("never.mdb");
    check(ORLIX_RECORD_BIN,
          with({
              {"no port", {"--db", never}, 2, "--port PATH is needed", true, "", "", never},
              {"a remote site with a wildcard", {"--port", "mqtt://u:pw@h/plants/+", "--db", never}, 2,
               "--port mqtt://h/plants/+: ", true, "", "", never},
              {"an empty remote site", {"--port", "mqtt://h/", "--db", never}, 2, "--port mqtt://h/: ", true, "", "",
               never},
              {"a capture of another link type", {"--port", in.otherLink, "--db", never}, 2, "link type", true, "",
               "", never},
              {"a site too long for a topic",
               {"--port", in.capture, "--db", never, "--mqtt", "mqtt://127.0.0.1:1/plants", "--site",
                std::string(65530, 's')},
               2, "--site: the topic plants/sss", true, "", "", never},
              {"an empty password file",
               {"--port", in.capture, "--db", never, "--mqtt", "mqtt://u@127.0.0.1:1/p", "--mqtt-password-file",
                in.emptyPw},
               2, "--mqtt-password-file: the password file " + in.emptyPw + " holds no password", true, "", "",
               never},
              {"a CA file that is not there",
               {"--port", in.capture, "--db", never, "--mqtt", "mqtts://127.0.0.1:1/p", "--tls-ca",
                in.missingFolder("ca.pem")},
               2, "--tls-ca " + in.missingFolder("ca.pem") + ": cannot read it", true, "", "", never},
              {"a database that cannot be made",
               {"--port", in.capture, "--db", in.missingFolder("x.mdb"), "--time-scale", "1000"}, 1,
               "cannot start: cannot create the database " + in.missingFolder("x.mdb")},
              {"a replay recorded to its end", {"--port", in.capture, "--db", db, "--time-scale", "1000"}, 0,
               "stopped: "},
              {"a capture that cannot be written",
               {"--port", in.capture, "--db", in.file("rec2.mdb"), "--time-scale", "1000", "--capture", in.text}, 1,
               "--capture " + in.text + " cannot be written now: " + in.text + ": exists"},
          }));
}

TEST(ExitStatus, OrlixDecode) {
    const Inputs& in = inputs();
    const std::string made = in.file("decoded.mdb");
    check(ORLIX_DECODE_BIN,
          with({
              {"a capture decoded", {"--csv", in.capture}, 0, ""},
              {"a file that is not there", {in.file("none.bin")}, 2, "cannot read " + in.file("none.bin"), true},
              {"a bad --chunk", {"--chunk", "0"}, 2, "--chunk needs a whole number", true},
              {"a closed standard input", {}, 2, "standard input is closed", true, "", test::kClosed},
              {"output to a full disk", {in.capture}, 1, "cannot write the output: No space left on device", false,
               "/dev/full"},
              {"a capture of another link type", {in.otherLink}, 2, "link type"},
              {"a capture cut inside its header", {in.cutCapture}, 2, "shorter than a capture header"},
              {"a record that cannot be one", {in.badRecord}, 1, "record 1"},
              {"--db over a file", {"--db", in.taken, in.capture}, 2, "exists already; not overwritten"},
              {"--db in a folder that is not there", {"--db", in.missingFolder("x.mdb"), in.capture}, 1,
               "cannot create the database"},
              {"--db made", {"--db", made, in.capture}, 0, ""},
              {"--port that can never be opened", {"--port", "mqtt://h/plants/#"}, 2, "--port mqtt://h/plants/#: ",
               true},
              {"--port that cannot be opened now", {"--port", "/dev/ttyNoSuchAdapter"}, 2,
               "cannot open /dev/ttyNoSuchAdapter: "},
          }));
    EXPECT_GT(countRecords(made), 0);
}

TEST(ExitStatus, OrlixExport) {
    const Inputs& in = inputs();
    check(ORLIX_EXPORT_BIN,
          with({
              {"a database exported", {in.database, "-o", in.file("out.csv")}, 0, ""},
              {"output that cannot be written", {in.database, "-o", in.missingFolder("out.csv")}, 1,
               in.missingFolder("out.csv")},
              {"an input that is not there", {in.file("none.mdb")}, 2, in.file("none.mdb")},
              {"not a sample database", {in.text}, 2, in.text},
          }));
}

TEST(ExitStatus, OrlixImport) {
    const Inputs& in = inputs();
    check(ORLIX_IMPORT_BIN,
          with({
              {"converted", {in.jet, in.file("new.mdb")}, 0, "45 records written"},
              {"not Jet 4.0", {in.text, in.file("n1.mdb")}, 2, "is not a Jet 4.0", false, "", "", in.file("n1.mdb")},
              {"NEW.mdb exists", {in.jet, in.taken}, 2, "exists already; it is not overwritten"},
              {"NEW.mdb cannot be written", {in.jet, in.missingFolder("n.mdb")}, 1, in.missingFolder("n.mdb")},
          }));
}

TEST(ExitStatus, OrlixPlantSim) {
    const Inputs& in = inputs();
    check(ORLIX_PLANT_SIM_BIN,
          with({
              {"frames written", {"--stdout", "--frames", "5", "--speed", "1000"}, 0, "", false, in.file("sim.bin")},
              {"a capture that cannot be opened", {"--stdout", "--frames", "5", "--capture", in.missingFolder("c.pcap")},
               2, in.missingFolder("c.pcap"), false, "/dev/null"},
          }));
    // A full disk, as a file-size limit the program inherits (its output
    // goes to a device, which the limit leaves alone).
    rlimit was{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &was), 0);
    rlimit small = was;
    small.rlim_cur = 8192;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string cap = in.file("limited.pcap");
    check(ORLIX_PLANT_SIM_BIN, {{"a capture that cannot be written whole",
                                 {"--stdout", "--frames", "400", "--speed", "1000", "--capture", cap}, 1,
                                 "cannot write the capture " + cap, false, "/dev/null"}});
    ::setrlimit(RLIMIT_FSIZE, &was);
    std::signal(SIGXFSZ, oldHandler);
}

#ifdef ORLIX_FLEET_SIM_BIN
TEST(ExitStatus, OrlixFleetSim) {
    const Inputs& in = inputs();
    test::MosquittoBroker broker;
    check(ORLIX_FLEET_SIM_BIN,
          with({
              {"no broker", {"--sites", "2"}, 2, "--mqtt URL is needed", true},
              {"a CA file that is not there", {"--mqtt", "mqtts://127.0.0.1:1/p", "--tls-ca", in.missingFolder("ca")},
               2, "--tls-ca " + in.missingFolder("ca") + ": cannot read it", true},
              {"a site prefix too long for a topic",
               {"--mqtt", "mqtt://127.0.0.1:1/p", "--site-prefix", std::string(65530, 'f')}, 2,
               "--site-prefix: the topic p/fff", true},
              {"every message delivered",
               {"--mqtt", broker.url("fleet"), "--sites", "2", "--samples-per-site", "3", "--rate", "0"}, 0, ""},
          }));
}
#endif

#ifdef ORLIX_HUB_BIN
TEST(ExitStatus, OrlixHub) {
    const Inputs& in = inputs();
    check(ORLIX_HUB_BIN,
          with({
              {"no broker", {"--db", "postgresql://127.0.0.1:1/x"}, 2, "--mqtt URL is needed", true},
              {"a password file that is not there",
               {"--mqtt", "mqtt://u@127.0.0.1:1/p", "--mqtt-password-file", in.missingFolder("pw"), "--db",
                "postgresql://127.0.0.1:1/x"},
               2, "--mqtt-password-file: cannot read the password file", true},
              {"a rules file with errors",
               {"--mqtt", "mqtt://127.0.0.1:1/p", "--db", "postgresql://127.0.0.1:1/x", "--rules", in.text}, 2,
               in.text + ":1: "},
              {"a database that cannot be reached",
               {"--mqtt", "mqtt://127.0.0.1:1/p", "--db", "postgresql://127.0.0.1:1/x"}, 1, "cannot reach the database"},
          }));
}
#endif

}  // namespace
}  // namespace orlix
