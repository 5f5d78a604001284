#pragma once
// Drawing pieces shared by the live redraw and the history drawing.
#include <array>
#include <cstdint>

#include "chart/chart_state.h"

namespace orlix {

// Curves of value indices first..last whose box is checked, from `data`, each
// line starting at the row held in `previous` (updated as it goes), then the
// curve's label at count - 15. With handOverToLive the live segment steps go
// on from the redrawn curve.
void drawCurves(ChartState& s, ChartSurface& pic, int first, int last,
                const std::array<std::array<std::int16_t, kChartPositions>, kChartRows>& data,
                const std::array<std::int16_t, 29>& offsets, int count, std::array<std::int32_t, 51>& previous,
                bool handOverToLive);

// "hh:mm:ss " of HistSampleTime(x) at x - 23 for x = 0, 90, ..., 720.
void drawHistoryTimeLabels(const ChartState& s, ChartSurface& pic);

// HistSampleCount kept within 0..720.
int historyCount(const ChartState& s);

}  // namespace orlix
