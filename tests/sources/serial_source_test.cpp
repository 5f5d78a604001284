#include "sources/serial_source.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTest>
#include <filesystem>
#include <string>
#include <vector>

#include "sources/port_permission.h"
#include "platform/logging.h"
#include "run_unprivileged.h"

namespace orlix {
namespace {

void ensureApp() {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "platform_tests";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
}

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

TEST(QtSerialLink, OpensReadOnlyReadsEverythingWaitingAndTellsAlreadyOpen) {
    ensureApp();
    Pty pty;
    ASSERT_FALSE(pty.slave.empty());
    QtSerialLink link;
    link.setPortPath(pty.slave);
    link.setBaudRate(2400);
    int events = 0;
    std::vector<std::uint8_t> got;
    link.onReadyRead = [&] {
        ++events;
        const auto b = link.readAll();
        got.insert(got.end(), b.begin(), b.end());
    };
    ASSERT_EQ(link.open(), OpenResult::Ok);
    EXPECT_TRUE(link.isOpen());
    EXPECT_EQ(link.open(), OpenResult::AlreadyOpen);
    EXPECT_EQ(link.baudRate(), 2400);

    const std::uint8_t bytes[] = {0x55, 0xA5, 1, 2, 3};  // fewer than ten bytes
    ASSERT_EQ(::write(pty.master, bytes, sizeof bytes), 5);
    for (int i = 0; i < 1000 && got.size() < 5; ++i) QTest::qWait(10);
    EXPECT_EQ(got, std::vector<std::uint8_t>(std::begin(bytes), std::end(bytes)));
    EXPECT_GE(events, 1);

    EXPECT_TRUE(link.close());
    EXPECT_FALSE(link.isOpen());
    EXPECT_TRUE(link.close());  // closing a closed port is no failure
}

TEST(QtSerialLink, MissingDeviceFailsQuietlyAndAClosedPtyIsReportedLost) {
    ensureApp();
    QtSerialLink missing;
    int troubles = 0;
    missing.onTrouble = [&](PortTrouble) { ++troubles; };
    missing.setPortPath("/nonexistent/ttyS99");
    EXPECT_EQ(missing.open(), OpenResult::Failed);
    EXPECT_EQ(troubles, 0);  // an open failure is answered by the result only

    auto pty = std::make_unique<Pty>();
    QtSerialLink link;
    std::vector<PortTrouble> seen;
    link.onTrouble = [&](PortTrouble t) {
        seen.push_back(t);
        link.close();
    };
    link.onReadyRead = [&] { link.readAll(); };
    link.setPortPath(pty->slave);
    ASSERT_EQ(link.open(), OpenResult::Ok);
    pty.reset();  // the other end goes away
    for (int i = 0; i < 1000 && seen.empty(); ++i) QTest::qWait(10);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), PortTrouble::Lost);
    EXPECT_FALSE(link.isOpen());
}

// Collects the orlix.serial lines Qt's message handler receives.
struct SerialLog {
    SerialLog() {
        lines().clear();
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

TEST(QtSerialLinkLog, FailedOpenIsLoggedOnceWithPathAndReasonThenOpenAndClose) {
    ensureApp();
    SerialLog log;
    QtSerialLink link;
    link.setPortPath("/nonexistent/ttyS98");
    for (int i = 0; i < 5; ++i) EXPECT_EQ(link.open(), OpenResult::Failed);
    ASSERT_EQ(SerialLog::lines().size(), 1u);
    const std::string& failed = SerialLog::lines()[0];
    EXPECT_TRUE(starts(failed, "warning: cannot open /nonexistent/ttyS98: ")) << failed;
    EXPECT_NE(failed.find("No such file or directory"), std::string::npos) << failed;

    Pty pty;
    ASSERT_FALSE(pty.slave.empty());
    link.setPortPath(pty.slave);
    ASSERT_EQ(link.open(), OpenResult::Ok);
    EXPECT_TRUE(link.close());
    ASSERT_EQ(SerialLog::lines().size(), 3u);
    // Another path: no reconnect, and the failures of the old one do not count.
    EXPECT_EQ(SerialLog::lines()[1], "info: opened " + pty.slave + " read-only at 1200 baud");
    EXPECT_EQ(SerialLog::lines()[2], "info: closed " + pty.slave);
}

TEST(QtSerialLinkLog, LossFailedRetriesAndReconnectAreLoggedOnce) {
    ensureApp();
    SerialLog log;
    const auto path = std::filesystem::temp_directory_path() / ("orlix_link_" + std::to_string(::getpid()));
    std::filesystem::remove(path);
    auto first = std::make_unique<Pty>();
    std::filesystem::create_symlink(first->slave, path);
    QtSerialLink link;
    bool lost = false;
    link.onTrouble = [&](PortTrouble t) {
        if (t == PortTrouble::Lost) lost = true;
    };
    link.onReadyRead = [&] { link.readAll(); };
    link.setPortPath(path.string());
    ASSERT_EQ(link.open(), OpenResult::Ok);
    first.reset();  // the adapter is pulled
    for (int i = 0; i < 1000 && !lost; ++i) QTest::qWait(10);
    ASSERT_TRUE(lost);
    link.close();
    // The retries while the device is away.
    std::filesystem::remove(path);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(link.open(), OpenResult::Failed);
    Pty second;  // the adapter is back
    std::filesystem::create_symlink(second.slave, path);
    ASSERT_EQ(link.open(), OpenResult::Ok);
    link.close();
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

TEST(QtSerialLinkLog, PermissionRefusalNamesTheGroupAndTheRemedyInTheLogAndTheHint) {
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
        QtSerialLink link;
        link.setPortPath(pty.slave);
        if (link.open() != OpenResult::Failed) return 1;
        if (link.open() != OpenResult::Failed) return 2;
        const std::string hint = link.openFailureHint();
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
        link.setPortPath(own.slave);
        if (link.open() != OpenResult::Ok || !link.openFailureHint().empty()) return 8;
        link.close();
        link.setPortPath("/nonexistent/ttyUSB9");
        if (link.open() != OpenResult::Failed || !link.openFailureHint().empty()) return 9;
        return 0;
    });
    EXPECT_EQ(rc, 0);
}

}  // namespace
}  // namespace orlix
