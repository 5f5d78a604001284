// Recording while a capture is replayed into the program, against
// `orlix-decode --db` over the same capture: the replay's sampling ticks
// come at the capture's own instants, so the records are the same.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QTest>
#include <filesystem>
#include <memory>

#include "chart/chart_drawing.h"
#include "chart/fake_view.h"
#include "chart/sampling_cycle.h"
#include "recorder/pipeline.h"
#include "database/sample_database.h"
#include "database/sample_recorder.h"
#include "sim/plant_capture.h"
#include "sources/capture_replay_source.h"
#include "sources/replay_clock.h"
#include "scale_only_clock.h"
#include "process.h"

namespace orlix {
namespace {

namespace fs = std::filesystem;

void ensureApp() {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "tools_tests";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv);  // the charts draw text
}

struct RecordingView : test::FakeView {
    SampleRecorder recorder{[](const char* text) { ADD_FAILURE() << text; }, {}};
    std::string path;
    void appendSampleBatch() override {
        recorder.AppendSampleBatch(path, makeLiveBufferRefs(state->live.LiveCurveData, state->live.LiveSampleTime));
    }
};

// The program's pipeline with the analyzer's sampling cycle, fed by a
// replayed capture that drives the ticks on its own clock.
struct ReplayRun final : ReadListener, SampleListener {
    static constexpr double kScale = 10000;
    test::ScaleOnlyClock normal{kScale};
    Pipeline pipeline{normal, SourceSettings{nullptr, kScale, {}}};
    std::unique_ptr<ChartState> s = std::make_unique<ChartState>(pipeline.sampler().buffers());
    RecordingView view;
    SamplingCycle cycle{*s, pipeline.clock(), view};
    int ticks = 0;
    int events = 0;
    bool lost = false;

    explicit ReplayRun(const std::string& db) {
        loadCharts(*s);
        view.state = s.get();
        view.path = db;
        pipeline.sampler().addListener(&cycle);
        pipeline.sampler().addListener(this);
        pipeline.sampler().core().setRecording(true);
        pipeline.port().addListener(this);
    }
    ~ReplayRun() override { pipeline.port().removeListener(this); }
    void onRead(std::span<const std::uint8_t>) override {}
    void onPortEvent(PortTrouble t) override {
        if (t == PortTrouble::Lost) lost = true;
        else ++events;
    }
    void onSample(const SampleTick&) override { ++ticks; }
    bool play(const std::string& capture) {
        pipeline.port().setPath(capture);
        if (pipeline.port().open() != OpenResult::Ok) return false;
        static_cast<CaptureReplaySource*>(pipeline.port().source())->setEndQuietMs(300);
        return true;
    }
};

TEST(ReplayRecording, StoresWhatOrlixDecodeDbMakesOfTheSameCapture) {
    ensureApp();
    const fs::path cap = test::tempPath("replay.pcap"), live = test::tempPath("replay.mdb"),
                   made = test::tempPath("made.mdb");
    constexpr std::int64_t kStartUs = 1'780'000'123'456'789;
    ASSERT_TRUE(writePlantCapture(cap.string(), 6, 12'500, kStartUs, 10, false, 300).ok);

    ASSERT_TRUE(CreateSampleDatabase(live.string()));
    auto run = std::make_unique<ReplayRun>(live.string());
    ASSERT_TRUE(run->play(cap.string()));
    for (int waited = 0; waited < 60000 && !run->lost; waited += 20) QTest::qWait(20);
    ASSERT_TRUE(run->lost);
    EXPECT_EQ(run->ticks, 1640);
    EXPECT_GT(run->events, 0);

    const auto r = test::runProgram({ORLIX_DECODE_BIN, "--db", made.string(), cap.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const HistoryResult a = loadHistory(live.string(), std::nullopt, 100'000);
    const HistoryResult b = loadHistory(made.string(), std::nullopt, 100'000);
    ASSERT_TRUE(a.opened && b.opened);
    // Whole batches of 45 (the first one without the sample before the
    // first tick); --db also stores the last partial batch.
    ASSERT_EQ(a.rows.size(), 36u * 45 - 1);
    ASSERT_EQ(b.rows.size(), 1640u);
    for (std::size_t i = 0; i < a.rows.size(); ++i) {
        ASSERT_EQ(a.rows[i].values, b.rows[i].values) << i;
        ASSERT_EQ(a.rows[i].time, b.rows[i].time) << i;
    }
    // The record times are the capture's, not the time of the test run.
    const std::int64_t firstUs = kStartUs + 10 * kByteMicrosTimes3 / 3;
    EXPECT_NEAR(a.rows.back().time, localDateTimeOfUnixMicros(firstUs + 1619LL * 4'000'000), 1e-9);
    run.reset();
    for (const auto& p : {cap, live, made}) fs::remove(p);
}

}  // namespace
}  // namespace orlix
