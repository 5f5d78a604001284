#pragma once
// Output of the command-line programs' help and version texts. Standard
// output is checked: a text that could not be written (a full disk,
// /dev/full, a closed stdout) is an error the program reports and exits 1
// for, never a silent success.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace orlix {

// Writes `text` to stdout and flushes it. On failure writes
// "<program>: cannot write to standard output: <reason>" to stderr and
// returns false.
inline bool writeStdout(const char* program, std::string_view text) {
    errno = 0;
    const bool ok = std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
    if (ok) return true;
    const int error = errno;
    std::fprintf(stderr, "%s: cannot write to standard output: %s\n", program,
                 error ? std::strerror(error) : "write failed");
    return false;
}

}  // namespace orlix
