#include "chart/chart_surface.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "chart/chart_state.h"

namespace orlix {
namespace {

constexpr Rgb kC{10, 200, 30};

int countColour(const ChartSurface& s, Rgb c) {
    int n = 0;
    for (int y = 0; y < ChartSurface::kHeight; ++y)
        for (int x = 0; x < ChartSurface::kWidth; ++x) n += s.isColour(x, y, c);
    return n;
}

TEST(ChartSurface, StartsBlackAndClearResetsPosition) {
    ChartSurface s;
    EXPECT_EQ(s.image().size(), QSize(727, 400));
    EXPECT_EQ(s.image().format(), QImage::Format_RGB32);
    EXPECT_EQ(countColour(s, kBlack), 727 * 400);
    s.setForeColor(kC);
    s.pset(3, 4);
    s.CurrentX = 10;
    s.CurrentY = 20;
    s.clear();
    EXPECT_EQ(countColour(s, kBlack), 727 * 400);
    EXPECT_EQ(s.CurrentX, 0);
    EXPECT_EQ(s.CurrentY, 0);
}

TEST(ChartSurface, HorizontalAndVerticalLinesSetExactlyTheirPixelsBothEndsIncluded) {
    ChartSurface s;
    s.setForeColor(kC);
    s.line(10, 50, 20, 50);
    for (int x = 10; x <= 20; ++x) EXPECT_TRUE(s.isColour(x, 50, kC)) << x;
    s.line(5, 100, 5, 90);  // drawn upwards
    for (int y = 90; y <= 100; ++y) EXPECT_TRUE(s.isColour(5, y, kC)) << y;
    EXPECT_EQ(countColour(s, kC), 11 + 11);
}

TEST(ChartSurface, SteepLineIsConnectedAndEndsAtBothPoints) {
    ChartSurface s;
    s.setForeColor(kC);
    s.line(718, 200, 719, 100);
    EXPECT_TRUE(s.isColour(718, 200, kC));
    EXPECT_TRUE(s.isColour(719, 100, kC));
    // one pixel per row between the ends
    for (int y = 100; y <= 200; ++y) EXPECT_EQ(s.isColour(718, y, kC) + s.isColour(719, y, kC), 1) << y;
}

TEST(ChartSurface, FarOutsideEndPointsAreClippedToTheSamePixels) {
    // A line whose ends lie far outside must touch the same visible pixels
    // as the same line drawn on a picture large enough to hold it.
    ChartSurface clipped;
    clipped.setForeColor(kC);
    clipped.line(-300, -1000, 1000, 2000);
    int visible = 0;
    const long long dx = 1300, dy = 3000;
    for (long long i = 0; i <= dy; ++i) {
        const long long y = -1000 + i;
        const long long x = -300 + (2 * dx * i + dy) / (2 * dy);
        if (x >= 0 && x < 727 && y >= 0 && y < 400) {
            EXPECT_TRUE(clipped.isColour(static_cast<int>(x), static_cast<int>(y), kC)) << x << "," << y;
            ++visible;
        }
    }
    EXPECT_EQ(countColour(clipped, kC), visible);
    // Extreme rows (a curve at a tiny zoom) draw quickly and stay in bounds.
    clipped.line(10, -2000000000, 11, 2000000000);
    EXPECT_TRUE(clipped.isColour(10, 0, kC) || clipped.isColour(11, 0, kC));
    // Both deltas beyond 31 bits: the diagonal through the origin.
    ChartSurface diagonal;
    diagonal.setForeColor(kC);
    diagonal.line(-2147483647, -2147483647, 2147483647, 2147483647);
    for (int i = 0; i < 400; ++i) ASSERT_TRUE(diagonal.isColour(i, i, kC)) << i;
    EXPECT_EQ(countColour(diagonal, kC), 400);
}

TEST(ChartSurface, DashedLinesLeaveGapsAndSolidDoesNot) {
    ChartSurface s;
    s.setForeColor(kC);
    s.setDrawStyle(1);
    s.line(0, 10, 100, 10);
    s.setDrawStyle(0);
    s.line(0, 20, 100, 20);
    int dashed = 0;
    for (int x = 0; x <= 100; ++x) dashed += s.isColour(x, 10, kC);
    EXPECT_GT(dashed, 50);
    EXPECT_LT(dashed, 101);
    EXPECT_TRUE(s.isColour(0, 10, kC));
    for (int x = 0; x <= 100; ++x) EXPECT_TRUE(s.isColour(x, 20, kC));
}

TEST(ChartSurface, ScrollLeftMovesEveryPixelAndKeepsTheLastColumn) {
    ChartSurface s;
    for (int y = 0; y < 400; y += 7)
        for (int x = 0; x < 727; x += 5) {
            s.setForeColor(Rgb{static_cast<std::uint8_t>(x % 256), static_cast<std::uint8_t>(y % 256), 9});
            s.pset(x, y);
        }
    const QImage before = s.image().copy();
    const auto gen = s.generation();
    s.scrollLeft();
    EXPECT_GT(s.generation(), gen);
    for (int y = 0; y < 400; ++y) {
        for (int x = 0; x < 726; ++x) ASSERT_EQ(s.pixel(x, y), before.pixel(x + 1, y)) << x << "," << y;
        ASSERT_EQ(s.pixel(726, y), before.pixel(726, y));
    }
}

TEST(ChartSurface, PrintDrawsInForeColourAtCurrentPositionAndMovesToNextLine) {
    ChartSurface s;
    s.setForeColor(kTextColour);
    s.CurrentX = 100;
    s.CurrentY = 50;
    s.print("1");
    int inCell = 0;
    for (int y = 50; y < 50 + ChartSurface::kCharHeight; ++y)
        for (int x = 100; x < 100 + ChartSurface::kCharWidth; ++x) inCell += s.isColour(x, y, kTextColour);
    EXPECT_GT(inCell, 5);
    EXPECT_EQ(countColour(s, kTextColour), inCell);  // nothing outside the cell
    EXPECT_EQ(s.CurrentX, 0);
    EXPECT_EQ(s.CurrentY, 50 + ChartSurface::kCharHeight);

    // Different texts give different pictures; text partly off the picture is clipped.
    ChartSurface a, b;
    a.setForeColor(kTextColour);
    b.setForeColor(kTextColour);
    a.print("12:34:56");
    b.print("12:34:57");
    EXPECT_NE(a.image(), b.image());
    a.CurrentX = -23;
    a.CurrentY = 395;
    a.print("00:00:00 ");
}

}  // namespace
}  // namespace orlix
