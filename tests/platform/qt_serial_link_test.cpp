#include "platform/qt_serial_link.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QTest>

namespace orlix {
namespace {

void ensureApp() {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "platform_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
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
    for (int i = 0; i < 100 && got.size() < 5; ++i) QTest::qWait(10);
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
    for (int i = 0; i < 200 && seen.empty(); ++i) QTest::qWait(10);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), PortTrouble::Lost);
    EXPECT_FALSE(link.isOpen());
}

}  // namespace
}  // namespace orlix
