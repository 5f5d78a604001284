// A monitor viewing a site through a recorder and a real broker shows what a
// monitor on the site's port shows. The simulated plant's bytes go to two
// pseudo-terminals: one read by orlix-record, which publishes them, the
// other by a monitor on the port; a second monitor opens the site's
// mqtt:// address. A stopped recorder shows as a lost port, and the view
// comes back with the recorder.
#if defined(ORLIX_PLANT_SIM) && defined(ORLIX_RECORD_BIN)
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <string>

#include "e2e/port_viewer.h"
#include "mosquitto_broker.h"
#include "wait_until.h"
#include "sources/port.h"
#include "sources/site_source.h"
#include "sources/serial_source.h"

namespace orlix {
namespace {

// A monitor window whose Com1 opens `path`; what its 160 fields show.
struct Viewer : test::PortViewer {
    explicit Viewer(const std::string& path) : PortViewer(path, SourceSettings{}) {}
    QStringList texts() const {
        QStringList t;
        for (int i = 0; i < 160; ++i) t << window.Text1(i)->text();
        return t;
    }
    int filled() const {
        int n = 0;
        for (const QString& s : texts()) n += !s.isEmpty();
        return n;
    }
    LiveStore& store = pipeline.receive().store();
};

class Pty {
public:
    explicit Pty(std::string link) : link_(std::move(link)) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0)
            if (const char* slave = ptsname(master_)) ok_ = ::symlink(slave, link_.c_str()) == 0;
    }
    ~Pty() {
        ::unlink(link_.c_str());
        if (master_ >= 0) ::close(master_);
    }
    bool ok() const { return ok_; }
    void write(const QByteArray& b) { ASSERT_EQ(::write(master_, b.constData(), b.size()), b.size()); }

private:
    std::string link_;
    int master_ = -1;
    bool ok_ = false;
};

TEST(MonitorOnRemoteSite, ShowsTheSameFieldsAsAMonitorOnThePortAndLosesTheStoppedSite) {
    test::MosquittoBroker broker;
    ASSERT_TRUE(broker.ok()) << broker.log();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Pty toRecorder(dir.filePath("rec").toStdString()), toMonitor(dir.filePath("mon").toStdString());
    ASSERT_TRUE(toRecorder.ok() && toMonitor.ok());

    const std::string recLog = dir.filePath("rec.log").toStdString();
    const std::vector<std::string> recArgs{ORLIX_RECORD_BIN, "--port", dir.filePath("rec").toStdString(), "--db",
                                           dir.filePath("site.mdb").toStdString(), "--mqtt", broker.url("plant"),
                                           "--site", "e2e"};
    pid_t recorder = test::spawnProcess(recArgs, recLog);
    test::Subscriber status(broker.port(), "plant/e2e/status");
    ASSERT_TRUE(test::qtWaitUntil([&] { return !status.on("plant/e2e/status").empty(); }, 10000)) << test::readWhole(recLog);

    Viewer local(dir.filePath("mon").toStdString());
    Viewer remote(broker.url("plant/e2e"));
    local.window.startCmdClick();
    remote.window.startCmdClick();
    ASSERT_EQ(remote.window.StatusTxt()->text(), "Start") << ::testing::PrintToString(remote.dialogs.messages());
    ASSERT_TRUE(test::qtWaitUntil([&] { return remote.ups == 1; }, 10000));  // the remote view's subscription is made

    QProcess sim;
    sim.setProgram(QStringLiteral(ORLIX_PLANT_SIM));
    sim.setArguments({"--stdout", "--speed", "8", "--seed", "9"});
    QObject::connect(&sim, &QProcess::readyReadStandardOutput, [&] {
        const QByteArray b = sim.readAllStandardOutput();
        toRecorder.write(b);
        toMonitor.write(b);
    });
    sim.start();
    ASSERT_TRUE(sim.waitForStarted(5000));
    ASSERT_TRUE(test::qtWaitUntil([&] { return local.filled() > 140 && remote.filled() > 140; }, 20000))
        << local.filled() << " " << remote.filled() << "\n" << test::readWhole(recLog);
    sim.terminate();
    sim.waitForFinished(5000);
    // Everything sent has arrived on both sides.
    EXPECT_TRUE(test::qtWaitUntil([&] { return local.texts() == remote.texts(); }, 5000));
    EXPECT_EQ(local.texts(), remote.texts());
    EXPECT_EQ(local.window.CheckTxt()->text(), remote.window.CheckTxt()->text());
    EXPECT_EQ(local.store.LiveValues, remote.store.LiveValues);

    // The recorder stops: its site goes offline and the view is lost.
    ::kill(recorder, SIGTERM);
    ASSERT_TRUE(test::waitForExit(recorder, std::chrono::seconds(10)));
    ASSERT_TRUE(test::qtWaitUntil([&] { return remote.window.StatusTxt()->text() == "Lost"; }, 10000));
    EXPECT_EQ(remote.window.windowTitle(), "Orlix Monitor---Reconnecting...");
    EXPECT_EQ(local.window.StatusTxt()->text(), "Start");
    // And comes back with it.
    recorder = test::spawnProcess(recArgs, recLog);
    EXPECT_TRUE(test::qtWaitUntil([&] { return remote.window.StatusTxt()->text() == "Start"; }, 15000))
        << test::readWhole(recLog);
    EXPECT_TRUE(remote.dialogs.messages().empty());
    ::kill(recorder, SIGTERM);
    test::waitForExit(recorder, std::chrono::seconds(10));
}

}  // namespace
}  // namespace orlix
#endif
