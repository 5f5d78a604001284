#include "capture/bus_capture.h"

#include "base/clock.h"
#include "base/log.h"

namespace orlix {

BusCapture::BusCapture(NowUs nowUs) : nowUs_(std::move(nowUs)) {}

BusCapture::~BusCapture() { stop(); }

std::int64_t BusCapture::now() const { return nowUs_ ? nowUs_() : unixMicrosNow(); }

bool BusCapture::start(const std::string& target, bool continueExisting) {
    stop();
    writer_ = std::make_unique<CaptureWriter>(target, CaptureWriter::SteadyNow{}, continueExisting);
    return writer_->open(now());
}

bool BusCapture::stop() {
    if (!writer_) return true;
    writer_->close();
    const bool whole = writer_->recordsLost() == 0;
    log::info(log::kCapture, "bus capture to " + writer_->target() + " stopped after " +
                                 std::to_string(writer_->recordsWritten()) + " records");
    writer_.reset();
    return whole;
}

void BusCapture::poll() {
    if (writer_) writer_->poll();
}

void BusCapture::flush() {
    if (writer_) writer_->flush();
}

void BusCapture::onRead(std::span<const std::uint8_t> bytes) {
    if (writer_ && !bytes.empty()) writer_->write(now(), bytes);
}

void BusCapture::onPortEvent(PortTrouble) {
    if (writer_) writer_->writeEvent(now());
}

}  // namespace orlix
