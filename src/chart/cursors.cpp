#include "chart/cursors.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "chart/value_texts.h"

namespace orlix {
namespace {

constexpr int kCursor1Start = 320, kCursor2Start = 400;
constexpr int kLastPosition = 719;

std::int16_t to16(int v) {
    return static_cast<std::int16_t>(v < -32768 ? -32768 : (v > 32767 ? 32767 : v));
}

}  // namespace

std::string timeDiffText(int x1, int x2, int intervalMs) {
    const long long s = std::llabs(static_cast<long long>(x1) - x2) * (intervalMs / 1000);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld", s / 60, s % 60);
    return buf;
}

ChartCursors::ChartCursors(ChartState& s, AnalyzerView& view) : s_(s), view_(view) {
    for (int k = 0; k < kChartCount; ++k) {
        x_[2 * k] = kCursor1Start;
        x_[2 * k + 1] = kCursor2Start;
    }
    random_ = [engine = std::mt19937(std::random_device{}())]() mutable {
        return std::uniform_real_distribution<double>(0.0, 1.0)(engine);
    };
}

bool ChartCursors::visible(int line) const {
    return line >= 0 && line < kCursorLines && s_.cursorChecked[line % 2];
}

CursorAction ChartCursors::cursorBoxClicked(int) {
    view_.setTimeDiffText("Time Diff");
    CursorAction a;
    a.cursorsMoved = true;
    return a;
}

CursorAction ChartCursors::mouseDown(int k, int button, int x, int y) {
    CursorAction a;
    if (k < 0 || k >= kChartCount || button != 1) return a;
    for (int c = 0; c < 2; ++c) {
        if (std::abs(x_[2 * k + c] - x) < kGrabDistance) CursorDragging[2 * k + c] = s_.cursorChecked[c] ? 1 : 0;
    }
    MouseDownX = to16(x);
    MouseDownY = to16(y);
    return a;
}

CursorAction ChartCursors::mouseMove(int k, int buttons, int x, int y, bool alwaysOnTop) {
    CursorAction a;
    if (k < 0 || k >= kChartCount) return a;
    const int l1 = 2 * k, l2 = 2 * k + 1;

    const bool inside = x >= 0 && x <= kLastPosition;
    if (CursorDragging[l1] && inside) {
        x_[l1] = x;
        text_ = "CurvePos:" + std::to_string(x);
        view_.setStatusText(2, text_);
        readout(k, x);
        a.cursorsMoved = true;
    } else if (CursorDragging[l2] && inside) {
        x_[l2] = x;
        text_ = "CursePos:" + std::to_string(x);
        view_.setStatusText(2, text_);
        readout(k, x);
        a.cursorsMoved = true;
    }

    // The pointer is judged after a drag step: a cursor dragged with a fast
    // mouse sits under the pointer again, so releasing it there still copies
    // it to every chart.
    const bool over = (std::abs(x_[l1] - x) < kGrabDistance && s_.cursorChecked[0]) ||
                      (std::abs(x_[l2] - x) < kGrabDistance && s_.cursorChecked[1]);
    if (over != pointer_[k]) {
        pointer_[k] = over;
        a.pointerChanged = true;
    }
    a.customPointer = over;

    if (s_.cursorChecked[0] && s_.cursorChecked[1]) view_.setTimeDiffText(timeDiffText(x_[l1], x_[l2], s_.intervalMs));

    if (alwaysOnTop && (buttons == 1 || buttons == 2)) {
        Rgb colour = kCursorColour;
        if (buttons == 2) {
            const double r = random_(), g = random_();
            colour = Rgb{static_cast<std::uint8_t>(std::nearbyint(r * 255)),
                         static_cast<std::uint8_t>(std::nearbyint(g * 255)), 0};
        }
        s_.charts[k].line(MouseDownX, MouseDownY, x, y, colour);
        a.imageChanged = true;
    }
    return a;
}

CursorAction ChartCursors::mouseUp(int k, int button, int x, int) {
    CursorAction a;
    if (k < 0 || k >= kChartCount) return a;
    CursorDragging[2 * k] = 0;
    CursorDragging[2 * k + 1] = 0;
    if (button == 2) {
        x_[2 * k] = x;
        s_.cursorChecked[0] = !s_.cursorChecked[0];
        cursorBoxClicked(0);
        a.cursor1Toggled = true;
        a.cursorsMoved = true;
    }
    if (pointer_[k]) {
        for (int j = 0; j < kChartCount; ++j) {
            x_[2 * j] = x_[2 * k];
            x_[2 * j + 1] = x_[2 * k + 1];
        }
        a.cursorsMoved = true;
    }
    return a;
}

void ChartCursors::readout(int chart, int x) {
    if (chart < 0 || chart >= kChartCount || x < 0 || x > kLastPosition) return;
    const bool history = chart >= kLiveCharts;
    const auto& data = history ? s_.hist.HistCurveData : s_.live.LiveCurveData;
    const auto& times = history ? s_.hist.HistSampleTime : s_.live.LiveSampleTime;
    for (int v = 0; v < 50; ++v) {
        const ValueCells cells = valueTexts(v, data[v][x], TextMode::Readout);
        for (int i = 0; i < cells.count; ++i) {
            const ValueCell& c = cells.cells[i];
            text_.assign(c.text());
            view_.setGridCell(c.grid, c.row, c.col, text_);
        }
    }
    assignGeneralDateTime(text_, times[x]);
    for (int g = 0; g < 4; ++g) view_.setGridCell(g, 22, 0, text_);
}

}  // namespace orlix
