// The sampling schedule on a capture's clock, headless recording, and a
// capture turned into a database in the library.
#include "sampling/capture_database.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "database/sample_database.h"
#include "capture/capture_writer.h"
#include "base/clock.h"
#include "sampling/headless_recording.h"
#include "sampling/sampler.h"
#include "base/sample_schedule.h"

namespace orlix {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kT0 = 1'780'000'000'000'000;
constexpr std::int64_t kSec = 1'000'000;

struct Scratch {
    fs::path dir = fs::temp_directory_path() / ("orlix_sampling_" + std::to_string(::getpid()) + "_" +
                                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    Scratch() {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    ~Scratch() { fs::remove_all(dir); }
    std::string file(const std::string& name) const { return (dir / name).string(); }
};

struct Rec {
    std::int64_t t;
    bool bytes = true;  // false: another port event
};

// Feeds records through the schedule; returns the tick instants in the
// order they come, with -1 marking each record fed.
std::vector<std::int64_t> run(const std::vector<Rec>& records);
std::vector<std::int64_t> run(const std::vector<std::int64_t>& times) {
    std::vector<Rec> records;
    for (const std::int64_t t : times) records.push_back({t});
    return run(records);
}

std::vector<std::int64_t> run(const std::vector<Rec>& records) {
    SampleSchedule s;
    std::vector<std::int64_t> out;
    for (const auto& [t, bytes] : records) {
        for (;;) {
            const auto b = s.before(t, bytes);
            if (b == SampleSchedule::Before::Feed) break;
            if (b == SampleSchedule::Before::Restart) {
                s.restart(t);
                break;
            }
            out.push_back(s.nextTickUs());
            s.advance();
        }
        s.fed(t, bytes);
        out.push_back(-1);
    }
    while (s.tickDueAtEnd()) {
        out.push_back(s.nextTickUs());
        s.advance();
    }
    return out;
}

TEST(SampleSchedule, TicksEveryFourSecondsFromTheFirstRecordAfterTheRecordsUpToTheirInstant) {
    // A record stamped exactly at a tick's instant comes before that tick;
    // ticks due at the end come while they are not after the last record.
    EXPECT_EQ(run({kT0 + 7, kT0 + 7 + 4 * kSec, kT0 + 7 + 4 * kSec, kT0 + 7 + 4 * kSec + 1, kT0 + 7 + 12 * kSec}),
              (std::vector<std::int64_t>{-1, -1, -1, kT0 + 7 + 4 * kSec, -1, kT0 + 7 + 8 * kSec, -1,
                                         kT0 + 7 + 12 * kSec}));
    // Nothing before the first record, nothing after the last.
    EXPECT_EQ(run({kT0, kT0 + 3 * kSec}), (std::vector<std::int64_t>{-1, -1}));
    EXPECT_TRUE(run(std::vector<Rec>{}).empty());
}

TEST(SampleSchedule, OtherPortEventsNeitherStartNorExtendNorTickTheSamples) {
    // Events before the first bytes and after the last make no ticks, nor
    // do they move the end: samples run from the first bytes to the last.
    EXPECT_EQ(run(std::vector<Rec>{{kT0 - 9 * kSec, false}, {kT0}, {kT0 + 5 * kSec}, {kT0 + 20 * kSec, false}}),
              (std::vector<std::int64_t>{-1, -1, kT0 + 4 * kSec, -1, -1}));
    // A capture of events alone makes no sample.
    EXPECT_EQ(run(std::vector<Rec>{{kT0, false}, {kT0 + 60 * kSec, false}}), (std::vector<std::int64_t>{-1, -1}));
}

TEST(SampleSchedule, AGapOfMoreThanADayIsNotSampledAcross) {
    const std::int64_t later = kT0 + 9 * kSec + kMaxTickGapUs + 1;
    EXPECT_EQ(run({kT0, kT0 + 9 * kSec, later, later + 5 * kSec}),
              (std::vector<std::int64_t>{-1, kT0 + 4 * kSec, kT0 + 8 * kSec, -1, -1, later + 4 * kSec, -1}));
    // A gap of exactly a day is still sampled across, tick by tick.
    const auto across = run({kT0, kT0 + kMaxTickGapUs});
    EXPECT_EQ(across.size(), 2 + static_cast<std::size_t>(kMaxTickGapUs / (4 * kSec)));
}

// An A5 frame whose master Pd (value 0, D[33]:D[34]) is `pd`, so a sample
// shows which frame it came from.
std::vector<std::uint8_t> frameWith(std::uint8_t pd) {
    std::vector<std::uint8_t> f{0x55, 0xA5};
    for (int i = 0; i < 60; ++i) f.push_back(i == 34 ? pd : 0);
    unsigned sum = 0xA5;
    for (std::size_t i = 2; i < f.size(); ++i) sum += f[i];
    f.push_back(static_cast<std::uint8_t>(sum));
    return f;
}

TEST(CaptureDatabase, SamplesTakeTheValuesAtTheirInstantAndTheCaptureTimes) {
    Scratch dir;
    const std::string cap = dir.file("c.pcap"), db = dir.file("c.mdb");
    {
        CaptureWriter w(cap);
        w.write(kT0, frameWith(1));
        w.write(kT0 + 4 * kSec, frameWith(2));      // at tick 1's instant: in it
        w.write(kT0 + 4 * kSec + 1, frameWith(3));  // after: in tick 2
        w.write(kT0 + 5 * kSec, frameWith(4));
        w.write(kT0 + 3 * kSec, frameWith(5));      // stamped backwards: held at 5 s
        w.writeEvent(kT0 + 6 * kSec);
        w.write(kT0 + 11 * kSec, frameWith(6));     // tick 2 comes before it
        w.write(kT0 + 12 * kSec, frameWith(7));     // the last record: tick 3 after it
    }
    CaptureReader reader;
    ASSERT_EQ(reader.open(cap), CaptureReader::Open::Ok);
    const CaptureDatabaseResult r = captureToDatabase(reader, db);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.records, 8u);
    EXPECT_EQ(r.samples, 3u);
    EXPECT_EQ(r.storedRecords, 3);
    const HistoryResult h = loadHistory(db, std::nullopt);
    ASSERT_EQ(h.rows.size(), 3u);
    EXPECT_EQ(h.rows[0].values[0], 2);
    EXPECT_EQ(h.rows[1].values[0], 5);
    EXPECT_EQ(h.rows[2].values[0], 7);
    for (int n = 0; n < 3; ++n)
        EXPECT_NEAR(h.rows[static_cast<std::size_t>(n)].time, localDateTimeOfUnixMicros(kT0 + 4 * (n + 1) * kSec),
                    1e-9);
}

TEST(CaptureDatabase, RefusesAnExistingFileAndReportsAnIncompleteEnd) {
    Scratch dir;
    const std::string cap = dir.file("c.pcap"), db = dir.file("c.mdb");
    {
        CaptureWriter w(cap);
        for (int i = 0; i < 30; ++i) w.write(kT0 + i * kSec, frameWith(static_cast<std::uint8_t>(i)));
    }
    fs::resize_file(cap, fs::file_size(cap) - 10);
    std::ofstream(db) << "x";
    CaptureReader reader;
    ASSERT_EQ(reader.open(cap), CaptureReader::Open::Ok);
    CaptureDatabaseResult r = captureToDatabase(reader, db);
    EXPECT_FALSE(r.created);
    EXPECT_NE(r.error.find("not overwritten"), std::string::npos);
    fs::remove(db);
    r = captureToDatabase(reader, db);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.records, 29u);
    ASSERT_EQ(r.notes.size(), 1u);
    EXPECT_NE(r.notes[0].find("incomplete"), std::string::npos);
    // 28 s of capture: 7 samples, all stored although no batch was full.
    EXPECT_EQ(r.samples, 7u);
    EXPECT_EQ(countRecords(db), 7);
}

TEST(HeadlessRecording, FailedBatchesAreKeptAndStoredWholeOnceTheFileWorks) {
    Scratch dir;
    const std::string db = dir.file("h.mdb");
    std::vector<std::string> messages;
    std::array<std::int32_t, 52> live{};
    Sampler sampler(live);
    HeadlessRecording rec(sampler, db, [&](const char* m) { messages.emplace_back(m); });
    DateTime t = makeDateTime({2026, 3, 1, 12, 0, 0});
    // No file yet: two batches fail and wait.
    for (int i = 1; i <= 90; ++i) {
        live[0] = i;
        sampler.tick(t += secondsToDays(4));
    }
    EXPECT_EQ(rec.pendingCount(), 89u);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], kMsgDatabaseNotOk);
    ASSERT_TRUE(CreateSampleDatabase(db));
    for (int i = 91; i <= 100; ++i) {
        live[0] = i;
        sampler.tick(t += secondsToDays(4));
    }
    EXPECT_EQ(rec.pendingCount(), 89u);  // no batch due yet
    const AppendResult r = rec.finish();
    EXPECT_TRUE(r.stored);
    EXPECT_EQ(rec.pendingCount(), 0u);
    const HistoryResult h = loadHistory(db, std::nullopt, 1000);
    ASSERT_EQ(h.rows.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(h.rows[static_cast<std::size_t>(i)].values[0], i + 1);
    // Once finished, ticks are not recorded.
    sampler.tick(t += secondsToDays(4));
    EXPECT_TRUE(rec.finish().stored);
    EXPECT_EQ(countRecords(db), 100);
}

}  // namespace
}  // namespace orlix
