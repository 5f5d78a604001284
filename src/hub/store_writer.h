#pragma once
// The hub's writer: samples and faults are handed over from any thread and
// stored in batches by a thread of its own, so that no caller ever waits
// for the database.
//
// Batches: a batch goes out when batchRows rows wait or the oldest has
// waited batchAge (WriterOptions). 5000 rows (about 1.6 MB of COPY data) make the costs of
// a transaction (its round trips, the commit's WAL flush, planning the
// insert) small against its rows, while a batch that must be offered again
// or split around a refused row stays cheap and holds its locks for a
// fraction of a second. Half a second of age: a batch also costs once per
// site in it (its 5-minute summary row and its sites row are written
// again), and with a thousand sites sending as fast as the broker passes
// their messages, batches of 0.2 s cost PostgreSQL a fifth more CPU than
// batches of 0.5 s; nothing waits on a sample in the database sooner (the
// alarms read the store once a second, the live views never). In steady
// use (hundreds of sites, one sample each per 4 s: about a hundred a
// second) the age decides: two small commits a second and a sample in the
// database within about 0.5 s; after an outage the backlog drains in full
// batches.
//
// Outages: when the database cannot be reached or the connection breaks,
// the batch and everything after it stay in memory, the connection is tried
// again every 2 s, and all of it is written once the database is back: a
// batch whose commit went unanswered is written again, and the store skips
// what had landed. Memory is bounded: beyond the bound new rows are dropped
// and counted. Logged: the database lost (once) and back (once), the queue
// full (once) and how many were dropped while it was (once).
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "hub/hub_types.h"
#include "hub/pg_connection.h"
#include "hub/sample_store.h"

namespace orlix::hub {

struct WriterOptions {
    std::string conninfo;  // URL or libpq keywords; never logged
    std::size_t batchRows = 5000;
    std::chrono::milliseconds batchAge{500};
    // Rows held in memory at most (about 120 bytes a sample: 1,000,000 are
    // about 120 MB, two hours of 500 sites).
    std::size_t maxWaitingSamples = 1'000'000;
    std::size_t maxWaitingFaults = 100'000;
    std::chrono::milliseconds retryInterval{2000};
};

struct WriterCounts {
    std::uint64_t received = 0;    // submitted
    std::uint64_t stored = 0;      // new rows written
    std::uint64_t duplicates = 0;  // already in the database, skipped
    std::uint64_t refused = 0;     // time out of range, or refused by the database
    std::uint64_t waiting = 0;     // in memory, not written yet
    std::uint64_t dropped = 0;     // not taken: the queue was full or the writer stopped
};

struct WriterCounters {
    WriterCounts samples;
    WriterCounts faults;
    bool connected = false;
};

class StoreWriter {
public:
    explicit StoreWriter(WriterOptions options);
    // Stops (see stop()).
    ~StoreWriter();
    StoreWriter(const StoreWriter&) = delete;
    StoreWriter& operator=(const StoreWriter&) = delete;

    // Thread-safe; never waits for the database. False when the row was
    // dropped (queue full, writer stopped).
    bool submit(const HubSample& sample);
    bool submit(FaultEvent fault);

    // Waits until every row submitted before the call is written (or
    // refused), at most `timeout`; true when it was. Batches go out at once
    // meanwhile, without waiting for their age.
    bool flush(std::chrono::milliseconds timeout);
    // Ends the writer thread after the batch in hand; what still waits is
    // not written (call flush() first) and is logged with its count.
    void stop();

    WriterCounters counters() const;
    // host:port/dbname of the database.
    const std::string& shownName() const { return shown_; }

private:
    using Clock = std::chrono::steady_clock;
    struct Batch {
        std::vector<HubSample> samples;
        std::vector<FaultEvent> faults;
    };
    struct Written {
        bool samples = false;
        bool faults = false;
        StoreOutcome sampleOutcome, faultOutcome;
    };

    void run();
    void waitForWork(std::unique_lock<std::mutex>& lock);
    Batch takeBatch();
    void finish(Batch& batch, const Written& written, std::vector<std::string>& logLines);
    // Writer thread only, without the lock:
    Written write(const Batch& batch);
    bool connectIfNeeded();
    void noteFailure(const std::string& error);

    const WriterOptions options_;
    const std::string shown_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;      // the writer thread: work, flush, stop
    std::condition_variable progress_;  // flush(): rows finished
    std::deque<HubSample> samples_;
    std::deque<FaultEvent> faults_;
    std::size_t samplesOut_ = 0;  // in the batch being written
    std::size_t faultsOut_ = 0;
    Clock::time_point pendingSince_;
    Clock::time_point nextAttempt_;  // after a failure, no attempt before
    bool stopping_ = false;
    int flushing_ = 0;
    bool connected_ = false;
    bool samplesFull_ = false;
    bool faultsFull_ = false;
    std::uint64_t droppedBeforeFull_ = 0;  // samples dropped before the current full spell
    std::uint64_t faultsDroppedBeforeFull_ = 0;
    std::uint64_t samplesAccepted_ = 0, samplesFinished_ = 0;
    std::uint64_t faultsAccepted_ = 0, faultsFinished_ = 0;
    WriterCounters counts_;

    // Writer thread only.
    PgConnection db_;
    SampleStore store_{db_};
    bool everConnected_ = false;
    bool lost_ = false;
    Clock::time_point lostSince_;

    std::thread thread_;
};

}  // namespace orlix::hub
