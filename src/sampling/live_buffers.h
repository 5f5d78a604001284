#pragma once
// The live sample window behind the analyzer's four live charts and the
// recording batches: the last 720 samples of every value index, their
// times, and the tick counter. Fixed-size, zero at start.
#include <array>
#include <cstdint>

#include "base/date_time.h"
#include "database/sample_recorder.h"

namespace orlix {

// kChartRows value indices 0..50 (50 never written), kChartPositions
// positions 0..720 (720 never written): the sizes the database's batch views
// take (database/sample_recorder.h).
inline constexpr int kNewestPosition = 719;
inline constexpr std::int32_t kSampleCountWrap = 60000;

struct LiveBuffers {
    // [value index][position]; position 719 newest, 0 oldest. A shifting
    // window: every tick moves each row one position towards 0.
    std::array<std::array<std::int16_t, kChartPositions>, kChartRows> LiveCurveData{};
    // Time of the sample at the same position; 0 where no tick has been.
    std::array<DateTime, kChartPositions> LiveSampleTime{};
    // Ticks so far: 0, 1, ..., 60000, 0, ...
    std::int32_t SampleCount = 0;
};

}  // namespace orlix
