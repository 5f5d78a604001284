// The monitor captures what it reads from the simulated plant, then replays
// that capture into a second monitor window: the same fields and the same
// error-memory entries, with the capture's times.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "comm/error_memory.h"
#include "monitor/monitor_test_support.h"
#include "capture/capture_reader.h"
#include "capture/bus_capture.h"
#include "sources/port.h"
#include "sources/capture_replay_source.h"
#include "sources/serial_source.h"
#include "sources/replay_clock.h"
#include "scale_only_clock.h"

namespace orlix {
namespace {

bool waitUntil(const std::function<bool()>& done, int ms, int step = 20) {
    for (int waited = 0; waited < ms; waited += step) {
        if (done()) return true;
        QTest::qWait(step);
    }
    return done();
}

struct ErrorList final : ErrorMemorySink {
    void addErrorEntry(int list, const std::string& entry) override { entries.emplace_back(list, entry); }
    std::vector<std::pair<int, std::string>> entries;
};

std::vector<std::string> fieldTexts(const FrmMain& w) {
    std::vector<std::string> out;
    for (int i = 0; i < 160; ++i) out.push_back(w.Text1(i)->text().toStdString());
    return out;
}

// The monitor as the program wires it: reads captured as they come, on the
// program clock.
struct LiveRig : test::AppFirst {
    LiveRig(const std::string& port, const std::string& capture)
        : pipeline(clock, SourceSettings{}),
          window(pipeline, dialogs, analyzer, buildPortChoices({{"Com1", port}}, {})) {
        pipeline.receive().addErrorSink(&errors);
        EXPECT_TRUE(pipeline.startCapture(capture));
    }
    SystemClock clock;
    Pipeline pipeline;
    ScriptedDialogHost dialogs;
    test::FakeAnalyzer analyzer;
    ErrorList errors;
    FrmMain window;
};

// The monitor as the program wires it for a replay at --time-scale 2.
struct ReplayRig : test::AppFirst, SampleListener {
    explicit ReplayRig(const std::string& capture)
        : pipeline(normal, SourceSettings{nullptr, normal.timeScale(), {}}),
          window(pipeline, dialogs, analyzer, buildPortChoices({{"Com1", capture}}, {})) {
        pipeline.receive().addErrorSink(&errors);
        pipeline.sampler().addListener(this);
    }
    void onSample(const SampleTick&) override { ++ticks; }
    // The replay's end counts after half a second of quiet.
    void shortenEnd() {
        if (auto* r = dynamic_cast<CaptureReplaySource*>(pipeline.port().source())) r->setEndQuietMs(500);
    }
    test::ScaleOnlyClock normal{2.0};
    Pipeline pipeline;
    ScriptedDialogHost dialogs;
    test::FakeAnalyzer analyzer;
    ErrorList errors;
    FrmMain window;
    int ticks = 0;
};

#ifdef ORLIX_PLANT_SIM
TEST(MonitorReplay, ReplayOfTheMonitorsOwnCaptureGivesTheLiveFieldsAndEntriesPausesAndEndsQuietly) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString link = dir.filePath("plant");
    const std::string capture = dir.filePath("live.pcap").toStdString();
    QProcess sim;
    sim.setProgram(QStringLiteral(ORLIX_PLANT_SIM));
    sim.setArguments({"--link", link, "--speed", "200", "--seed", "11"});
    sim.setStandardOutputFile(QProcess::nullDevice());
    sim.start();
    ASSERT_TRUE(sim.waitForStarted(5000));
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(link); }, 5000));

    std::vector<std::string> liveFields;
    std::vector<std::pair<int, std::string>> liveEntries;
    {
        LiveRig live(link.toStdString(), capture);
        live.window.startCmdClick();
        ASSERT_EQ(live.window.StatusTxt()->text(), "Start");
        ASSERT_TRUE(waitUntil([&] { return !live.errors.entries.empty(); }, 30000));
        QTest::qWait(1500);
        // Readable while written: the reads so far are on disk.
        CaptureReader reader;
        ASSERT_EQ(reader.open(capture), CaptureReader::Open::Ok);
        CaptureRecord rec;
        int records = 0;
        while (reader.next(rec) == CaptureReader::Next::Record) ++records;
        EXPECT_GT(records, 10);
        live.window.stopCmdClick();
        live.pipeline.stopCapture();
        liveFields = fieldTexts(live.window);
        liveEntries = live.errors.entries;
    }
    sim.terminate();
    sim.waitForFinished(5000);

    ReplayRig replay(capture);
    replay.window.startCmdClick();
    ASSERT_EQ(replay.window.StatusTxt()->text(), "Start");
    replay.shortenEnd();
    ASSERT_TRUE(waitUntil([&] { return replay.window.CheckTxt()->text() == "Right"; }, 10000));
    // Stop pauses: nothing more comes, the clock stands.
    replay.window.stopCmdClick();
    ASSERT_EQ(replay.window.StatusTxt()->text(), "Stop");
    const auto paused = fieldTexts(replay.window);
    const std::int64_t pausedAt = replay.pipeline.clock().captureNowUs();
    QTest::qWait(500);
    EXPECT_EQ(fieldTexts(replay.window), paused);
    EXPECT_EQ(replay.pipeline.clock().captureNowUs(), pausedAt);
    // Start goes on; the end shows Lost, then Stop.
    replay.window.startCmdClick();
    ASSERT_TRUE(waitUntil([&] { return replay.window.StatusTxt()->text() == "Lost"; }, 30000, 5));
    ASSERT_TRUE(waitUntil([&] { return replay.window.StatusTxt()->text() == "Stop"; }, 5000, 5));
    EXPECT_EQ(replay.window.windowTitle(), "Orlix Monitor---Stopping...");
    EXPECT_TRUE(replay.dialogs.messages().empty());
    QTest::qWait(1500);  // no retries of a capture at its end
    EXPECT_EQ(replay.window.StatusTxt()->text(), "Stop");

    EXPECT_EQ(fieldTexts(replay.window), liveFields);
    EXPECT_EQ(replay.errors.entries, liveEntries);
    EXPECT_FALSE(liveEntries.empty());
    EXPECT_FALSE(replay.pipeline.clock().replaying());
}
#endif

}  // namespace
}  // namespace orlix
