#pragma once
// Batch recording of the live samples into the sample database.
//
// Every 45 ticks the sampling cycle hands over the live buffers; the batch
// is positions 674..718 (the 45 samples before the newest one). Positions
// whose time is 0 were never filled by a tick and are not stored. A batch
// that cannot be stored stays in memory and goes, in time order, before the
// next batch in the next transaction that succeeds (at most 24 hours of
// samples are kept; the oldest go first beyond that).
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "database/sample_database.h"
#include "base/date_time.h"
#include "base/dialogs.h"

namespace orlix {

inline constexpr int kChartPositions = 721;   // positions 0..720 of a chart buffer
inline constexpr int kChartRows = 51;         // value indices 0..50
inline constexpr int kBatchFirstPosition = 674;
inline constexpr int kBatchSize = 45;
// 24 hours of samples at one sample per 4 s.
inline constexpr std::size_t kMaxPendingSamples = 21600;

// Read-only view of the live buffers (`LiveCurveData`, `LiveSampleTime`).
struct LiveBufferRefs {
    std::array<std::span<const std::int16_t, kChartPositions>, kChartRows> rows;
    std::span<const DateTime, kChartPositions> times;
};

// Writable view of the history buffers (`HistCurveData`, `HistSampleTime`,
// `HistSampleCount`).
struct HistoryBufferRefs {
    std::array<std::span<std::int16_t, kChartPositions>, kChartRows> rows;
    std::span<DateTime, kChartPositions> times;
    std::int32_t* count = nullptr;
};

// Builds the views from any two-level array (C array or std::array).
template <class Rows, class Times>
LiveBufferRefs makeLiveBufferRefs(const Rows& curveData, const Times& sampleTime) {
    return {[&]<std::size_t... I>(std::index_sequence<I...>) {
                return std::array<std::span<const std::int16_t, kChartPositions>, kChartRows>{
                    std::span<const std::int16_t, kChartPositions>(curveData[I])...};
            }(std::make_index_sequence<kChartRows>{}),
            std::span<const DateTime, kChartPositions>(sampleTime)};
}
template <class Rows, class Times>
HistoryBufferRefs makeHistoryBufferRefs(Rows& curveData, Times& sampleTime, std::int32_t& count) {
    return {[&]<std::size_t... I>(std::index_sequence<I...>) {
                return std::array<std::span<std::int16_t, kChartPositions>, kChartRows>{
                    std::span<std::int16_t, kChartPositions>(curveData[I])...};
            }(std::make_index_sequence<kChartRows>{}),
            std::span<DateTime, kChartPositions>(sampleTime), &count};
}

// Messages of the recorder.
inline constexpr const char* kMsgDatabaseNotOk = "pls make sure the database is ok.";
inline constexpr const char* kMsgSaveDataErr = "Save data Err.pls check the database is ok.";

class SampleRecorder {
public:
    // `setCountLabel` receives the count label's new text after a batch.
    SampleRecorder(DialogHost& dialogs, std::function<void(const std::string&)> setCountLabel);
    // Without a window: `report` receives the messages a window would show.
    SampleRecorder(std::function<void(const char*)> report, std::function<void(const std::string&)> setCountLabel);

    // `AppendSampleBatch`: stores positions 674..718 of the live buffers
    // (and any samples left over from failed batches) into `path`.
    void AppendSampleBatch(const std::string& path, const LiveBufferRefs& live);

    // The two halves of a batch, for headless recording. takeSamples adds
    // positions first .. first + count - 1 of the live buffers to the
    // waiting samples, except positions no tick has filled. storePending
    // stores every waiting sample, oldest first, in one transaction; they
    // stop waiting only once stored.
    void takeSamples(const LiveBufferRefs& live, int first, int count);
    AppendResult storePending(const std::string& path);
    // The last store of a run that is ending (the program closes): the
    // samples of the `count` newest positions join the waiting ones and all
    // are stored. No message is shown, since nobody may be there to answer
    // it; a failure is logged with the number of samples it costs.
    AppendResult storeLast(const std::string& path, const LiveBufferRefs& live, int count);

    // Samples waiting for a successful batch.
    std::size_t pendingCount() const { return pending_.size(); }

private:
    void showOnce(const char* text);

    std::function<void(const char*)> report_;
    std::function<void(const std::string&)> setCountLabel_;
    std::vector<SampleRow> pending_;  // oldest first
    bool heldBack_ = false;           // the last batch failed: its samples wait in pending_
    bool messageOpen_ = false;
};

}  // namespace orlix
