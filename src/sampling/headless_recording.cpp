#include "sampling/headless_recording.h"

#include <algorithm>

namespace orlix {

static_assert(kBatchTicks == kBatchSize, "a batch holds the samples of the ticks between two batches");

HeadlessRecording::HeadlessRecording(Sampler& sampler, std::string dbPath, std::function<void(const char*)> report,
                                     int batchesPerStore)
    : sampler_(sampler),
      path_(std::move(dbPath)),
      recorder_(std::move(report), {}),
      batchesPerStore_(std::max(1, batchesPerStore)) {
    sampler_.core().setRecording(true);
    sampler_.addListener(this);
    recordCount_ = std::max<std::int64_t>(0, countRecords(path_));
}

HeadlessRecording::~HeadlessRecording() { sampler_.removeListener(this); }

void HeadlessRecording::onSample(const SampleTick& tick) {
    if (finished_) return;
    ++ticks_;
    if (!tick.batchDue) return;
    recorder_.takeSamples(makeLiveBufferRefs(tick.buffers.LiveCurveData, tick.buffers.LiveSampleTime),
                          kBatchFirstPosition, kBatchSize);
    if (++batchesTaken_ >= batchesPerStore_) store();
}

void HeadlessRecording::store() {
    batchesTaken_ = 0;
    const AppendResult r = recorder_.storePending(path_);
    if (r.opened) recordCount_ = r.recordCount;
}

AppendResult HeadlessRecording::finish() {
    SamplingCore& core = sampler_.core();
    if (!finished_ && core.recording()) {
        // A batch holds the samples of the 45 ticks before its own; the
        // samples from the last batch's tick on are the newest ones. Before
        // the first batch the oldest of these positions is one no tick has
        // filled, which is not stored.
        const LiveBuffers& b = sampler_.buffers();
        const int newest = core.ticksSinceBatch() + 1;
        recorder_.takeSamples(makeLiveBufferRefs(b.LiveCurveData, b.LiveSampleTime), kNewestPosition + 1 - newest,
                              newest);
        core.setRecording(false);
    }
    finished_ = true;
    const AppendResult r = recorder_.storePending(path_);
    if (r.opened) recordCount_ = r.recordCount;
    return r;
}

}  // namespace orlix
