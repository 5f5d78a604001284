#pragma once
// Turns the 60 data bytes of a good frame into field texts and colours, raw
// live values and error-memory entries. Each frame kind is a table of rows
// (see frame_tables.h); the decoder is a loop over it.
#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "comm/error_memory.h"
#include "comm/field_board.h"
#include "comm/frame_tables.h"
#include "comm/live_store.h"
#include "base/clock.h"
#include "base/rgb.h"

namespace orlix {

class FrameDecoder {
public:
    // The board is this decoder's alone: no other decoder writes it.
    FrameDecoder(FieldBoard& board, LiveStore& store, const Clock& clock,
                 ErrorMemorySink* sink = nullptr);

    void setErrorSink(ErrorMemorySink* sink) { sink_ = sink; }

    // Data bytes D[0..59] in FrameBuffer(0..59); each entry is taken modulo
    // 256. Every row of the frame kind is written: its field's text, its
    // colour where the row has one, its live value where it has one.
    void decodeA5(const std::array<std::int16_t, 81>& FrameBuffer);
    void decode5A(const std::array<std::int16_t, 81>& FrameBuffer);

    // Text colour of "On" states.
    Rgb OnColor{0, 0, 255};

private:
    // What a frame kind was last decoded from. A row whose bytes are the
    // same as then has the same text and colour, which its field still holds
    // (only this decoder writes the board): the field is marked written
    // without forming the text again.
    struct LastFrame {
        std::array<std::uint8_t, 60> bytes{};
        Rgb onColor{};
        bool valid = false;
    };

    void decodeRows(std::span<const FieldRow> rows, const std::array<std::int16_t, 81>& buf, LastFrame& last);
    Rgb paintColour(Paint p) const;
    void updateErrorMemory();
    void addErrorEntry(int list, const std::string& entry);

    FieldBoard& board_;
    LiveStore& store_;
    const Clock& clock_;
    ErrorMemorySink* sink_;
    LastFrame lastA5_, last5A_;
};

}  // namespace orlix
