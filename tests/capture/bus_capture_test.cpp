// A bus capture as a listener of a byte source: every read and port event
// written with its time, readable while written, and a capture that cannot
// be written whole says so. Real files, and tcpdump as an independent reader.
#include "capture/bus_capture.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_reader.h"
#include "capture/capture_writer.h"
#include "log_capture.h"
#include "run_unprivileged.h"
#include "scratch_dir.h"

namespace orlix {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr std::int64_t kT0 = 1'780'000'000'000'000;  // Unix microseconds
constexpr std::int64_t kMs = 1000;

struct Scratch : test::ScratchDir {
    Scratch() : ScratchDir("orlix_bus_capture") {}
};

struct Rec {
    std::int64_t us;
    Bytes bytes;  // empty: a port event
};

std::vector<Rec> readCapture(const std::string& path) {
    std::vector<Rec> out;
    CaptureReader r;
    if (r.open(path) != CaptureReader::Open::Ok) return out;
    CaptureRecord rec;
    while (r.next(rec) == CaptureReader::Next::Record) out.push_back({rec.timeUs, {rec.bytes.begin(), rec.bytes.end()}});
    return out;
}

void read(BusCapture& c, Bytes b) { c.onRead(b); }

TEST(BusCapture, WritesEveryReadAndEventWithItsTimeReadableWhileWritten) {
    Scratch dir;
    std::int64_t now = kT0;
    BusCapture capture([&] { return now; });
    read(capture, {9});  // not capturing: nothing is written
    EXPECT_FALSE(capture.capturing());

    const std::string cap = dir.file("monitor.pcap");
    ASSERT_TRUE(capture.start(cap));
    EXPECT_EQ(capture.file(), cap);
    now += 10 * kMs;
    read(capture, {1, 2, 3});
    now += 10 * kMs;
    capture.onPortEvent(PortTrouble::Other);
    now += 10 * kMs;
    read(capture, {4});
    capture.onPortClosed();  // stopping the port puts the reads on disk
    EXPECT_EQ(readCapture(cap).size(), 3u);

    now += 10 * kMs;
    read(capture, {5, 6});
    // Readable while written: on disk within the flush age, at a poll.
    std::this_thread::sleep_for(CaptureWriter::kFlushAge + std::chrono::milliseconds(100));
    capture.poll();
    const std::vector<Rec> recs = readCapture(cap);
    ASSERT_EQ(recs.size(), 4u);
    EXPECT_EQ(recs[0].us, kT0 + 10 * kMs);
    EXPECT_EQ(recs[0].bytes, (Bytes{1, 2, 3}));
    EXPECT_EQ(recs[1].us, kT0 + 20 * kMs);
    EXPECT_TRUE(recs[1].bytes.empty());
    EXPECT_EQ(recs[2].bytes, (Bytes{4}));
    EXPECT_EQ(recs[3].bytes, (Bytes{5, 6}));

    // tcpdump reads it: four packets (hex lines aside).
    const std::string cmd = "tcpdump -nn -r '" + cap + "' 2>/dev/null | grep -vc '^[[:space:]]'";
    FILE* p = ::popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char line[64] = {};
    ASSERT_NE(std::fgets(line, sizeof line, p), nullptr);
    ::pclose(p);
    EXPECT_EQ(std::stoi(line), 4);

    EXPECT_TRUE(capture.stop());
    read(capture, {7});
    EXPECT_EQ(readCapture(cap).size(), 4u);
}

TEST(BusCapture, FolderGetsTheDayFileAndAnUnwritableOneCostsOnlyTheCapture) {
    Scratch dir;
    const std::int64_t now = kT0;
    BusCapture capture([&] { return now; });
    ASSERT_TRUE(capture.start(dir.folder() + "/"));
    EXPECT_EQ(capture.file(), dir.file(CaptureWriter::dayFileName(now)));
    read(capture, {1});
    EXPECT_TRUE(capture.stop());
    EXPECT_EQ(readCapture(dir.file(CaptureWriter::dayFileName(now))).size(), 1u);

    const std::string locked = dir.file("locked");
    fs::create_directories(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(dir.folder(), fs::perms::all, fs::perm_options::add);
    const int rc = test::runUnprivileged([&] {
        if (capture.start(locked + "/")) return 1;
        if (capture.error().empty()) return 2;
        read(capture, {2});
        return capture.stop() ? 3 : 0;  // the read did not reach a file
    });
    EXPECT_EQ(rc, 0);
}

// A disk that fills (here a file-size limit) makes the capture incomplete:
// the records since the last good flush count as lost, the cause is logged
// once, and stop() says the capture is not whole. Only records of a
// successful flush count as written.
TEST(BusCapture, AFullDiskMakesTheCaptureIncompleteWithItsCauseLoggedOnce) {
    Scratch dir;
    const std::string cap = dir.file("full.pcap");
    const int rc = test::runInChild([&] {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{8192, 8192};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 10;
        test::LogCapture log;
        std::int64_t now = kT0;
        BusCapture capture([&] { return now; });
        if (!capture.start(cap)) return 1;
        const Bytes frame(63, 0x55);
        for (int i = 0; i < 400; ++i) {
            now += 50 * kMs;
            capture.onRead(frame);
            if (i % 50 == 49) capture.flush();
        }
        const std::uint64_t written = capture.writer()->recordsWritten();
        const std::uint64_t lost = capture.writer()->recordsLost();
        if (capture.stop()) return 2;  // not whole
        if (written + lost != 400 || lost == 0 || written == 0) return 3;
        if (written * (16 + 63) + 24 > 8192) return 4;  // counted only what is on disk
        const auto lines = log.of(log::kCapture);
        int failures = 0;
        for (const std::string& l : lines)
            if (l.find("cannot write the capture " + cap + ": File too large") != std::string::npos) ++failures;
        return failures == 1 ? 0 : 5;
    });
    EXPECT_EQ(rc, 0);
}

}  // namespace
}  // namespace orlix
