#pragma once
// Drawing on the chart pictures: the per-tick scroll and segment steps of the
// live charts, the full redraw of any chart from its buffers, and the zoom.
#include <cstdint>

#include "chart/chart_state.h"
#include "base/clock.h"

namespace orlix {

// Dashed grid of the load and of a history chart: vertical lines x = 90 i
// (i 1..8) from y 5 down, horizontal lines y = 40 i (i 1..9) from x 0 to
// `horizontalEnd`; leaves the pen solid.
void drawFirstGrid(ChartSurface& pic, int horizontalEnd);

// Scroll step on live chart c (0..3) of a tick; `sampleCount` is
// SampleCount as it stood before the tick counted. Chart 0 also maintains
// GridLineTime.
void scrollStep(ChartState& s, int c, const Clock& clock, std::int32_t sampleCount);

// Segment step for value index k with the live value v: the newest one-pixel
// piece of its curve on its unit's live chart. Does nothing for an index
// without a curve; skipped when the row is out of range.
void segmentStep(ChartState& s, int valueIndex, std::int32_t v);

// Full redraw of picture `tab` (0..7) from its buffers.
void RedrawChart(ChartState& s, int tab);

// cmdAxesScale_Click(index): the five zoom buttons; redraws `shownTab` unless
// the Y scale hit a limit. Returns whether it redrew.
bool zoomClick(ChartState& s, int index, int shownTab);

}  // namespace orlix
