#pragma once
// Turns a bus capture into a sample database without a window: the records
// run through the monitor's receiver and decoders into the live value store,
// the sampling tick runs on the capture's clock (platform/sample_schedule.h), and the
// samples are recorded as the analyzer records them (headless_recording.h).
// The result holds the same records as recording during a live run over the
// same bytes, plus the last partial batch.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "capture/capture_reader.h"

namespace orlix {

// Batches stored per transaction: a file written from a capture can be made
// again, so the syncs of a transaction per batch are spared; each batch is
// still stored whole.
inline constexpr int kCaptureBatchesPerStore = 40;

struct CaptureProgress {
    std::uint64_t records = 0;
    std::uint64_t samples = 0;
    std::uint64_t bytesRead = 0;  // of the capture file, headers included
    std::int64_t captureUs = 0;   // capture time covered so far
};

struct CaptureDatabaseResult {
    bool created = false;              // the database file was made
    bool existed = false;              // not made: a file of that name is there
    bool ok = false;                   // every sample taken is stored
    std::string error;                 // why not (or why the capture stopped early)
    std::vector<std::string> notes;    // what was odd but went on (an incomplete last record)
    std::uint64_t records = 0;         // capture records read
    std::uint64_t busRecords = 0;      // of them, records that carry bus bytes
    std::uint64_t samples = 0;         // ticks taken
    std::int64_t storedRecords = 0;    // records in the file at the end
};

// `reader` is open on the capture. Makes the new database `dbPath` (fails,
// touching nothing, when a file of that name exists). `progress` is called
// now and then while the capture is read.
CaptureDatabaseResult captureToDatabase(CaptureReader& reader, const std::string& dbPath,
                                        const std::function<void(const CaptureProgress&)>& progress = {});

}  // namespace orlix
