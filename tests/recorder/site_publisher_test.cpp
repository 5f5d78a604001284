// The messages a recorder publishes for its site, by topic and QoS.
#include "recorder/site_publisher.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/clock.h"
#include "sampling/sampler.h"

namespace orlix {
namespace {

TEST(SitePublisher, PublishesTheNewestSampleAndTheStatusOfEntries) {
    struct Sent {
        std::string topic, payload;
        int qos;
    };
    std::vector<Sent> sent;
    ManualClock clock(makeDateTime({2025, 1, 2, 3, 4, 5}));
    SitePublisher pub("plants/s1", clock, [&](const std::string& topic, std::span<const std::uint8_t> p, int qos, bool) {
        sent.push_back({topic, std::string(p.begin(), p.end()), qos});
    });
    std::array<std::int32_t, 52> live{};
    Sampler sampler(live);
    sampler.addListener(&pub);
    live[0] = 999;
    sampler.tick(clock.now() - secondsToDays(4));
    live[0] = 321;
    sampler.tick(clock.now());
    sent.erase(sent.begin());  // the first sample
    pub.addErrorEntry(1, "03:04:05Com Err E1");
    const std::uint8_t bytes[] = {0x55, 0xa5, 0x00};
    pub.onRead(bytes);
    pub.onRead({});
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].topic, "plants/s1/sample");
    EXPECT_EQ(sent[0].qos, 1);
    EXPECT_NE(sent[0].payload.find("\"Pd\": 321,"), std::string::npos);
    EXPECT_EQ(sent[1].topic, "plants/s1/faults");
    EXPECT_EQ(sent[1].payload, "{\"list\": \"ComErr\", \"time\": \"2025-01-02T03:04:05\", \"status\": \"Com Err E1\"}");
    EXPECT_EQ(sent[2].topic, "plants/s1/raw");
    EXPECT_EQ(sent[2].qos, 0);
    EXPECT_EQ(sent[2].payload, std::string("\x55\xa5\x00", 3));
    EXPECT_EQ(pub.statusTopic(), "plants/s1/status");
}

}  // namespace
}  // namespace orlix
