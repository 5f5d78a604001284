#pragma once
// Runs a program for a test and collects its exit status and output.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace orlix::test {

struct RunResult {
    int status = -1;  // exit status, or -1 when it did not exit normally
    std::string out, err;
};

inline std::string readFile(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

inline std::filesystem::path tempPath(const std::string& stem) {
    static int n = 0;
    return std::filesystem::temp_directory_path() /
           ("orlix_tools_" + std::to_string(::getpid()) + "_" + std::to_string(++n) + "_" + stem);
}

// As a stdin or stdout path: the program starts with that descriptor closed.
inline const std::string kClosed = "<closed>";

// stdinPath "" means /dev/null; stdoutPath "" means a file read back into
// RunResult::out.
inline RunResult runProgram(const std::vector<std::string>& args, const std::string& stdinPath = "",
                            const std::string& stdoutPath = "") {
    const auto outPath = stdoutPath.empty() ? tempPath("out") : std::filesystem::path(stdoutPath);
    const auto errPath = tempPath("err");
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    if (stdinPath == kClosed)
        posix_spawn_file_actions_addclose(&fa, 0);
    else
        posix_spawn_file_actions_addopen(&fa, 0, stdinPath.empty() ? "/dev/null" : stdinPath.c_str(), O_RDONLY, 0);
    if (stdoutPath == kClosed)
        posix_spawn_file_actions_addclose(&fa, 1);
    else
        posix_spawn_file_actions_addopen(&fa, 1, outPath.c_str(),
                                         O_WRONLY | O_CREAT | (stdoutPath.empty() ? O_TRUNC : 0), 0644);
    posix_spawn_file_actions_addopen(&fa, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    RunResult r;
    if (posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ) == 0) {
        int ws = 0;
        waitpid(pid, &ws, 0);
        if (WIFEXITED(ws)) r.status = WEXITSTATUS(ws);
    }
    posix_spawn_file_actions_destroy(&fa);
    if (stdoutPath.empty()) {
        r.out = readFile(outPath);
        std::filesystem::remove(outPath);
    }
    r.err = readFile(errPath);
    std::filesystem::remove(errPath);
    return r;
}

inline std::vector<std::string> splitLines(const std::string& s) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < s.size()) {
        std::size_t nl = s.find('\n', at);
        if (nl == std::string::npos) nl = s.size();
        lines.push_back(s.substr(at, nl - at));
        at = nl + 1;
    }
    return lines;
}

}  // namespace orlix::test
