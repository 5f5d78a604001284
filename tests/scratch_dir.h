#pragma once
// A fresh scratch folder per test, removed with everything in it (also
// after a test took away its permissions).
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <system_error>

namespace orlix::test {

class ScratchDir {
public:
    explicit ScratchDir(const std::string& prefix) {
        static std::atomic<int> serial{0};
        dir_ = std::filesystem::temp_directory_path() /
               (prefix + "_" + std::to_string(::getpid()) + "_" + std::to_string(serial++));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::permissions(dir_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(dir_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string file(const std::string& name) const { return (dir_ / name).string(); }
    std::string folder() const { return dir_.string(); }

private:
    std::filesystem::path dir_;
};

}  // namespace orlix::test
