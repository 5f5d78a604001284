#include "chart/curve_table.h"

#include <gtest/gtest.h>

#include <set>

namespace orlix {
namespace {

int row(int k, int v, float scale = 1.0f, int offset = 0) {
    const auto r = curveRow(*curveForValue(k), v, scale, offset);
    EXPECT_TRUE(r.has_value());
    return r.value_or(-99999);
}

TEST(CurveTable, CoversExactlyTheDrawnValueIndices) {
    std::set<int> withCurve;
    for (int k = 0; k <= 50; ++k)
        if (curveForValue(k)) withCurve.insert(k);
    const std::set<int> expected = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 20, 21, 22, 23, 25,
                                    30, 31, 32, 33, 35, 40, 41, 42, 43, 45};
    EXPECT_EQ(withCurve, expected);
    EXPECT_EQ(curveForValue(-1), nullptr);
    EXPECT_EQ(curveForValue(24), nullptr);
    // Offset slots: master s, slaves 10 + s, 16 + s, 22 + s.
    EXPECT_EQ(curveForValue(7)->offsetSlot, 7);
    EXPECT_EQ(curveForValue(25)->offsetSlot, 15);
    EXPECT_EQ(curveForValue(33)->offsetSlot, 19);
    EXPECT_EQ(curveForValue(45)->offsetSlot, 27);
    EXPECT_EQ(curveForValue(45)->slot, 5);
    EXPECT_EQ(curveForValue(9)->colour, (Rgb{0, 255, 0}));
    EXPECT_EQ(curveForValue(43)->colour, (Rgb{255, 255, 0}));
}

TEST(CurveTable, RowsFollowEachScale) {
    EXPECT_EQ(row(0, 3000), 0);      // full scale at the top
    EXPECT_EQ(row(0, 1500), 200);
    EXPECT_EQ(row(1, 750), 200);
    EXPECT_EQ(row(2, 100), 100);     // 3 v
    EXPECT_EQ(row(3, -30), 400);     // 5 (v + 30)
    EXPECT_EQ(row(4, 0), 310);       // 3 (v + 30)
    EXPECT_EQ(row(5, 20), 200);      // 4 (v + 30)
    EXPECT_EQ(row(7, 1200), 200);
    EXPECT_EQ(row(8, 250), 150);
    EXPECT_EQ(row(9, 0), 370);       // 3 (v + 10)
    EXPECT_EQ(row(23, 100), 400 - 127);  // p = 477, 477 * 400 / 1500 = 127.2
    EXPECT_EQ(row(22, 10), 280);
}

TEST(CurveTable, ZoomDividesFromTheTopAndOffsetsLift) {
    EXPECT_EQ(row(2, 100, 0.5f), 200);
    EXPECT_EQ(row(2, 100, 2.0f), 50);
    EXPECT_EQ(row(2, 100, 1.0f, 20), 80);
    EXPECT_EQ(row(2, 100, 1.0f, -40), 140);
    EXPECT_EQ(row(2, 133, 1.0f / 32), 32);
}

TEST(CurveTable, HalvesRoundToEven) {
    EXPECT_EQ(row(2, 1, 2.0f), 198);  // 397 / 2 = 198.5
    EXPECT_EQ(row(2, 3, 2.0f), 196);  // 391 / 2 = 195.5
    // 400 - 90 * 400 / 2400 = 385 exactly; 400 - 3 * 400 / 2400 = 399.5
    EXPECT_EQ(row(7, 3), 400);
    EXPECT_EQ(row(7, 9), 398);  // 398.5
}

TEST(CurveTable, SlavePressureRoundsAndOverflowsAreReported) {
    EXPECT_EQ(slavePressure(100).value(), 477);  // 11917 / 25 = 476.68
    EXPECT_LT(slavePressure(20).value(), 0);
    EXPECT_EQ(slavePressure(26).value(), 3);     // 77 / 25 = 3.08
    // 32-bit integer forms that overflow make the row undefined.
    EXPECT_FALSE(curveRow(*curveForValue(2), 0x7FFFFFFF, 1.0f, 0).has_value());
    EXPECT_FALSE(curveRow(*curveForValue(23), 0x7FFFFFFF, 1.0f, 0).has_value());
    EXPECT_FALSE(curveRow(*curveForValue(0), 6000000, 1.0f, 0).has_value());
    EXPECT_TRUE(curveRow(*curveForValue(0), 5000000, 1.0f, 0).has_value());
    EXPECT_STREQ(slotLabel(0), "1");
    EXPECT_STREQ(slotLabel(9), "10");
}

}  // namespace
}  // namespace orlix
