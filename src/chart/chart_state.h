#pragma once
// Everything the analyzer keeps about its charts: buffers, zoom, offsets,
// per-curve drawing state, the curve and cursor check boxes and the eight
// chart pictures.
#include <array>
#include <cstdint>
#include <memory>

#include "chart/chart_buffers.h"
#include "chart/chart_surface.h"

namespace orlix {

inline constexpr int kChartCount = 8;
inline constexpr int kLiveCharts = 4;
inline constexpr Rgb kGridColour{128, 128, 0};
inline constexpr Rgb kTextColour{255, 255, 0};
inline constexpr Rgb kCursorColour{0, 255, 0};

struct ChartState {
    // The live charts draw the samples of `shared` (the sampler's buffers);
    // without it the state has live buffers of its own (tests, benchmarks).
    ChartState();
    explicit ChartState(LiveBuffers& shared);
    ChartState(const ChartState&) = delete;
    ChartState& operator=(const ChartState&) = delete;

private:
    std::unique_ptr<LiveBuffers> ownLive_;

public:
    LiveBuffers& live;
    HistoryBuffers hist;
    float ChartYScale = 1.0f, ChartXScale = 1.0f;
    std::array<std::int16_t, 29> LiveCurveOffset{}, HistCurveOffset{};
    std::array<std::int32_t, 51> LastLiveY{};   // 200 for 0..49 after load
    std::array<std::int32_t, 51> RedrawLastY{};
    std::array<DateTime, 9> GridLineTime{};
    std::array<bool, 10> curveChecked{};        // chkOptCurve(0..9).Value
    std::array<bool, 2> cursorChecked{};        // chkCursor(0..1).Value
    // Timer1.Interval in ms (program time; the window divides by the clock's
    // time scale for the real timer).
    int intervalMs = 4000;
    std::array<ChartSurface, kChartCount> charts;  // picChart(0..7)
};

// The load steps that concern charts: scales 1, LastLiveY 200, the first grid
// on all eight pictures.
void loadCharts(ChartState& s);

}  // namespace orlix
