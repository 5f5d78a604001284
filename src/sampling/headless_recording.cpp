#include "sampling/headless_recording.h"

#include <algorithm>

namespace orlix {

static_assert(kBatchTicks == kBatchSize, "a batch holds the samples of the ticks between two batches");
static_assert(kBufferPositions == kChartPositions && kValueRows == kChartRows);

HeadlessRecording::HeadlessRecording(std::string dbPath, std::function<void(const char*)> report, int batchesPerStore)
    : path_(std::move(dbPath)),
      buffers_(std::make_unique<LiveBuffers>()),
      core_(*buffers_),
      recorder_(std::move(report), {}),
      batchesPerStore_(std::max(1, batchesPerStore)) {
    core_.setRecording(true);
}

void HeadlessRecording::tick(const std::array<std::int32_t, 52>& LiveValues, DateTime now) {
    ++ticks_;
    if (!core_.tick(LiveValues, now)) return;
    recorder_.takeSamples(makeLiveBufferRefs(buffers_->LiveCurveData, buffers_->LiveSampleTime), kBatchFirstPosition,
                          kBatchSize);
    if (++batchesTaken_ >= batchesPerStore_) store();
}

void HeadlessRecording::store() {
    batchesTaken_ = 0;
    const AppendResult r = recorder_.storePending(path_);
    if (r.opened) recordCount_ = r.recordCount;
}

AppendResult HeadlessRecording::finish() {
    if (core_.recording()) {
        // A batch holds the samples of the 45 ticks before its own; the
        // samples from the last batch's tick on are the newest ones. Before
        // the first batch the oldest of these positions is one no tick has
        // filled, which is not stored.
        const int newest = core_.ticksSinceBatch() + 1;
        recorder_.takeSamples(makeLiveBufferRefs(buffers_->LiveCurveData, buffers_->LiveSampleTime),
                              kNewestPosition + 1 - newest, newest);
        core_.setRecording(false);
    }
    const AppendResult r = recorder_.storePending(path_);
    if (r.opened) recordCount_ = r.recordCount;
    return r;
}

}  // namespace orlix
