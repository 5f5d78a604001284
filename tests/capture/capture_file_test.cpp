// Capture files on disk: what the writer puts there, what the reader takes
// from it, and both while the file is still being written.
#include <pcap/pcap.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "scratch_dir.h"
#include "capture/capture_file.h"
#include "capture/capture_reader.h"
#include "capture/capture_writer.h"
#include "log_capture.h"
#include "run_unprivileged.h"
#include "base/log.h"

namespace orlix {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

struct Scratch : test::ScratchDir {
    Scratch() : ScratchDir("orlix_cap") {}
};

std::string readAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

void appendBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::app).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

Bytes pattern(std::size_t n, int seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>((i * 31 + static_cast<std::size_t>(seed)) & 0xFF);
    return b;
}

struct Read {
    std::int64_t timeUs;
    Bytes bytes;
    bool held;
};

// Reads every whole record there is now.
std::vector<Read> drain(CaptureReader& r, CaptureReader::Next* last = nullptr) {
    std::vector<Read> out;
    CaptureRecord rec;
    CaptureReader::Next n;
    while ((n = r.next(rec)) == CaptureReader::Next::Record)
        out.push_back({rec.timeUs, Bytes(rec.bytes.begin(), rec.bytes.end()), rec.timeHeld});
    if (last) *last = n;
    return out;
}

// A steady clock the test moves by hand.
struct FakeSteady {
    std::chrono::steady_clock::time_point t{std::chrono::seconds(1000)};
    CaptureWriter::SteadyNow fn() {
        return [this] { return t; };
    }
};

constexpr std::int64_t kT0 = 1'780'000'000'000'000;  // a time in 2026

TEST(CaptureFile, ReadsBackEveryReadAndEventWithItsTime) {
    Scratch dir;
    const std::string path = dir.file("a.pcap");
    const Bytes small = pattern(10, 1), full = pattern(65535, 2), big = pattern(70000, 3);
    {
        CaptureWriter w(path);
        ASSERT_TRUE(w.write(kT0 + 1, small));
        ASSERT_TRUE(w.writeEvent(kT0 + 500'000));
        ASSERT_TRUE(w.write(kT0 + 1'999'999, full));
        ASSERT_TRUE(w.write(kT0 + 3'000'000, big));  // more than a record holds
        EXPECT_EQ(w.recordsWritten(), 0u);  // counted once they are on disk
        ASSERT_TRUE(w.flush());
        EXPECT_EQ(w.recordsWritten(), 5u);
        EXPECT_EQ(w.currentFile(), path);
    }
    // The classic header: microsecond magic, version 2.4, snapshot length
    // 65535, link type 147.
    const std::string raw = readAll(path);
    ASSERT_GE(raw.size(), 24u);
    pcap_file_header h{};
    std::memcpy(&h, raw.data(), sizeof h);
    EXPECT_EQ(h.magic, 0xA1B2C3D4u);
    EXPECT_EQ(h.version_major, 2);
    EXPECT_EQ(h.version_minor, 4);
    EXPECT_EQ(h.snaplen, 65535u);
    EXPECT_EQ(h.linktype, 147u);

    CaptureReader r;
    ASSERT_EQ(r.open(path), CaptureReader::Open::Ok) << r.error();
    CaptureReader::Next last;
    const auto got = drain(r, &last);
    EXPECT_EQ(last, CaptureReader::Next::End);
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got[0].timeUs, kT0 + 1);
    EXPECT_EQ(got[0].bytes, small);
    EXPECT_EQ(got[1].timeUs, kT0 + 500'000);
    EXPECT_TRUE(got[1].bytes.empty());
    EXPECT_EQ(got[2].bytes, full);
    EXPECT_EQ(got[3].timeUs, kT0 + 3'000'000);
    EXPECT_EQ(got[4].timeUs, kT0 + 3'000'000);
    Bytes joined = got[3].bytes;
    joined.insert(joined.end(), got[4].bytes.begin(), got[4].bytes.end());
    EXPECT_EQ(got[3].bytes.size(), 65535u);
    EXPECT_EQ(joined, big);
    EXPECT_FALSE(r.incompleteEnd());
    EXPECT_EQ(r.finish(), std::nullopt);
    EXPECT_EQ(r.consumedBytes(), raw.size());
}

TEST(CaptureFile, ReaderRefusesWhatIsNoBusCapture) {
    Scratch dir;
    // Another link type.
    const std::string eth = dir.file("eth.pcap");
    pcap_t* dead = pcap_open_dead(DLT_EN10MB, 65535);
    pcap_dumper_t* d = pcap_dump_open(dead, eth.c_str());
    pcap_dump_close(d);
    pcap_close(dead);
    CaptureReader r;
    EXPECT_EQ(r.open(eth), CaptureReader::Open::Failed);
    EXPECT_NE(r.error().find("link type 1 (EN10MB)"), std::string::npos) << r.error();
    EXPECT_NE(r.error().find("147"), std::string::npos);
    // Raw bus bytes.
    const std::string raw = dir.file("raw.bin");
    appendBytes(raw, std::string(100, '\x55'));
    EXPECT_EQ(r.open(raw), CaptureReader::Open::Failed);
    EXPECT_NE(r.error().find("not a capture file"), std::string::npos) << r.error();
    // A folder, a missing file.
    EXPECT_EQ(r.open(dir.folder()), CaptureReader::Open::Failed);
    EXPECT_EQ(r.open(dir.file("none.pcap")), CaptureReader::Open::Failed);
    EXPECT_NE(r.error().find("No such file"), std::string::npos);
    // Empty, or cut inside the header: maybe a capture being started.
    const std::string empty = dir.file("empty.pcap");
    appendBytes(empty, "");
    EXPECT_EQ(r.open(empty), CaptureReader::Open::Incomplete);
    CaptureRecord rec;
    EXPECT_EQ(r.next(rec), CaptureReader::Next::Failed);
}

TEST(CaptureFile, IncompleteLastRecordIsIgnoredWithAMessageAndReadOnceComplete) {
    Scratch dir;
    const std::string path = dir.file("cut.pcap");
    const Bytes a = pattern(40, 4), b = pattern(63, 5);
    {
        CaptureWriter w(path);
        w.write(kT0, a);
        w.write(kT0 + 10, b);
    }
    const std::string whole = readAll(path);
    const std::size_t cutAt = whole.size() - 20;  // inside the second record's bytes
    fs::resize_file(path, cutAt);

    test::LogCapture logs;
    CaptureReader r;
    ASSERT_EQ(r.open(path), CaptureReader::Open::Ok);
    CaptureReader::Next last;
    auto got = drain(r, &last);
    EXPECT_EQ(last, CaptureReader::Next::End);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].bytes, a);
    EXPECT_TRUE(r.incompleteEnd());
    EXPECT_EQ(r.pendingBytes(), 16u + 63u - 20u);
    // The rest arrives: the record is read whole.
    appendBytes(path, whole.substr(cutAt));
    got = drain(r, &last);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].bytes, b);
    EXPECT_FALSE(r.incompleteEnd());
    EXPECT_EQ(r.finish(), std::nullopt);

    // Cut inside a record header, and given up on: one message, logged once.
    fs::resize_file(path, 24 + 16 + 40 + 7);
    CaptureReader r2;
    ASSERT_EQ(r2.open(path), CaptureReader::Open::Ok);
    EXPECT_EQ(drain(r2).size(), 1u);
    const auto msg = r2.finish();
    ASSERT_TRUE(msg.has_value());
    EXPECT_NE(msg->find("incomplete"), std::string::npos);
    EXPECT_NE(msg->find("(7 bytes)"), std::string::npos) << *msg;
    EXPECT_EQ(r2.finish(), std::nullopt);
    const auto lines = logs.of(log::kCapture);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "orlix.capture|warning|" + *msg);
}

TEST(CaptureFile, TimesNeverRunBackwards) {
    Scratch dir;
    const std::string path = dir.file("back.pcap");
    {
        CaptureWriter w(path);
        for (const std::int64_t t : {kT0 + 100, kT0 + 50, kT0 + 70, kT0 + 200, kT0 + 10}) w.write(t, pattern(3, 0));
    }
    test::LogCapture logs;
    CaptureReader r;
    ASSERT_EQ(r.open(path), CaptureReader::Open::Ok);
    const auto got = drain(r);
    ASSERT_EQ(got.size(), 5u);
    const std::int64_t want[] = {kT0 + 100, kT0 + 100, kT0 + 100, kT0 + 200, kT0 + 200};
    const bool held[] = {false, true, true, false, true};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(got[i].timeUs, want[i]) << i;
        EXPECT_EQ(got[i].held, held[i]) << i;
    }
    EXPECT_EQ(r.heldTimes(), 3u);
    EXPECT_EQ(logs.of(log::kCapture).size(), 1u);  // once per file, not per record
}

TEST(CaptureFile, RecordsReachTheFileWithinAFlushAgeWhileItIsWritten) {
    Scratch dir;
    const std::string path = dir.file("live.pcap");
    FakeSteady steady;
    CaptureWriter w(path, steady.fn());
    ASSERT_TRUE(w.open(kT0));
    // The header is there at once: a reader opens the file and finds no record.
    CaptureReader r;
    ASSERT_EQ(r.open(path), CaptureReader::Open::Ok) << r.error();
    EXPECT_TRUE(drain(r).empty());

    w.write(kT0 + 1, pattern(12, 1));
    steady.t += std::chrono::milliseconds(500);
    w.write(kT0 + 2, pattern(12, 2));
    w.poll();
    EXPECT_TRUE(drain(r).empty());  // buffered: the oldest is only 0.5 s old
    steady.t += std::chrono::milliseconds(500);
    w.poll();
    auto got = drain(r);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].bytes, pattern(12, 2));

    // A write itself flushes once the oldest waiting record is old enough.
    w.write(kT0 + 3, pattern(5, 3));
    steady.t += std::chrono::seconds(1);
    w.write(kT0 + 4, pattern(5, 4));
    got = drain(r);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].timeUs, kT0 + 3);
}

// The local midnight starting the day after the one of `t`, and a name.
std::int64_t localMidnightAfter(std::int64_t t) {
    std::time_t s = static_cast<std::time_t>(t / 1'000'000);
    std::tm lt{};
    localtime_r(&s, &lt);
    lt.tm_mday += 1;
    lt.tm_hour = lt.tm_min = lt.tm_sec = 0;
    lt.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&lt)) * 1'000'000;
}
std::string dayName(std::int64_t t) {
    std::time_t s = static_cast<std::time_t>(t / 1'000'000);
    std::tm lt{};
    localtime_r(&s, &lt);
    char buf[32];
    std::strftime(buf, sizeof buf, "orlix-%Y%m%d", &lt);
    return buf;
}

TEST(CaptureFile, FolderGetsOneFilePerLocalDayAndKeepsExistingFiles) {
    Scratch dir;
    const std::int64_t midnight = localMidnightAfter(kT0);
    const std::string day1 = dir.file(dayName(midnight - 1) + ".pcap");
    const std::string day2 = dir.file(dayName(midnight) + ".pcap");
    ASSERT_NE(day1, day2);
    {
        CaptureWriter w(dir.folder());
        EXPECT_TRUE(w.folderTarget());
        w.write(midnight - 2'000'000, pattern(8, 1));
        EXPECT_EQ(w.currentFile(), day1);
        w.write(midnight - 1, pattern(8, 2));
        w.write(midnight, pattern(8, 3));
        EXPECT_EQ(w.currentFile(), day2);
        // A clock set back over midnight does not reopen yesterday's file.
        w.write(midnight - 5'000'000, pattern(8, 4));
        EXPECT_EQ(w.currentFile(), day2);
    }
    CaptureReader r;
    ASSERT_EQ(r.open(day1), CaptureReader::Open::Ok);
    EXPECT_EQ(drain(r).size(), 2u);
    ASSERT_EQ(r.open(day2), CaptureReader::Open::Ok);
    EXPECT_EQ(drain(r).size(), 2u);

    // A restart the same day continues the day's file.
    {
        CaptureWriter w(dir.folder() + "/");
        w.write(midnight + 10'000'000, pattern(8, 5));
        EXPECT_EQ(w.currentFile(), day2);
    }
    ASSERT_EQ(r.open(day2), CaptureReader::Open::Ok);
    const auto got = drain(r);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[2].bytes, pattern(8, 5));

    // A folder asked for with a trailing '/' that is not there yet is made.
    {
        CaptureWriter w(dir.folder() + "/site/a/");
        ASSERT_TRUE(w.write(midnight + 1, pattern(8, 7)));
        EXPECT_EQ(w.currentFile(), dir.folder() + "/site/a/" + dayName(midnight) + ".pcap");
    }

    // A day file that is not ours stays untouched: the next name is taken.
    const std::int64_t day3t = localMidnightAfter(midnight);
    const std::string foreign = dir.file(dayName(day3t) + ".pcap");
    appendBytes(foreign, "notes, not a capture");
    CaptureWriter w(dir.folder());
    ASSERT_TRUE(w.write(day3t + 1, pattern(8, 6)));
    EXPECT_EQ(w.currentFile(), dir.file(dayName(day3t) + "-2.pcap"));
    EXPECT_EQ(readAll(foreign), "notes, not a capture");
    // While this writer holds the file another one takes the next name.
    CaptureWriter other(dir.folder());
    ASSERT_TRUE(other.write(day3t + 2, pattern(8, 7)));
    EXPECT_EQ(other.currentFile(), dir.file(dayName(day3t) + "-3.pcap"));
}

TEST(CaptureFile, AppendingCutsOffAnIncompleteRecordAndRefusesForeignFiles) {
    Scratch dir;
    const std::string path = dir.file("cont.pcap");
    {
        CaptureWriter w(path);
        w.write(kT0, pattern(30, 1));
        w.write(kT0 + 1, pattern(30, 2));
    }
    fs::resize_file(path, fs::file_size(path) - 5);  // a writer killed mid-record
    {
        CaptureWriter w(path);
        ASSERT_TRUE(w.write(kT0 + 2, pattern(30, 3))) << w.error();
    }
    CaptureReader r;
    ASSERT_EQ(r.open(path), CaptureReader::Open::Ok);
    CaptureReader::Next last;
    const auto got = drain(r, &last);
    EXPECT_EQ(last, CaptureReader::Next::End);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].bytes, pattern(30, 1));
    EXPECT_EQ(got[1].bytes, pattern(30, 3));
    EXPECT_FALSE(r.incompleteEnd());

    // A header cut short by a kill is started again.
    const std::string stub = dir.file("stub.pcap");
    appendBytes(stub, readAll(path).substr(0, 10));
    {
        CaptureWriter w(stub);
        EXPECT_TRUE(w.write(kT0, pattern(4, 1))) << w.error();
    }
    ASSERT_EQ(r.open(stub), CaptureReader::Open::Ok);
    EXPECT_EQ(drain(r).size(), 1u);

    // Anything else is left as it is and the writer fails, saying why.
    const std::string text = dir.file("text.pcap");
    appendBytes(text, "some text that is long enough to be no header");
    CaptureWriter w(text);
    EXPECT_FALSE(w.write(kT0, pattern(4, 1)));
    EXPECT_NE(w.error().find("not a capture file"), std::string::npos) << w.error();
    EXPECT_EQ(readAll(text), "some text that is long enough to be no header");
}

using test::runUnprivileged;

TEST(CaptureFile, FolderWithoutWritePermissionFailsClearlyAndLogsOnce) {
    Scratch dir;
    const std::string folder = dir.file("locked");
    fs::create_directories(folder);
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(dir.folder(), fs::perms::all, fs::perm_options::add);
    const int rc = runUnprivileged([&] {
        test::LogCapture logs;
        FakeSteady steady;
        CaptureWriter w(folder, steady.fn());
        if (w.open(kT0)) return 1;
        if (w.error().find("Permission denied") == std::string::npos) return 2;
        if (w.error().find(folder) == std::string::npos) return 3;
        for (int i = 0; i < 5; ++i) {
            if (w.write(kT0 + i, pattern(5, i))) return 4;
            steady.t += std::chrono::seconds(20);  // retried, failing the same way
        }
        if (w.recordsLost() != 5) return 5;
        if (logs.of(log::kCapture).size() != 1) return 6;
        return 0;
    });
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(fs::is_empty(folder));
}

}  // namespace
}  // namespace orlix
