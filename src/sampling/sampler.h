#pragma once
// The sampling tick without a window: the live buffers, the sampling core
// and whoever shows or records the samples. At each tick (driven by the
// pipeline's timer, or by a replayed capture at the capture's own 4 s
// instants) it takes the live values into the buffers and tells its
// listeners, in the order added: the analyzer draws and writes its grids,
// a headless recorder stores batches, a publisher sends the sample.
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/date_time.h"
#include "sampling/live_buffers.h"
#include "sampling/sampling_core.h"

namespace orlix {

struct SampleTick {
    const LiveBuffers& buffers;                  // position 719 holds the new sample
    const std::array<std::int32_t, 52>& live;    // the live values it was taken from
    DateTime time;                               // the sample's time
    std::int32_t countBefore;                    // SampleCount before this tick
    bool batchDue;                               // a recording batch is due (see SamplingCore)
};

class SampleListener {
public:
    virtual ~SampleListener() = default;
    virtual void onSample(const SampleTick& tick) = 0;
};

class Sampler {
public:
    // Samples `live` (the receive path's LiveValues), which outlives it.
    explicit Sampler(const std::array<std::int32_t, 52>& live);
    Sampler(const Sampler&) = delete;
    Sampler& operator=(const Sampler&) = delete;

    // One tick at program time `now`.
    void tick(DateTime now);

    void addListener(SampleListener* listener);
    void removeListener(SampleListener* listener);

    LiveBuffers& buffers() { return *buffers_; }
    const LiveBuffers& buffers() const { return *buffers_; }
    SamplingCore& core() { return core_; }
    const SamplingCore& core() const { return core_; }
    const std::array<std::int32_t, 52>& live() const { return live_; }

private:
    const std::array<std::int32_t, 52>& live_;
    std::unique_ptr<LiveBuffers> buffers_;  // 70 kB: not on the stack of whoever makes a sampler
    SamplingCore core_;
    std::vector<SampleListener*> listeners_;
};

}  // namespace orlix
