#pragma once
// The samples behind the four history charts, filled from the sample
// database. Fixed-size, zero at start; position x of a buffer is pixel column
// x of its chart. (The live charts draw from the sampler's live buffers,
// sampling/live_buffers.h.)
#include <array>
#include <cstdint>

#include "base/date_time.h"
#include "sampling/live_buffers.h"

namespace orlix {

struct HistoryBuffers {
    std::array<std::array<std::int16_t, kChartPositions>, kChartRows> HistCurveData{};
    std::array<DateTime, kChartPositions> HistSampleTime{};
    // Positions filled by the last history load, 0..720.
    std::int32_t HistSampleCount = 0;
};

}  // namespace orlix
