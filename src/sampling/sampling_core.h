#pragma once
// The sampling tick without a window: once per tick it takes the live values
// into the live buffers and says when a recording batch is due. The
// analyzer's SamplingCycle draws and writes the grids around it; headless
// recording (a capture turned into a database, the unattended recorder)
// uses it alone.
#include <array>
#include <cstdint>

#include "base/date_time.h"
#include "sampling/live_buffers.h"

namespace orlix {

// Ticks between two recording batches.
inline constexpr int kBatchTicks = 45;

class SamplingCore {
public:
    explicit SamplingCore(LiveBuffers& buffers) : b_(buffers) {}

    // One tick: SampleCount + 1 (above 60000 it becomes 0); every row of
    // LiveCurveData and LiveSampleTime moves one position towards 0, and
    // position 719 takes LiveValues(k) and `now`. A value outside the 16-bit
    // range cannot be stored: the row's previous sample stays there. Returns
    // true when a recording batch is due at the end of this tick.
    bool tick(const std::array<std::int32_t, 52>& LiveValues, DateTime now);

    // Recording switched on (true) or off. Switching on sets SavePhase to
    // SampleCount mod 45; a batch is then due every 45 ticks, the first 45
    // ticks after switching on, also across the wrap of SampleCount.
    void setRecording(bool on);
    bool recording() const { return recording_; }
    // Ticks since recording was switched on or the last batch was due.
    int ticksSinceBatch() const { return ticksSinceBatch_; }

    LiveBuffers& buffers() { return b_; }
    const LiveBuffers& buffers() const { return b_; }

    std::int16_t SavePhase = 0;

private:
    LiveBuffers& b_;
    bool recording_ = false;
    int ticksSinceBatch_ = 0;
};

}  // namespace orlix
