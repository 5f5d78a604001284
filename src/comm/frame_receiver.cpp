#include "comm/frame_receiver.h"

#include <algorithm>
#include <cstring>

#include "comm/text_buffer.h"

namespace orlix {

FrameReceiver::FrameReceiver(FrameDecoder& decoder) : decoder_(decoder) {}

std::string FrameReceiver::numText() const {
    TextBuffer t;
    t.appendInt(shownByteCount_);
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

    const std::size_t n = read.size();
    std::size_t k = 0;
    // The data sum of a frame whose 60 data bytes all came in this read (the
    // buffer then holds exactly those bytes); taken by its checksum byte when
    // that follows in the same read.
    bool haveDataSum = false;
    unsigned dataSum = 0;
    while (k < n) {
        if (RxState >= 2 && RxState <= len) {
            // Data bytes: take as many as the read holds, up to the checksum.
            const std::size_t want = static_cast<std::size_t>(len + 1 - RxState);
            const std::size_t take = std::min(want, n - k);
            std::int16_t* dst = FrameBuffer.data() + (RxState - 2);
            const std::uint8_t* src = read.data() + k;
            if (take == 60) {
                // A whole frame's data at once: through a local copy, which
                // cannot overlap the buffer, so the widening loop vectorizes.
                std::uint8_t tmp[60];
                std::memcpy(tmp, src, 60);
                for (std::size_t j = 0; j < 60; ++j) dst[j] = tmp[j];
                if (len == 61) {
                    // Summed from the bytes rather than read back from the
                    // buffer just written.
                    dataSum = 0;
                    for (std::size_t j = 0; j < 60; ++j) dataSum += tmp[j];
                    haveDataSum = true;
                }
            } else {
                haveDataSum = false;
                for (std::size_t j = 0; j < take; ++j) dst[j] = src[j];
            }
            k += take;
            RxByte = read[k - 1];
            RxState = static_cast<std::int16_t>(RxState + static_cast<int>(take));
            RxByteCount = static_cast<std::int16_t>(RxByteCount + static_cast<int>(take));
            continue;
        }
        const std::uint8_t b = read[k++];
        RxByte = b;
        if (RxState == 0) {
            RxByteCount = 0;
            if (b == 0x55) RxState = 1;
        } else if (RxState == 1) {
            RxByteCount = 0;
            if (b == 0xA5) {
                RxState = 2;
                FrameKind = 0;
            } else if (b == 0x5A) {
                RxState = 2;
                FrameKind = 1;
            } else {
                RxState = 0;
            }
        } else {  // RxState == len + 1: the checksum byte
            ++RxByteCount;
            unsigned sum = FrameKind == 1 ? 0x5A : 0xA5;
            if (haveDataSum) {
                sum += dataSum;
            } else if (len == 61) {
                // The bus's length. Summing 64 entries and taking the last
                // four off again gives a loop without a tail, which the
                // compiler vectorizes.
                unsigned all = 0;
                for (std::size_t i = 0; i < 64; ++i) all += static_cast<unsigned>(FrameBuffer[i]);
                for (std::size_t i = 60; i < 64; ++i) all -= static_cast<unsigned>(FrameBuffer[i]);
                sum += all;
            } else {
                for (int i = 0; i <= len - 2; ++i) sum += static_cast<unsigned>(FrameBuffer[static_cast<std::size_t>(i)]);
            }
            haveDataSum = false;
            RxChecksum = static_cast<std::int16_t>(sum & 0xFF);
            const bool good = b == RxChecksum;
            ++checksumCount_;
            if (good) {
                checkColour_ = kGreenOk;
                // The text is only ever "", "Right" or "Error".
                if (checkText_.size() != 5 || checkText_[0] != 'R') checkText_ = "Right";
                if (FrameKind == 1) {
                    decoder_.decode5A(FrameBuffer);
                } else {
                    decoder_.decodeA5(FrameBuffer);
                }
            } else {
                checkColour_ = kRed;
                if (checkText_.size() != 5 || checkText_[0] != 'E') checkText_ = "Error";
            }
            RxState = 0;
            if (obs != nullptr) {
                try {
                    obs->onChecksum(FrameKind, good);
                } catch (...) {
                    // An observer's failure must not stop the event.
                }
            }
        }
    }
    shownByteCount_ = RxByteCount;
}

}  // namespace orlix
