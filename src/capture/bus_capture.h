#pragma once
// A port that also writes what it reads to a bus capture (capture_file.h):
// while capturing and while the port is open, every read is a record with
// the wall-clock time of the read, and every port event (a break, an error,
// a lost device) a record of length 0. Everything else passes straight to
// and from the port inside. It works on any SerialPort and needs no window,
// so the monitor and the headless recorder share it.
//
// The owner calls poll() at least once a second, so that records reach the
// file within 2 s also when the line falls silent. A capture that cannot be
// written (a folder without write permission, a full disk) costs only its
// records: the port goes on, the failure is logged once (orlix.capture) and
// the writer tries again now and then.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "capture/capture_writer.h"
#include "sources/byte_source.h"

namespace orlix {

class CapturingPort final : public SerialPort {
public:
    using NowUs = std::function<std::int64_t()>;

    // `nowUs` gives the time stamps (Unix microseconds); empty means the
    // wall clock.
    explicit CapturingPort(SerialPort& inner, NowUs nowUs = {});
    ~CapturingPort() override;
    CapturingPort(const CapturingPort&) = delete;
    CapturingPort& operator=(const CapturingPort&) = delete;

    // Starts writing to `target`, a file or a folder (see capture_writer.h),
    // in place of any capture before. The file is opened at once: false when
    // it cannot be, with the reason in captureError(); the capture then
    // stays on and is tried again (stopCapture() gives up).
    bool startCapture(const std::string& target);
    // Flushes and closes the capture.
    void stopCapture();
    bool capturing() const { return writer_ != nullptr; }
    // The target given to startCapture(); "" while not capturing.
    std::string captureTarget() const { return writer_ ? writer_->target() : std::string(); }
    // The file being written, "" while none is.
    std::string captureFile() const { return writer_ ? writer_->currentFile() : std::string(); }
    std::string captureError() const { return writer_ ? writer_->error() : std::string(); }
    const CaptureWriter* writer() const { return writer_.get(); }
    // Flushes records that have waited long enough; call at least once a
    // second.
    void poll();

    SerialPort& inner() { return inner_; }

    void setPortPath(const std::string& path) override { inner_.setPortPath(path); }
    std::string portPath() const override { return inner_.portPath(); }
    void setBaudRate(int baud) override { inner_.setBaudRate(baud); }
    int baudRate() const override { return inner_.baudRate(); }
    OpenResult open() override { return inner_.open(); }
    bool close() override;
    bool isOpen() const override { return inner_.isOpen(); }
    std::string openFailureHint() const override { return inner_.openFailureHint(); }
    std::vector<std::uint8_t> readAll() override;
    bool atEnd() const override { return inner_.atEnd(); }

private:
    std::int64_t now() const;

    SerialPort& inner_;
    NowUs nowUs_;
    std::unique_ptr<CaptureWriter> writer_;
};

}  // namespace orlix
