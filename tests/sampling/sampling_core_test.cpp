#include "sampling/sampling_core.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace orlix {
namespace {

struct Core {
    std::unique_ptr<LiveBuffers> b = std::make_unique<LiveBuffers>();
    SamplingCore core{*b};
    std::array<std::int32_t, 52> live{};
    DateTime now = makeDateTime({2026, 12, 8, 10, 0, 0});
    std::vector<int> batchCounts;  // SampleCount at each batch

    void tick(int n = 1) {
        for (int i = 0; i < n; ++i) {
            now += secondsToDays(4);
            if (core.tick(live, now)) batchCounts.push_back(b->SampleCount);
        }
    }
};

TEST(SamplingCore, SevenHundredTwentyTicksFillTheWindowOldestFirst) {
    Core c;
    c.tick();
    for (int k = 0; k < 51; ++k)
        for (int x = 0; x < 719; ++x) ASSERT_EQ(c.b->LiveCurveData[k][x], 0);
    EXPECT_EQ(c.b->LiveSampleTime[719], c.now);
    EXPECT_EQ(c.b->LiveSampleTime[718], 0);
    for (int i = 2; i <= 730; ++i) {
        c.live[5] = i;
        c.live[49] = -i;
        c.tick();
    }
    const auto& b = *c.b;
    for (int x = 0; x < 720; ++x) {
        ASSERT_EQ(b.LiveCurveData[5][x], 11 + x) << x;
        ASSERT_EQ(b.LiveCurveData[49][x], -11 - x) << x;
    }
    for (int x = 1; x < 720; ++x)
        ASSERT_NEAR(b.LiveSampleTime[x] - b.LiveSampleTime[x - 1], secondsToDays(4), 1e-9);
    EXPECT_EQ(b.LiveSampleTime[719], c.now);
    // Row 50 and position 720 are never written.
    EXPECT_EQ(b.LiveSampleTime[720], 0);
    EXPECT_EQ(b.LiveCurveData[5][720], 0);
    c.live[50] = 7;
    c.tick();
    EXPECT_EQ(b.LiveCurveData[50][719], 0);
    EXPECT_EQ(b.SampleCount, 731);
}

TEST(SamplingCore, ValuesBeyondSixteenBitsRepeatThePreviousSample) {
    Core c;
    for (const std::int32_t v : {5, 40000, -40000, -32768, 32767, 32768}) {
        c.live[3] = v;
        c.tick();
    }
    const auto& row = c.b->LiveCurveData[3];
    EXPECT_EQ(row[714], 5);
    EXPECT_EQ(row[715], 5);
    EXPECT_EQ(row[716], 5);
    EXPECT_EQ(row[717], -32768);
    EXPECT_EQ(row[718], 32767);
    EXPECT_EQ(row[719], 32767);
}

TEST(SamplingCore, SampleCountWrapsAfter60000) {
    Core c;
    c.b->SampleCount = 59999;
    c.tick();
    EXPECT_EQ(c.b->SampleCount, 60000);
    c.tick();
    EXPECT_EQ(c.b->SampleCount, 0);
}

TEST(SamplingCore, BatchesEvery45TicksFromSwitchingOnAndNoneWhenOff) {
    Core c;
    c.tick(100);
    EXPECT_TRUE(c.batchCounts.empty());
    c.core.setRecording(true);
    EXPECT_EQ(c.core.SavePhase, 10);
    // Switching on again while on changes nothing.
    c.tick(20);
    c.core.setRecording(true);
    EXPECT_EQ(c.core.ticksSinceBatch(), 20);
    c.tick(115);
    EXPECT_EQ(c.batchCounts, (std::vector<int>{145, 190, 235}));
    c.core.setRecording(false);
    c.tick(100);
    EXPECT_EQ(c.batchCounts.size(), 3u);
}

TEST(SamplingCore, BatchesStay45TicksApartAcrossTheCounterWrap) {
    Core c;
    c.b->SampleCount = 59950;
    c.core.setRecording(true);
    c.tick(400);
    ASSERT_EQ(c.batchCounts.size(), 8u);
    EXPECT_EQ(c.batchCounts[0], 59995);
    EXPECT_EQ(c.batchCounts[1], 39);  // 60040 wrapped past 60000
    for (std::size_t i = 2; i < c.batchCounts.size(); ++i) EXPECT_EQ(c.batchCounts[i] - c.batchCounts[i - 1], 45);
}

}  // namespace
}  // namespace orlix
