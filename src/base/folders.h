#pragma once
// Making a folder and the ones above it, with the real cause of a failure:
// the folder that could not be made and the system's reason for it (a
// read-only parent gives "Permission denied", a file in the way "Not a
// directory"), not what a later open of a file in it would say.
#include <string>

namespace orlix {

// Makes `path` and every missing folder above it (mode 0777 before the
// umask). True when it is a folder afterwards; otherwise `error` is
// "cannot make the folder P: REASON", P being the first one that failed.
bool makeFolders(const std::string& path, std::string& error);

}  // namespace orlix
