#include "monitor/frm_main.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "monitor_test_support.h"

namespace orlix {
namespace {

using test::busFrame;
using test::Rig;
using test::sampleData;

QColor colourOf(QWidget* w) { return w->palette().color(QPalette::WindowText); }

TEST(FrmMainLoad, PreparesPortListBaudAndFaultTextsButLeavesThePortClosed) {
    Rig rig;
    QComboBox* list = rig.window.CommPortSel();
    // Com1..Com16, then the system ports not already among them.
    ASSERT_EQ(list->count(), 17);
    for (int n = 1; n <= 16; ++n) EXPECT_EQ(list->itemText(n - 1), QStringLiteral("Com%1").arg(n));
    EXPECT_EQ(list->itemText(16), "ttyUSB0");
    EXPECT_EQ(list->currentIndex(), 0);
    EXPECT_TRUE(list->isEnabled());
    EXPECT_EQ(rig.window.CommPort(), 1);
    EXPECT_EQ(rig.path(), comPortPath(1));
    EXPECT_EQ(rig.pipeline->port().baudRate(), 1200);
    EXPECT_EQ(rig.window.BaudText(), "1200");
    EXPECT_EQ(rig.port.openCalls, 0);
    EXPECT_EQ(rig.store.FaultStatus[0], "Normal");
    EXPECT_EQ(rig.store.FaultStatus[1], "Normal");
    EXPECT_EQ(rig.store.FaultStatus[2], "Normal");
    EXPECT_TRUE(rig.window.Timer1()->isActive());
    EXPECT_EQ(rig.window.Timer1()->interval(), 2000);
}

TEST(FrmMainLink, StartOpensThePortAndShowsRunning) {
    Rig rig;
    rig.window.startCmdClick();
    EXPECT_EQ(rig.analyzer.hides, 1);
    EXPECT_TRUE(rig.port.isOpen());
    EXPECT_EQ(rig.window.linkState(), FrmMain::LinkState::Running);
    EXPECT_EQ(rig.window.windowTitle(), "Orlix Monitor---Running.");
    EXPECT_EQ(rig.window.StatusTxt()->text(), "Start");
    EXPECT_EQ(colourOf(rig.window.StatusTxt()), QColor(80, 183, 80));
    EXPECT_FALSE(rig.window.CommPortSel()->isEnabled());
    EXPECT_FALSE(rig.window.findChild<QPushButton*>("cmdClrAll")->isEnabled());
    EXPECT_TRUE(rig.dialogs.messages().empty());

    // A second Start finds the port open: no second open, no message.
    rig.window.startCmdClick();
    EXPECT_EQ(rig.port.openCalls, 1);
    EXPECT_EQ(rig.analyzer.hides, 2);
    EXPECT_TRUE(rig.dialogs.messages().empty());
    EXPECT_EQ(rig.window.StatusTxt()->text(), "Start");

    rig.window.stopCmdClick();
    EXPECT_FALSE(rig.port.isOpen());
    EXPECT_EQ(rig.window.windowTitle(), "Orlix Monitor---Stopping...");
    EXPECT_EQ(rig.window.StatusTxt()->text(), "Stop");
    EXPECT_EQ(colourOf(rig.window.StatusTxt()), QColor(255, 0, 0));
    EXPECT_TRUE(rig.window.CommPortSel()->isEnabled());
    EXPECT_TRUE(rig.window.findChild<QPushButton*>("cmdClrAll")->isEnabled());

    // Stop while stopped: no close attempt, no message.
    const int closes = rig.port.closeCalls;
    rig.window.stopCmdClick();
    EXPECT_EQ(rig.port.closeCalls, closes);
    EXPECT_TRUE(rig.dialogs.messages().empty());
    EXPECT_EQ(rig.window.StatusTxt()->text(), "Stop");
}

// The top row's labels have a single black border whatever their text colour.
TEST(FrmMainLink, LabelBordersStayBlackWhileTheTextIsColoured) {
    Rig rig;
    rig.window.startCmdClick();
    rig.port.deliver(busFrame(0xA5, sampleData(3)));
    rig.window.timer1Tick();
    for (const char* name : {"StatusTxt", "NumTxt", "CheckTxt", "TimeTxt", "Status", "Check"}) {
        SCOPED_TRACE(name);
        auto* label = rig.window.findChild<QLabel*>(QLatin1String(name));
        ASSERT_NE(label, nullptr);
        const QImage shot = label->grab().toImage();
        const int w = shot.width(), h = shot.height();
        for (const QPoint p : {QPoint(0, h / 2), QPoint(w - 1, h / 2), QPoint(w / 2, 0), QPoint(w / 2, h - 1),
                               QPoint(0, 0), QPoint(w - 1, h - 1)})
            EXPECT_EQ(shot.pixelColor(p).name().toStdString(), "#000000") << p.x() << "," << p.y();
        // Inside the border, the text is drawn in its own colour.
        const QColor text = colourOf(label);
        bool found = false;
        for (int y = 1; y < h - 1 && !found; ++y)
            for (int x = 1; x < w - 1 && !found; ++x) found = shot.pixelColor(x, y) == text;
        EXPECT_TRUE(found) << text.name().toStdString();
    }
    EXPECT_EQ(colourOf(rig.window.StatusTxt()), QColor(80, 183, 80));
    EXPECT_EQ(colourOf(rig.window.CheckTxt()), QColor(80, 183, 80));
    EXPECT_EQ(colourOf(rig.window.NumTxt()), QColor(0, 0, 255));
}

TEST(FrmMainLink, OpenAndCloseFailuresShowTheirMessageAndKeepTheState) {
    Rig rig;
    rig.port.openResults = {OpenResult::Failed, OpenResult::AlreadyOpen};
    rig.window.startCmdClick();
    rig.window.startCmdClick();
    EXPECT_EQ(rig.dialogs.messages(),
              (std::vector<std::string>{"Communcation port cannot be open!!",
                                        "Communcation port is already open"}));
    EXPECT_EQ(rig.dialogs.requests.front().title, "");
    EXPECT_EQ(rig.dialogs.requests.front().buttons, MsgButtons::Ok);
    EXPECT_EQ(rig.window.linkState(), FrmMain::LinkState::Stopped);
    EXPECT_EQ(rig.window.windowTitle(), "Orlix Monitor---Stopping...");
    EXPECT_EQ(rig.window.StatusTxt()->text(), "Stop");

    rig.window.startCmdClick();
    ASSERT_EQ(rig.window.linkState(), FrmMain::LinkState::Running);
    rig.port.failClose = true;
    rig.window.stopCmdClick();
    EXPECT_EQ(rig.dialogs.messages().back(), "Communcation port cannot be close!!");
    EXPECT_EQ(rig.window.StatusTxt()->text(), "Start");
    EXPECT_EQ(rig.window.linkState(), FrmMain::LinkState::Running);
}

TEST(FrmMainLink, ARefusedOpenKeepsItsMessageAndAddsThePortsReasonUnderIt) {
    Rig rig;
    const std::string hint = "No permission to read /dev/ttyUSB0, which belongs to the group dialout. To use it, "
                             "add yourself to the dialout group: sudo usermod -aG dialout $USER, then log in again.";
    rig.port.hint = hint;
    rig.port.openResults = {OpenResult::Failed, OpenResult::AlreadyOpen};
    rig.window.startCmdClick();
    rig.window.startCmdClick();
    ASSERT_EQ(rig.dialogs.requests.size(), 2u);
    EXPECT_EQ(rig.dialogs.requests[0].text, "Communcation port cannot be open!!");
    EXPECT_EQ(rig.dialogs.requests[0].detail, hint);
    EXPECT_EQ(rig.dialogs.requests[0].title, "");
    EXPECT_EQ(rig.dialogs.requests[0].buttons, MsgButtons::Ok);
    // The port's hint belongs to a failed open only.
    EXPECT_EQ(rig.dialogs.requests[1].text, "Communcation port is already open");
    EXPECT_EQ(rig.dialogs.requests[1].detail, "");
    EXPECT_EQ(rig.window.linkState(), FrmMain::LinkState::Stopped);
}

TEST(FrmMainLink, Com16AndTheChosenBaudRateReachThePort) {
    Rig rig;
    rig.window.CommPortSel()->setCurrentIndex(15);
    EXPECT_EQ(rig.window.CommPort(), 16);
    rig.window.findChild<QRadioButton*>("b2400")->setChecked(true);
    EXPECT_EQ(rig.window.BaudText(), "2400");
    rig.window.startCmdClick();
    EXPECT_EQ(rig.port.openedPaths.back(), comPortPath(16));
    EXPECT_EQ(rig.pipeline->port().baudRate(), 2400);
    // The rate may change while running; the port choice may not.
    rig.window.findChild<QRadioButton*>("b600")->setChecked(true);
    EXPECT_EQ(rig.pipeline->port().baudRate(), 600);
    EXPECT_FALSE(rig.window.CommPortSel()->isEnabled());
}

TEST(FrmMainTimer, ClockTicksAlwaysAndTheTitleAnimatesOnlyWhileRunning) {
    Rig rig;
    rig.window.timer1Tick();
    EXPECT_EQ(rig.window.TimeTxt()->text(), "12:00:00");
    EXPECT_EQ(rig.window.windowTitle(), "Orlix Monitor---Stopping...");
    EXPECT_EQ(rig.window.RunDots(), 0);

    rig.window.startCmdClick();
    std::vector<std::string> titles;
    for (int i = 0; i < 5; ++i) {
        rig.clock.advanceSeconds(2);
        rig.window.timer1Tick();
        titles.push_back(rig.window.windowTitle().toStdString());
    }
    EXPECT_EQ(titles, (std::vector<std::string>{
                          "Orlix Monitor---Running..", "Orlix Monitor---Running...",
                          "Orlix Monitor---Running....", "Orlix Monitor---Running.",
                          "Orlix Monitor---Running.."}));
    EXPECT_EQ(rig.window.TimeTxt()->text(), "12:00:10");
    // RunDots survives Stop and Start.
    rig.window.stopCmdClick();
    rig.window.timer1Tick();
    EXPECT_EQ(rig.window.windowTitle(), "Orlix Monitor---Stopping...");
    rig.window.startCmdClick();
    rig.window.timer1Tick();
    EXPECT_EQ(rig.window.windowTitle(), "Orlix Monitor---Running...");
}

class FastClock final : public Clock {
public:
    DateTime now() const override { return 0; }
    double timeScale() const override { return 8.0; }
};

TEST(FrmMainTimer, IntervalIsDividedByTheTimeScale) {
    test::app();
    FastClock clock;
    test::FakeLine port;
    Pipeline pipeline(clock, port.registry());
    ScriptedDialogHost dialogs;
    test::FakeAnalyzer analyzer;
    FrmMain w(pipeline, dialogs, analyzer, buildPortChoices({}, {}));
    EXPECT_EQ(w.Timer1()->interval(), 250);
    EXPECT_EQ(w.Timer1()->timerType(), Qt::PreciseTimer);
}

TEST(FrmMainReceive, FramesInSmallReadsFillFieldsAndShowTheVerdict) {
    Rig rig;
    rig.window.startCmdClick();
    auto bytes = busFrame(0xA5, sampleData(1));
    const auto five = busFrame(0x5A, sampleData(2));
    bytes.insert(bytes.end(), five.begin(), five.end());
    rig.port.deliverInChunks(bytes, 10);
    EXPECT_EQ(rig.window.CheckTxt()->text(), "Right");
    EXPECT_EQ(colourOf(rig.window.CheckTxt()), QColor(80, 183, 80));
    EXPECT_EQ(rig.window.NumTxt()->text(), QString::fromStdString(rig.window.receiver().numText()));
    int filled = 0;
    for (int i = 0; i < 160; ++i) {
        EXPECT_EQ(rig.window.Text1(i)->text().toStdString(), rig.window.board()[i].text) << i;
        filled += !rig.window.Text1(i)->text().isEmpty();
    }
    EXPECT_GT(filled, 120);

    // A bad checksum shows "Error" in red and keeps the fields.
    auto bad = busFrame(0xA5, sampleData(3));
    bad.back() ^= 0xFF;
    const QString before = rig.window.Text1(0)->text();
    rig.port.deliver(bad);
    EXPECT_EQ(rig.window.CheckTxt()->text(), "Error");
    EXPECT_EQ(colourOf(rig.window.CheckTxt()), QColor(255, 0, 0));
    EXPECT_EQ(rig.window.Text1(0)->text(), before);
    EXPECT_EQ(rig.window.NumTxt()->text(), "61");
}

TEST(FrmMainReceive, TypedOverFieldsShowTheDecodedValueAgainAfterTheNextGoodFrame) {
    Rig rig;
    rig.window.startCmdClick();
    const auto a5 = busFrame(0xA5, sampleData(8));
    rig.port.deliver(a5);
    const QString decoded = rig.window.Text1(0)->text();
    ASSERT_FALSE(decoded.isEmpty());
    QTest::keyClicks(rig.window.Text1(0), "xyz");
    ASSERT_NE(rig.window.Text1(0)->text(), decoded);
    auto bad = a5;
    bad.back() ^= 1;
    rig.port.deliver(bad);  // a bad frame decodes nothing
    EXPECT_TRUE(rig.window.Text1(0)->text().contains("xyz"));
    rig.port.deliver(a5);  // same values as before
    EXPECT_EQ(rig.window.Text1(0)->text(), decoded);
}

TEST(FrmMainReceive, AllWaitingBytesAreProcessedEvenBelowTenBytes) {
    Rig rig;
    rig.window.startCmdClick();
    const auto f = busFrame(0xA5, sampleData(4));
    rig.port.deliver({f.begin(), f.end() - 3});
    EXPECT_EQ(rig.window.NumTxt()->text(), "58");
    EXPECT_EQ(rig.window.CheckTxt()->text(), "");
    rig.port.deliver({f.end() - 3, f.end()});  // a tail of three bytes
    EXPECT_EQ(rig.window.CheckTxt()->text(), "Right");
    EXPECT_EQ(rig.window.NumTxt()->text(), "61");
}

TEST(FrmMainLostLink, UnplugShowsLostRetriesOnEveryTickAndRecovers) {
    Rig rig;
    rig.window.startCmdClick();
    const auto f = busFrame(0xA5, sampleData(5));
    rig.port.deliver({f.begin(), f.begin() + 30});
    ASSERT_EQ(rig.window.NumTxt()->text(), "28");

    rig.port.trouble(PortTrouble::Lost);
    EXPECT_FALSE(rig.port.isOpen());
    EXPECT_EQ(rig.window.linkState(), FrmMain::LinkState::Lost);
    EXPECT_EQ(rig.window.StatusTxt()->text(), "Lost");
    EXPECT_EQ(colourOf(rig.window.StatusTxt()), QColor(255, 0, 0));
    EXPECT_EQ(rig.window.windowTitle(), "Orlix Monitor---Reconnecting...");
    EXPECT_EQ(rig.window.NumTxt()->text(), "0");
    EXPECT_EQ(rig.window.receiver().RxState, 0);
    EXPECT_TRUE(rig.dialogs.messages().empty());
    EXPECT_FALSE(rig.window.CommPortSel()->isEnabled());

    // Each tick tries the same port once; failures stay quiet.
    rig.port.openResults = {OpenResult::Failed, OpenResult::Failed};
    const int opens = rig.port.openCalls;
    rig.window.timer1Tick();
    rig.window.timer1Tick();
    EXPECT_EQ(rig.port.openCalls, opens + 2);
    EXPECT_EQ(rig.window.StatusTxt()->text(), "Lost");
    EXPECT_EQ(rig.window.windowTitle(), "Orlix Monitor---Reconnecting...");
    EXPECT_TRUE(rig.dialogs.messages().empty());

    rig.window.timer1Tick();
    EXPECT_TRUE(rig.port.isOpen());
    EXPECT_EQ(rig.port.openedPaths.back(), comPortPath(1));
    EXPECT_EQ(rig.window.linkState(), FrmMain::LinkState::Running);
    EXPECT_EQ(rig.window.StatusTxt()->text(), "Start");
    EXPECT_EQ(rig.window.windowTitle(), "Orlix Monitor---Running.");
    rig.port.deliver(busFrame(0x5A, sampleData(6)));
    EXPECT_EQ(rig.window.CheckTxt()->text(), "Right");
}

TEST(FrmMainLostLink, StopEndsTheRetries) {
    Rig rig;
    rig.window.startCmdClick();
    rig.port.trouble(PortTrouble::Lost);
    rig.window.stopCmdClick();
    EXPECT_EQ(rig.window.StatusTxt()->text(), "Stop");
    EXPECT_EQ(rig.window.windowTitle(), "Orlix Monitor---Stopping...");
    EXPECT_TRUE(rig.window.CommPortSel()->isEnabled());
    const int opens = rig.port.openCalls;
    rig.window.timer1Tick();
    rig.window.timer1Tick();
    EXPECT_EQ(rig.port.openCalls, opens);
    EXPECT_TRUE(rig.dialogs.messages().empty());
}

// A loss that retrying cannot mend (a refused login): the link stops with
// "Lost", the reason in the port's error box (once, after the event) and in
// the status's tool tip; no tick retries; the source is dropped, and Start
// makes a new one.
TEST(FrmMainLostLink, ALossForGoodStopsWithLostAndItsReasonInTheErrorBox) {
    Rig rig;
    rig.window.startCmdClick();
    rig.port.lasting = true;
    rig.port.troubleWhy = "the broker refused the connection: not authorised";
    rig.port.trouble(PortTrouble::Lost);
    EXPECT_EQ(rig.window.linkState(), FrmMain::LinkState::Stopped);
    EXPECT_EQ(rig.window.StatusTxt()->text(), "Lost");
    EXPECT_EQ(rig.window.windowTitle(), "Orlix Monitor---Lost");
    EXPECT_EQ(rig.window.StatusTxt()->toolTip(), "the broker refused the connection: not authorised");
    EXPECT_TRUE(rig.window.CommPortSel()->isEnabled());
    EXPECT_TRUE(rig.dialogs.requests.empty()) << "not inside the event";
    QCoreApplication::processEvents();
    ASSERT_EQ(rig.dialogs.requests.size(), 1u);
    EXPECT_EQ(rig.dialogs.requests[0].text, "Communcation port cannot be open!!");
    EXPECT_EQ(rig.dialogs.requests[0].detail, "Lost: the broker refused the connection: not authorised");
    EXPECT_EQ(rig.port.current, nullptr) << "the source is dropped";
    const int opens = rig.port.openCalls;
    rig.window.timer1Tick();
    rig.window.timer1Tick();
    EXPECT_EQ(rig.port.openCalls, opens);
    EXPECT_EQ(rig.window.StatusTxt()->text(), "Lost");

    rig.port.lasting = false;
    rig.window.startCmdClick();
    EXPECT_EQ(rig.port.openCalls, opens + 1);
    EXPECT_EQ(rig.window.StatusTxt()->text(), "Start");
    EXPECT_TRUE(rig.window.StatusTxt()->toolTip().isEmpty());
}

TEST(FrmMainLostLink, OtherPortErrorsOnlyResetTheReceiver) {
    Rig rig;
    rig.window.startCmdClick();
    const auto f = busFrame(0xA5, sampleData(7));
    rig.port.deliver({f.begin(), f.begin() + 40});
    rig.port.trouble(PortTrouble::Other);
    EXPECT_EQ(rig.window.NumTxt()->text(), "0");
    EXPECT_TRUE(rig.port.isOpen());
    EXPECT_EQ(rig.window.StatusTxt()->text(), "Start");
    // The rest of the broken frame is not taken as a frame.
    rig.port.deliver({f.begin() + 40, f.end()});
    EXPECT_EQ(rig.window.CheckTxt()->text(), "");
}

TEST(FrmMainClose, ClosesThePortSetsAppClosingAndUnloadsTheAnalyzer) {
    Rig rig;
    rig.window.startCmdClick();
    QSignalSpy closed(&rig.window, &FrmMain::closed);
    rig.window.close();
    EXPECT_FALSE(rig.port.isOpen());
    EXPECT_TRUE(rig.store.AppClosing);
    EXPECT_EQ(rig.analyzer.unloads, 1);
    EXPECT_EQ(closed.count(), 1);
    // A late port error after the close changes nothing.
    rig.port.trouble(PortTrouble::Lost);
    EXPECT_NE(rig.window.StatusTxt()->text(), "Lost");
}

TEST(FrmMain, DataAnalyzerButtonShowsTheAnalyzer) {
    Rig rig;
    rig.window.findChild<QPushButton*>("cmdRealChart")->click();
    rig.window.findChild<QPushButton*>("cmdRealChart")->click();
    EXPECT_EQ(rig.analyzer.shows, 2);
}

}  // namespace
}  // namespace orlix
