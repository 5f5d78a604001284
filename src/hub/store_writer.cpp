#include "hub/store_writer.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <utility>

#include "base/log.h"

namespace orlix::hub {

namespace {

std::string seconds(std::chrono::steady_clock::duration d) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", std::chrono::duration<double>(d).count());
    return text;
}

// Moves up to `n` rows from the front of `from` into `to`.
template <class Row>
void takeFront(std::deque<Row>& from, std::vector<Row>& to, std::size_t n) {
    n = std::min(n, from.size());
    const auto end = from.begin() + static_cast<std::ptrdiff_t>(n);
    to.assign(std::make_move_iterator(from.begin()), std::make_move_iterator(end));
    from.erase(from.begin(), end);
}

// Puts rows that could not be written back in front, in their order.
template <class Row>
void putBack(std::deque<Row>& to, std::vector<Row>& rows) {
    to.insert(to.begin(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    rows.clear();
}

void count(WriterCounts& c, const StoreOutcome& o) {
    c.stored += static_cast<std::uint64_t>(o.stored);
    c.duplicates += static_cast<std::uint64_t>(o.duplicates);
    c.refused += static_cast<std::uint64_t>(o.refused);
}

}  // namespace

StoreWriter::StoreWriter(WriterOptions options)
    : options_(std::move(options)), shown_(shownConnectionName(options_.conninfo)) {
    thread_ = std::thread([this] { run(); });
}

StoreWriter::~StoreWriter() { stop(); }

bool StoreWriter::submit(const HubSample& sample) {
    std::string full;
    {
        std::lock_guard lock(mutex_);
        ++counts_.samples.received;
        const bool wasIdle = samples_.empty() && faults_.empty();
        if (stopping_ || samples_.size() + samplesOut_ >= options_.maxWaitingSamples) {
            ++counts_.samples.dropped;
            if (stopping_ || samplesFull_) return false;
            samplesFull_ = true;
            droppedBeforeFull_ = counts_.samples.dropped - 1;
            full = "sample queue full: " + std::to_string(options_.maxWaitingSamples) + " samples wait for " + shown_ +
                   "; new samples are dropped until it takes them";
        } else {
            if (wasIdle) pendingSince_ = Clock::now();
            samples_.push_back(sample);
            ++samplesAccepted_;
            if (wasIdle || samples_.size() == options_.batchRows) wake_.notify_one();
            return true;
        }
    }
    log::warning(log::kHub, full);
    return false;
}

bool StoreWriter::submit(FaultEvent fault) {
    std::string full;
    {
        std::lock_guard lock(mutex_);
        ++counts_.faults.received;
        const bool wasIdle = samples_.empty() && faults_.empty();
        if (stopping_ || faults_.size() + faultsOut_ >= options_.maxWaitingFaults) {
            ++counts_.faults.dropped;
            if (stopping_ || faultsFull_) return false;
            faultsFull_ = true;
            faultsDroppedBeforeFull_ = counts_.faults.dropped - 1;
            full = "fault queue full: " + std::to_string(options_.maxWaitingFaults) + " faults wait for " + shown_ +
                   "; new faults are dropped until it takes them";
        } else {
            if (wasIdle) pendingSince_ = Clock::now();
            faults_.push_back(std::move(fault));
            ++faultsAccepted_;
            if (wasIdle || faults_.size() == options_.batchRows) wake_.notify_one();
            return true;
        }
    }
    log::warning(log::kHub, full);
    return false;
}

bool StoreWriter::flush(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    const std::uint64_t samples = samplesAccepted_;
    const std::uint64_t faults = faultsAccepted_;
    ++flushing_;
    wake_.notify_one();
    const auto done = [&] { return samplesFinished_ >= samples && faultsFinished_ >= faults; };
    progress_.wait_for(lock, timeout, [&] { return done() || stopping_; });
    --flushing_;
    return done();
}

void StoreWriter::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    std::lock_guard lock(mutex_);
    progress_.notify_all();
    if (samples_.empty() && faults_.empty()) return;
    log::warning(log::kHub, "stopped with " + std::to_string(samples_.size()) + " samples and " +
                                std::to_string(faults_.size()) + " faults not written to " + shown_);
    counts_.samples.dropped += samples_.size();
    counts_.faults.dropped += faults_.size();
    samples_.clear();
    faults_.clear();
}

WriterCounters StoreWriter::counters() const {
    std::lock_guard lock(mutex_);
    WriterCounters c = counts_;
    c.samples.waiting = samples_.size() + samplesOut_;
    c.faults.waiting = faults_.size() + faultsOut_;
    c.connected = connected_;
    return c;
}

void StoreWriter::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        waitForWork(lock);
        if (stopping_) break;
        Batch batch = takeBatch();
        lock.unlock();
        Written written;
        try {
            written = write(batch);
        } catch (...) {
            log::caughtException(log::kHub, "writing a batch to " + shown_);
        }
        std::vector<std::string> logLines;
        lock.lock();
        finish(batch, written, logLines);
        if (!logLines.empty()) {
            lock.unlock();
            for (const std::string& l : logLines) log::info(log::kHub, l);
            lock.lock();
        }
    }
}

void StoreWriter::waitForWork(std::unique_lock<std::mutex>& lock) {
    while (!stopping_) {
        const auto now = Clock::now();
        if (samples_.empty() && faults_.empty()) {
            wake_.wait(lock);
            continue;
        }
        const bool full = samples_.size() >= options_.batchRows || faults_.size() >= options_.batchRows;
        const auto due = std::max(full || flushing_ > 0 ? now : pendingSince_ + options_.batchAge, nextAttempt_);
        if (now >= due) return;
        wake_.wait_until(lock, due);
    }
}

StoreWriter::Batch StoreWriter::takeBatch() {
    Batch b;
    takeFront(samples_, b.samples, options_.batchRows);
    takeFront(faults_, b.faults, options_.batchRows);
    samplesOut_ = b.samples.size();
    faultsOut_ = b.faults.size();
    // What stays has waited at least this long: it goes with the next
    // batch, or at once when that is full.
    pendingSince_ = Clock::now();
    return b;
}

void StoreWriter::finish(Batch& batch, const Written& written, std::vector<std::string>& logLines) {
    samplesOut_ = faultsOut_ = 0;
    connected_ = db_.ok();
    if (written.samples) {
        count(counts_.samples, written.sampleOutcome);
        samplesFinished_ += batch.samples.size();
    } else {
        putBack(samples_, batch.samples);
    }
    if (written.faults) {
        count(counts_.faults, written.faultOutcome);
        faultsFinished_ += batch.faults.size();
    } else {
        putBack(faults_, batch.faults);
    }
    if (!written.samples || !written.faults) {
        nextAttempt_ = Clock::now() + options_.retryInterval;
        // Due as soon as the retry allows.
        pendingSince_ = Clock::now() - options_.batchAge;
    }
    if (samplesFull_ && samples_.size() < options_.maxWaitingSamples) {
        samplesFull_ = false;
        logLines.push_back("sample queue has room again; " +
                           std::to_string(counts_.samples.dropped - droppedBeforeFull_) +
                           " samples were dropped while it was full");
    }
    if (faultsFull_ && faults_.size() < options_.maxWaitingFaults) {
        faultsFull_ = false;
        logLines.push_back("fault queue has room again; " +
                           std::to_string(counts_.faults.dropped - faultsDroppedBeforeFull_) +
                           " faults were dropped while it was full");
    }
    progress_.notify_all();
}

StoreWriter::Written StoreWriter::write(const Batch& batch) {
    Written w;
    if (!connectIfNeeded()) return w;
    w.sampleOutcome = batch.samples.empty() ? StoreOutcome{true, 0, 0, 0, {}} : store_.storeSamples(batch.samples);
    w.samples = w.sampleOutcome.ok;
    if (!w.samples) {
        noteFailure(w.sampleOutcome.error);
        return w;
    }
    w.faultOutcome = batch.faults.empty() ? StoreOutcome{true, 0, 0, 0, {}} : store_.storeFaults(batch.faults);
    w.faults = w.faultOutcome.ok;
    if (!w.faults) noteFailure(w.faultOutcome.error);
    return w;
}

bool StoreWriter::connectIfNeeded() {
    if (db_.ok()) return true;
    if (db_.connect(options_.conninfo)) {
        if (lost_) {
            const WriterCounters c = counters();
            log::info(log::kHub, "database " + shown_ + " is back after " + seconds(Clock::now() - lostSince_) +
                                     "; writing the " + std::to_string(c.samples.waiting) + " samples" +
                                     (c.faults.waiting > 0 ? " and " + std::to_string(c.faults.waiting) + " faults"
                                                           : "") +
                                     " that waited");
        } else if (!everConnected_) {
            log::info(log::kHub, "storing samples in " + shown_);
        }
        everConnected_ = true;
        lost_ = false;
        return true;
    }
    if (!lost_) {
        lost_ = true;
        lostSince_ = Clock::now();
        log::warning(log::kHub, "database " + shown_ + (everConnected_ ? " lost: " : " cannot be reached: ") +
                                    db_.error() + "; samples wait in memory (up to " +
                                    std::to_string(options_.maxWaitingSamples) + ") and the connection is retried every " +
                                    seconds(options_.retryInterval));
    }
    return false;
}

void StoreWriter::noteFailure(const std::string& error) {
    if (db_.ok()) {
        // The database answers but will not take the batch (a table
        // missing, no permission): retried like an outage, logged as it
        // recurs.
        log::failure(log::kHub, error + "; the batch waits in memory and is tried again");
        return;
    }
    if (lost_) return;
    lost_ = true;
    lostSince_ = Clock::now();
    db_.close();
    log::warning(log::kHub, "database " + shown_ + " lost: " + error + "; samples wait in memory (up to " +
                                std::to_string(options_.maxWaitingSamples) + ") and the connection is retried every " +
                                seconds(options_.retryInterval));
}

}  // namespace orlix::hub
