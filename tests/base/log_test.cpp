#include "base/log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "log_capture.h"

namespace orlix::log {
namespace {

TEST(LogRules, DefaultsAndLevelsFollowQtConventions) {
    EXPECT_FALSE(enabledByRules("", "orlix.database", Level::Debug));
    EXPECT_TRUE(enabledByRules("", "orlix.database", Level::Info));
    EXPECT_TRUE(enabledByRules("", "orlix.database", Level::Warning));
    // A rule without a level covers every level.
    EXPECT_FALSE(enabledByRules("orlix.database=false", "orlix.database", Level::Critical));
    EXPECT_TRUE(enabledByRules("orlix.database=false", "orlix.serial", Level::Warning));
    // A rule with a level covers that level only.
    EXPECT_TRUE(enabledByRules("orlix.serial.debug=true", "orlix.serial", Level::Debug));
    EXPECT_TRUE(enabledByRules("orlix.serial.warning=false", "orlix.serial", Level::Critical));
    EXPECT_FALSE(enabledByRules("orlix.serial.warning=false", "orlix.serial", Level::Warning));
}

TEST(LogRules, WildcardsAndOrderDecide) {
    EXPECT_TRUE(enabledByRules("orlix.*.debug=true", "orlix.capture", Level::Debug));
    EXPECT_FALSE(enabledByRules("*.database=false", "orlix.database", Level::Info));
    EXPECT_FALSE(enabledByRules("*serial*=false", "orlix.serial", Level::Warning));
    EXPECT_FALSE(enabledByRules("*=false", "anything", Level::Critical));
    // Later rules win; separators are ';' and newlines; blanks are allowed.
    EXPECT_TRUE(enabledByRules("orlix.*=false; orlix.serial=true", "orlix.serial", Level::Info));
    EXPECT_FALSE(enabledByRules("orlix.serial=true\norlix.*=false", "orlix.serial", Level::Info));
    // Malformed entries are ignored.
    EXPECT_TRUE(enabledByRules("orlix.serial=maybe;=;garbage", "orlix.serial", Level::Info));
}

std::vector<std::string> gSeen;
void record(std::string_view category, Level level, std::string_view message) {
    gSeen.push_back(std::string(category) + "|" + std::string(levelName(level)) + "|" + std::string(message));
}

TEST(LogSink, InstalledSinkReceivesEveryMessage) {
    gSeen.clear();
    setSink(&record);
    warning("orlix.database", "disk full");
    debug("orlix.comm", "x");
    setSink(nullptr);
    ASSERT_EQ(gSeen.size(), 2u);
    EXPECT_EQ(gSeen[0], "orlix.database|warning|disk full");
    EXPECT_EQ(gSeen[1], "orlix.comm|debug|x");
}

TEST(LogSink, StderrWriterWritesOneLineWithCategoryAndLevel) {
    testing::internal::CaptureStderr();
    warning("orlix.test", "port gone");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "orlix.test: warning: port gone\n");
}

}  // namespace
}  // namespace orlix::log

namespace orlix::log {
namespace {

using namespace std::chrono_literals;

// The rules are read from the environment once, at the first line: the
// check runs in a fresh process of this program that starts with them set.
TEST(LogSink, StderrWriterFollowsQtLoggingRulesFromTheEnvironment) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const char* old = std::getenv("QT_LOGGING_RULES");
    const std::string saved = old ? old : "";
    ::setenv("QT_LOGGING_RULES", "orlix.database=false;orlix.serial.debug=true", 1);
    EXPECT_EXIT(
        {
            warning(kDatabase, "switched off");
            debug(kSerial, "switched on");
            debug(kDatabase, "debug is off by default");
            ::setenv("QT_LOGGING_RULES", "orlix.serial=false", 1);  // read once: no effect now
            info(kSerial, "still on");
            std::exit(0);
        },
        testing::ExitedWithCode(0), "^orlix\\.serial: debug: switched on\norlix\\.serial: info: still on\n$");
    if (old) ::setenv("QT_LOGGING_RULES", saved.c_str(), 1);
    else ::unsetenv("QT_LOGGING_RULES");
}

TEST(RepeatFilter, FirstOccurrencePassesRepeatsAreCountedAndReportedAfterAMinute) {
    RepeatFilter f;
    const auto t0 = RepeatFilter::Clock::time_point{} + 1000s;
    const auto first = f.pass("tick failed: boom", t0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->rfind("tick failed: boom (", 0), 0u) << *first;
    EXPECT_NE(first->find("counted"), std::string::npos) << *first;
    // Every repeat within the minute is only counted.
    for (int i = 1; i <= 14; ++i) EXPECT_FALSE(f.pass("tick failed: boom", t0 + i * 4s)) << i;
    EXPECT_EQ(f.unreported("tick failed: boom"), 14u);
    // The first repeat a minute after the last line carries the count.
    const auto summary = f.pass("tick failed: boom", t0 + 60s);
    ASSERT_TRUE(summary);
    EXPECT_EQ(*summary, "tick failed: boom (again 15 times in the last 60 s)");
    EXPECT_EQ(f.unreported("tick failed: boom"), 0u);
    // The next minute counts from that line on.
    EXPECT_FALSE(f.pass("tick failed: boom", t0 + 100s));
    EXPECT_EQ(f.pass("tick failed: boom", t0 + 121s), "tick failed: boom (again 2 times in the last 61 s)");
    EXPECT_EQ(f.pass("tick failed: boom", t0 + 200s), "tick failed: boom (again 1 time in the last 79 s)");
}

TEST(RepeatFilter, DifferentTextsAreNewsAndResetForgetsAll) {
    RepeatFilter f;
    const auto t = RepeatFilter::Clock::time_point{} + 5s;
    EXPECT_TRUE(f.pass("a", t));
    EXPECT_TRUE(f.pass("b", t));
    EXPECT_FALSE(f.pass("a", t));
    EXPECT_FALSE(f.pass("b", t));
    f.reset();
    EXPECT_TRUE(f.pass("a", t));
    EXPECT_EQ(f.unreported("b"), 0u);
}

TEST(RepeatFilter, MemoryStaysBoundedWhenEveryTextDiffers) {
    RepeatFilter f;
    const auto t = RepeatFilter::Clock::time_point{} + 5s;
    for (std::size_t i = 0; i < RepeatFilter::kMaxTexts * 3; ++i) EXPECT_TRUE(f.pass("text " + std::to_string(i), t));
    // The latest texts are still known as repeats.
    EXPECT_FALSE(f.pass("text " + std::to_string(RepeatFilter::kMaxTexts * 3 - 1), t));
}

TEST(LogFailure, RepeatsOfOneFailureWriteOneLinePerCategory) {
    test::LogCapture capture;
    for (int i = 0; i < 100; ++i) failure(kChart, "step x failed: disk on fire");
    failure(kDatabase, "step x failed: disk on fire");  // another category: news
    failure(kChart, "step x failed: other cause");       // another cause: news
    ASSERT_EQ(capture.all().size(), 3u);
    EXPECT_EQ(capture.all()[0].rfind("orlix.chart|warning|step x failed: disk on fire (", 0), 0u) << capture.all()[0];
    EXPECT_EQ(capture.all()[1].rfind("orlix.database|warning|step x failed: disk on fire (", 0), 0u);
    EXPECT_EQ(capture.all()[2].rfind("orlix.chart|warning|step x failed: other cause (", 0), 0u);
}

struct NotAnException {};

TEST(LogFailure, CaughtExceptionGivesWhatOrUnknown) {
    test::LogCapture capture;
    try {
        throw std::runtime_error("no space");
    } catch (...) {
        caughtException(kChart, "saving a thing");
    }
    try {
        throw NotAnException{};
    } catch (...) {
        caughtException(kChart, "saving a thing");
    }
    ASSERT_EQ(capture.all().size(), 2u);
    EXPECT_EQ(capture.all()[0].rfind("orlix.chart|warning|saving a thing failed: no space (", 0), 0u)
        << capture.all()[0];
    EXPECT_EQ(capture.all()[1].rfind("orlix.chart|warning|saving a thing failed: unknown exception (", 0), 0u)
        << capture.all()[1];
    EXPECT_EQ(currentExceptionText(), "");  // outside a catch block
}

}  // namespace
}  // namespace orlix::log
