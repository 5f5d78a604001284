#pragma once
// The frame receiver: a state machine fed one port read at a time. It finds
// each frame (0x55, kind byte 0xA5 or 0x5A, 60 data bytes, checksum over the
// kind byte and the data), shows the verdict and hands good frames to the
// decoder of their kind.
#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "comm/frame_decoder.h"
#include "base/rgb.h"

namespace orlix {

class FrameObserver {
public:
    virtual ~FrameObserver() = default;
    // After every checksum byte (and after decoding a good frame).
    // frameKind: 0 for A5, 1 for 5A.
    virtual void onChecksum(int frameKind, bool good) = 0;
};

class FrameReceiver {
public:
    explicit FrameReceiver(FrameDecoder& decoder);

    // One receive event: every byte of the read runs through the state
    // machine, in order.
    void onReceive(std::span<const std::uint8_t> read, FrameObserver* obs = nullptr);
    // Any other port event: back to hunting, byte count 0.
    void onPortEvent();

    // "" until the first checksum byte, then "Right" or "Error".
    const std::string& checkText() const { return checkText_; }
    Rgb checkColour() const { return checkColour_; }
    // Empties the verify text (the "Cls" button); the colour stays.
    void clearCheckText() { checkText_.clear(); }
    // Checksum bytes processed so far.
    std::uint64_t checksumCount() const { return checksumCount_; }
    // NumTxt: RxByteCount as decimal text after the last event.
    std::string numText() const;

    // Receiver variables.
    std::int16_t RxState = 0;
    std::int16_t FrameKind = 0;
    std::int16_t FrameLength = 61;
    std::array<std::int16_t, 81> FrameBuffer{};
    std::int16_t RxChecksum = 0;
    std::int16_t RxByte = 0;
    std::int16_t RxByteCount = 0;

private:
    void takeByte(std::uint8_t b, int len, FrameObserver* obs);
    void checkFrame(std::uint8_t checksum, int len, FrameObserver* obs);
    void notify(FrameObserver& obs, bool good);

    FrameDecoder& decoder_;
    std::string checkText_;
    Rgb checkColour_{0, 0, 0};
    std::uint64_t checksumCount_ = 0;
    std::int16_t shownByteCount_ = 0;
};

}  // namespace orlix
