// The monitor window with a source that ends (a replayed capture) and a
// capture picked from the analyzer's Tools menu.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "monitor/monitor_test_support.h"

namespace orlix {
namespace {

void timer1Tick(test::Rig& rig) { QMetaObject::invokeMethod(rig.window.Timer1(), "timeout", Qt::DirectConnection); }

TEST(FrmMainReplay, TheEndOfASourceShowsLostThenStopsWithoutRetryOrMessage) {
    test::Rig rig;
    rig.window.startCmdClick();
    ASSERT_EQ(rig.window.StatusTxt()->text(), "Start");
    rig.port.ended = true;
    rig.port.trouble(PortTrouble::Lost);
    EXPECT_EQ(rig.window.StatusTxt()->text(), "Lost");
    EXPECT_EQ(rig.window.windowTitle(), "Orlix Monitor---Reconnecting...");
    const int opens = rig.port.openCalls;
    timer1Tick(rig);
    EXPECT_EQ(rig.window.StatusTxt()->text(), "Stop");
    EXPECT_EQ(rig.window.windowTitle(), "Orlix Monitor---Stopping...");
    EXPECT_EQ(rig.window.linkState(), FrmMain::LinkState::Stopped);
    EXPECT_TRUE(rig.window.CommPortSel()->isEnabled());
    timer1Tick(rig);
    EXPECT_EQ(rig.port.openCalls, opens);  // no retry
    EXPECT_TRUE(rig.dialogs.messages().empty());

    // A live port that is lost is retried as ever.
    rig.port.ended = false;
    rig.window.startCmdClick();
    rig.port.trouble(PortTrouble::Lost);
    timer1Tick(rig);
    EXPECT_EQ(rig.port.openCalls, opens + 2);
    EXPECT_EQ(rig.window.StatusTxt()->text(), "Start");
}

TEST(FrmMainReplay, SelectPortAddsTheCaptureOnceAndSelectsItStoppingARunningLink) {
    test::Rig rig;
    const int items = rig.window.CommPortSel()->count();
    rig.window.startCmdClick();
    rig.window.selectPort("day.pcap", "/data/day.pcap");
    EXPECT_EQ(rig.window.StatusTxt()->text(), "Stop");
    EXPECT_EQ(rig.port.closeCalls, 1);
    ASSERT_EQ(rig.window.CommPortSel()->count(), items + 1);
    EXPECT_EQ(rig.window.CommPortSel()->currentText(), "day.pcap");
    EXPECT_EQ(rig.path(), "/data/day.pcap");

    rig.window.CommPortSel()->setCurrentIndex(0);
    EXPECT_NE(rig.path(), "/data/day.pcap");
    rig.window.selectPort("day.pcap", "/data/day.pcap");  // picked again: the same item
    EXPECT_EQ(rig.window.CommPortSel()->count(), items + 1);
    EXPECT_EQ(rig.window.CommPortSel()->currentText(), "day.pcap");
    EXPECT_EQ(rig.path(), "/data/day.pcap");

    // A port that will not close keeps the selection.
    rig.window.startCmdClick();
    rig.port.failClose = true;
    rig.window.selectPort("other.pcap", "/data/other.pcap");
    EXPECT_EQ(rig.window.CommPortSel()->count(), items + 1);
    EXPECT_EQ(rig.path(), "/data/day.pcap");
}

}  // namespace
}  // namespace orlix
