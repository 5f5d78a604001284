#include "chart/cursors.h"

#include <gtest/gtest.h>

#include <memory>

#include "fake_view.h"

namespace orlix {
namespace {

using test::FakeView;

struct Rig {
    std::unique_ptr<ChartState> s = std::make_unique<ChartState>();
    FakeView view;
    ChartCursors cur{*s, view};
};

TEST(Cursors, StartHiddenAt320And400OnEveryChart) {
    Rig r;
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(r.cur.X1(2 * k), 320);
        EXPECT_EQ(r.cur.X1(2 * k + 1), 400);
        EXPECT_FALSE(r.cur.visible(2 * k));
    }
    r.s->cursorChecked[1] = true;
    r.cur.cursorBoxClicked(1);
    EXPECT_EQ(r.view.timeDiff, "Time Diff");
    EXPECT_FALSE(r.cur.visible(6));
    EXPECT_TRUE(r.cur.visible(7));
}

TEST(Cursors, PressGrabsWithinSevenPixelsOfAShownCursorOnly) {
    Rig r;
    r.s->cursorChecked[0] = true;
    r.cur.mouseDown(3, 1, 328, 10);  // 8 away
    EXPECT_FALSE(r.cur.dragging(6));
    r.cur.mouseDown(3, 1, 313, 10);  // 7 away
    EXPECT_TRUE(r.cur.dragging(6));
    EXPECT_EQ(r.cur.MouseDownX, 313);
    EXPECT_EQ(r.cur.MouseDownY, 10);
    r.cur.mouseUp(3, 1, 313, 10);
    EXPECT_FALSE(r.cur.dragging(6));
    // Cursor 2's box is not checked: no grab.
    r.cur.mouseDown(3, 1, 401, 10);
    EXPECT_FALSE(r.cur.dragging(7));
    // The right button does not grab.
    r.cur.mouseDown(3, 2, 320, 10);
    EXPECT_FALSE(r.cur.dragging(6));
}

TEST(Cursors, DragReadsLiveValuesAndIgnoresPositionsOutsideTheChart) {
    Rig r;
    auto& b = r.s->live;
    b.LiveCurveData[0][200] = 1234;
    b.LiveCurveData[15][200] = 3;
    b.LiveCurveData[23][200] = 100;
    b.LiveSampleTime[200] = makeDateTime({2026, 1, 2, 3, 4, 5});
    r.s->cursorChecked[0] = true;
    r.cur.mouseDown(0, 1, 322, 0);
    auto a = r.cur.mouseMove(0, 1, 200, 0, false);
    EXPECT_TRUE(a.cursorsMoved);
    EXPECT_EQ(r.cur.X1(0), 200);
    EXPECT_EQ(r.cur.X1(2), 320);  // other charts keep theirs while dragging
    EXPECT_EQ(r.view.status[2], "CurvePos:200");
    EXPECT_EQ(r.view.cell(0, 1), "12.34");
    EXPECT_EQ(r.view.cell(0, 16), "Fan 3");
    EXPECT_EQ(r.view.cell(1, 4), "4.77");
    for (int g = 0; g < 4; ++g) EXPECT_EQ(r.view.cell(g, 22, 0), "2026-01-02 03:04:05");
    const auto writes = r.view.cellWrites;
    r.cur.mouseMove(0, 1, 720, 0, false);
    r.cur.mouseMove(0, 1, -1, 0, false);
    EXPECT_EQ(r.cur.X1(0), 200);
    EXPECT_EQ(r.view.cellWrites, writes);
    EXPECT_EQ(r.view.status[2], "CurvePos:200");
    r.cur.mouseMove(0, 1, 719, 0, false);
    EXPECT_EQ(r.cur.X1(0), 719);
}

TEST(Cursors, AFastDragReleasedOnTheCursorStillCopiesItToEveryChart) {
    Rig r;
    r.s->cursorChecked[0] = true;
    r.cur.mouseDown(5, 1, 322, 0);
    // One big jump of the mouse: the cursor lands under the pointer.
    auto a = r.cur.mouseMove(5, 1, 500, 0, false);
    EXPECT_TRUE(a.customPointer);
    r.cur.mouseUp(5, 1, 500, 0);
    for (int k = 0; k < 8; ++k) EXPECT_EQ(r.cur.X1(2 * k), 500) << k;
}

TEST(Cursors, CursorTwoUsesItsOwnStatusText) {
    Rig r;
    r.s->cursorChecked = {true, true};
    r.cur.mouseDown(2, 1, 405, 0);
    EXPECT_FALSE(r.cur.dragging(4));
    EXPECT_TRUE(r.cur.dragging(5));
    r.cur.mouseMove(2, 1, 500, 0, false);
    EXPECT_EQ(r.cur.X1(5), 500);
    EXPECT_EQ(r.view.status[2], "CursePos:500");
}

TEST(Cursors, TimeDifferenceOnlyWithBothBoxesChecked) {
    Rig r;
    r.s->cursorChecked[0] = true;
    r.view.timeDiff = "Time Diff";
    r.cur.mouseMove(1, 0, 100, 0, false);
    EXPECT_EQ(r.view.timeDiff, "Time Diff");
    r.s->cursorChecked[1] = true;
    r.cur.setX1(2, 300);  // chart 1: 300 and 400 -> 100 pixels
    r.cur.mouseMove(1, 0, 100, 0, false);
    EXPECT_EQ(r.view.timeDiff, "06:40");
    EXPECT_EQ(timeDiffText(400, 397, 4000), "00:12");
    EXPECT_EQ(timeDiffText(0, 719, 4000), "47:56");
    EXPECT_EQ(timeDiffText(0, 719, 999), "00:00");
}

TEST(Cursors, PointerShowsOverAShownCursorOnly) {
    Rig r;
    auto a = r.cur.mouseMove(0, 0, 322, 0, false);
    EXPECT_FALSE(a.pointerChanged);
    r.s->cursorChecked[1] = true;
    a = r.cur.mouseMove(0, 0, 322, 0, false);  // near cursor 1, which is hidden
    EXPECT_FALSE(a.customPointer);
    a = r.cur.mouseMove(0, 0, 393, 0, false);
    EXPECT_TRUE(a.pointerChanged);
    EXPECT_TRUE(a.customPointer);
    EXPECT_TRUE(r.cur.customPointer(0));
    a = r.cur.mouseMove(0, 0, 392, 0, false);
    EXPECT_TRUE(a.pointerChanged);
    EXPECT_FALSE(a.customPointer);
}

TEST(Cursors, RightClickMovesOnlyThisChartsCursorOneUnlessOverAnActiveCursor) {
    Rig r;
    auto a = r.cur.mouseUp(5, 2, 100, 0);
    EXPECT_TRUE(a.cursor1Toggled);
    EXPECT_TRUE(r.s->cursorChecked[0]);
    EXPECT_EQ(r.view.timeDiff, "Time Diff");
    EXPECT_EQ(r.cur.X1(10), 100);
    for (int k = 0; k < 8; ++k) {
        if (k != 5) {
            EXPECT_EQ(r.cur.X1(2 * k), 320) << k;
        }
    }
    // Over an active cursor at release: both cursors go to all charts.
    r.cur.mouseMove(2, 0, 318, 0, false);
    ASSERT_TRUE(r.cur.customPointer(2));
    r.cur.setX1(5, 450);
    r.cur.mouseUp(2, 1, 318, 0);
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(r.cur.X1(2 * k), 320);
        EXPECT_EQ(r.cur.X1(2 * k + 1), 450);
    }
    // A second right click turns cursor 1 off again.
    r.cur.mouseUp(0, 2, 50, 0);
    EXPECT_FALSE(r.s->cursorChecked[0]);
    EXPECT_EQ(r.cur.X1(0), 50);
}

TEST(Cursors, HistoryChartsReadTheHistoryBuffersIntoAllFourGrids) {
    Rig r;
    auto& b = r.s->hist;
    r.s->live.LiveCurveData[2][10] = 11;
    b.HistCurveData[2][10] = 77;
    b.HistCurveData[22][10] = 5;
    b.HistCurveData[35][10] = 1500;
    b.HistCurveData[46][10] = 0x01;
    b.HistCurveData[12][10] = 12;
    b.HistSampleTime[10] = makeDateTime({2025, 5, 6, 7, 8, 9});
    r.s->cursorChecked[1] = true;
    r.cur.mouseDown(7, 1, 400, 0);
    r.cur.mouseMove(7, 1, 10, 0, false);
    EXPECT_EQ(r.view.cell(0, 3), "77");
    EXPECT_EQ(r.view.cell(1, 3), "5");
    EXPECT_EQ(r.view.cell(2, 6), "1500");
    EXPECT_EQ(r.view.cell(3, 11), "On");
    EXPECT_EQ(r.view.cell(0, 13), "100% On");
    EXPECT_EQ(r.view.cell(2, 10), "100% On");
    for (int g = 0; g < 4; ++g) EXPECT_EQ(r.view.cell(g, 22, 0), "2025-05-06 07:08:09");
}

TEST(Cursors, ScribbleLinesOnlyWhileAlwaysOnTop) {
    Rig r;
    r.cur.mouseDown(1, 1, 10, 10);
    auto a = r.cur.mouseMove(1, 1, 20, 10, false);
    EXPECT_FALSE(a.imageChanged);
    EXPECT_TRUE(r.s->charts[1].isColour(15, 10, kBlack));
    a = r.cur.mouseMove(1, 1, 20, 10, true);
    EXPECT_TRUE(a.imageChanged);
    for (int x = 10; x <= 20; ++x) EXPECT_TRUE(r.s->charts[1].isColour(x, 10, kCursorColour));
    r.cur.setRandomSource([] { return 0.5; });
    r.cur.mouseMove(1, 2, 10, 30, true);
    EXPECT_TRUE(r.s->charts[1].isColour(10, 30, (Rgb{128, 128, 0})));  // 127.5 -> 128
    EXPECT_EQ(r.s->charts[1].foreColor(), kBlack);                      // the pen colour is untouched
    a = r.cur.mouseMove(1, 3, 10, 50, true);
    EXPECT_FALSE(a.imageChanged);
}

}  // namespace
}  // namespace orlix
