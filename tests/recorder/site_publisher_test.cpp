// The messages a recorder publishes for its site, by topic and QoS.
#include "recorder/site_publisher.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "base/clock.h"
#include "local_zone.h"
#include "sampling/sampler.h"

namespace orlix {
namespace {

TEST(SitePublisher, PublishesTheNewestSampleAndTheStatusOfEntries) {
    struct Sent {
        std::string topic, payload;
        int qos;
    };
    std::vector<Sent> sent;
    test::LocalZone zone("Europe/Berlin");
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
    EXPECT_EQ(sent[1].payload,
              "{\"list\": \"ComErr\", \"time\": \"2025-01-02T03:04:05\", \"utc_offset\": \"+01:00\", "
              "\"status\": \"Com Err E1\"}");
    EXPECT_EQ(sent[2].topic, "plants/s1/raw");
    EXPECT_EQ(sent[2].qos, 0);
    EXPECT_EQ(sent[2].payload, std::string("\x55\xa5\x00", 3));
    EXPECT_EQ(pub.statusTopic(), "plants/s1/status");
}

std::int64_t unixMicrosOfUtc(std::chrono::sys_days day, int hour, int minute, int second) {
    using namespace std::chrono;
    return duration_cast<microseconds>((day + hours(hour) + minutes(minute) + seconds(second)).time_since_epoch())
        .count();
}

// Samples and faults across both clock changes of a year in Berlin carry
// the offset in force at their instant: local time and offset together name
// that instant, also in the hour that the change in autumn repeats.
TEST(SitePublisher, TheUtcOffsetFollowsTheInstantAcrossClockChanges) {
    using namespace std::chrono;
    test::LocalZone zone("Europe/Berlin");
    std::vector<std::string> sent;
    CaptureTimeClock clock;
    SitePublisher pub("plants/s1", clock, [&](const std::string&, std::span<const std::uint8_t> p, int, bool) {
        sent.emplace_back(p.begin(), p.end());
    });
    std::array<std::int32_t, 52> live{};
    Sampler sampler(live);
    sampler.addListener(&pub);
    const auto at = [&](std::int64_t us) {
        clock.set(us);
        sampler.tick(clock.now());
        pub.addErrorEntry(0, "00:00:00E1");
    };
    const sys_days spring = 2026y / March / 29, autumn = 2026y / October / 25;
    at(unixMicrosOfUtc(spring, 0, 59, 59));
    at(unixMicrosOfUtc(spring, 1, 0, 0));
    for (int quarter = 0; quarter <= 8; ++quarter) at(unixMicrosOfUtc(autumn, 0, 15 * quarter, 0));
    const std::vector<std::string> expected{
        "2026-03-29T01:59:59\", \"utc_offset\": \"+01:00", "2026-03-29T03:00:00\", \"utc_offset\": \"+02:00",
        "2026-10-25T02:00:00\", \"utc_offset\": \"+02:00", "2026-10-25T02:15:00\", \"utc_offset\": \"+02:00",
        "2026-10-25T02:30:00\", \"utc_offset\": \"+02:00", "2026-10-25T02:45:00\", \"utc_offset\": \"+02:00",
        "2026-10-25T02:00:00\", \"utc_offset\": \"+01:00", "2026-10-25T02:15:00\", \"utc_offset\": \"+01:00",
        "2026-10-25T02:30:00\", \"utc_offset\": \"+01:00", "2026-10-25T02:45:00\", \"utc_offset\": \"+01:00",
        "2026-10-25T03:00:00\", \"utc_offset\": \"+01:00"};
    ASSERT_EQ(sent.size(), 2 * expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const std::string timeAndOffset = "\"time\": \"" + expected[i] + "\", ";
        EXPECT_EQ(sent[2 * i].find(timeAndOffset), 1u) << "sample " << i << ": " << sent[2 * i].substr(0, 60);
        EXPECT_NE(sent[2 * i + 1].find(timeAndOffset), std::string::npos) << "fault " << i << ": " << sent[2 * i + 1];
    }
}

}  // namespace
}  // namespace orlix
