#include "sources/port_permission.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "run_unprivileged.h"

namespace orlix {
namespace {

using test::runUnprivileged;

const std::string kDialoutRemedy = "add yourself to the dialout group: sudo usermod -aG dialout $USER, then log in again";

DeviceAccess usbAdapter() {
    DeviceAccess d;
    d.path = "/dev/ttyUSB0";
    d.owner = "root";
    d.group = "dialout";
    d.groupMayRead = true;
    return d;
}

TEST(PortDenial, JoiningTheGroupIsTheRemedyOnlyWhenItWouldHelp) {
    const PortDenial usb = describeDenial(usbAdapter());
    EXPECT_EQ(usb.remedy, kDialoutRemedy);
    EXPECT_EQ(denialText(usb), "No permission to read /dev/ttyUSB0, which belongs to the group dialout. "
                               "To use it, " + kDialoutRemedy + ".");

    DeviceAccess uucp = usbAdapter();
    uucp.group = "uucp";
    EXPECT_EQ(describeDenial(uucp).remedy, "add yourself to the uucp group: sudo usermod -aG uucp $USER, then log in again");

    // Joining does not help when the group may not read, when the process is
    // in it already, or when the group is root's.
    DeviceAccess closed = usbAdapter();
    closed.groupMayRead = false;
    DeviceAccess member = usbAdapter();
    member.inGroup = true;
    DeviceAccess rootGroup = usbAdapter();
    rootGroup.group = "root";
    rootGroup.groupIsPrivileged = true;
    for (const DeviceAccess& d : {closed, member, rootGroup}) {
        const PortDenial p = describeDenial(d);
        EXPECT_TRUE(p.remedy.empty()) << d.group;
        EXPECT_EQ(denialText(p), "No permission to read /dev/ttyUSB0 (owner root, group " + d.group + ").");
    }
}

TEST(PortDenial, ReadableMissingAndDeniedDevices) {
    const auto dir = std::filesystem::temp_directory_path() / ("orlix_perm_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string readable = (dir / "readable").string();
    std::ofstream(readable) << "x";
    EXPECT_FALSE(portDenial(readable).has_value());
    EXPECT_FALSE(portDenial((dir / "missing").string()).has_value());  // missing is not denied

    // A pseudo-terminal stands in for a USB adapter: owned by root, group
    // dialout, mode 0660, opened by a user outside the group. Root reads
    // any node, so the check runs as nobody.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string slave = ::ptsname(master);
    const group* dialout = ::getgrnam("dialout");
    if (::geteuid() != 0 || dialout == nullptr) {
        ::close(master);
        std::filesystem::remove_all(dir);
        GTEST_SKIP() << "needs root and a dialout group to hand the device to";
    }
    ASSERT_EQ(::chown(slave.c_str(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(::chmod(slave.c_str(), 0660), 0);
    const int asUsbAdapter = runUnprivileged([&] {
        const auto d = portDenial(slave);
        if (!d) return 1;
        if (d->remedy != kDialoutRemedy) return 2;
        if (d->reason != "No permission to read " + slave + ", which belongs to the group dialout.") return 3;
        return portDenial(readable).has_value() ? 4 : 0;
    });
    EXPECT_EQ(asUsbAdapter, 0);

    // Made unreadable for everyone but root: no group to join.
    ASSERT_EQ(::chmod(slave.c_str(), 0000), 0);
    const int unreadable = runUnprivileged([&] {
        const auto d = portDenial(slave);
        if (!d) return 1;
        if (!d->remedy.empty()) return 2;
        return d->reason == "No permission to read " + slave + " (owner root, group dialout)." ? 0 : 3;
    });
    EXPECT_EQ(unreadable, 0);
    ::close(master);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace orlix
