#include "chart/history_drawing.h"

#include <gtest/gtest.h>

#include <memory>

#include "chart/chart_drawing.h"

namespace orlix {
namespace {

constexpr Rgb kGreen{0, 255, 0};

ChartSurface textAt(int x, int y, std::string_view text) {
    ChartSurface t;
    t.setForeColor(kTextColour);
    t.CurrentX = x;
    t.CurrentY = y;
    t.print(text);
    return t;
}

bool hasText(const ChartSurface& pic, int x, int y, std::string_view text, Rgb c) {
    const ChartSurface t = textAt(x, y, text);
    int lit = 0;
    for (int yy = 0; yy < 400; ++yy)
        for (int xx = 0; xx < 727; ++xx)
            if (t.isColour(xx, yy, kTextColour)) {
                ++lit;
                if (!pic.isColour(xx, yy, c)) return false;
            }
    return lit > 0;
}

TEST(HistoryDrawing, StoresRecordsAndDrawsCurvesFromTheTopLeftCorner) {
    auto s = std::make_unique<ChartState>();
    loadCharts(*s);
    s->curveChecked[0] = true;
    std::int16_t values[50] = {};
    values[0] = 1500;  // master Pd -> row 200
    values[40] = 50;   // slave 3 Td -> row 250
    for (int n = 0; n < 300; ++n) storeHistoryRecord(s->hist, n, values, makeDateTime({2026, 1, 1, 8, 0, 0}) + secondsToDays(4 * n));
    storeHistoryRecord(s->hist, 720, values, 1.0);  // beyond the window: ignored
    EXPECT_EQ(s->hist.HistSampleTime[720], 0);
    s->hist.HistSampleCount = 300;
    s->RedrawLastY[0] = 123;
    s->charts[4].setForeColor(kRed);
    s->charts[4].line(0, 390, 726, 390);
    drawHistoryCharts(*s);

    const ChartSurface& master = s->charts[4];
    EXPECT_TRUE(master.isColour(0, 0, kGreen));  // first line from (0, 0), not from RedrawLastY
    for (int x = 1; x <= 300; ++x) ASSERT_TRUE(master.isColour(x, 200, kGreen)) << x;
    EXPECT_FALSE(master.isColour(301, 200, kGreen));
    EXPECT_TRUE(hasText(master, 285, 185, "1", kGreen));
    EXPECT_TRUE(master.isColour(100, 390, kBlack));  // cleared first
    EXPECT_TRUE(hasText(master, -23, 385, "08:00:00 ", kTextColour));
    EXPECT_TRUE(hasText(master, 270 - 23, 385, "08:18:00 ", kTextColour));
    EXPECT_TRUE(hasText(master, 360 - 23, 385, "00:00:00 ", kTextColour));
    EXPECT_EQ(s->RedrawLastY[0], 123);

    const ChartSurface& slave3 = s->charts[7];
    for (int x = 1; x <= 300; ++x) ASSERT_TRUE(slave3.isColour(x, 250, kGreen)) << x;
    EXPECT_TRUE(s->charts[5].isColour(150, 400 - 1, kBlack));
    // Grid on all four: dashed both ways, horizontals to 725.
    for (int k = 4; k < 8; ++k) {
        EXPECT_TRUE(s->charts[k].isColour(90, 5, kGridColour));
        EXPECT_TRUE(s->charts[k].isColour(720, 40, kGridColour));
        EXPECT_FALSE(s->charts[k].isColour(20, 360, kGridColour));
    }
    // The live charts are not touched.
    EXPECT_FALSE(s->charts[0].isColour(150, 200, kGreen));
}

TEST(HistoryDrawing, LaterLoadKeepsOlderPositionsBeyondTheNewCount) {
    auto s = std::make_unique<ChartState>();
    std::int16_t a[50] = {}, b[50] = {};
    a[2] = 11;
    b[2] = 22;
    for (int n = 0; n < 500; ++n) storeHistoryRecord(s->hist, n, a, 1.0 + n);
    for (int n = 0; n < 300; ++n) storeHistoryRecord(s->hist, n, b, 2.0 + n);
    EXPECT_EQ(s->hist.HistCurveData[2][299], 22);
    EXPECT_EQ(s->hist.HistCurveData[2][300], 11);
    EXPECT_EQ(s->hist.HistSampleTime[300], 301.0);
}

}  // namespace
}  // namespace orlix
