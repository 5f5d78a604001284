#include "chart/value_texts.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace orlix {
namespace {

struct Cell {
    int grid, row, col;
    std::string text;
    bool operator==(const Cell&) const = default;
};

std::vector<Cell> texts(int k, int v, TextMode mode = TextMode::Tick) {
    const ValueCells c = valueTexts(k, v, mode);
    std::vector<Cell> out;
    for (int i = 0; i < c.count; ++i)
        out.push_back({c.cells[i].grid, c.cells[i].row, c.cells[i].col, std::string(c.cells[i].text())});
    return out;
}

std::string one(int k, int v, TextMode mode = TextMode::Tick) {
    const auto t = texts(k, v, mode);
    return t.size() == 1 ? t[0].text : "<" + std::to_string(t.size()) + " cells>";
}

TEST(ValueTexts, EveryAssignedValueIndexHasOneRowAndTheRestNone) {
    std::set<int> with;
    for (const ValueTextRow& r : kValueTextRows) EXPECT_TRUE(with.insert(r.valueIndex).second) << r.valueIndex;
    for (int k = 0; k < 50; ++k) {
        const bool unassigned = k == 17 || (k % 10 >= 7 && k >= 27);
        EXPECT_EQ(with.count(k) == 0, unassigned) << k;
        if (unassigned) {
            EXPECT_TRUE(texts(k, 5).empty());
        }
    }
    // Rows: master k + 1 up to 16, 18/19 at 20/21, slaves k - base + 1.
    EXPECT_EQ(texts(8, 1)[0].row, 9);
    EXPECT_EQ(texts(14, 1)[0].row, 15);
    EXPECT_EQ(texts(19, 1)[0].row, 21);
    EXPECT_EQ(texts(35, 1)[0].grid, 2);
    EXPECT_EQ(texts(35, 1)[0].row, 6);
    EXPECT_EQ(texts(40, 1)[0].grid, 3);
    EXPECT_EQ(texts(40, 1)[0].row, 1);
}

TEST(ValueTexts, NumberFormats) {
    EXPECT_EQ(one(0, 1234), "12.34");
    EXPECT_EQ(one(1, 5), "0.05");
    EXPECT_EQ(one(0, 0), "0.00");
    EXPECT_EQ(one(0, -5), "-0.05");
    EXPECT_EQ(one(0, 123456), "1234.56");
    EXPECT_EQ(one(8, 123), "12.3");
    EXPECT_EQ(one(8, 120), "12");
    EXPECT_EQ(one(8, -7), "-0.7");
    EXPECT_EQ(one(3, -12), "-12");
    EXPECT_EQ(one(18, 0), "0");
    EXPECT_EQ(one(45, 2147483647), "2147483647");
}

TEST(ValueTexts, UnitStatesWriteMasterAndSlaveRowsOrNothing) {
    EXPECT_EQ(texts(12, 8), (std::vector<Cell>{{0, 13, 1, "Off"}, {2, 10, 1, "Off"}}));
    EXPECT_EQ(texts(11, 4), (std::vector<Cell>{{0, 12, 1, "60% On"}, {1, 10, 1, "60% On"}}));
    EXPECT_EQ(texts(13, 12), (std::vector<Cell>{{0, 14, 1, "100% On"}, {3, 10, 1, "100% On"}}));
    EXPECT_EQ(texts(13, 0)[0].text, "Off");
    EXPECT_TRUE(texts(11, 2).empty());
    EXPECT_TRUE(texts(11, -8).empty());
}

TEST(ValueTexts, FanSpeedDiffersBetweenTickAndReadout) {
    EXPECT_EQ(one(15, 0), "Off");
    EXPECT_EQ(one(15, 1), "Off");
    EXPECT_EQ(one(15, 3), "3\u98ce\u901f");
    EXPECT_EQ(one(15, 1, TextMode::Readout), "Off");
    EXPECT_EQ(one(15, 3, TextMode::Readout), "Fan 3");
    EXPECT_EQ(one(15, -2147483647 - 1), "-2147483648\u98ce\u901f");
}

TEST(ValueTexts, ValveBits) {
    EXPECT_EQ(texts(16, 0xA4), (std::vector<Cell>{{0, 17, 1, "On"}, {0, 18, 1, "Off"}, {0, 19, 1, "On/On"},
                                                 {0, 22, 1, "SV2 Off"}}));
    EXPECT_EQ(texts(16, 0x50), (std::vector<Cell>{{0, 17, 1, "Off"}, {0, 18, 1, "On"}, {0, 19, 1, "Off/Off"},
                                                 {0, 22, 1, "SV2 On"}}));
    EXPECT_EQ(texts(26, 0x09), (std::vector<Cell>{{1, 7, 1, "On"}, {1, 8, 1, "Off"}, {1, 9, 1, "Off"},
                                                 {1, 11, 1, "On"}}));
    EXPECT_EQ(texts(46, 0x06), (std::vector<Cell>{{3, 7, 1, "Off"}, {3, 8, 1, "On"}, {3, 9, 1, "On"},
                                                 {3, 11, 1, "Off"}}));
}

TEST(ValueTexts, SlavePressureAndOilFlag) {
    EXPECT_EQ(one(23, 100), "4.77");
    EXPECT_EQ(one(33, 20), "0");
    EXPECT_EQ(one(43, 26), "0.03");
    EXPECT_EQ(one(23, 29), "0.22");  // 557 / 25 = 22.28
    EXPECT_EQ(one(23, 38), "0.8");   // 1997 / 25 = 79.88 -> 80
    EXPECT_TRUE(texts(23, 0x7FFFFFFF).empty());
    EXPECT_EQ(one(24, 0), "Nl/Nl");
    EXPECT_EQ(one(34, 0x40), "Nl/Qt");
    EXPECT_EQ(one(44, 0x80), ">Ps/Nl");
    EXPECT_EQ(one(24, 0xFF), ">Ps/Qt");
    EXPECT_TRUE(texts(24, 256).empty());
    EXPECT_TRUE(texts(24, -1).empty());
}

}  // namespace
}  // namespace orlix
