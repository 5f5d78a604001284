#include "capture/bus_capture.h"

#include "base/clock.h"
#include "base/log.h"

namespace orlix {

CapturingPort::CapturingPort(SerialPort& inner, NowUs nowUs) : inner_(inner), nowUs_(std::move(nowUs)) {
    inner_.onReadyRead = [this] {
        if (onReadyRead) onReadyRead();
    };
    inner_.onTrouble = [this](PortTrouble t) {
        // Recorded before the receiver hears of it, in the order it came.
        if (writer_) writer_->writeEvent(now());
        if (onTrouble) onTrouble(t);
    };
}

CapturingPort::~CapturingPort() {
    inner_.onReadyRead = nullptr;
    inner_.onTrouble = nullptr;
    stopCapture();
}

std::int64_t CapturingPort::now() const { return nowUs_ ? nowUs_() : unixMicrosNow(); }

bool CapturingPort::startCapture(const std::string& target) {
    stopCapture();
    writer_ = std::make_unique<CaptureWriter>(target);
    return writer_->open(now());
}

void CapturingPort::stopCapture() {
    if (!writer_) return;
    writer_->close();
    log::info(log::kCapture, "bus capture to " + writer_->target() + " stopped after " +
                                 std::to_string(writer_->recordsWritten()) + " records");
    writer_.reset();
}

void CapturingPort::poll() {
    if (writer_) writer_->poll();
}

bool CapturingPort::close() {
    const bool closed = inner_.close();
    // What was read so far is on disk when the port stops.
    if (writer_) writer_->flush();
    return closed;
}

std::vector<std::uint8_t> CapturingPort::readAll() {
    std::vector<std::uint8_t> bytes = inner_.readAll();
    if (writer_ && !bytes.empty()) writer_->write(now(), bytes);
    return bytes;
}

}  // namespace orlix
