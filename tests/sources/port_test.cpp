#include "sources/port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace orlix {
namespace {

// A source that records what it was told and can raise its callbacks.
class RecordingSource final : public SerialPort {
public:
    explicit RecordingSource(std::string name, int* made) : name_(std::move(name)) { ++*made; }
    void setPortPath(const std::string& path) override { path_ = path; }
    std::string portPath() const override { return path_; }
    void setBaudRate(int baud) override { baud_ = baud; }
    int baudRate() const override { return baud_; }
    OpenResult open() override {
        if (open_) return OpenResult::AlreadyOpen;
        open_ = true;
        return OpenResult::Ok;
    }
    bool close() override {
        open_ = false;
        return true;
    }
    bool isOpen() const override { return open_; }
    std::vector<std::uint8_t> readAll() override { return {name_.begin(), name_.end()}; }

    std::string name_, path_;
    int baud_ = 0;
    bool open_ = false;
};

TEST(PortKindOf, UrlsCapturesAndDevices) {
    EXPECT_EQ(portKindOf("mqtt://broker/plant/site1"), PortKind::Mqtt);
    EXPECT_EQ(portKindOf("mqtts://broker:8883/plant/site1"), PortKind::Mqtt);
    EXPECT_EQ(portKindOf("/tmp/nothing-here/day.PCAP"), PortKind::Capture);
    EXPECT_EQ(portKindOf("/dev/ttyUSB0"), PortKind::Serial);
    EXPECT_EQ(portKindOf("COM3"), PortKind::Serial);
    EXPECT_EQ(portKindOf("mqtt:/one-slash"), PortKind::Serial);

    // A capture under another name is known by its magic number; any other
    // file is taken for a device (a pseudo-terminal link, say).
    const auto dir = std::filesystem::temp_directory_path() / ("orlix-router-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "bus.cap", std::ios::binary) << "\xd4\xc3\xb2\xa1" << std::string(20, '\0');
    std::ofstream(dir / "other", std::ios::binary) << "plain text";
    EXPECT_EQ(portKindOf((dir / "bus.cap").string()), PortKind::Capture);
    EXPECT_EQ(portKindOf((dir / "other").string()), PortKind::Serial);
    std::filesystem::remove_all(dir);
}

// A pseudo-terminal linked outside /dev is a device: it is not read for a
// magic number (the read would block with nothing waiting, and take the
// bytes off the line with something waiting).
TEST(PortKindOf, ALinkToAPseudoTerminalIsNotRead) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const auto link = std::filesystem::temp_directory_path() / ("orlix-router-pty-" + std::to_string(::getpid()));
    std::filesystem::create_symlink(::ptsname(master), link);
    const int slave = ::open(link.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(slave, 0);
    termios t{};
    ::tcgetattr(slave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave, TCSANOW, &t);
    const unsigned char frame[] = {0xd4, 0xc3, 0xb2, 0xa1, 0x55};
    ASSERT_EQ(::write(master, frame, sizeof frame), 5);
    ::usleep(50000);
    EXPECT_EQ(portKindOf(link.string()), PortKind::Serial);
    unsigned char got[8] = {};
    EXPECT_EQ(::read(slave, got, sizeof got), 5) << "the bytes are still waiting";
    ::close(slave);
    ::close(master);
    std::filesystem::remove(link);
}

TEST(PortRouter, MakesTheSourceThePathNamesAndPassesEverythingThrough) {
    int serialMade = 0, mqttMade = 0;
    RecordingSource* last = nullptr;
    PortRouter router;
    router.setFactory(PortKind::Serial, [&] {
        auto s = std::make_unique<RecordingSource>("serial", &serialMade);
        last = s.get();
        return s;
    });
    router.setFactory(PortKind::Mqtt, [&] {
        auto s = std::make_unique<RecordingSource>("mqtt", &mqttMade);
        last = s.get();
        return s;
    });
    int ready = 0;
    std::vector<PortTrouble> troubles;
    router.onReadyRead = [&] { ++ready; };
    router.onTrouble = [&](PortTrouble t) { troubles.push_back(t); };

    router.setBaudRate(2400);
    router.setPortPath("/dev/ttyUSB0");
    ASSERT_EQ(router.open(), OpenResult::Ok);
    EXPECT_EQ(router.open(), OpenResult::AlreadyOpen);
    EXPECT_EQ(last->path_, "/dev/ttyUSB0");
    EXPECT_EQ(last->baud_, 2400);
    const auto bytes = router.readAll();
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "serial");
    last->onReadyRead();
    last->onTrouble(PortTrouble::Lost);
    EXPECT_EQ(ready, 1);
    ASSERT_EQ(troubles.size(), 1u);
    EXPECT_EQ(troubles[0], PortTrouble::Lost);

    // Another device of the same kind reuses the source.
    EXPECT_TRUE(router.close());
    router.setPortPath("/dev/ttyUSB1");
    ASSERT_EQ(router.open(), OpenResult::Ok);
    EXPECT_EQ(serialMade, 1);
    EXPECT_EQ(last->path_, "/dev/ttyUSB1");

    // A URL makes the remote source, with the rate passed on as well.
    router.close();
    router.setPortPath("mqtt://127.0.0.1/plant/a");
    ASSERT_EQ(router.open(), OpenResult::Ok);
    EXPECT_EQ(mqttMade, 1);
    EXPECT_EQ(router.sourceKind(), PortKind::Mqtt);
    EXPECT_EQ(last->baud_, 2400);
    last->onReadyRead();
    EXPECT_EQ(ready, 2);
}

TEST(PortRouter, AKindWithoutSupportFailsWithAHint) {
    PortRouter router;
    router.setPortPath("mqtt://127.0.0.1/plant/a");
    EXPECT_EQ(router.open(), OpenResult::Failed);
    EXPECT_FALSE(router.isOpen());
    EXPECT_NE(router.openFailureHint().find("remote site"), std::string::npos);
    EXPECT_TRUE(router.readAll().empty());
    EXPECT_TRUE(router.close());
}

}  // namespace
}  // namespace orlix
