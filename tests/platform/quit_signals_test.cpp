#include "platform/quit_signals.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <QTest>
#include <vector>

namespace orlix {
namespace {

void ensureApp() {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "platform_tests";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
}

sighandler_t currentHandler(int sig) {
    struct sigaction sa {};
    ::sigaction(sig, nullptr, &sa);
    return sa.sa_handler;
}

TEST(QuitSignals, TerminationSignalsReachTheEventLoopAndTheDefaultsComeBack) {
    ensureApp();
    std::vector<int> seen;
    {
        QuitSignals quit([&](int sig) { seen.push_back(sig); });
        ASSERT_TRUE(quit.installed());
        // The process lives on; the request waits for the event loop.
        ASSERT_EQ(::raise(SIGTERM), 0);
        ASSERT_EQ(::raise(SIGHUP), 0);
        EXPECT_TRUE(seen.empty());
        for (int i = 0; i < 200 && seen.size() < 2; ++i) QTest::qWait(5);
        EXPECT_EQ(seen, (std::vector<int>{SIGTERM, SIGHUP}));
        ASSERT_EQ(::raise(SIGINT), 0);
        for (int i = 0; i < 200 && seen.size() < 3; ++i) QTest::qWait(5);
        EXPECT_EQ(seen.back(), SIGINT);
    }
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) EXPECT_EQ(currentHandler(sig), SIG_DFL) << sig;
}

}  // namespace
}  // namespace orlix
