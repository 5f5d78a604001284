#pragma once
// Recording without a window: listens to a sampler with recording on from
// the start, and stores the batches through the same recorder as the
// analyzer's (whole batches, nothing unfilled stored, a failed batch kept
// and stored with the next one).
#include <cstdint>
#include <functional>
#include <string>

#include "database/sample_recorder.h"
#include "sampling/sampler.h"

namespace orlix {

class HeadlessRecording final : public SampleListener {
public:
    // Records the samples of `sampler` into the existing sample database
    // `dbPath` and adds itself to the sampler. `report` receives the
    // recorder's messages. Batches are stored `batchesPerStore` at a time,
    // each whole, in one transaction (1: every batch at once, as the
    // analyzer does).
    HeadlessRecording(Sampler& sampler, std::string dbPath, std::function<void(const char*)> report,
                      int batchesPerStore = 1);
    ~HeadlessRecording() override;

    void onSample(const SampleTick& tick) override;
    // Ends the recording: stores what is waiting, together with the samples
    // of the ticks since the last batch (a last partial batch). Ticks after
    // it are not recorded; a second call only retries what is waiting.
    AppendResult finish();

    std::uint64_t ticks() const { return ticks_; }
    std::size_t pendingCount() const { return recorder_.pendingCount(); }
    // Records in the file after the last store (the file's count when it
    // was opened, before the first store).
    std::int64_t recordCount() const { return recordCount_; }

private:
    void store();

    Sampler& sampler_;
    std::string path_;
    SampleRecorder recorder_;
    int batchesPerStore_;
    int batchesTaken_ = 0;
    bool finished_ = false;
    std::uint64_t ticks_ = 0;
    std::int64_t recordCount_ = 0;
};

}  // namespace orlix
