#include "monitor/command_line.h"

#include <gtest/gtest.h>

namespace orlix {
namespace {

TEST(MonitorOptions, NoOptionsChangeNothing) {
    const ParseResult r = parseMonitorOptions({});
    ASSERT_TRUE(r.options);
    EXPECT_FALSE(r.options->demo);
    EXPECT_TRUE(r.options->portOverrides.empty());
    EXPECT_EQ(r.options->timeScale, 1.0);
}

TEST(MonitorOptions, PortsDemoAndTimeScale) {
    const ParseResult r = parseMonitorOptions(
        {"--port", "Com3=/tmp/a=b", "--demo", "--time-scale", "2.5", "--port", "Com16=/dev/ttyUSB0"});
    ASSERT_TRUE(r.options) << r.error;
    ASSERT_EQ(r.options->portOverrides.size(), 2u);
    EXPECT_EQ(r.options->portOverrides[0].label, "Com3");
    EXPECT_EQ(r.options->portOverrides[0].path, "/tmp/a=b");
    EXPECT_EQ(r.options->portOverrides[1].label, "Com16");
    EXPECT_TRUE(r.options->demo);
    EXPECT_EQ(r.options->timeScale, 2.5);
}

TEST(MonitorOptions, BadOptionsAreRejectedWithAReason) {
    const std::vector<std::vector<std::string>> bad = {
        {"--port"}, {"--port", "Com17=/x"}, {"--port", "Com0=/x"}, {"--port", "Com01=/x"},
        {"--port", "com1=/x"}, {"--port", "Com1="}, {"--port", "/dev/ttyS0"},
        {"--time-scale", "0"}, {"--time-scale", "-2"}, {"--time-scale", "fast"},
        {"--time-scale", "nan"}, {"--time-scale"}, {"--speed", "2"},
    };
    for (const auto& args : bad) {
        const ParseResult r = parseMonitorOptions(args);
        EXPECT_FALSE(r.options) << args.back();
        EXPECT_FALSE(r.error.empty()) << args.back();
    }
}

}  // namespace
}  // namespace orlix
