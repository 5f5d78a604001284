// A serial device as a byte source, and the port that opens and retries it,
// over real pseudo-terminals.
#include "sources/serial_source.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTest>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/logging.h"
#include "run_unprivileged.h"
#include "sources/port.h"
#include "source_taker.h"
#include "sources/port_permission.h"
#include "wait_until.h"

namespace orlix {
namespace {

void ensureApp() { test::ensureCoreApp("sources_tests"); }

struct Pty {
    Pty() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0) slave = ptsname(master);
    }
    ~Pty() {
        if (master >= 0) ::close(master);
    }
    int master = -1;
    std::string slave;
};

using test::Taker;

TEST(SerialSource, OpensReadOnlyHandsOnEveryReadAndTellsAlreadyOpen) {
    ensureApp();
    Pty pty;
    ASSERT_FALSE(pty.slave.empty());
    SerialSource source(pty.slave);
    source.setBaudRate(2400);
    Taker taker(source);
    ASSERT_EQ(source.open(), OpenResult::Ok);
    EXPECT_TRUE(source.isOpen());
    EXPECT_EQ(taker.ups, 1);
    EXPECT_EQ(source.open(), OpenResult::AlreadyOpen);
    EXPECT_EQ(source.baudRate(), 2400);

    const std::uint8_t bytes[] = {0x55, 0xA5, 1, 2, 3};  // fewer than ten bytes
    ASSERT_EQ(::write(pty.master, bytes, sizeof bytes), 5);
    EXPECT_TRUE(test::qtWaitUntil([&] { return taker.got.size() >= 5; }));
    EXPECT_EQ(taker.got, std::vector<std::uint8_t>(std::begin(bytes), std::end(bytes)));
    EXPECT_GE(taker.reads, 1);

    EXPECT_TRUE(source.close());
    EXPECT_FALSE(source.isOpen());
    EXPECT_TRUE(source.close());  // closing a closed source is no failure
}

TEST(SerialSource, AMissingDeviceFailsWithItsCauseAndAClosedPtyIsLost) {
    ensureApp();
    SerialSource missing("/nonexistent/ttyS99");
    Taker quiet(missing);
    EXPECT_EQ(missing.open(), OpenResult::Failed);
    EXPECT_NE(missing.openError().find("No such file or directory"), std::string::npos) << missing.openError();
    EXPECT_TRUE(quiet.troubles.empty());  // an open failure is answered by the result only

    auto pty = std::make_unique<Pty>();
    SerialSource source(pty->slave);
    Taker taker(source);
    ASSERT_EQ(source.open(), OpenResult::Ok);
    pty.reset();  // the other end goes away
    ASSERT_TRUE(test::qtWaitUntil([&] { return !taker.troubles.empty(); }));
    EXPECT_EQ(taker.troubles.front(), PortTrouble::Lost);
    EXPECT_FALSE(source.isOpen());
    EXPECT_FALSE(source.troubleText().empty());
}

// Collects the orlix.serial lines Qt's message handler receives.
struct SerialLog {
    SerialLog() {
        lines().clear();
        installQtLogSink();
        previous = qInstallMessageHandler(&collect);
    }
    ~SerialLog() { qInstallMessageHandler(previous); }
    static std::vector<std::string>& lines() {
        static std::vector<std::string> v;
        return v;
    }
    static void collect(QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (context.category && std::string(context.category) == "orlix.serial")
            lines().push_back(std::string(type == QtWarningMsg ? "warning: " : type == QtInfoMsg ? "info: " : "other: ") +
                              message.toStdString());
    }
    QtMessageHandler previous = nullptr;
};

bool starts(const std::string& s, const std::string& head) { return s.rfind(head, 0) == 0; }


TEST(SerialPortLog, AFailedOpenIsOneLineWithPathAndCauseThenOpenAndClose) {
    ensureApp();
    SerialLog log;
    Port port(standardSources({}));
    port.setPath("/nonexistent/ttyS98");
    for (int i = 0; i < 5; ++i) EXPECT_EQ(port.open(), OpenResult::Failed);
    ASSERT_EQ(SerialLog::lines().size(), 1u);
    const std::string& failed = SerialLog::lines()[0];
    EXPECT_TRUE(starts(failed, "warning: cannot open /nonexistent/ttyS98: ")) << failed;
    EXPECT_NE(failed.find("No such file or directory"), std::string::npos) << failed;

    Pty pty;
    ASSERT_FALSE(pty.slave.empty());
    port.setPath(pty.slave);
    ASSERT_EQ(port.open(), OpenResult::Ok);
    EXPECT_TRUE(port.close());
    ASSERT_EQ(SerialLog::lines().size(), 3u);
    // Another path: no reconnect, and the failures of the old one do not count.
    EXPECT_EQ(SerialLog::lines()[1], "info: opened " + pty.slave + " read-only at 1200 baud");
    EXPECT_EQ(SerialLog::lines()[2], "info: closed " + pty.slave);
}

// Closes the port when it is lost, as the monitor and the recorder do.
struct LossCloser final : ReadListener {
    explicit LossCloser(Port& p) : port(p) { port.addListener(this); }
    void onRead(std::span<const std::uint8_t>) override {}
    void onPortEvent(PortTrouble t) override {
        if (t != PortTrouble::Lost) return;
        lost = true;
        port.close();
    }
    Port& port;
    bool lost = false;
};

TEST(SerialPortLog, LossFailedRetriesAndReconnectAreLoggedOnce) {
    ensureApp();
    SerialLog log;
    const auto path = std::filesystem::temp_directory_path() / ("orlix_link_" + std::to_string(::getpid()));
    std::filesystem::remove(path);
    auto first = std::make_unique<Pty>();
    std::filesystem::create_symlink(first->slave, path);
    Port port(standardSources({}));
    LossCloser closer(port);
    port.setPath(path.string());
    ASSERT_EQ(port.open(), OpenResult::Ok);
    first.reset();  // the adapter is pulled
    ASSERT_TRUE(test::qtWaitUntil([&] { return closer.lost; }));
    // The retries while the device is away.
    std::filesystem::remove(path);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(port.open(), OpenResult::Failed);
    Pty second;  // the adapter is back
    std::filesystem::create_symlink(second.slave, path);
    ASSERT_EQ(port.open(), OpenResult::Ok);
    port.close();
    std::filesystem::remove(path);

    const auto& l = SerialLog::lines();
    ASSERT_EQ(l.size(), 6u) << l.back();
    EXPECT_EQ(l[0], "info: opened " + path.string() + " read-only at 1200 baud");
    EXPECT_TRUE(starts(l[1], "warning: lost " + path.string() + " (read error: ") ||
                starts(l[1], "warning: lost " + path.string() + " (resource error: "))
        << l[1];
    EXPECT_EQ(l[2], "info: closed " + path.string());
    EXPECT_TRUE(starts(l[3], "warning: cannot open " + path.string() + ": ")) << l[3];
    EXPECT_EQ(l[4], "info: reconnected to " + path.string() + " after 3 failed attempts");
    EXPECT_EQ(l[5], "info: closed " + path.string());
}

TEST(SerialPortLog, PermissionRefusalNamesTheGroupAndTheRemedyInTheLogAndTheHint) {
    ensureApp();
    const group* dialout = ::getgrnam("dialout");
    if (::geteuid() != 0 || dialout == nullptr) GTEST_SKIP() << "needs root and a dialout group to hand the device to";
    Pty pty;
    ASSERT_FALSE(pty.slave.empty());
    // A USB adapter as Debian sets it up: root:dialout, mode 0660; opened by
    // a user outside the group.
    ASSERT_EQ(::chown(pty.slave.c_str(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(::chmod(pty.slave.c_str(), 0660), 0);
    const int rc = test::runUnprivileged([&] {
        SerialLog log;
        Port port(standardSources({}));
        port.setPath(pty.slave);
        if (port.open() != OpenResult::Failed) return 1;
        if (port.open() != OpenResult::Failed) return 2;
        const std::string hint = port.openFailureHint();
        if (hint.find("add yourself to the dialout group: sudo usermod -aG dialout $USER, then log in again") ==
            std::string::npos)
            return 3;
        if (hint.find(pty.slave) == std::string::npos) return 4;
        // Logged once, with the port's own reason and the hint.
        const auto& l = SerialLog::lines();
        if (l.size() != 1) return 5;
        if (!starts(l[0], "warning: cannot open " + pty.slave + ": Permission denied")) return 6;
        if (l[0].find(hint) == std::string::npos) return 7;
        // A port of its own opens and leaves no hint behind; a missing
        // device has nothing to add.
        Pty own;
        port.setPath(own.slave);
        if (port.open() != OpenResult::Ok || !port.openFailureHint().empty()) return 8;
        port.close();
        port.setPath("/nonexistent/ttyUSB9");
        if (port.open() != OpenResult::Failed || !port.openFailureHint().empty()) return 9;
        return 0;
    });
    EXPECT_EQ(rc, 0);
}

}  // namespace
}  // namespace orlix
