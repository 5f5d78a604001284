#pragma once
// Waiting in tests for something another thread or the event loop brings
// about: polls a condition until it holds or the time is up.
#include <QCoreApplication>
#include <QTest>
#include <chrono>
#include <thread>

namespace orlix::test {

// Polls `done` every 20 ms without running the event loop (for work done
// on other threads).
template <class Done>
bool waitUntil(Done done, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return done();
}

// Runs the event loop until `done` holds or `ms` have passed.
template <class Done>
bool qtWaitUntil(Done done, int ms = 10000) {
    for (int i = 0; i < ms / 10 && !done(); ++i) QTest::qWait(10);
    return done();
}

// The application object a test program's Qt tests need.
inline void ensureCoreApp(const char* name) {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char buf[64];
    std::snprintf(buf, sizeof buf, "%s", name);
    static char* argv[] = {buf, nullptr};
    new QCoreApplication(argc, argv);
}

}  // namespace orlix::test
