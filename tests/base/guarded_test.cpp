#include "base/guarded.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "log_capture.h"

namespace orlix {
namespace {

void namedHandler(int& runs, const char* cause) {
    guarded([&] {
        ++runs;
        throw std::runtime_error(cause);
    });
}

TEST(Guarded, ThrowingHandlerIsLoggedOnceWithItsPlaceAndCause) {
    test::LogCapture capture;
    int runs = 0;
    for (int i = 0; i < 50; ++i) namedHandler(runs, "grid row out of range");
    EXPECT_EQ(runs, 50);  // the handler ran every time; the program went on
    const auto lines = capture.of(log::kUi);
    ASSERT_EQ(lines.size(), 1u) << (lines.empty() ? "" : lines.back());
    const std::string& l = lines[0];
    EXPECT_EQ(l.rfind("orlix.ui|warning|event handler namedHandler (guarded_test.cpp:", 0), 0u) << l;
    EXPECT_NE(l.find(") failed: grid row out of range ("), std::string::npos) << l;
    EXPECT_NE(l.find("counted"), std::string::npos) << l;

    // Another cause at the same place is news.
    namedHandler(runs, "another cause");
    EXPECT_EQ(capture.of(log::kUi).size(), 2u);
}

TEST(Guarded, LambdaPlaceAndAnythingThrownAreLogged) {
    test::LogCapture capture;
    const int line = __LINE__ + 1;
    guarded([] { throw 42; });
    const auto lines = capture.of(log::kUi);
    ASSERT_EQ(lines.size(), 1u);
    // Called from the test body, a function of its own name.
    EXPECT_NE(lines[0].find("guarded_test.cpp:" + std::to_string(line) + ")"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("failed: unknown exception"), std::string::npos) << lines[0];
}

TEST(Guarded, HandlerThatSucceedsLogsNothing) {
    test::LogCapture capture;
    int runs = 0;
    guarded([&] { ++runs; });
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(capture.all().empty());
}

TEST(Guarded, ContextNamesTheFunctionOrOnlyThePlace) {
    EXPECT_EQ(handlerContext("/src/analyzer/frm_chart.cpp", 543, "onTick"), "event handler onTick (frm_chart.cpp:543)");
    EXPECT_EQ(handlerContext("src/monitor/frm_main.cpp", 262, "operator()"), "event handler at frm_main.cpp:262");
    EXPECT_EQ(handlerContext("C:\\src\\frm_main.cpp", 7, ""), "event handler at frm_main.cpp:7");
}

}  // namespace
}  // namespace orlix
