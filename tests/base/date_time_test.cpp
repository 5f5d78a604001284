#include "base/clock.h"
#include "base/date_time.h"

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

// A hand-driven clock that claims to run `scale` times faster.
class ScaledManualClock final : public Clock {
public:
    explicit ScaledManualClock(double scale) : scale_(scale) {}
    DateTime now() const override { return t; }
    double timeScale() const override { return scale_; }
    void at(double seconds) { t = 46000.0 + secondsToDays(seconds); }
    DateTime t = 46000.0;

private:
    double scale_;
};

TEST(TickSchedule, EachWaitAimsAtTheNextWholeIntervalOfProgramTime) {
    ScaledManualClock clock(60);
    TickSchedule s(clock, 4000);
    EXPECT_EQ(s.start(4000), 67);  // 4 s of program time at 60 times
    clock.at(3.84);                // the real timer fired early
    EXPECT_EQ(s.next(), 69);       // (8 - 3.84) s / 60
    clock.at(8.6);                 // ... and then late
    EXPECT_EQ(s.next(), 57);       // (12 - 8.6) s / 60
    clock.at(30.0);                // 12 was due: whole intervals missed, start afresh
    EXPECT_EQ(s.next(), 67);
    clock.at(33.0);
    EXPECT_EQ(s.next(), 83);  // due at 38
    clock.at(10.0);           // the clock went back
    EXPECT_EQ(s.next(), 67);
    clock.at(14.0);
    EXPECT_EQ(s.next(), 67);

    ScaledManualClock real(1);
    TickSchedule r(real, 2000);
    r.start(2000);
    real.at(3.9999);  // the next is due at 4: never less than a millisecond
    EXPECT_EQ(r.next(), 1);
}

}  // namespace
}  // namespace orlix
