#include "chart/history_drawing.h"

#include <algorithm>

#include "chart/chart_drawing.h"
#include "chart/chart_paint.h"

namespace orlix {

int historyCount(const ChartState& s) { return std::clamp(s.hist.HistSampleCount, 0, 720); }

void drawHistoryTimeLabels(const ChartState& s, ChartSurface& pic) {
    pic.setForeColor(kTextColour);
    for (int x = 0; x <= 720; x += 90) {
        pic.CurrentX = x - 23;
        pic.CurrentY = 385;
        pic.print(chartTimeLabelText(s.hist.HistSampleTime[x]));
    }
}

void storeHistoryRecord(HistoryBuffers& b, int n, const std::int16_t* values50, DateTime time) {
    if (n < 0 || n >= 720) return;
    for (int i = 0; i < 50; ++i) b.HistCurveData[i][n] = values50[i];
    b.HistSampleTime[n] = time;
}

void drawHistoryCharts(ChartState& s) {
    for (int k = 4; k < 8; ++k) {
        s.charts[k].clear();
        drawFirstGrid(s.charts[k], 725);
    }
    // Every curve starts from row 0 at each load.
    std::array<std::int32_t, 51> previous{};
    const int count = historyCount(s);
    constexpr int first[4] = {0, 20, 30, 40}, last[4] = {9, 25, 35, 45};
    for (int unit = 0; unit < 4; ++unit)
        drawCurves(s, s.charts[4 + unit], first[unit], last[unit], s.hist.HistCurveData, s.HistCurveOffset, count,
                   previous, false);
    for (int k = 4; k < 8; ++k) drawHistoryTimeLabels(s, s.charts[k]);
}

}  // namespace orlix
