// Recording in the analyzer while a capture is replayed, as the program
// wires it: "Save&Enabled" on before Start stores exactly what a capture
// turned into a database holds, rows neither before its first bus bytes nor
// after its end, however long the window waits around the replay.
#include <gtest/gtest.h>

#include <QAction>
#include <QTest>
#include <filesystem>

#include "analyzer/frm_chart.h"
#include "analyzer_test_util.h"
#include "capture/capture_reader.h"
#include "capture/capture_writer.h"
#include "database/sample_database.h"
#include "recorder/pipeline.h"
#include "sampling/capture_database.h"
#include "scale_only_clock.h"
#include "scratch_dir.h"
#include "sim/plant_capture.h"
#include "sources/capture_replay_source.h"
#include "wait_until.h"

namespace orlix {
namespace {

constexpr std::int64_t kStartUs = 1'780'000'123'456'789;

// Ends of the replay: the port is lost at the end of its capture.
struct EndWatch final : ReadListener {
    explicit EndWatch(Port& p) : port(p) { port.addListener(this); }
    ~EndWatch() override { port.removeListener(this); }
    void onRead(std::span<const std::uint8_t>) override {}
    void onPortEvent(PortTrouble t) override {
        if (t == PortTrouble::Lost && port.atEnd()) ++ends;
    }
    Port& port;
    int ends = 0;
};

std::vector<HistoryRow> rowsOf(const std::string& db) { return loadHistory(db, std::nullopt, 100'000).rows; }

TEST(ReplayRecording, StoresWhatTheCaptureDatabaseHoldsAndNothingAroundTheReplay) {
    testing::app();
    test::ScratchDir dir("orlix_replay_rec");
    const std::string cap = dir.file("day.pcap"), live = dir.file("live.mdb"), made = dir.file("made.mdb");
    // Port events before the first bytes and after the last ones: the
    // samples run from the first bus bytes to the last.
    {
        CaptureWriter w(cap);
        ASSERT_TRUE(w.writeEvent(kStartUs - 30'000'000));
        ASSERT_TRUE(w.close());
    }
    ASSERT_TRUE(writePlantCapture(dir.file("plant.pcap"), 6, 3000, kStartUs, 10, false, 300).ok);
    {
        CaptureReader r;
        ASSERT_EQ(r.open(dir.file("plant.pcap")), CaptureReader::Open::Ok);
        CaptureWriter w(cap);
        CaptureRecord rec;
        std::int64_t last = 0;
        while (r.next(rec) == CaptureReader::Next::Record) {
            ASSERT_TRUE(rec.portEvent() ? w.writeEvent(rec.timeUs) : w.write(rec.timeUs, rec.bytes));
            last = rec.timeUs;
        }
        ASSERT_TRUE(w.writeEvent(last + 60'000'000));
        ASSERT_TRUE(w.close());
    }

    test::ScaleOnlyClock normal{10000};
    Pipeline pipeline(normal, SourceSettings{nullptr, normal.timeScale(), {}});
    ScriptedDialogHost dialogs;
    FrmChart w(pipeline, dialogs);
    dialogs.fileAnswers.push_back(live);
    w.findChild<QAction*>(QStringLiteral("mnuOptionNewDB"))->trigger();
    w.findChild<QAction*>(QStringLiteral("mnuOptionCurveSaving"))->trigger();
    pipeline.port().setPath(cap);
    QTest::qWait(200);  // the window's timer runs (at 10000 times: hundreds of ticks) while the capture waits
    EXPECT_EQ(pipeline.sampler().buffers().SampleCount, 0);

    EndWatch end(pipeline.port());
    ASSERT_EQ(pipeline.port().open(), OpenResult::Ok);
    static_cast<CaptureReplaySource*>(pipeline.port().source())->setEndQuietMs(300);
    ASSERT_TRUE(test::qtWaitUntil([&] { return end.ends == 1; }, 60000));
    pipeline.port().close();
    QTest::qWait(200);  // and after its end

    CaptureReader reader;
    ASSERT_EQ(reader.open(cap), CaptureReader::Open::Ok);
    ASSERT_TRUE(captureToDatabase(reader, made).ok);
    const std::vector<HistoryRow> a = rowsOf(live), b = rowsOf(made);
    ASSERT_GT(b.size(), 300u);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        ASSERT_EQ(a[i].values, b[i].values) << i;
        ASSERT_EQ(a[i].time, b[i].time) << i;
    }
    pipeline.receive().store().AppClosing = true;
}

// A capture that holds no bus bytes makes no sample, replayed or turned
// into a database.
TEST(ReplayRecording, ACaptureOfPortEventsAloneMakesNoSample) {
    testing::app();
    test::ScratchDir dir("orlix_replay_events");
    const std::string cap = dir.file("events.pcap"), made = dir.file("made.mdb");
    {
        CaptureWriter w(cap);
        for (int i = 0; i < 45; ++i) ASSERT_TRUE(w.writeEvent(kStartUs + i * 4'000'000LL));
        ASSERT_TRUE(w.close());
    }
    CaptureReader reader;
    ASSERT_EQ(reader.open(cap), CaptureReader::Open::Ok);
    const CaptureDatabaseResult r = captureToDatabase(reader, made);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.samples, 0u);
    EXPECT_EQ(r.busRecords, 0u);
    EXPECT_EQ(countRecords(made), 0);

    test::ScaleOnlyClock normal{1000};
    Pipeline pipeline(normal, SourceSettings{nullptr, normal.timeScale(), {}});
    pipeline.startSampling();
    EndWatch end(pipeline.port());
    pipeline.port().setPath(cap);
    ASSERT_EQ(pipeline.port().open(), OpenResult::Ok);
    static_cast<CaptureReplaySource*>(pipeline.port().source())->setEndQuietMs(300);
    ASSERT_TRUE(test::qtWaitUntil([&] { return end.ends == 1; }, 30000));
    EXPECT_EQ(pipeline.sampler().buffers().SampleCount, 0);
}

}  // namespace
}  // namespace orlix
