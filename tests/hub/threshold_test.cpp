// Threshold rules: the on-delay and its restart, the deadband's edges, old
// samples, where a rule applies, the alarm's message.
#include "hub/threshold.h"

#include <gtest/gtest.h>

namespace orlix::hub {
namespace {

constexpr Micros kT0 = 1'773'480'000 * kMicrosPerSecond;
constexpr Micros kSec = kMicrosPerSecond;

using O = ThresholdOutcome;

ThresholdRule above(double limit, double deadband = 0, Micros delay = 0) {
    ThresholdRule r;
    r.name = "high-pd";
    r.column = "Pd";
    r.direction = ThresholdDirection::Above;
    r.limit = limit;
    r.deadband = deadband;
    r.onDelayUs = delay;
    return r;
}

ThresholdRule below(double limit, double deadband = 0, Micros delay = 0) {
    ThresholdRule r = above(limit, deadband, delay);
    r.name = "low-ta";
    r.column = "Ta";
    r.direction = ThresholdDirection::Below;
    return r;
}

TEST(ThresholdOnDelay, RaisesOnceTheConditionHeldForTheDelay) {
    const ThresholdRule rule = above(2500, 0, 30 * kSec);
    ThresholdTrack t;
    for (Micros s = 0; s < 30; s += 4) EXPECT_EQ(evaluateThreshold(rule, t, 2600, kT0 + s * kSec), O::None) << s;
    EXPECT_EQ(evaluateThreshold(rule, t, 2600, kT0 + 30 * kSec), O::Raise);  // exactly the delay
    EXPECT_EQ(evaluateThreshold(rule, t, 2600, kT0 + 34 * kSec), O::None);   // raised once
    EXPECT_TRUE(t.active);
}

TEST(ThresholdOnDelay, ASampleThatBreaksTheConditionStartsTheDelayAgain) {
    const ThresholdRule rule = above(2500, 0, 30 * kSec);
    ThresholdTrack t;
    EXPECT_EQ(evaluateThreshold(rule, t, 2600, kT0), O::None);
    EXPECT_EQ(evaluateThreshold(rule, t, 2600, kT0 + 20 * kSec), O::None);
    EXPECT_EQ(evaluateThreshold(rule, t, 2500, kT0 + 24 * kSec), O::None);  // at the limit: not above
    EXPECT_EQ(evaluateThreshold(rule, t, 2600, kT0 + 28 * kSec), O::None);
    EXPECT_EQ(evaluateThreshold(rule, t, 2600, kT0 + 57 * kSec), O::None);  // 29 s since 28
    EXPECT_EQ(evaluateThreshold(rule, t, 2600, kT0 + 58 * kSec), O::Raise);
}

TEST(ThresholdOnDelay, WithoutADelayTheFirstSamplePastTheLimitRaises) {
    const ThresholdRule rule = below(-50);
    ThresholdTrack t;
    EXPECT_EQ(evaluateThreshold(rule, t, -50, kT0), O::None);
    EXPECT_EQ(evaluateThreshold(rule, t, -51, kT0 + 4 * kSec), O::Raise);
}

TEST(ThresholdDeadband, ClearsOnlyAtOrBeyondTheLimitMinusTheDeadband) {
    const ThresholdRule rule = above(2500, 50);
    ThresholdTrack t;
    ASSERT_EQ(evaluateThreshold(rule, t, 2501, kT0), O::Raise);
    EXPECT_EQ(evaluateThreshold(rule, t, 2500, kT0 + 4 * kSec), O::None);
    EXPECT_EQ(evaluateThreshold(rule, t, 2451, kT0 + 8 * kSec), O::None);
    EXPECT_EQ(evaluateThreshold(rule, t, 2450, kT0 + 12 * kSec), O::Clear);
    EXPECT_FALSE(t.active);
    EXPECT_EQ(evaluateThreshold(rule, t, 2480, kT0 + 16 * kSec), O::None);  // inside the band, not above
    EXPECT_EQ(evaluateThreshold(rule, t, 2501, kT0 + 20 * kSec), O::Raise);
}

TEST(ThresholdDeadband, BelowRulesClearAtOrAboveTheLimitPlusTheDeadband) {
    const ThresholdRule rule = below(-50, 10, 8 * kSec);
    ThresholdTrack t;
    EXPECT_EQ(evaluateThreshold(rule, t, -60, kT0), O::None);
    ASSERT_EQ(evaluateThreshold(rule, t, -60, kT0 + 8 * kSec), O::Raise);
    EXPECT_EQ(evaluateThreshold(rule, t, -41, kT0 + 12 * kSec), O::None);
    EXPECT_EQ(evaluateThreshold(rule, t, -40, kT0 + 16 * kSec), O::Clear);
    // After a clear the delay applies again before the next raise.
    EXPECT_EQ(evaluateThreshold(rule, t, -60, kT0 + 20 * kSec), O::None);
    EXPECT_EQ(evaluateThreshold(rule, t, -60, kT0 + 28 * kSec), O::Raise);
}

TEST(ThresholdDeadband, WithoutADeadbandClearsAsSoonAsTheConditionIsGone) {
    const ThresholdRule rule = above(12.5);
    ThresholdTrack t;
    ASSERT_EQ(evaluateThreshold(rule, t, 13, kT0), O::Raise);
    EXPECT_EQ(evaluateThreshold(rule, t, 12, kT0 + 4 * kSec), O::Clear);
}

TEST(ThresholdSamples, RepeatedAndOlderSamplesChangeNothing) {
    const ThresholdRule rule = above(2500, 0, 10 * kSec);
    ThresholdTrack t;
    EXPECT_EQ(evaluateThreshold(rule, t, 2600, kT0), O::None);
    // A late sample below the limit must not restart the delay ...
    EXPECT_EQ(evaluateThreshold(rule, t, 2400, kT0 - 4 * kSec), O::None);
    // ... nor a repeat delivery of the same instant.
    EXPECT_EQ(evaluateThreshold(rule, t, 2400, kT0), O::None);
    EXPECT_EQ(evaluateThreshold(rule, t, 2600, kT0 + 10 * kSec), O::Raise);
    EXPECT_EQ(evaluateThreshold(rule, t, 0, kT0 + 10 * kSec), O::None);
    EXPECT_TRUE(t.active);
}

TEST(ThresholdRules, ApplyToEverySiteOrTheListedOnes) {
    ThresholdRule rule = above(1);
    EXPECT_TRUE(ruleAppliesTo(rule, "anything"));
    rule.allSites = false;
    rule.sites = {"north", "o'brien"};
    EXPECT_TRUE(ruleAppliesTo(rule, "o'brien"));
    EXPECT_FALSE(ruleAppliesTo(rule, "North"));
    EXPECT_FALSE(ruleAppliesTo(rule, "south"));
}

TEST(ThresholdRules, TheMessageNamesValueLimitAndDelay) {
    EXPECT_EQ(thresholdMessage(above(2500, 0, 30 * kSec), 2600), "Pd = 2600, above 2500 for 30 s");
    EXPECT_EQ(thresholdMessage(below(-50, 0, 5 * kMicrosPerMinute), -55), "Ta = -55, below -50 for 5 min");
    EXPECT_EQ(thresholdMessage(above(12.5, 0, kMicrosPerHour), 13), "Pd = 13, above 12.5 for 1 h");
    EXPECT_EQ(thresholdMessage(above(0), 1), "Pd = 1, above 0");
}

}  // namespace
}  // namespace orlix::hub
