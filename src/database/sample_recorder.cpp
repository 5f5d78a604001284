#include "database/sample_recorder.h"

#include <cmath>

#include "base/log.h"

namespace orlix {

SampleRecorder::SampleRecorder(DialogHost& dialogs,
                               std::function<void(const std::string&)> setCountLabel)
    : report_([&dialogs](const char* text) { dialogs.message(text); }), setCountLabel_(std::move(setCountLabel)) {}

SampleRecorder::SampleRecorder(std::function<void(const char*)> report,
                               std::function<void(const std::string&)> setCountLabel)
    : report_(std::move(report)), setCountLabel_(std::move(setCountLabel)) {}

void SampleRecorder::AppendSampleBatch(const std::string& path, const LiveBufferRefs& live) {
    // Take this batch's samples first, so that they are kept even when the
    // file cannot be opened.
    takeSamples(live, kBatchFirstPosition, kBatchSize);
    storePending(path);
}

void SampleRecorder::takeSamples(const LiveBufferRefs& live, int first, int count) {
    // A position with the zero time was never filled by a tick and holds no
    // sample (nor does a time that is not a number).
    for (int j = 0; j < count; ++j) {
        if (first + j < 0 || first + j >= kChartPositions) continue;
        const auto pos = static_cast<std::size_t>(first + j);
        if (live.times[pos] == 0 || !std::isfinite(live.times[pos])) continue;
        SampleRow row;
        for (int i = 0; i < kSampleValueColumns; ++i)
            row.values[static_cast<std::size_t>(i)] = live.rows[static_cast<std::size_t>(i)][pos];
        row.time = live.times[pos];
        pending_.push_back(row);
    }
    if (pending_.size() > kMaxPendingSamples) {
        const std::size_t dropped = pending_.size() - kMaxPendingSamples;
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(dropped));
        log::failure(log::kDatabase, "no batch stored for 24 hours: samples held in memory beyond 24 hours are "
                                     "dropped, oldest first");
    }
}

AppendResult SampleRecorder::storePending(const std::string& path) {
    // Store everything waiting, oldest first, in one transaction. A tick
    // that runs while a message below is open comes back in here; the
    // samples leave `pending_` only once they are stored.
    const std::size_t taken = pending_.size();
    const AppendResult r = appendSamples(path, pending_);
    if (r.stored) {
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(taken));
        if (heldBack_)
            log::info(log::kDatabase, "stored " + std::to_string(taken) + " samples in " + path +
                                          ", those held back by the failed batches among them");
    }
    heldBack_ = !r.stored;
    if (!r.opened) {
        showOnce(kMsgDatabaseNotOk);
        return r;
    }
    if (setCountLabel_) setCountLabel_("DataBaseCount:" + std::to_string(r.recordCount));
    if (!r.stored) showOnce(kMsgSaveDataErr);
    return r;
}

AppendResult SampleRecorder::storeLast(const std::string& path, const LiveBufferRefs& live, int count) {
    takeSamples(live, kChartPositions - 1 - count, count);
    const std::size_t taken = pending_.size();
    const AppendResult r = appendSamples(path, pending_);
    if (r.stored) {
        pending_.clear();
        log::info(log::kDatabase, "stored the last " + std::to_string(taken) + " samples in " + path);
    } else {
        log::warning(log::kDatabase, "the last " + std::to_string(taken) + " samples could not be stored in " + path);
    }
    return r;
}

void SampleRecorder::showOnce(const char* text) {
    // The message box is modal but ticks go on under it: never stack a
    // second box while one is open.
    if (messageOpen_) return;
    messageOpen_ = true;
    if (report_) report_(text);
    messageOpen_ = false;
}

}  // namespace orlix
