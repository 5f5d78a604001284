// The monitor window on the real serial link, fed through pseudo-terminals:
// by a pty of the test's own and by the simulated plant program.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <string>

#include "monitor/monitor_test_support.h"
#include "sources/serial_source.h"

namespace orlix {
namespace {

using test::busFrame;
using test::sampleData;

// Program time runs four times faster, so Timer1 ticks every 500 ms.
class QuickClock final : public Clock {
public:
    DateTime now() const override { return localNow(); }
    double timeScale() const override { return 4.0; }
};

bool waitUntil(const std::function<bool()>& done, int ms) {
    for (int waited = 0; waited < ms; waited += 20) {
        if (done()) return true;
        QTest::qWait(20);
    }
    return done();
}

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Lets the event loop run for `ms` and checks that the process stayed
// mostly idle meanwhile: a quarter of the wall time is far above a few
// retries and far below a busy loop, also on a loaded machine.
void expectIdleFor(int ms) {
    const double cpuBefore = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(ms);
    const double used = cpuSeconds() - cpuBefore;
    const double seconds = static_cast<double>(wall.elapsed()) / 1000.0;
    EXPECT_LT(used, 0.25 * seconds) << "CPU seconds while lost: " << used << " in " << seconds << " s";
}

// A window on the real serial link with list item Com1 mapped to `path`.
struct LiveRig : test::AppFirst {
    explicit LiveRig(const std::string& path)
        : pipeline(clock, SourceSettings{}),
          store(pipeline.receive().store()),
          window(pipeline, dialogs, analyzer, buildPortChoices({{"Com1", path}}, {})) {}
    int filledFields() const {
        int n = 0;
        for (int i = 0; i < 160; ++i) n += !window.Text1(i)->text().isEmpty();
        return n;
    }
    QuickClock clock;
    Pipeline pipeline;
    LiveStore& store;
    ScriptedDialogHost dialogs;
    test::FakeAnalyzer analyzer;
    FrmMain window;
};

// A pseudo-terminal whose master side the test writes; its slave is reached
// through a symbolic link. Unplugging closes the pty and removes the link,
// as a USB adapter's device node goes away (a link left behind would point
// at a pty number that any other process may be given next); plugging in
// again makes a new pty and link.
class OwnPty {
public:
    explicit OwnPty(std::string link) : link_(std::move(link)) {}
    ~OwnPty() { unplug(); }
    bool plug() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return false;
        const char* slave = ptsname(master_);
        if (!slave) return false;
        ::unlink(link_.c_str());
        return ::symlink(slave, link_.c_str()) == 0;
    }
    void write(const std::vector<std::uint8_t>& bytes) {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    void unplug() {
        ::unlink(link_.c_str());
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

private:
    std::string link_;
    int master_ = -1;
};

TEST(MonitorOverPty, FramesFillTheFieldsUnplugShowsLostQuietlyAndReplugRecovers) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath("port").toStdString();
    OwnPty pty(path);
    ASSERT_TRUE(pty.plug());
    LiveRig rig(path);
    rig.window.startCmdClick();
    ASSERT_TRUE(rig.dialogs.messages().empty()) << rig.dialogs.messages().front();
    ASSERT_EQ(rig.window.StatusTxt()->text(), "Start");

    auto bytes = busFrame(0xA5, sampleData(21));
    const auto z5 = busFrame(0x5A, sampleData(22));
    bytes.insert(bytes.end(), z5.begin(), z5.end());
    pty.write(bytes);
    ASSERT_TRUE(waitUntil([&] { return rig.window.NumTxt()->text() == "61"; }, 5000));
    EXPECT_EQ(rig.window.CheckTxt()->text(), "Right");
    EXPECT_GT(rig.filledFields(), 120);

    // Half a frame, then the pty goes away.
    pty.write({bytes.begin(), bytes.begin() + 20});
    ASSERT_TRUE(waitUntil([&] { return rig.window.NumTxt()->text() == "18"; }, 5000));
    pty.unplug();
    struct stat gone {};
    EXPECT_NE(::lstat(path.c_str(), &gone), 0);  // the device node went away
    ASSERT_TRUE(waitUntil([&] { return rig.window.StatusTxt()->text() == "Lost"; }, 5000));
    EXPECT_EQ(rig.window.windowTitle(), "Orlix Monitor---Reconnecting...");
    EXPECT_EQ(rig.window.NumTxt()->text(), "0");
    EXPECT_TRUE(rig.dialogs.messages().empty());

    // Four retry ticks pass with almost no CPU.
    expectIdleFor(2000);
    EXPECT_EQ(rig.window.StatusTxt()->text(), "Lost");

    ASSERT_TRUE(pty.plug());
    ASSERT_TRUE(waitUntil([&] { return rig.window.StatusTxt()->text() == "Start"; }, 5000));
    pty.write(busFrame(0x5A, sampleData(23)));
    ASSERT_TRUE(waitUntil([&] { return rig.window.NumTxt()->text() == "61"; }, 5000));
    EXPECT_EQ(rig.window.CheckTxt()->text(), "Right");
    EXPECT_TRUE(rig.dialogs.messages().empty());
}

TEST(MonitorOverPty, MissingDeviceAndNonTtyGiveTheOpenMessage) {
    QTemporaryDir dir;
    const std::string missing = dir.filePath("nothing").toStdString();
    const std::string plainFile = dir.filePath("file").toStdString();
    QFile f(QString::fromStdString(plainFile));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    for (const std::string& path : {missing, plainFile}) {
        LiveRig rig(path);
        rig.window.startCmdClick();
        EXPECT_EQ(rig.dialogs.messages(), std::vector<std::string>{"Communcation port cannot be open!!"}) << path;
        EXPECT_EQ(rig.window.StatusTxt()->text(), "Stop");
    }
}

#ifdef ORLIX_PLANT_SIM
class PlantSim {
public:
    explicit PlantSim(QString link) : link_(std::move(link)) {}
    ~PlantSim() { stop(); }
    bool start() {
        process_.setProgram(QStringLiteral(ORLIX_PLANT_SIM));
        process_.setArguments({"--link", link_, "--speed", "4", "--seed", "7"});
        process_.setStandardOutputFile(QProcess::nullDevice());
        process_.start();
        return process_.waitForStarted(5000) &&
               waitUntil([&] { return QFileInfo::exists(link_); }, 5000);
    }
    // SIGTERM: the simulator closes its pty and removes its link, so the
    // monitor's retries cannot reach a pseudo-terminal number that another
    // test running in parallel has meanwhile been given.
    void stop() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }

private:
    QString link_;
    QProcess process_;
};

TEST(MonitorWithPlantSim, LiveDataUnplugAndReplug) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString link = dir.filePath("plant");
    PlantSim sim(link);
    ASSERT_TRUE(sim.start());
    LiveRig rig(link.toStdString());
    rig.window.startCmdClick();
    ASSERT_EQ(rig.window.StatusTxt()->text(), "Start");
    ASSERT_TRUE(waitUntil([&] { return rig.filledFields() > 140; }, 20000)) << rig.filledFields();
    ASSERT_TRUE(waitUntil([&] { return rig.window.CheckTxt()->text() == "Right"; }, 10000));
    EXPECT_EQ(rig.store.FaultStatus[0].empty(), false);

    sim.stop();  // the pty closes with the program
    ASSERT_TRUE(waitUntil([&] { return rig.window.StatusTxt()->text() == "Lost"; }, 5000));
    expectIdleFor(2000);
    EXPECT_EQ(rig.window.windowTitle(), "Orlix Monitor---Reconnecting...");

    PlantSim again(link);
    ASSERT_TRUE(again.start());
    ASSERT_TRUE(waitUntil([&] { return rig.window.StatusTxt()->text() == "Start"; }, 5000));
    rig.window.stopCmdClick();
    rig.window.cmdClrAllClick();
    rig.window.startCmdClick();
    ASSERT_TRUE(waitUntil([&] { return rig.filledFields() > 140; }, 20000)) << rig.filledFields();
    EXPECT_TRUE(rig.dialogs.messages().empty());
}
#endif

}  // namespace
}  // namespace orlix
