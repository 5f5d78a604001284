#include "chart/chart_drawing.h"

#include <cmath>
#include <cstdio>

#include "chart/chart_paint.h"
#include "chart/curve_table.h"

namespace orlix {
namespace {

constexpr int kGridCell = 90;  // samples between vertical grid lines
// Extent used for lines that run to the bottom edge: the picture height in
// the window's units, always beyond the last pixel row.
constexpr int kChartHeightExtent = 6000;
constexpr int kRightGridDotX = 725;
constexpr int kNewGridLineX = 715;
constexpr int kTimeLabelX = 667, kTimeLabelY = 385;
constexpr int kLabelLeftOfLine = 23;

constexpr int firstValueOfChart[4] = {0, 20, 30, 40};
constexpr int lastValueOfChart[4] = {9, 25, 35, 45};

}  // namespace

void drawFirstGrid(ChartSurface& pic, int horizontalEnd) {
    pic.setDrawStyle(1);
    for (int i = 1; i <= 8; ++i) pic.line(kGridCell * i, 5, kGridCell * i, kChartHeightExtent, kGridColour);
    for (int i = 1; i <= 9; ++i) pic.line(0, 40 * i, horizontalEnd, 40 * i, kGridColour);
    pic.setDrawStyle(0);
}

ChartState::ChartState() : ownLive_(std::make_unique<LiveBuffers>()), live(*ownLive_) {}

ChartState::ChartState(LiveBuffers& shared) : live(shared) {}

void loadCharts(ChartState& s) {
    s.ChartXScale = 1.0f;
    s.ChartYScale = 1.0f;
    for (int k = 0; k < 50; ++k) s.LastLiveY[k] = 200;
    for (ChartSurface& pic : s.charts) {
        pic.setDrawStyle(1);
        for (int j = 1; j <= 8; ++j) pic.line(kGridCell * j, 5, kGridCell * j, kChartHeightExtent, kGridColour);
        pic.setDrawStyle(0);
    }
    for (ChartSurface& pic : s.charts) {
        pic.setDrawStyle(1);
        for (int j = 1; j <= 9; ++j) pic.line(0, 40 * j, 720, 40 * j, kGridColour);
        pic.setDrawStyle(0);
    }
}

void scrollStep(ChartState& s, int c, const Clock& clock, std::int32_t n) {
    if (c < 0 || c >= kLiveCharts) return;
    ChartSurface& pic = s.charts[c];
    pic.setForeColor(kGridColour);
    for (int m = 1; m <= 9; ++m) pic.pset(kRightGridDotX, 40 * m);
    if (n % kGridCell == 5) {
        pic.setDrawStyle(1);
        pic.line(kNewGridLineX, 0, kNewGridLineX, 400);
        pic.setDrawStyle(0);
        if (c == 0) {
            for (int j = 1; j <= 7; ++j) s.GridLineTime[j - 1] = s.GridLineTime[j];
            s.GridLineTime[7] += (s.intervalMs / 1000.0) / 960.0;
        }
    }
    pic.setForeColor(kTextColour);
    if (n % kGridCell == 30) {
        const DateTime now = clock.now();
        const DateTime timeOfDay = now - std::floor(now);
        char text[16];
        const DateTimeParts p = splitDateTime(timeOfDay);
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", p.hour, p.minute, p.second);
        pic.CurrentX = kTimeLabelX;
        pic.CurrentY = kTimeLabelY;
        pic.print(text);
        if (c == 0) s.GridLineTime[7] = timeOfDay;
    }
    pic.scrollLeft();
}

void segmentStep(ChartState& s, int k, std::int32_t v) {
    const Curve* curve = curveForValue(k);
    if (!curve) return;
    ChartSurface& pic = s.charts[unitOfValue(k)];
    pic.setForeColor(curve->colour);
    const auto y = curveRow(*curve, v, s.ChartYScale, s.LiveCurveOffset[curve->offsetSlot]);
    if (!y) return;  // the value has no drawable row: this piece is skipped
    pic.line(kNewestPosition - 1, s.LastLiveY[k], kNewestPosition, *y);
    s.LastLiveY[k] = *y;
}

void drawCurves(ChartState& s, ChartSurface& pic, int first, int last,
                const std::array<std::array<std::int16_t, kChartPositions>, kChartRows>& data,
                const std::array<std::int16_t, 29>& offsets, int count, std::array<std::int32_t, 51>& previous,
                bool handOverToLive) {
    double y = 0;  // the last row drawn, carried from curve to curve
    for (int k = first; k <= last; ++k) {
        const Curve* curve = curveForValue(k);
        if (!curve || !s.curveChecked[curve->slot]) continue;
        pic.setForeColor(curve->colour);
        const int offset = offsets[curve->offsetSlot];
        for (int x = 0; x < count; ++x) {
            const auto exact = curveY(*curve, data[k][x], s.ChartYScale, offset);
            if (!exact) continue;
            const double rounded = std::nearbyint(*exact);
            if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) continue;
            y = *exact;
            const auto row = static_cast<std::int32_t>(rounded);
            pic.line(x, previous[k], x + 1, row);
            previous[k] = row;
        }
        if (handOverToLive) s.LastLiveY[k] = previous[k];
        pic.CurrentX = count - 15;
        pic.CurrentY = y - 15;
        pic.print(slotLabel(curve->slot));
    }
}

void RedrawChart(ChartState& s, int tab) {
    if (tab < 0 || tab >= kChartCount) return;
    const int unit = tab % 4;
    ChartSurface& pic = s.charts[tab];
    pic.clear();
    pic.setForeColor(kTextColour);
    if (tab < kLiveCharts) {
        const int phase = s.live.SampleCount % kGridCell;
        pic.setDrawStyle(1);
        for (int i = 1; i <= 8; ++i)
            pic.line(kGridCell * i - phase, 5, kGridCell * i - phase, kChartHeightExtent, kGridColour);
        pic.setDrawStyle(0);
        for (int i = 1; i <= 9; ++i) pic.line(0, 40 * i, 725, 40 * i, kGridColour);
        pic.setForeColor(kTextColour);
        // GridLineTime(j) labels line i = j + 1 once the ticks have drawn the
        // newest line (the tick that starts at phase 5 draws it and shifts
        // the times, leaving phase 6). In phases 0..5 the redraw already
        // shows that line, so each line takes the next entry and the newest
        // line the time one cell after the last.
        const bool linesAhead = phase <= 5;
        const DateTime cell = (s.intervalMs / 1000.0) / 960.0;
        for (int x = kGridCell; x <= 720; x += kGridCell) {
            const int i = x / kGridCell;
            DateTime t = s.GridLineTime[i - 1];
            if (linesAhead) t = i < 8 ? s.GridLineTime[i] : s.GridLineTime[7] + cell;
            pic.CurrentX = x - kLabelLeftOfLine - phase;
            pic.CurrentY = kTimeLabelY;
            pic.print(timeOfDayText(t));
        }
        drawCurves(s, pic, firstValueOfChart[unit], lastValueOfChart[unit], s.live.LiveCurveData, s.LiveCurveOffset,
                   720, s.RedrawLastY, true);
    } else {
        drawFirstGrid(pic, 725);
        drawHistoryTimeLabels(s, pic);
        drawCurves(s, pic, firstValueOfChart[unit], lastValueOfChart[unit], s.hist.HistCurveData, s.HistCurveOffset,
                   historyCount(s), s.RedrawLastY, false);
    }
}

bool zoomClick(ChartState& s, int index, int shownTab) {
    switch (index) {
        case 0: s.ChartXScale /= 2; break;
        case 1: s.ChartXScale *= 2; break;
        case 2: s.ChartYScale /= 2; break;
        case 3: s.ChartYScale *= 2; break;
        case 4:
            s.ChartXScale = 1;
            s.ChartYScale = 1;
            break;
        default: return false;
    }
    if (s.ChartYScale <= 1.0f / 32) {
        s.ChartYScale = 1.0f / 32;
        return false;
    }
    if (s.ChartYScale >= 256.0f) {
        s.ChartYScale = 256.0f;
        return false;
    }
    RedrawChart(s, shownTab);
    return true;
}

}  // namespace orlix
