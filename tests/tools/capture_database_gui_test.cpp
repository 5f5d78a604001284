// orlix-decode --db against the analyzer's own recording: the same bytes fed
// live between the sampling cycle's ticks, with "Save&Enabled" on from the
// start, give the same records; --db adds the last partial batch.
#include <sqlite3.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "chart/chart_drawing.h"
#include "chart/fake_view.h"
#include "chart/sampling_cycle.h"
#include "comm/receive_path.h"
#include "database/sample_database.h"
#include "database/sample_recorder.h"
#include "sim/plant_capture.h"
#include "capture/capture_reader.h"
#include "process.h"

namespace orlix {
namespace {

namespace fs = std::filesystem;

// The analyzer's view, storing its batches as the window does.
struct RecordingView : test::FakeView {
    SampleRecorder recorder{[](const char* text) { ADD_FAILURE() << text; }, {}};
    std::string path;
    void appendSampleBatch() override {
        recorder.AppendSampleBatch(path, makeLiveBufferRefs(state->live.LiveCurveData, state->live.LiveSampleTime));
    }
};

// The monitor's receive path and the analyzer's sampling cycle, run over a
// capture as if it came in live: a tick every 4 s of capture time from the
// first record on, each after the records up to its instant.
struct LiveRun {
    ManualClock clock;
    ReceivePath path{clock};
    Sampler sampler{path.store().LiveValues};
    std::unique_ptr<ChartState> s = std::make_unique<ChartState>(sampler.buffers());
    RecordingView view;
    SamplingCycle cycle{*s, clock, view};
    int ticks = 0;

    explicit LiveRun(const std::string& db) {
        loadCharts(*s);
        view.state = s.get();
        view.path = db;
        sampler.addListener(&cycle);
        sampler.core().setRecording(true);
    }
    void tickAt(std::int64_t us) {
        clock.set(localDateTimeOfUnixMicros(us));
        sampler.tick(clock.now());
        ++ticks;
    }
    void play(const std::string& capture) {
        CaptureReader r;
        ASSERT_EQ(r.open(capture), CaptureReader::Open::Ok);
        CaptureRecord rec;
        std::int64_t first = -1, last = 0;
        const auto next = [&] { return first + (ticks + 1) * std::int64_t{4'000'000}; };
        while (r.next(rec) == CaptureReader::Next::Record) {
            if (first < 0) first = rec.timeUs;
            while (next() < rec.timeUs) tickAt(next());
            if (rec.portEvent()) path.onPortEvent(PortTrouble::Other);
            else path.onRead(rec.bytes);
            last = rec.timeUs;
        }
        while (next() <= last) tickAt(next());
    }
};

std::vector<std::int64_t> numbers(const std::string& path) {
    std::vector<std::int64_t> out;
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT Number FROM emp1 ORDER BY rowid", -1, &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW) out.push_back(sqlite3_column_int64(st, 0));
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
}

TEST(CaptureDatabase, SameRecordsAsRecordingLiveOverTheSameBytesPlusTheLastPartialBatch) {
    const fs::path cap = test::tempPath("live.pcap"), live = test::tempPath("live.mdb"), made = test::tempPath("made.mdb");
    // 12,500 frames: 6,562 s of plant time, 1,640 ticks: 36 batches and 20
    // samples more. A port event every 300 reads.
    constexpr std::int64_t kStartUs = 1'780'000'123'456'789;
    ASSERT_TRUE(writePlantCapture(cap.string(), 6, 12'500, kStartUs, 10, false, 300).ok);

    ASSERT_TRUE(CreateSampleDatabase(live.string()));
    auto run = std::make_unique<LiveRun>(live.string());
    run->play(cap.string());
    ASSERT_EQ(run->ticks, 1640);

    const auto r = test::runProgram({ORLIX_DECODE_BIN, "--db", made.string(), cap.string()});
    ASSERT_EQ(r.status, 0) << r.err;

    const HistoryResult a = loadHistory(live.string(), std::nullopt, 100'000);
    const HistoryResult b = loadHistory(made.string(), std::nullopt, 100'000);
    ASSERT_TRUE(a.opened && b.opened);
    // The first batch lacks the sample before the first tick; none is lost.
    ASSERT_EQ(a.rows.size(), 36u * 45 - 1);
    ASSERT_EQ(b.rows.size(), 1640u);
    for (std::size_t i = 0; i < a.rows.size(); ++i) {
        ASSERT_EQ(a.rows[i].values, b.rows[i].values) << i;
        ASSERT_EQ(a.rows[i].time, b.rows[i].time) << i;
    }
    // The rest are the newest samples of the live buffers.
    const LiveBuffers& buf = run->s->live;
    for (std::size_t i = a.rows.size(); i < b.rows.size(); ++i) {
        const std::size_t pos = kNewestPosition - (b.rows.size() - 1 - i);
        for (std::size_t k = 0; k < 50; ++k) ASSERT_EQ(b.rows[i].values[k], buf.LiveCurveData[k][pos]) << i;
        EXPECT_EQ(b.rows[i].time, buf.LiveSampleTime[pos]);
    }
    // Sample n at 4n s after the first record (stamped when its tenth byte
    // arrived); Number counts the records.
    const std::int64_t firstUs = kStartUs + 10 * kByteMicrosTimes3 / 3;
    EXPECT_NEAR(b.rows[0].time, localDateTimeOfUnixMicros(firstUs + 4'000'000), 1e-9);
    EXPECT_NEAR(b.rows.back().time, localDateTimeOfUnixMicros(firstUs + 1640LL * 4'000'000), 1e-9);
    const auto n = numbers(made.string());
    ASSERT_EQ(n.size(), 1640u);
    for (std::size_t i = 0; i < n.size(); ++i) ASSERT_EQ(n[i], static_cast<std::int64_t>(i));
    // The capture exercised the values: they change over the run.
    EXPECT_NE(b.rows.front().values, b.rows.back().values);

    for (const auto& p : {cap, live, made}) fs::remove(p);
}

}  // namespace
}  // namespace orlix
