// The analyzer's "&Tools" menu: its place and items, capturing switched on
// and off through the file dialog, the title while capturing, and a replay
// handed to the monitor.
#include <gtest/gtest.h>

#include <QMenuBar>

#include "analyzer/bus_tools.h"
#include "analyzer_test_util.h"

namespace orlix {
namespace {

using orlix::testing::AnalyzerFixture;

// Tools that remember what they were asked; a target under "/refused"
// cannot be written.
struct RecordingTools final : BusTools {
    bool capturing() const override { return !target.empty(); }
    std::string captureName() const override { return target; }
    std::string captureProblem() const override { return problem; }
    bool startCapture(const std::string& path, std::string& error) override {
        started.push_back(path);
        if (path.rfind("/refused", 0) == 0) {
            error = "Permission denied";
            return false;
        }
        target = path;
        return true;
    }
    void stopCapture() override {
        ++stops;
        target.clear();
    }
    void replayCapture(const std::string& path) override { replays.push_back(path); }
    std::string target, problem;
    std::vector<std::string> started, replays;
    int stops = 0;
};

class FrmChartToolsTest : public ::testing::Test, public AnalyzerFixture {};

TEST_F(FrmChartToolsTest, ToolsMenuFollowsOptionWithItsTwoItemsDisabledWithoutTools) {
    const QList<QAction*> top = w->menuBar()->actions();
    ASSERT_GE(top.size(), 2);
    EXPECT_EQ(top[0]->objectName(), QStringLiteral("mnuOption"));
    EXPECT_EQ(top[1]->objectName(), QStringLiteral("mnuTools"));
    QStringList items;
    for (QAction* a : top[1]->menu()->actions()) items << a->objectName() + QLatin1Char('=') + a->text();
    EXPECT_EQ(items.join(QLatin1Char(',')),
              QStringLiteral("mnuToolsCapture=Bus&Capture...,mnuToolsReplay=&ReplayCapture..."));
    EXPECT_TRUE(action("mnuToolsCapture")->isCheckable());
    EXPECT_FALSE(action("mnuToolsCapture")->isEnabled());
    EXPECT_FALSE(action("mnuToolsReplay")->isEnabled());
}

TEST_F(FrmChartToolsTest, CaptureIsSwitchedThroughTheFileDialogAndShownInTheTitle) {
    RecordingTools tools;
    w->setBusTools(&tools);
    QAction* capture = action("mnuToolsCapture");
    ASSERT_TRUE(capture->isEnabled());
    const QString plainTitle = w->windowTitle();

    // Cancelled: nothing starts.
    capture->trigger();
    EXPECT_TRUE(tools.started.empty());
    EXPECT_FALSE(capture->isChecked());
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].kind, "save");
    EXPECT_NE(dialogs.requests[0].title.find("orlix-"), std::string::npos);  // a day file proposed

    // A file that cannot be written: a message, still unchecked.
    dialogs.fileAnswers.push_back("/refused/bus.pcap");
    capture->trigger();
    EXPECT_FALSE(capture->isChecked());
    EXPECT_EQ(dialogs.messages(), std::vector<std::string>{"The bus capture cannot be written: Permission denied"});
    EXPECT_EQ(w->windowTitle(), plainTitle);

    dialogs.fileAnswers.push_back("/tmp/bus.pcap");
    capture->trigger();
    EXPECT_TRUE(capture->isChecked());
    EXPECT_EQ(tools.target, "/tmp/bus.pcap");
    EXPECT_TRUE(w->windowTitle().startsWith(plainTitle));
    EXPECT_TRUE(w->windowTitle().contains(QStringLiteral("BusCapture: /tmp/bus.pcap")));

    // Unchecking stops, without a dialog.
    const std::size_t asked = dialogs.requests.size();
    capture->trigger();
    EXPECT_EQ(tools.stops, 1);
    EXPECT_FALSE(capture->isChecked());
    EXPECT_EQ(dialogs.requests.size(), asked);
    EXPECT_EQ(w->windowTitle(), plainTitle);

    // Capturing switched on elsewhere (the command line) shows once told.
    tools.target = "/var/captures/orlix-20260314.pcap";
    w->showCaptureState();
    EXPECT_TRUE(capture->isChecked());
    EXPECT_TRUE(w->windowTitle().contains(QStringLiteral("orlix-20260314.pcap")));

    // A capture that stops reaching its file says so in the title at the
    // next tick, and the window goes on sampling.
    tools.problem = "incomplete: 12 records lost (No space left on device)";
    tick();
    EXPECT_TRUE(w->windowTitle().contains(QStringLiteral("incomplete: 12 records lost (No space left on device)")))
        << w->windowTitle().toStdString();
}

TEST_F(FrmChartToolsTest, ReplayCaptureHandsThePickedFileToTheMonitor) {
    RecordingTools tools;
    w->setBusTools(&tools);
    action("mnuToolsReplay")->trigger();  // cancelled
    EXPECT_TRUE(tools.replays.empty());
    dialogs.fileAnswers.push_back("/data/site/orlix-20260313.pcap");
    action("mnuToolsReplay")->trigger();
    EXPECT_EQ(tools.replays, std::vector<std::string>{"/data/site/orlix-20260313.pcap"});
    EXPECT_EQ(dialogs.lastFilter, "Bus capture (*.pcap)|*.pcap");
}

// While a capture is replayed, the replay takes the ticks at the capture's
// own instants; the window's timer skips its own.
TEST(FrmChartTicks, TheTimerLeavesTheTicksToAReplayThatTakesThem) {
    ManualClock clock(makeDateTime({2026, 3, 14, 9, 0, 0}));
    orlix::testing::TestPipeline rig(clock);
    ScriptedDialogHost dialogs;
    FrmChart w(*rig.pipeline, dialogs);
    QLabel* count = w.findChild<QLabel*>(QStringLiteral("lblStatus(1)"));
    ASSERT_NE(count, nullptr);
    QMetaObject::invokeMethod(w.timer1(), "timeout", Qt::DirectConnection);
    EXPECT_EQ(count->text(), QStringLiteral("SampleTimes:1"));
    rig.pipeline->clock().begin(1'773'478'800'000'000);  // a replay takes over the clock
    QMetaObject::invokeMethod(w.timer1(), "timeout", Qt::DirectConnection);
    EXPECT_EQ(count->text(), QStringLiteral("SampleTimes:1"));
    rig.pipeline->clock().sampleTick();  // the replay's tick
    EXPECT_EQ(count->text(), QStringLiteral("SampleTimes:2"));
    rig.store.AppClosing = true;
}

}  // namespace
}  // namespace orlix
