#pragma once
// Root ignores file permissions: checks about read-only files and folders
// run in a child process as an unprivileged user then.
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace orlix::test {

// Runs `check` (as nobody when this process is root) and returns its exit
// code: 0 = all good, otherwise the number of the first failed check.
inline int runUnprivileged(const std::function<int()>& check) {
    if (::geteuid() != 0) return check();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(99);
        ::_exit(check());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 98;
}

// Runs `check` in a child process (for limits and signal settings that must
// not touch the test program) and returns its exit code: 0 = all good.
inline int runInChild(const std::function<int()>& check) {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(check());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 98;
}

}  // namespace orlix::test
