#include "platform/log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
