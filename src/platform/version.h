#pragma once
// The version every program prints for --version: the project version and
// the commit it was built from, "4.0 (git 1a2b3c4)" ("git unknown" for a
// build outside a git checkout).
namespace orlix {

const char* versionText();

}  // namespace orlix
