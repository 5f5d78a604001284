#include "sampling/capture_database.h"

#include <filesystem>
#include <memory>
#include <system_error>

#include "comm/receive_path.h"
#include "database/sample_database.h"
#include "capture/capture_file.h"
#include "base/clock.h"
#include "base/log.h"
#include "sampling/headless_recording.h"
#include "sampling/sampler.h"
#include "base/sample_schedule.h"

namespace orlix {
namespace {

constexpr std::uint64_t kProgressEveryRecords = 1 << 16;

// The receive path and the sampler, made on the heap (the live buffers are
// large), with the records' times on the error-memory entries.
struct CapturePipe {
    CaptureTimeClock clock;
    ReceivePath receive{clock};
    Sampler sampler{receive.store().LiveValues};
};

}  // namespace

CaptureDatabaseResult captureToDatabase(CaptureReader& reader, const std::string& dbPath,
                                        const std::function<void(const CaptureProgress&)>& progress) {
    CaptureDatabaseResult result;
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(dbPath, ec))) {
        result.error = dbPath + ": exists already; not overwritten";
        result.existed = true;
        return result;
    }
    if (!CreateSampleDatabase(dbPath)) {
        result.error = dbPath + ": cannot create the database";
        return result;
    }
    result.created = true;

    auto pipe = std::make_unique<CapturePipe>();
    std::string lastMessage;
    HeadlessRecording recording(pipe->sampler, dbPath, [&](const char* text) { lastMessage = text; },
                                kCaptureBatchesPerStore);
    SampleSchedule schedule;
    CaptureProgress at;
    std::int64_t firstUs = 0, lastUs = 0;

    auto takeTick = [&] {
        pipe->sampler.tick(localDateTimeOfUnixMicros(schedule.nextTickUs()));
        schedule.advance();
    };

    CaptureRecord r;
    CaptureReader::Next n;
    while ((n = reader.next(r)) == CaptureReader::Next::Record) {
        for (;;) {
            const SampleSchedule::Before b = schedule.before(r.timeUs, !r.portEvent());
            if (b == SampleSchedule::Before::Feed) break;
            if (b == SampleSchedule::Before::Tick) {
                takeTick();
                continue;
            }
            if (schedule.started())
                log::warning(log::kCapture, reader.name() + ": no samples across the gap before record " +
                                                      std::to_string(reader.recordCount()));
            else firstUs = r.timeUs;
            schedule.restart(r.timeUs);
            break;
        }
        pipe->clock.set(r.timeUs);
        if (!r.portEvent()) ++result.busRecords;
        if (r.portEvent()) pipe->receive.onPortEvent(PortTrouble::Other);
        else pipe->receive.onRead(r.bytes);
        schedule.fed(r.timeUs, !r.portEvent());
        lastUs = r.timeUs;
        if (progress && reader.recordCount() % kProgressEveryRecords == 0) {
            at = {reader.recordCount(), recording.ticks(), reader.consumedBytes(), r.timeUs - firstUs};
            progress(at);
        }
    }
    while (schedule.tickDueAtEnd()) takeTick();
    if (n == CaptureReader::Next::Failed) result.error = reader.error();
    if (auto note = reader.finish()) result.notes.push_back(*note);

    const AppendResult stored = recording.finish();
    result.records = reader.recordCount();
    result.samples = recording.ticks();
    result.storedRecords = stored.opened ? stored.recordCount : recording.recordCount();
    if (recording.pendingCount() > 0 || !stored.stored) {
        result.error = dbPath + ": " + (lastMessage.empty() ? "samples could not be stored" : lastMessage) +
                       (result.error.empty() ? "" : "; " + result.error);
        return result;
    }
    result.ok = result.error.empty();
    if (progress) progress({result.records, result.samples, reader.consumedBytes(), lastUs - firstUs});
    return result;
}

}  // namespace orlix
