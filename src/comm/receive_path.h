#pragma once
// The receive path, built once for every program: the frame receiver, the
// decoders, the 160 field values, the live value store and the error
// memory. It listens to a byte source (base/read_listener.h): every read
// runs through the receiver, every port event starts the receiver over.
// The fault texts start as "Normal". Error-memory entries go to any number
// of sinks (the analyzer's lists, a publisher), in the order added.
#include <vector>

#include "base/clock.h"
#include "base/read_listener.h"
#include "comm/error_memory.h"
#include "comm/field_board.h"
#include "comm/frame_decoder.h"
#include "comm/frame_receiver.h"
#include "comm/live_store.h"

namespace orlix {

class ReceivePath final : public ReadListener, private ErrorMemorySink {
public:
    // `clock` dates the error-memory entries.
    explicit ReceivePath(const Clock& clock);
    ReceivePath(const ReceivePath&) = delete;
    ReceivePath& operator=(const ReceivePath&) = delete;

    void onRead(std::span<const std::uint8_t> bytes) override { receiver_.onReceive(bytes, observer_); }
    void onPortEvent(PortTrouble) override { receiver_.onPortEvent(); }

    void addErrorSink(ErrorMemorySink* sink);
    void removeErrorSink(ErrorMemorySink* sink);
    // Told of every checksum byte (orlix-decode's lines); null for none.
    void setFrameObserver(FrameObserver* observer) { observer_ = observer; }

    FieldBoard& board() { return board_; }
    const FieldBoard& board() const { return board_; }
    LiveStore& store() { return store_; }
    const LiveStore& store() const { return store_; }
    FrameDecoder& decoder() { return decoder_; }
    FrameReceiver& receiver() { return receiver_; }
    const FrameReceiver& receiver() const { return receiver_; }

private:
    void addErrorEntry(int list, const std::string& entry) override;

    FieldBoard board_;
    LiveStore store_;
    FrameDecoder decoder_;
    FrameReceiver receiver_;
    FrameObserver* observer_ = nullptr;
    std::vector<ErrorMemorySink*> sinks_;
};

}  // namespace orlix
