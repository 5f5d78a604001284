#pragma once
// Recording without a window: the sampling core ticks with recording on from
// the start, and the batches go through the same recorder as the analyzer's
// (whole batches, nothing unfilled stored, a failed batch kept and stored
// with the next one).
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "database/sample_recorder.h"
#include "base/date_time.h"
#include "sampling/live_buffers.h"
#include "sampling/sampling_core.h"

namespace orlix {

class HeadlessRecording {
public:
    // Records into the existing sample database `dbPath`. `report` receives
    // the recorder's messages. Batches are stored `batchesPerStore` at a
    // time, each whole, in one transaction (1: every batch at once, as the
    // analyzer does).
    HeadlessRecording(std::string dbPath, std::function<void(const char*)> report, int batchesPerStore = 1);

    // One tick with the live values as they stand at `now`.
    void tick(const std::array<std::int32_t, 52>& LiveValues, DateTime now);
    // Ends the recording: stores what is waiting, together with the samples
    // of the ticks since the last batch (a last partial batch). Ticks after
    // it are not recorded; a second call only retries what is waiting.
    AppendResult finish();

    std::uint64_t ticks() const { return ticks_; }
    std::size_t pendingCount() const { return recorder_.pendingCount(); }
    // Records in the file after the last store; -1 before the first.
    std::int64_t recordCount() const { return recordCount_; }
    const SamplingCore& core() const { return core_; }

private:
    void store();

    std::string path_;
    std::unique_ptr<LiveBuffers> buffers_;
    SamplingCore core_;
    SampleRecorder recorder_;
    int batchesPerStore_;
    int batchesTaken_ = 0;
    std::uint64_t ticks_ = 0;
    std::int64_t recordCount_ = -1;
};

}  // namespace orlix
