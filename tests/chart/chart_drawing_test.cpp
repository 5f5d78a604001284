#include "chart/chart_drawing.h"

#include <gtest/gtest.h>

#include <set>

#include "chart/curve_table.h"
#include "chart/history_drawing.h"

namespace orlix {
namespace {

constexpr Rgb kOrange{255, 128, 0};  // master curve slot 2 (value index 2)

std::unique_ptr<ChartState> loadedState() {
    auto s = std::make_unique<ChartState>();
    loadCharts(*s);
    return s;
}

// Pixels of `text` printed at (x, y) in `colour` on an otherwise black picture.
ChartSurface textAt(int x, int y, std::string_view text, Rgb colour) {
    ChartSurface t;
    t.setForeColor(colour);
    t.CurrentX = x;
    t.CurrentY = y;
    t.print(text);
    return t;
}

// Every pixel of `text` at (x, y) is present in `pic`.
bool hasText(const ChartSurface& pic, int x, int y, std::string_view text, Rgb colour) {
    const ChartSurface t = textAt(x, y, text, colour);
    int lit = 0;
    for (int yy = 0; yy < 400; ++yy)
        for (int xx = 0; xx < 727; ++xx)
            if (t.isColour(xx, yy, colour)) {
                ++lit;
                if (!pic.isColour(xx, yy, colour)) return false;
            }
    return lit > 0;
}

std::set<int> columnsWithColourAt(const ChartSurface& pic, int y, Rgb c) {
    std::set<int> cols;
    for (int x = 0; x < 727; ++x)
        if (pic.isColour(x, y, c)) cols.insert(x);
    return cols;
}

TEST(LoadCharts, SetsScalesRowsAndDrawsTheFirstGridOnAllEightPictures) {
    auto s = std::make_unique<ChartState>();
    s->ChartYScale = 4;
    loadCharts(*s);
    EXPECT_EQ(s->ChartYScale, 1.0f);
    EXPECT_EQ(s->ChartXScale, 1.0f);
    EXPECT_EQ(s->LastLiveY[0], 200);
    EXPECT_EQ(s->LastLiveY[49], 200);
    EXPECT_EQ(s->LastLiveY[50], 0);
    for (const ChartSurface& pic : s->charts) {
        // Vertical dashed lines from y 5 down at x = 90 .. 720.
        for (int j = 1; j <= 8; ++j) {
            EXPECT_FALSE(pic.isColour(90 * j, 4, kGridColour));
            EXPECT_TRUE(pic.isColour(90 * j, 5, kGridColour));
            EXPECT_TRUE(pic.isColour(90 * j, 22, kGridColour));
            EXPECT_FALSE(pic.isColour(90 * j, 23, kGridColour));  // first gap
            EXPECT_TRUE(pic.isColour(90 * j, 399, kGridColour) || pic.isColour(90 * j, 393, kGridColour));
            EXPECT_FALSE(pic.isColour(90 * j + 1, 10, kGridColour));
        }
        // Horizontal dashed lines at y = 40 .. 360 from x 0 to 720.
        for (int j = 1; j <= 9; ++j) {
            EXPECT_TRUE(pic.isColour(0, 40 * j, kGridColour));
            EXPECT_TRUE(pic.isColour(720, 40 * j, kGridColour));
            EXPECT_FALSE(pic.isColour(721, 40 * j, kGridColour));
            EXPECT_FALSE(pic.isColour(19, 40 * j, kGridColour));
            EXPECT_FALSE(pic.isColour(10, 40 * j + 1, kGridColour));
        }
        EXPECT_EQ(columnsWithColourAt(pic, 30, kGridColour), (std::set<int>{90, 180, 270, 360, 450, 540, 630, 720}));
    }
}

TEST(RedrawChart, LiveCurveAtComputedRowsForScalesAndOffsets) {
    struct Case {
        float scale;
        int offset;
        int row;
    };
    for (const Case c : {Case{1.0f, 0, 100}, Case{0.5f, 0, 200}, Case{2.0f, 0, 50}, Case{1.0f, 20, 80},
                         Case{0.5f, -40, 240}}) {
        auto s = loadedState();
        s->ChartYScale = c.scale;
        s->LiveCurveOffset[2] = static_cast<std::int16_t>(c.offset);
        s->curveChecked[2] = true;
        s->live.LiveCurveData[2].fill(100);
        RedrawChart(*s, 0);
        const ChartSurface& pic = s->charts[0];
        // Position x ends at column x + 1: columns 1..720 at the row.
        for (int x = 1; x <= 720; ++x) ASSERT_TRUE(pic.isColour(x, c.row, kOrange)) << c.scale << " " << x;
        EXPECT_FALSE(pic.isColour(400, c.row - 1, kOrange));
        EXPECT_FALSE(pic.isColour(400, c.row + 1, kOrange));
        // The first line starts from the kept RedrawLastY (0 at start).
        EXPECT_TRUE(pic.isColour(0, 0, kOrange));
        // The label "3" at (720 - 15, row - 15), and the hand-over to the live steps.
        EXPECT_TRUE(hasText(pic, 705, c.row - 15, "3", kOrange));
        EXPECT_EQ(s->RedrawLastY[2], c.row);
        EXPECT_EQ(s->LastLiveY[2], c.row);
    }
}

TEST(RedrawChart, OnlyCheckedCurvesOfTheChartsUnitAreDrawn) {
    auto s = loadedState();
    s->curveChecked[0] = true;  // slave curve slot 0 = value 20 on chart 1
    s->curveChecked[2] = true;
    for (auto& r : s->live.LiveCurveData) r.fill(50);
    s->RedrawLastY[20] = 250;
    RedrawChart(*s, 1);
    const ChartSurface& pic = s->charts[1];
    EXPECT_TRUE(pic.isColour(300, 250, Rgb{0, 255, 0}));  // 3 * 50 = 150 -> row 250
    EXPECT_TRUE(pic.isColour(300, 160, kOrange));          // value 22: 3 * (50 + 30) -> row 160
    EXPECT_FALSE(s->charts[0].isColour(300, 250, Rgb{0, 255, 0}));
    // Unchecked slot 1 (value 21, red) draws nothing.
    int red = 0;
    for (int x = 0; x < 727; ++x)
        for (int y = 0; y < 400; ++y) red += pic.isColour(x, y, Rgb{255, 0, 0});
    EXPECT_EQ(red, 0);
}

TEST(RedrawChart, LiveGridAndLabelsFollowThePhaseOfSampleCount) {
    auto s = loadedState();
    s->live.SampleCount = 200;  // phase 20
    s->GridLineTime[5] = secondsToDays(3600 + 2 * 60 + 3);
    RedrawChart(*s, 0);
    const ChartSurface& pic = s->charts[0];
    EXPECT_EQ(columnsWithColourAt(pic, 30, kGridColour), (std::set<int>{70, 160, 250, 340, 430, 520, 610, 700}));
    // Horizontal lines are solid up to 725.
    for (int x = 0; x <= 725; ++x) ASSERT_TRUE(pic.isColour(x, 120, kGridColour) || pic.isColour(x, 120, kTextColour));
    EXPECT_TRUE(hasText(pic, 540 - 23 - 20, 385, "01:02:03", kTextColour));
    EXPECT_TRUE(hasText(pic, 90 - 23 - 20, 385, "00:00:00", kTextColour));
}

TEST(RedrawChart, HistoryChartUsesHistoryBuffersOffsetsAndCount) {
    auto s = loadedState();
    s->curveChecked[3] = true;  // slave pressure curve, value 33 on chart 6
    s->hist.HistSampleCount = 300;
    s->hist.HistCurveData[33].fill(100);  // p = 477 -> 400 - 127.2 -> row 273
    s->HistCurveOffset[19] = 13;
    s->LiveCurveOffset[19] = 100;  // must not be used
    s->hist.HistSampleTime[90] = secondsToDays(10 * 3600 + 20 * 60 + 30);
    RedrawChart(*s, 6);
    const ChartSurface& pic = s->charts[6];
    const Rgb yellowCurve{255, 255, 0};
    for (int x = 1; x <= 300; ++x) ASSERT_TRUE(pic.isColour(x, 260, yellowCurve)) << x;
    EXPECT_FALSE(pic.isColour(301, 260, yellowCurve));
    EXPECT_TRUE(hasText(pic, 285, 260 - 15, "4", yellowCurve));
    EXPECT_TRUE(hasText(pic, 90 - 23, 385, "10:20:30 ", kTextColour));
    EXPECT_TRUE(hasText(pic, 720 - 23, 385, "00:00:00 ", kTextColour));
    // Dashed horizontal grid to 725, vertical lines at the fixed places.
    EXPECT_TRUE(pic.isColour(2, 40, kGridColour));
    EXPECT_FALSE(pic.isColour(20, 40, kGridColour));
    EXPECT_EQ(columnsWithColourAt(pic, 30, kGridColour), (std::set<int>{90, 180, 270, 360, 450, 540, 630, 720}));
    EXPECT_EQ(s->LastLiveY[33], 200);  // history redraws leave the live rows alone
}

TEST(RedrawChart, EmptyHistoryDrawsOnlyGridAndTimeLabels) {
    auto s = loadedState();
    s->curveChecked.fill(true);
    s->charts[4].setForeColor(kRed);
    s->charts[4].line(0, 0, 726, 399);
    RedrawChart(*s, 4);
    const ChartSurface& pic = s->charts[4];
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 727; ++x)
            ASSERT_TRUE(pic.isColour(x, y, kBlack) || pic.isColour(x, y, kGridColour) || pic.isColour(x, y, kTextColour))
                << x << "," << y;
    EXPECT_TRUE(hasText(pic, 360 - 23, 385, "00:00:00 ", kTextColour));
}

TEST(ScrollStep, MovesEveryPixelLeftAndAddsTheGridDots) {
    auto s = loadedState();
    ManualClock clock(secondsToDays(12 * 3600));
    ChartSurface& pic = s->charts[2];
    pic.setForeColor(kRed);
    pic.line(600, 0, 726, 399);
    const QImage before = pic.image().copy();
    s->live.SampleCount = 7;
    scrollStep(*s, 2, clock, s->live.SampleCount);
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 724; ++x) ASSERT_EQ(pic.pixel(x, y), before.pixel(x + 1, y) | 0xFF000000u);
    for (int m = 1; m <= 9; ++m) EXPECT_TRUE(pic.isColour(724, 40 * m, kGridColour));
    EXPECT_EQ(pic.foreColor(), kTextColour);
    EXPECT_EQ(s->GridLineTime, (std::array<DateTime, 9>{}));
}

TEST(ScrollStep, DrawsTheNewGridLineAtPhase5AndTheTimeAtPhase30) {
    auto s = std::make_unique<ChartState>();
    ManualClock clock(makeDateTime({2026, 3, 4, 12, 34, 56}));
    s->GridLineTime = {1, 2, 3, 4, 5, 6, 7, 8, 0};
    s->live.SampleCount = 95;
    scrollStep(*s, 0, clock, s->live.SampleCount);
    const ChartSurface& pic = s->charts[0];
    EXPECT_TRUE(pic.isColour(714, 0, kGridColour));
    EXPECT_TRUE(pic.isColour(714, 17, kGridColour));
    EXPECT_FALSE(pic.isColour(714, 18, kGridColour));
    EXPECT_EQ(pic.drawStyle(), 0);
    EXPECT_EQ(s->GridLineTime[0], 2);
    EXPECT_EQ(s->GridLineTime[6], 8);
    EXPECT_DOUBLE_EQ(s->GridLineTime[7], 8 + 4.0 / 960);

    // Chart 1 gets the line but leaves the times.
    scrollStep(*s, 1, clock, s->live.SampleCount);
    EXPECT_TRUE(s->charts[1].isColour(714, 0, kGridColour));
    EXPECT_EQ(s->GridLineTime[0], 2);

    s->live.SampleCount = 120;  // 120 mod 90 = 30
    scrollStep(*s, 0, clock, s->live.SampleCount);
    EXPECT_TRUE(hasText(pic, 666, 385, "12:34:56", kTextColour));
    EXPECT_NEAR(s->GridLineTime[7], makeDateTime({1899, 12, 30, 12, 34, 56}), 1e-9);
    EXPECT_FALSE(pic.isColour(713, 0, kGridColour) && pic.isColour(714, 0, kGridColour));
}

TEST(SegmentStep, JoinsTheLastRowToTheNewRowAtTheRightEdge) {
    auto s = loadedState();
    segmentStep(*s, 2, 100);
    EXPECT_TRUE(s->charts[0].isColour(718, 200, kOrange));
    EXPECT_TRUE(s->charts[0].isColour(719, 100, kOrange));
    EXPECT_EQ(s->LastLiveY[2], 100);
    // An undrawable value is skipped and the curve goes on from the last row.
    segmentStep(*s, 2, 0x7FFFFFFF);
    EXPECT_EQ(s->LastLiveY[2], 100);
    s->LiveCurveOffset[11] = 50;  // slave 1 slot 1 (value 21)
    segmentStep(*s, 21, -30);     // 5 * 0 -> row 400 - 50
    EXPECT_EQ(s->LastLiveY[21], 350);
    EXPECT_TRUE(s->charts[1].isColour(719, 350, kRed));
    segmentStep(*s, 24, 5);  // no curve
    EXPECT_EQ(s->LastLiveY[24], 200);
}

TEST(Zoom, ClampsAtBothEndsWithoutRedrawing) {
    auto s = loadedState();
    s->curveChecked[2] = true;
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(zoomClick(*s, 2, 0));
    EXPECT_FLOAT_EQ(s->ChartYScale, 1.0f / 16);
    auto gen = s->charts[0].generation();
    EXPECT_FALSE(zoomClick(*s, 2, 0));
    EXPECT_FLOAT_EQ(s->ChartYScale, 1.0f / 32);
    EXPECT_FALSE(zoomClick(*s, 2, 0));
    EXPECT_FLOAT_EQ(s->ChartYScale, 1.0f / 32);
    EXPECT_EQ(s->charts[0].generation(), gen);
    EXPECT_TRUE(zoomClick(*s, 3, 0));
    EXPECT_FLOAT_EQ(s->ChartYScale, 1.0f / 16);
    EXPECT_GT(s->charts[0].generation(), gen);

    EXPECT_TRUE(zoomClick(*s, 4, 5));  // Default redraws the shown tab
    EXPECT_EQ(s->ChartYScale, 1.0f);
    for (int i = 0; i < 7; ++i) EXPECT_TRUE(zoomClick(*s, 3, 0));
    EXPECT_FLOAT_EQ(s->ChartYScale, 128);
    gen = s->charts[0].generation();
    EXPECT_FALSE(zoomClick(*s, 3, 0));
    EXPECT_FLOAT_EQ(s->ChartYScale, 256);
    EXPECT_EQ(s->charts[0].generation(), gen);

    // The X buttons change only the X scale; the Y limit test after them
    // still applies, so at Y 256 nothing is redrawn.
    EXPECT_FALSE(zoomClick(*s, 0, 0));
    EXPECT_FLOAT_EQ(s->ChartXScale, 0.5f);
    EXPECT_TRUE(zoomClick(*s, 4, 0));
    EXPECT_TRUE(zoomClick(*s, 1, 0));
    EXPECT_FLOAT_EQ(s->ChartXScale, 2.0f);
}

}  // namespace
}  // namespace orlix
