#pragma once
// The samples behind the eight charts: the live window filled by the sampling
// tick and the history window filled from the sample database. Fixed-size,
// zero at start; position x of a buffer is pixel column x of its chart.
#include <array>
#include <cstdint>

#include "platform/date_time.h"

namespace orlix {

inline constexpr int kValueRows = 51;       // value indices 0..50 (50 never written)
inline constexpr int kBufferPositions = 721;  // positions 0..720 (720 never written)
inline constexpr int kNewestPosition = 719;
inline constexpr std::int32_t kSampleCountWrap = 60000;

struct ChartBuffers {
    // [value index][position]; position 719 newest, 0 oldest.
    std::array<std::array<std::int16_t, kBufferPositions>, kValueRows> LiveCurveData{};
    std::array<DateTime, kBufferPositions> LiveSampleTime{};
    // Ticks so far: 0, 1, ..., 60000, 0, ...
    std::int32_t SampleCount = 0;
    std::array<std::array<std::int16_t, kBufferPositions>, kValueRows> HistCurveData{};
    std::array<DateTime, kBufferPositions> HistSampleTime{};
    // Positions filled by the last history load, 0..720.
    std::int32_t HistSampleCount = 0;
};

}  // namespace orlix
