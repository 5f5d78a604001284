#include "monitor/port_choices.h"

#include <gtest/gtest.h>

#include "sources/byte_source.h"

namespace orlix {
namespace {

TEST(PortChoices, OverridesReplaceTheirItemAndKnownDevicesAreNotListedTwice) {
    const auto choices = buildPortChoices({{"Com3", "/tmp/plant"}},
                                          {{"ttyS2", "/tmp/plant"}, {"ttyS1", comPortPath(2)}, {"ttyACM0", "/dev/ttyACM0"}});
    ASSERT_EQ(choices.size(), 17u);
    EXPECT_EQ(choices[2].label, "Com3");
    EXPECT_EQ(choices[2].path, "/tmp/plant");
    EXPECT_EQ(choices[15].path, comPortPath(16));
    EXPECT_EQ(choices[16].label, "ttyACM0");
#ifndef _WIN32
    EXPECT_EQ(comPortPath(16), "/dev/ttyS15");
#endif
}

}  // namespace
}  // namespace orlix
