#include "base/folders.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace orlix {

bool makeFolders(const std::string& path, std::string& error) {
    // Each prefix ending before a '/' (and the whole path) from the top down:
    // existing ones are passed, the first missing one is made, and so on.
    for (std::size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
        const std::string folder = path.substr(0, end);
        if (!folder.empty() && folder.back() != '/' && ::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
            error = "cannot make the folder " + folder + ": " + std::strerror(errno);
            return false;
        }
        if (end == std::string::npos || end + 1 >= path.size()) break;
    }
    struct stat st{};
    const int e = ::stat(path.c_str(), &st) != 0 ? errno : S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    if (e != 0) error = "cannot make the folder " + path + ": " + std::strerror(e);
    return e == 0;
}

}  // namespace orlix
