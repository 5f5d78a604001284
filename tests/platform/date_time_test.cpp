#include "platform/clock.h"
#include "platform/date_time.h"

#include <gtest/gtest.h>

#include <limits>

namespace orlix {
namespace {

TEST(DateTime, EpochAndKnownDates) {
    EXPECT_EQ(makeDateTime({1899, 12, 30, 0, 0, 0}), 0.0);
    EXPECT_EQ(makeDateTime({1900, 1, 1, 0, 0, 0}), 2.0);
    // 1 January 2000 is day 36526 of the date-time scale used by the Time column.
    EXPECT_EQ(makeDateTime({2000, 1, 1, 0, 0, 0}), 36526.0);
    EXPECT_DOUBLE_EQ(makeDateTime({2000, 1, 1, 12, 0, 0}), 36526.5);
}

TEST(DateTime, SplitRoundTripsAcrossLeapYearsAndMonthEnds) {
    const DateTimeParts cases[] = {{2024, 2, 29, 23, 59, 59}, {2026, 12, 31, 0, 0, 1},
                                   {1900, 3, 1, 10, 23, 45}, {2100, 1, 1, 6, 7, 8}};
    for (const auto& c : cases) {
        const DateTimeParts p = splitDateTime(makeDateTime(c));
        EXPECT_EQ(p.year, c.year);
        EXPECT_EQ(p.month, c.month);
        EXPECT_EQ(p.day, c.day);
        EXPECT_EQ(p.hour, c.hour);
        EXPECT_EQ(p.minute, c.minute);
        EXPECT_EQ(p.second, c.second);
    }
}

TEST(DateTime, SumsOfFourSecondStepsShowWholeSeconds) {
    DateTime t = makeDateTime({2026, 12, 8, 23, 59, 0});
    for (int i = 0; i < 15; ++i) t += secondsToDays(4);
    EXPECT_EQ(generalDateTimeText(t), "2026-12-09");
    t += secondsToDays(4);
    EXPECT_EQ(timeOfDayText(t), "00:00:04");
}

TEST(DateTime, TextsAreFixedWidthAndLocaleFree) {
    const DateTime t = makeDateTime({2026, 3, 4, 5, 6, 7});
    EXPECT_EQ(timeOfDayText(t), "05:06:07");
    EXPECT_EQ(chartTimeLabelText(t), "05:06:07 ");
    EXPECT_EQ(generalDateTimeText(t), "2026-03-04 05:06:07");
    // The zero date shows its time only, as an unfilled sample does.
    EXPECT_EQ(generalDateTimeText(0.0), "00:00:00");
    EXPECT_EQ(chartTimeLabelText(0.0), "00:00:00 ");
}

TEST(DateTime, NonFiniteValuesDoNotCrash) {
    EXPECT_EQ(timeOfDayText(std::numeric_limits<double>::quiet_NaN()), "00:00:00");
    EXPECT_EQ(timeOfDayText(std::numeric_limits<double>::infinity()), "00:00:00");
    EXPECT_FALSE(generalDateTimeText(1e300).empty());
}

TEST(Clock, ManualClockAdvancesBySeconds) {
    ManualClock c(makeDateTime({2026, 1, 1, 0, 0, 0}));
    c.advanceSeconds(4 * 15);
    EXPECT_EQ(timeOfDayText(c.now()), "00:01:00");
}

TEST(Clock, ScaledClockRunsFasterFromNow) {
    ScaledClock fast(1000.0);
    const DateTime a = fast.now();
    EXPECT_NEAR(a, localNow(), secondsToDays(5));
    EXPECT_DOUBLE_EQ(fast.timeScale(), 1000.0);
    EXPECT_GE(fast.now(), a);
}

}  // namespace
}  // namespace orlix
