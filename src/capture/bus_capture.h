#pragma once
// Listens to a byte source and writes what it reads to a bus capture
// (capture_file.h): while capturing, every read is a record with the time
// of the read, and every port event a record of length 0. Add it to the
// source before the receive path, so that an event is recorded in the
// order it came.
//
// The owner calls poll() at least once a second, so that records reach the
// file within 2 s also when the line falls silent; what was read is flushed
// when the port closes. A capture that cannot be written (a folder without write
// permission, a full disk) costs only its records: the source goes on, the
// failure is logged once (orlix.capture) and the writer tries again now and
// then; the capture then counts as incomplete.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/read_listener.h"
#include "capture/capture_writer.h"

namespace orlix {

class BusCapture final : public ReadListener {
public:
    using NowUs = std::function<std::int64_t()>;

    // `nowUs` gives the time stamps (Unix microseconds); empty means the
    // wall clock.
    explicit BusCapture(NowUs nowUs = {});
    ~BusCapture() override;
    BusCapture(const BusCapture&) = delete;
    BusCapture& operator=(const BusCapture&) = delete;

    // Starts writing to `target`, a file or a folder (see capture_writer.h),
    // in place of any capture before. The file is opened at once: false when
    // it cannot be, with the reason in error(); the capture then stays on
    // and is tried again (stop() gives up).
    // `continueExisting` false (times at another pace than the wall
    // clock's): an existing file is never continued (capture_writer.h).
    bool start(const std::string& target, bool continueExisting = true);
    // Flushes and closes the capture. False when not every record given to
    // it reached the file (the capture is incomplete).
    bool stop();
    bool capturing() const { return writer_ != nullptr; }
    // The target given to start(); "" while not capturing.
    std::string target() const { return writer_ ? writer_->target() : std::string(); }
    // The file being written, "" while none is.
    std::string file() const { return writer_ ? writer_->currentFile() : std::string(); }
    std::string error() const { return writer_ ? writer_->error() : std::string(); }
    const CaptureWriter* writer() const { return writer_.get(); }
    // Flushes records that have waited long enough; call at least once a
    // second.
    void poll();
    // What was read so far goes to the file now (the port stops).
    void flush();

    void onRead(std::span<const std::uint8_t> bytes) override;
    void onPortEvent(PortTrouble trouble) override;
    void onPortClosed() override { flush(); }

private:
    std::int64_t now() const;

    NowUs nowUs_;
    std::unique_ptr<CaptureWriter> writer_;
};

}  // namespace orlix
