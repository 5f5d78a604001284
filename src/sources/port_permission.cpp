#include "sources/port_permission.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace orlix {
namespace {

std::string userName(uid_t uid) {
    if (const passwd* p = ::getpwuid(uid)) return p->pw_name;
    return std::to_string(uid);
}

std::string groupName(gid_t gid) {
    if (const group* g = ::getgrgid(gid)) return g->gr_name;
    return std::to_string(gid);
}

bool processInGroup(gid_t gid) {
    if (::getegid() == gid) return true;
    const int n = ::getgroups(0, nullptr);
    if (n <= 0) return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(n));
    const int got = ::getgroups(n, groups.data());
    for (int i = 0; i < got; ++i)
        if (groups[static_cast<std::size_t>(i)] == gid) return true;
    return false;
}

}  // namespace

PortDenial describeDenial(const DeviceAccess& d) {
    if (d.groupMayRead && !d.groupIsPrivileged && !d.inGroup)
        return {"No permission to read " + d.path + ", which belongs to the group " + d.group + ".",
                "add yourself to the " + d.group + " group: sudo usermod -aG " + d.group +
                    " $USER, then log in again"};
    return {"No permission to read " + d.path + " (owner " + d.owner + ", group " + d.group + ").", {}};
}

std::optional<PortDenial> portDenial(const std::string& path) {
    // The effective ids decide, as they do for the open itself.
    if (::faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) == 0 || errno != EACCES) return std::nullopt;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    DeviceAccess d;
    d.path = path;
    d.owner = userName(st.st_uid);
    d.group = groupName(st.st_gid);
    d.groupMayRead = (st.st_mode & S_IRGRP) != 0;
    d.groupIsPrivileged = st.st_gid == 0;
    d.inGroup = processInGroup(st.st_gid);
    return describeDenial(d);
}

std::string denialText(const PortDenial& denial) {
    if (denial.remedy.empty()) return denial.reason;
    return denial.reason + " To use it, " + denial.remedy + ".";
}

}  // namespace orlix
