#include "comm/frame_receiver.h"

#include <string>

#include "comm/field_text.h"
#include "base/log.h"

namespace orlix {

FrameReceiver::FrameReceiver(FrameDecoder& decoder) : decoder_(decoder) {}

std::string FrameReceiver::numText() const {
    ShortText t;
    appendInteger(t, shownByteCount_);
    return std::string(t.view());
}

void FrameReceiver::onPortEvent() {
    RxByteCount = 0;
    RxState = 0;
    shownByteCount_ = 0;
}

void FrameReceiver::onReceive(std::span<const std::uint8_t> read, FrameObserver* obs) {
    // FrameLength is a plain variable; anything that would not fit the
    // buffer falls back to the bus's frame length.
    const int len = (FrameLength >= 2 && FrameLength <= 81) ? FrameLength : 61;
    // A state left outside the machine's range (only possible by writing the
    // variables from outside) restarts the hunt.
    if (RxState < 0 || RxState > len + 1) RxState = 0;
    for (const std::uint8_t b : read) takeByte(b, len, obs);
    shownByteCount_ = RxByteCount;
}

// States: 0 hunting for 0x55; 1 expecting the kind byte; 2..len the data
// bytes into FrameBuffer(0..len-2); len + 1 the checksum byte.
void FrameReceiver::takeByte(std::uint8_t b, int len, FrameObserver* obs) {
    RxByte = b;
    if (RxState == 0) {
        RxByteCount = 0;
        if (b == 0x55) RxState = 1;
    } else if (RxState == 1) {
        RxByteCount = 0;
        RxState = 0;
        if (b == 0xA5 || b == 0x5A) {
            FrameKind = b == 0x5A ? 1 : 0;
            RxState = 2;
        }
    } else if (RxState <= len) {
        FrameBuffer[static_cast<std::size_t>(RxState - 2)] = b;
        ++RxState;
        ++RxByteCount;
    } else {
        ++RxByteCount;
        RxState = 0;
        checkFrame(b, len, obs);
    }
}

void FrameReceiver::checkFrame(std::uint8_t checksum, int len, FrameObserver* obs) {
    // The kind byte and the data bytes, summed modulo 256.
    unsigned sum = FrameKind == 1 ? 0x5A : 0xA5;
    for (int i = 0; i <= len - 2; ++i) sum += static_cast<unsigned>(FrameBuffer[static_cast<std::size_t>(i)]);
    RxChecksum = static_cast<std::int16_t>(sum & 0xFF);
    const bool good = checksum == RxChecksum;
    ++checksumCount_;
    if (good) {
        checkColour_ = kGreenOk;
        checkText_ = "Right";
        if (FrameKind == 1) {
            decoder_.decode5A(FrameBuffer);
        } else {
            decoder_.decodeA5(FrameBuffer);
        }
    } else {
        checkColour_ = kRed;
        checkText_ = "Error";
    }
    if (obs != nullptr) notify(*obs, good);
}

void FrameReceiver::notify(FrameObserver& obs, bool good) {
    // An observer's failure must not stop the read. It is logged with its
    // cause; repeats only counted.
    try {
        obs.onChecksum(FrameKind, good);
    } catch (...) {
        log::caughtException(log::kComm, "frame observer");
    }
}

}  // namespace orlix
