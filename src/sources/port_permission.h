#pragma once
// Why a serial device cannot be opened when the reason is a missing
// permission, and what the user can do about it. USB serial adapters on
// Debian and Ubuntu belong to root and the group dialout (mode 0660): a user
// outside that group gets "Permission denied" and needs to join it.
#include <optional>
#include <string>
#include <sys/types.h>

namespace orlix {

struct PortDenial {
    std::string reason;  // "no permission to open /dev/ttyUSB0 (group dialout)"
    std::string remedy;  // empty when there is no remedy a user can apply
};

// What is known about a device that refused this process.
struct DeviceAccess {
    std::string path;
    std::string owner;           // user name (or number) of the owner
    std::string group;           // group name (or number)
    bool groupMayRead = false;   // the group's read bit is set
    bool groupIsPrivileged = false;  // the group is root's
    bool inGroup = false;        // this process is a member of the group already
};

// The reason and the remedy for a device that refused this process: joining
// the device's group when the group may read it, the process is not in it
// yet and the group is not root's.
PortDenial describeDenial(const DeviceAccess& device);

// The denial of `path` when this process lacks the permission to open it
// for reading (EACCES); nothing when it may read it, or when it cannot be
// opened for another reason (missing, in use).
std::optional<PortDenial> portDenial(const std::string& path);

// The denial as one line: reason, and the remedy when there is one.
std::string denialText(const PortDenial& denial);

}  // namespace orlix
