#include "sampling/sampling_core.h"

#include <cstring>
#include <limits>

namespace orlix {

bool SamplingCore::tick(const std::array<std::int32_t, 52>& LiveValues, DateTime now) {
    if (++b_.SampleCount > kSampleCountWrap) b_.SampleCount = 0;

    for (int k = 0; k < 50; ++k) {
        const std::int32_t v = LiveValues[static_cast<std::size_t>(k)];
        auto& row = b_.LiveCurveData[static_cast<std::size_t>(k)];
        std::memmove(row.data(), row.data() + 1, kNewestPosition * sizeof(std::int16_t));
        if (v >= std::numeric_limits<std::int16_t>::min() && v <= std::numeric_limits<std::int16_t>::max())
            row[kNewestPosition] = static_cast<std::int16_t>(v);
    }
    std::memmove(b_.LiveSampleTime.data(), b_.LiveSampleTime.data() + 1, kNewestPosition * sizeof(DateTime));
    b_.LiveSampleTime[kNewestPosition] = now;

    // Batches follow each other exactly 45 ticks apart from the moment
    // recording was switched on, so every sample is stored once, also when
    // SampleCount wraps from 60000 to 0.
    if (!recording_ || ++ticksSinceBatch_ < kBatchTicks) return false;
    ticksSinceBatch_ = 0;
    return true;
}

void SamplingCore::setRecording(bool on) {
    if (on && !recording_) {
        SavePhase = static_cast<std::int16_t>(b_.SampleCount % kBatchTicks);
        ticksSinceBatch_ = 0;
    }
    recording_ = on;
}

}  // namespace orlix
