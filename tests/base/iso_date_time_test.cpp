#include "base/iso_date_time.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace orlix {
namespace {

TEST(IsoDateTime, WritesLocalTimeToTheNearestSecond) {
    EXPECT_EQ(isoDateTimeText(makeDateTime({2026, 3, 14, 9, 5, 7})), "2026-03-14T09:05:07");
    EXPECT_EQ(isoDateTimeText(0.0), "1899-12-30T00:00:00");
    // A sum of 4 s steps lands a hair below the second; it still reads as it.
    DateTime t = makeDateTime({2024, 2, 28, 23, 59, 0});
    for (int i = 0; i < 15; ++i) t += secondsToDays(4.0);
    EXPECT_EQ(isoDateTimeText(t), "2024-02-29T00:00:00");
    EXPECT_EQ(isoDateTimeText(makeDateTime({2026, 1, 1, 0, 0, 0}) - secondsToDays(0.4)), "2026-01-01T00:00:00");
    EXPECT_EQ(isoDateTimeText(makeDateTime({2026, 1, 1, 0, 0, 0}) - secondsToDays(0.6)), "2025-12-31T23:59:59");
}

TEST(IsoDateTime, WritesNothingForTimesTheFormCannotHold) {
    char buf[kIsoDateTimeLength] = {'x'};
    EXPECT_EQ(formatIsoDateTime(std::numeric_limits<double>::quiet_NaN(), buf), 0);
    EXPECT_EQ(formatIsoDateTime(std::numeric_limits<double>::infinity(), buf), 0);
    EXPECT_EQ(formatIsoDateTime(1e300, buf), 0);
    EXPECT_EQ(formatIsoDateTime(makeDateTime({10000, 1, 1, 0, 0, 0}), buf), 0);
    EXPECT_EQ(formatIsoDateTime(makeDateTime({9999, 12, 31, 23, 59, 59}), buf), kIsoDateTimeLength);
    EXPECT_EQ(std::string(buf, kIsoDateTimeLength), "9999-12-31T23:59:59");
}

TEST(IsoDateTime, CompactFormForFileNames) {
    EXPECT_EQ(compactDateTimeText(makeDateTime({2026, 3, 14, 9, 5, 7})), "20260314-090507");
}

TEST(IsoDateTime, ReadsTheFormsItAccepts) {
    const auto date = parseIsoDateTime("2024-02-29");
    ASSERT_TRUE(date);
    EXPECT_TRUE(date->dateOnly);
    EXPECT_EQ(date->value, makeDateTime({2024, 2, 29, 0, 0, 0}));

    const DateTime expected = makeDateTime({2025, 12, 31, 23, 59, 58});
    for (const char* text : {"2025-12-31T23:59:58", "2025-12-31 23:59:58"}) {
        const auto t = parseIsoDateTime(text);
        ASSERT_TRUE(t) << text;
        EXPECT_FALSE(t->dateOnly);
        EXPECT_EQ(t->value, expected) << text;
    }
    const auto minutes = parseIsoDateTime("2025-12-31T23:59");
    ASSERT_TRUE(minutes);
    EXPECT_EQ(minutes->value, makeDateTime({2025, 12, 31, 23, 59, 0}));
    // What is written reads back as the same second.
    const DateTime t = makeDateTime({2026, 7, 1, 13, 14, 15});
    EXPECT_EQ(parseIsoDateTime(isoDateTimeText(t))->value, t);
}

TEST(IsoDateTime, RefusesEverythingElse) {
    for (const char* text :
         {"", "2024", "2024-2-29", "2023-02-29", "2024-13-01", "2024-00-10", "2024-04-31", "2024-01-01T24:00:00",
          "2024-01-01T12:60", "2024-01-01T12:00:60", "2024-01-01T12:00:00Z", "2024-01-01T12:00:00+01:00",
          "2024-01-01T12:00:00.5", "2024-01-01T", "2024-01-01  12:00", "2024-01-01x12:00", "20240101T120000",
          "2024-01-01T12", "2024-01-01T12:00:0", " 2024-01-01", "2024-01-01 "}) {
        EXPECT_FALSE(parseIsoDateTime(text)) << '"' << text << '"';
    }
}

}  // namespace
}  // namespace orlix
