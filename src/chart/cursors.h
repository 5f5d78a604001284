#pragma once
// The two time cursors of every chart: grabbing, dragging, the readout of the
// values under a cursor into the value grids, the time between the cursors,
// and the synchronisation of all eight charts. The cursors are not part of
// the chart images: the window paints them over the pictures from this state.
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "chart/chart_state.h"
#include "chart/sampling_cycle.h"

namespace orlix {

inline constexpr int kCursorLines = 16;
inline constexpr int kGrabDistance = 8;  // a press closer than this grabs

// What the window must do after a mouse event on a chart.
struct CursorAction {
    bool pointerChanged = false;   // switch the chart's mouse pointer
    bool customPointer = false;    // the pointer it now shows (true: cursor pointer)
    bool cursorsMoved = false;     // repaint the cursor lines (any chart)
    bool cursor1Toggled = false;   // chkCursor(0) changed value: update the check box
    bool imageChanged = false;     // a scribble line was drawn into the chart image
};

class ChartCursors {
public:
    ChartCursors(ChartState& s, AnalyzerView& view);

    // X position of linCursor(line) (X1 = X2).
    int X1(int line) const { return x_[line]; }
    void setX1(int line, int x) { x_[line] = x; }
    // linCursor(line) is shown while its cursor box is checked.
    bool visible(int line) const;
    bool dragging(int line) const { return CursorDragging[line] != 0; }
    bool customPointer(int chart) const { return pointer_[chart]; }

    // Cursor box c (0, 1) was clicked; chkCursor(c) already holds its new value.
    CursorAction cursorBoxClicked(int c);
    // Button 1 left, 2 right; buttons of a move: the held-button mask (1, 2).
    CursorAction mouseDown(int chart, int button, int x, int y);
    CursorAction mouseMove(int chart, int buttons, int x, int y, bool alwaysOnTop);
    CursorAction mouseUp(int chart, int button, int x, int y);

    // Writes the values and sample time at buffer position x (live buffers
    // for charts 0..3, history for 4..7) into all four value grids.
    void readout(int chart, int x);

    // Source of uniform random numbers in [0, 1) for the scribble colour.
    void setRandomSource(std::function<double()> r) { random_ = std::move(r); }

    std::array<std::int16_t, 17> CursorDragging{};
    std::int16_t MouseDownX = 0, MouseDownY = 0;

private:
    ChartState& s_;
    AnalyzerView& view_;
    std::array<int, kCursorLines> x_{};
    std::array<bool, kChartCount> pointer_{};
    std::function<double()> random_;
    std::string text_;
};

// "mm:ss" of |x1 - x2| pixels at intervalMs per pixel (whole seconds).
std::string timeDiffText(int x1, int x2, int intervalMs);

}  // namespace orlix
