// A capture file taken away while it is written: removed, its folder
// removed, renamed away, or replaced by a file that is not ours. The writer
// notices within a flush age, says what was lost, and goes on at the path.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
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

constexpr std::int64_t kT0 = 1'780'000'000'000'000;  // a time in 2026

struct Scratch : test::ScratchDir {
    Scratch() : ScratchDir("orlix_cap_path") {}
};

struct FakeSteady {
    std::chrono::steady_clock::time_point t{std::chrono::seconds(1000)};
    CaptureWriter::SteadyNow fn() {
        return [this] { return t; };
    }
};

// The records of a capture file (-1 when it cannot be read as one).
long recordCount(const std::string& path) {
    CaptureReader r(false);
    if (r.open(path) != CaptureReader::Open::Ok) return -1;
    CaptureRecord rec;
    long n = 0;
    while (r.next(rec) == CaptureReader::Next::Record) ++n;
    return n;
}

std::vector<std::string> linesWith(const test::LogCapture& log, const std::string& text) {
    std::vector<std::string> out;
    for (const std::string& l : log.of(log::kCapture))
        if (l.find(text) != std::string::npos) out.push_back(l);
    return out;
}

// Writes `n` records and lets a flush age pass, so that a poll flushes.
void writeRecords(CaptureWriter& w, FakeSteady& steady, std::int64_t& t, int n) {
    for (int i = 0; i < n; ++i) w.write(t += 1000, Bytes{0xA5, static_cast<std::uint8_t>(i)});
    steady.t += CaptureWriter::kFlushAge;
    w.poll();
}

TEST(CapturePath, ARemovedFileIsNoticedAtTheNextFlushAndANewOneTakesThePath) {
    Scratch dir;
    test::LogCapture log;
    const std::string path = dir.file("bus.pcap");
    FakeSteady steady;
    std::int64_t t = kT0;
    CaptureWriter w(path, steady.fn());
    ASSERT_TRUE(w.open(t));
    writeRecords(w, steady, t, 3);
    ASSERT_EQ(recordCount(path), 3);

    fs::remove(path);
    writeRecords(w, steady, t, 2);  // the flush finds the file gone
    EXPECT_EQ(w.recordsLost(), 2u);
    EXPECT_EQ(w.recordsWritten(), 3u);
    const auto said = linesWith(log, "was removed while it was written: 2 records lost");
    ASSERT_EQ(said.size(), 1u) << testing::PrintToString(log.all());
    EXPECT_NE(said[0].find("|warning|"), std::string::npos);
    ASSERT_EQ(w.currentFile(), path);
    EXPECT_EQ(recordCount(path), 0);  // a new capture, its header on disk

    writeRecords(w, steady, t, 4);
    EXPECT_EQ(recordCount(path), 4);
    EXPECT_EQ(w.recordsWritten(), 7u);
    EXPECT_TRUE(w.close());
    EXPECT_EQ(w.recordsLost(), 2u);  // the capture stays incomplete
}

// A removal while the line is quiet: a poll notices it within a flush age,
// and the path has a capture again before the next read comes.
TEST(CapturePath, AQuietLineNoticesTheRemovalAtAPoll) {
    Scratch dir;
    test::LogCapture log;
    const std::string path = dir.file("quiet.pcap");
    FakeSteady steady;
    std::int64_t t = kT0;
    CaptureWriter w(path, steady.fn());
    ASSERT_TRUE(w.open(t));
    writeRecords(w, steady, t, 5);
    fs::remove(path);
    steady.t += CaptureWriter::kFlushAge / 2;
    w.poll();
    EXPECT_FALSE(fs::exists(path));  // not yet: half a flush age
    steady.t += CaptureWriter::kFlushAge / 2;
    w.poll();
    EXPECT_TRUE(fs::exists(path));
    // What reached the file before it was removed was written; nothing after.
    EXPECT_EQ(w.recordsLost(), 0u);
    EXPECT_EQ(w.recordsWritten(), 5u);
    EXPECT_EQ(linesWith(log, "was removed while it was written: no record lost").size(), 1u)
        << testing::PrintToString(log.all());

    // A poll with the file in place leaves it alone and says nothing more.
    steady.t += CaptureWriter::kFlushAge;
    w.poll();
    writeRecords(w, steady, t, 1);
    EXPECT_EQ(recordCount(path), 1);
    EXPECT_EQ(linesWith(log, "removed").size(), 1u);
    EXPECT_TRUE(w.close());
}

TEST(CapturePath, ARemovedFolderIsMadeAgainWithTheDayFile) {
    Scratch dir;
    test::LogCapture log;
    const std::string folder = dir.file("site") + "/";
    FakeSteady steady;
    std::int64_t t = kT0;
    CaptureWriter w(folder, steady.fn());
    ASSERT_TRUE(w.open(t));
    const std::string day = folder + CaptureWriter::dayFileName(t);
    ASSERT_EQ(w.currentFile(), day);
    writeRecords(w, steady, t, 2);

    fs::remove_all(folder);
    writeRecords(w, steady, t, 3);
    EXPECT_EQ(w.recordsLost(), 3u);
    ASSERT_EQ(w.currentFile(), day);
    writeRecords(w, steady, t, 2);
    EXPECT_EQ(recordCount(day), 2);
    EXPECT_EQ(linesWith(log, "3 records lost").size(), 1u) << testing::PrintToString(log.all());
}

// Log rotation: the file moved away keeps every record, the path gets a new
// capture, and nothing counts as lost.
TEST(CapturePath, AFileRenamedAwayKeepsItsRecordsAndThePathGetsANewCapture) {
    Scratch dir;
    test::LogCapture log;
    const std::string path = dir.file("rot.pcap"), old = dir.file("rot.pcap.1");
    FakeSteady steady;
    std::int64_t t = kT0;
    CaptureWriter w(path, steady.fn());
    ASSERT_TRUE(w.open(t));
    writeRecords(w, steady, t, 2);
    fs::rename(path, old);
    writeRecords(w, steady, t, 3);  // these go into the old file before it is left
    EXPECT_EQ(recordCount(old), 5);
    EXPECT_EQ(recordCount(path), 0);
    writeRecords(w, steady, t, 1);
    EXPECT_EQ(recordCount(path), 1);
    EXPECT_EQ(w.recordsLost(), 0u);
    EXPECT_EQ(linesWith(log, "was moved away").size(), 1u) << testing::PrintToString(log.all());
    EXPECT_TRUE(w.close());
}

// A file that is no capture appears at the path once ours is removed: it is
// left alone (a file target then fails and tries again later; a folder
// target takes the next name of the day).
TEST(CapturePath, AForeignFileAtThePathIsLeftAlone) {
    Scratch dir;
    const std::string path = dir.file("x.pcap");
    FakeSteady steady;
    std::int64_t t = kT0;
    CaptureWriter w(path, steady.fn());
    ASSERT_TRUE(w.open(t));
    writeRecords(w, steady, t, 1);
    fs::remove(path);
    std::ofstream(path) << "someone's notes";
    writeRecords(w, steady, t, 1);
    EXPECT_EQ(w.currentFile(), "");
    EXPECT_NE(w.error().find("is not a bus capture"), std::string::npos) << w.error();
    std::ifstream in(path);
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "someone's notes");

    const std::string folder = dir.file("days") + "/";
    CaptureWriter f(folder, steady.fn());
    ASSERT_TRUE(f.open(t));
    const std::string day = f.currentFile();
    writeRecords(f, steady, t, 1);
    fs::remove(day);
    std::ofstream(day) << "notes";
    writeRecords(f, steady, t, 1);
    EXPECT_EQ(f.currentFile(), folder + CaptureWriter::dayFileName(t, 2));
    writeRecords(f, steady, t, 2);
    EXPECT_EQ(recordCount(f.currentFile()), 2);
}

// A folder that cannot be made is reported with its own cause, not with the
// "No such file or directory" of a file opened in it afterwards.
TEST(CapturePath, AFolderThatCannotBeMadeIsReportedWithItsRealCause) {
    Scratch dir;
    test::LogCapture log;
    const std::string file = dir.file("plain");
    std::ofstream(file) << "a file, not a folder";
    CaptureWriter under(file + "/caps/");
    EXPECT_FALSE(under.open(kT0));
    EXPECT_EQ(under.error(), "cannot make the folder " + file + "/caps: Not a directory");
    EXPECT_EQ(linesWith(log, "Not a directory").size(), 1u) << testing::PrintToString(log.all());

    const std::string locked = dir.file("ro");
    fs::create_directories(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                                fs::perms::others_exec);
    fs::permissions(dir.folder(), fs::perms::all, fs::perm_options::add);
    const int rc = test::runUnprivileged([&] {
        CaptureWriter w(locked + "/site/day/");
        if (w.open(kT0)) return 1;
        return w.error() == "cannot make the folder " + locked + "/site: Permission denied" ? 0 : 2;
    });
    EXPECT_EQ(rc, 0);
}

}  // namespace
}  // namespace orlix
