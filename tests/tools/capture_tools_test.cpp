// Bus captures through the programs: orlix-plant-sim writes them, tcpdump
// and orlix-decode read them (also while they are written), and bad captures
// get a clear word.
#include <fcntl.h>
#include <pcap/pcap.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "comm/frame_receiver.h"
#include "sim/plant_capture.h"
#include "sim/plant_model.h"
#include "capture/capture_reader.h"
#include "capture/capture_writer.h"
#include "base/clock.h"
#include "process.h"

namespace orlix {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr std::int64_t kStartUs = 1'780'000'000'000'000;

struct TempFile {
    fs::path path;
    explicit TempFile(const std::string& stem) : path(test::tempPath(stem)) {}
    ~TempFile() {
        std::error_code ec;
        fs::remove(path, ec);
    }
    std::string str() const { return path.string(); }
};

// What orlix-decode --csv and --json should say, from the library itself fed
// the same records: the CSV rows and the error-memory entries.
struct Reference : FrameObserver, ErrorMemorySink {
    FieldBoard board;
    LiveStore store;
    CaptureTimeClock clock;
    FrameDecoder decoder{board, store, clock, this};
    FrameReceiver receiver{decoder};
    std::uint64_t frame = 0;
    std::vector<std::string> csv;
    std::vector<std::string> entries;

    Reference() {
        for (int n = 0; n < 3; ++n) store.FaultStatus[static_cast<std::size_t>(n)] = "Normal";
    }
    void addErrorEntry(int, const std::string& e) override { entries.push_back(e); }
    void onChecksum(int kind, bool good) override {
        ++frame;
        if (!good) return;
        std::string row = std::to_string(frame) + (kind == 1 ? ",5A" : ",A5");
        for (int i = 0; i < 50; ++i) row += "," + std::to_string(store.LiveValues[static_cast<std::size_t>(i)]);
        csv.push_back(row);
    }
    void feed(const std::string& capture) {
        CaptureReader r;
        EXPECT_EQ(r.open(capture), CaptureReader::Open::Ok) << r.error();
        CaptureRecord rec;
        while (r.next(rec) == CaptureReader::Next::Record) {
            clock.set(rec.timeUs);
            if (rec.portEvent()) receiver.onPortEvent();
            else receiver.onReceive(rec.bytes, this);
        }
    }
};

// The rows of orlix-decode --csv, header left out.
std::vector<std::string> csvRows(const std::string& out) {
    auto lines = test::splitLines(out);
    if (!lines.empty()) lines.erase(lines.begin());
    return lines;
}

// The "entry" texts of orlix-decode --json output, in order.
std::vector<std::string> jsonEntries(const std::string& out) {
    std::vector<std::string> entries;
    const std::string key = "\"entry\":\"";
    for (std::size_t at = out.find(key); at != std::string::npos; at = out.find(key, at + 1)) {
        const std::size_t from = at + key.size();
        entries.push_back(out.substr(from, out.find('"', from) - from));
    }
    return entries;
}

std::string tcpdumpPath() {
    for (const char* p : {"/usr/bin/tcpdump", "/usr/sbin/tcpdump"})
        if (::access(p, X_OK) == 0) return p;
    return "";
}

TEST(CaptureTools, SimulatorCaptureDecodesToTheSameFramesAsTheRawStreamAndOpensInTcpdump) {
    TempFile cap("sim.pcap"), raw("sim.raw");
    const auto sim = test::runProgram({ORLIX_PLANT_SIM_BIN, "--stdout", "--speed", "0", "--frames", "3000", "--seed",
                                       "5", "--capture", cap.str()},
                                      "", raw.str());
    ASSERT_EQ(sim.status, 0) << sim.err;

    const auto fromRaw = test::runProgram({ORLIX_DECODE_BIN, "--csv", raw.str()});
    const auto fromCap = test::runProgram({ORLIX_DECODE_BIN, "--csv", cap.str()});
    ASSERT_EQ(fromCap.status, 0) << fromCap.err;
    EXPECT_EQ(fromCap.err, "");
    EXPECT_GT(csvRows(fromRaw.out).size(), 2900u);
    EXPECT_EQ(fromCap.out, fromRaw.out);
    // The same through stdin, from the file and from a pipe.
    EXPECT_EQ(test::runProgram({ORLIX_DECODE_BIN, "--csv", "-"}, cap.str()).out, fromRaw.out);
    const auto piped = test::runProgram({"/bin/sh", "-c", "cat '" + cap.str() + "' | " + ORLIX_DECODE_BIN + " --csv"});
    EXPECT_EQ(piped.out, fromRaw.out) << piped.err;
    // Raw bytes through a pipe are still raw bytes.
    EXPECT_EQ(test::runProgram({"/bin/sh", "-c", "cat '" + raw.str() + "' | " + ORLIX_DECODE_BIN + " --csv"}).out,
              fromRaw.out);
    const auto jsonRaw = test::runProgram({ORLIX_DECODE_BIN, "--clock", "01:02:03", raw.str()});
    EXPECT_EQ(test::runProgram({ORLIX_DECODE_BIN, "--clock", "01:02:03", cap.str()}).out, jsonRaw.out);

    const std::string tcpdump = tcpdumpPath();
    ASSERT_FALSE(tcpdump.empty()) << "tcpdump is a test dependency (scripts/deps.sh)";
    const auto dump = test::runProgram({tcpdump, "-r", cap.str(), "-tt", "-n"});
    EXPECT_EQ(dump.status, 0) << dump.err;
    EXPECT_NE(dump.err.find("link-type 147"), std::string::npos) << dump.err;
    std::size_t records = 0;
    for (const std::string& line : test::splitLines(dump.out)) records += !line.empty() && std::isdigit(line[0]);
    EXPECT_EQ(records, 3000u);
}

TEST(CaptureTools, ErrorMemoryTimesAreTheRecordTimesUnlessAClockIsGiven) {
    TempFile cap("times.pcap");
    // An hour of plant time in reads of 10 bytes with a port event now and
    // then: a fault comes and goes.
    ASSERT_TRUE(writePlantCapture(cap.str(), 5, 7000, kStartUs, 10, false, 97).ok);
    Reference ref;
    ref.feed(cap.str());
    ASSERT_GT(ref.entries.size(), 1u);

    const auto r = test::runProgram({ORLIX_DECODE_BIN, cap.str()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(jsonEntries(r.out), ref.entries);
    const auto csv = test::runProgram({ORLIX_DECODE_BIN, "--csv", cap.str()});
    EXPECT_EQ(csvRows(csv.out), ref.csv);

    const auto fixed = test::runProgram({ORLIX_DECODE_BIN, "--clock", "23:59:58", cap.str()});
    const auto entries = jsonEntries(fixed.out);
    ASSERT_EQ(entries.size(), ref.entries.size());
    for (const std::string& e : entries) EXPECT_EQ(e.substr(0, 8), "23:59:58");
}

TEST(CaptureTools, ReadsOfNothingAndOfTheLargestSizeAreReadsAndPortEvents) {
    TempFile cap("sizes.pcap");
    // Clean frames, 63 bytes each: the first read ends 15 bytes into frame
    // 1040 (counting from 0), where the port events come.
    PlantModel plant(3, {0.0, 0.0, true});
    Bytes stream;
    while (stream.size() < 3 * 65535) plant.appendNextFrame(stream);
    ASSERT_EQ(stream.size() % 63, 0u);
    {
        CaptureWriter w(cap.str());
        std::span<const std::uint8_t> s(stream);
        w.write(kStartUs, s.subspan(0, 65535));
        w.writeEvent(kStartUs + 1);  // mid-frame: that frame is lost
        w.writeEvent(kStartUs + 2);
        w.write(kStartUs + 3, s.subspan(65535, 30));
        w.write(kStartUs + 4, s.subspan(65535 + 30, 70000));  // split in two records
        w.write(kStartUs + 5, s.subspan(65535 + 70030));
    }
    Reference ref;
    ref.feed(cap.str());
    const auto r = test::runProgram({ORLIX_DECODE_BIN, "--csv", cap.str()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(csvRows(r.out), ref.csv);
    // The port event lost one frame against the unbroken stream.
    TempFile raw("sizes.raw");
    std::ofstream(raw.path, std::ios::binary)
        .write(reinterpret_cast<const char*>(stream.data()), static_cast<std::streamsize>(stream.size()));
    const auto whole = csvRows(test::runProgram({ORLIX_DECODE_BIN, "--csv", raw.str()}).out);
    EXPECT_EQ(csvRows(r.out).size() + 1, whole.size());
}

TEST(CaptureTools, BadCapturesGetAClearWord) {
    TempFile eth("eth.pcap");
    pcap_t* dead = pcap_open_dead(DLT_EN10MB, 65535);
    pcap_dumper_t* d = pcap_dump_open(dead, eth.str().c_str());
    pcap_dump_close(d);
    pcap_close(dead);
    auto r = test::runProgram({ORLIX_DECODE_BIN, "--csv", eth.str()});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("link type 1 (EN10MB)"), std::string::npos) << r.err;

    // A capture header cut short, and a file of no bytes (raw: nothing).
    TempFile good("good.pcap"), stub("stub.pcap"), empty("empty.pcap");
    ASSERT_TRUE(writePlantCapture(good.str(), 2, 200, kStartUs, 63).ok);
    const std::string bytes = test::readFile(good.path);
    std::ofstream(stub.path, std::ios::binary).write(bytes.data(), 20);
    r = test::runProgram({ORLIX_DECODE_BIN, stub.str()});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("shorter than a capture header"), std::string::npos) << r.err;
    std::ofstream(empty.path, std::ios::binary).flush();
    r = test::runProgram({ORLIX_DECODE_BIN, "--csv", empty.str()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(test::splitLines(r.out).size(), 1u);

    // A last record cut off: ignored with a message, the rest decoded.
    const auto all = csvRows(test::runProgram({ORLIX_DECODE_BIN, "--csv", good.str()}).out);
    TempFile cut("cut.pcap");
    std::ofstream(cut.path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size() - 40));
    r = test::runProgram({ORLIX_DECODE_BIN, "--csv", cut.str()});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("incomplete"), std::string::npos) << r.err;
    // Reads do not end with frames: the frame of the last whole record's end
    // is lost too.
    const auto rows = csvRows(r.out);
    ASSERT_LT(rows.size(), all.size());
    EXPECT_GE(rows.size() + 2, all.size());
    EXPECT_TRUE(std::equal(rows.begin(), rows.end(), all.begin()));

    // A record that cannot be one stops the decode with status 1, after the
    // lines of the records before it.
    TempFile broken("broken.pcap");
    std::string b = bytes.substr(0, 24 + 3 * (16 + 63));
    const std::uint32_t huge = 0x7FFFFFFF;
    b += std::string(8, '\0') + std::string(reinterpret_cast<const char*>(&huge), 4) +
         std::string(reinterpret_cast<const char*>(&huge), 4) + std::string(100, 'x');
    std::ofstream(broken.path, std::ios::binary).write(b.data(), static_cast<std::streamsize>(b.size()));
    r = test::runProgram({ORLIX_DECODE_BIN, "--csv", broken.str()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("record 4"), std::string::npos) << r.err;
    EXPECT_EQ(csvRows(r.out).size(), 3u);
}

// Starts a program with stdout to a file; returns its process id.
pid_t spawn(std::vector<std::string> args, const std::string& stdoutPath) {
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    return pid;
}

// Reads on in a capture that is being written; counts what came.
std::size_t readOn(CaptureReader& r, PlantModel& model, std::int64_t& lastUs) {
    std::size_t n = 0;
    CaptureRecord rec;
    while (r.next(rec) == CaptureReader::Next::Record) {
        EXPECT_EQ(Bytes(rec.bytes.begin(), rec.bytes.end()), model.nextFrame());
        lastUs = rec.timeUs;
        ++n;
    }
    return n;
}

TEST(CaptureTools, CaptureIsReadableWhileWrittenAndAKillLosesAtMostTheLastSeconds) {
    TempFile cap("growing.pcap"), out("growing.out");
    // Two frames a second in real time: the stdio buffer alone would hold
    // them for half a minute.
    const pid_t sim = spawn({ORLIX_PLANT_SIM_BIN, "--stdout", "--speed", "4", "--seed", "8", "--capture", cap.str()},
                            out.str());
    ASSERT_GT(sim, 0);
    CaptureReader reader;
    CaptureReader::Open o = CaptureReader::Open::Incomplete;
    for (int i = 0; i < 200 && o != CaptureReader::Open::Ok; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        o = reader.open(cap.str());
    }
    ASSERT_EQ(o, CaptureReader::Open::Ok) << reader.error();

    PlantModel model(8);
    std::int64_t lastUs = 0;
    std::size_t seen = 0;
    int growths = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < until) {
        const std::size_t n = readOn(reader, model, lastUs);
        seen += n;
        growths += n > 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    int ws = 0;
    ASSERT_EQ(waitpid(sim, &ws, WNOHANG), 0) << "the simulator ended early";
    EXPECT_GE(growths, 2);  // records came in while it ran, more than once
    EXPECT_GT(seen, 0u);

    const std::int64_t killedAt = unixMicrosNow();
    kill(sim, SIGKILL);
    ASSERT_EQ(waitpid(sim, &ws, 0), sim);
    seen += readOn(reader, model, lastUs);
    // What was sent more than the flush age (plus a loaded machine's
    // slack) before the kill is in the file.
    EXPECT_GE(lastUs, killedAt - 3'000'000) << (killedAt - lastUs) << " us lost";
    EXPECT_GT(seen, 10u);
}

TEST(CaptureTools, DatabaseFromACaptureRefusesRawInputAndExistingFiles) {
    TempFile cap("db.pcap"), db("db.mdb"), raw("db.raw");
    ASSERT_TRUE(writePlantCapture(cap.str(), 4, 2000, kStartUs, 16).ok);
    std::ofstream(db.path) << "keep me";
    auto r = test::runProgram({ORLIX_DECODE_BIN, "--db", db.str(), cap.str()});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("not overwritten"), std::string::npos) << r.err;
    EXPECT_EQ(test::readFile(db.path), "keep me");

    fs::remove(db.path);
    std::ofstream(raw.path) << std::string(200, 'U');
    r = test::runProgram({ORLIX_DECODE_BIN, "--db", db.str(), raw.str()});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("raw bytes"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(db.path));

    r = test::runProgram({ORLIX_DECODE_BIN, "--db", db.str(), "--serial", "/dev/null"});
    EXPECT_EQ(r.status, 2);
    // No progress line when stderr is no terminal; the database is there.
    r = test::runProgram({ORLIX_DECODE_BIN, "--db", db.str(), cap.str()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(fs::exists(db.path));
}

TEST(CaptureTools, DatabaseFromACaptureShowsProgressOnATerminal) {
    TempFile cap("tty.pcap"), db("tty.mdb");
    ASSERT_TRUE(writePlantCapture(cap.str(), 4, 2000, kStartUs, 16).ok);
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string slave = ::ptsname(master);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, slave.c_str(), O_RDWR | O_NOCTTY, 0);
    std::vector<std::string> args{ORLIX_DECODE_BIN, "--db", db.str(), cap.str()};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&fa);
    int ws = 0;
    ASSERT_EQ(waitpid(pid, &ws, 0), pid);
    EXPECT_TRUE(WIFEXITED(ws) && WEXITSTATUS(ws) == 0);
    std::string shown;
    char buf[4096];
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;) shown.append(buf, static_cast<std::size_t>(n));
    ::close(master);
    // 2000 frames of 0.525 s: 17.5 min of capture, 262 samples.
    EXPECT_NE(shown.find("\r100% 00:17:"), std::string::npos) << shown;
    EXPECT_NE(shown.find(" of capture time, 262 samples"), std::string::npos) << shown;
    EXPECT_NE(shown.find("262 samples, 262 records in " + db.str()), std::string::npos) << shown;
}

}  // namespace
}  // namespace orlix
