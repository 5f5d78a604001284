#pragma once
// A scratch folder for a bench's files, made at first use and removed at
// exit: /tmp/orlix_<name>_bench_<pid>.
#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace orlix::bench {

class WorkDir {
public:
    explicit WorkDir(const std::string& name)
        : path_(std::filesystem::temp_directory_path() /
                ("orlix_" + name + "_bench_" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(path_);
    }
    ~WorkDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    WorkDir(const WorkDir&) = delete;
    WorkDir& operator=(const WorkDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace orlix::bench
