// Calendar edges of the recorders' wall times, the rules' durations and
// the instants written for people.
#include "hub/hub_time.h"

#include <gtest/gtest.h>

namespace orlix::hub {
namespace {

TEST(WallTime, LeapDaysFollowTheGregorianRules) {
    EXPECT_TRUE(parseWallTime("2024-02-29T12:00:00"));
    EXPECT_TRUE(parseWallTime("2000-02-29T12:00:00"));
    EXPECT_FALSE(parseWallTime("2100-02-29T12:00:00"));
    EXPECT_FALSE(parseWallTime("2026-04-31T12:00:00"));
    EXPECT_TRUE(parseWallTime("2026-12-31T23:59:59"));
    for (const char* bad : {"2026-12-31T23:59:60", "2026-13-01T00:00:00", "2026-00-10T00:00:00",
                            "2026-01-01T00:00:00.5", "2026-1-01T00:00:00", "+026-01-01T00:00:00", "2026-01-01"})
        EXPECT_FALSE(parseWallTime(bad)) << bad;
}

TEST(WallTime, SecondsCountFromTheUnixEpoch) {
    EXPECT_EQ(wallSeconds(*parseWallTime("1970-01-01T00:00:00")), 0);
    EXPECT_EQ(wallSeconds(*parseWallTime("2000-01-01T00:00:00")), 946'684'800);
    EXPECT_EQ(wallSeconds(*parseWallTime("2024-02-29T23:59:59")), 1'709'251'199);
    EXPECT_EQ(wallSeconds(*parseWallTime("1969-12-31T23:59:59")), -1);
}

TEST(Duration, AWholeNumberWithItsUnit) {
    EXPECT_EQ(parseDuration("0"), 0);
    EXPECT_EQ(parseDuration("30s"), 30 * kMicrosPerSecond);
    EXPECT_EQ(parseDuration("5m"), 5 * kMicrosPerMinute);
    EXPECT_EQ(parseDuration("1h"), kMicrosPerHour);
    EXPECT_EQ(parseDuration("720h"), 30 * kMicrosPerDay);
    for (const char* bad : {"", "30", "s", "1.5h", "-5m", "5 m", "5M", "1d", "721h", "99999999h", "0s0"})
        EXPECT_FALSE(parseDuration(bad)) << bad;
}

TEST(IsoInstant, WritesTheZonesLocalTimeWithItsOffset) {
    constexpr Micros t = 1'711'848'600 * kMicrosPerSecond;  // 2024-03-31T01:30:00Z, just after the change
    EXPECT_EQ(isoInstantText(t, QTimeZone("Europe/Berlin")), "2024-03-31T03:30:00+02:00");
    EXPECT_EQ(isoInstantText(t - kMicrosPerHour, QTimeZone("Europe/Berlin")), "2024-03-31T01:30:00+01:00");
    EXPECT_EQ(isoInstantText(t, QTimeZone("America/Caracas")), "2024-03-30T21:30:00-04:00");
    EXPECT_EQ(isoInstantText(t, QTimeZone()), "2024-03-31T01:30:00+00:00");
    // Fractions of a second are cut, also before 1970.
    EXPECT_EQ(isoInstantText(t + 999'999, QTimeZone()), "2024-03-31T01:30:00+00:00");
    EXPECT_EQ(isoInstantText(-1, QTimeZone()), "1969-12-31T23:59:59+00:00");
}

}  // namespace
}  // namespace orlix::hub
