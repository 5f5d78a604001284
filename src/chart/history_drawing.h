#pragma once
// Drawing of the four history charts after a history load: grid, the curves
// of the checked slots from row 0, curve labels and the time labels.
#include <cstdint>

#include "chart/chart_state.h"

namespace orlix {

// Stores loaded record n (0..719) into the history buffers: values of value
// indices 0..49 and its time. Positions >= 720 are ignored.
void storeHistoryRecord(HistoryBuffers& b, int n, const std::int16_t* values50, DateTime time);

// Redraws pictures 4..7 from HistCurveData, HistSampleTime and
// HistSampleCount (already filled): clear, dashed grid, curves starting from
// row 0 at the top-left corner, labels at HistSampleCount - 15, and the time
// labels "hh:mm:ss " at x = 0, 90, ..., 720.
void drawHistoryCharts(ChartState& s);

}  // namespace orlix
