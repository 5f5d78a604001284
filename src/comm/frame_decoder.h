#pragma once
// Turns the 60 data bytes of a good frame into field texts and colours, raw
// live values and error-memory entries. Each frame kind is a table of rows
// (see frame_tables.h); the decoder is a loop over it.
#include <array>
#include <cstdint>
#include <string>

#include "comm/error_memory.h"
#include "comm/field_board.h"
#include "comm/live_store.h"
#include "platform/clock.h"
#include "platform/rgb.h"

namespace orlix {

class FrameDecoder {
public:
    FrameDecoder(FieldBoard& board, LiveStore& store, const Clock& clock,
                 ErrorMemorySink* sink = nullptr);

    void setErrorSink(ErrorMemorySink* sink) { sink_ = sink; }

    // Data bytes D[0..59] in FrameBuffer(0..59); each entry is taken modulo
    // 256. A row whose input bytes did not change since the previous frame of
    // the same kind is not formatted again (its fields already hold the
    // result); live values and the error memory are updated on every frame.
    void decodeA5(const std::array<std::int16_t, 81>& FrameBuffer);
    void decode5A(const std::array<std::int16_t, 81>& FrameBuffer);

    // The next frame of each kind writes every field again (after "Cls", or
    // whenever the board was changed by someone else).
    void invalidate();

    // Text colour of "On" states.
    Rgb OnColor{0, 0, 255};

private:
    struct KindCache {
        std::array<std::uint8_t, 64> bytes{};  // 60..63: whatever followed the data
        bool valid = false;
        std::uint64_t clearGeneration = 0;
        Rgb onColor{};
    };
    template <const auto& rows, const auto& plan>
    void runRows(const std::array<std::int16_t, 81>& buf, KindCache& cache);
    void updateErrorMemory();
    // The time-of-day text of t, formed again only when t falls in another
    // second than the previous call's.
    const std::string& timeTextOf(DateTime t);

    FieldBoard& board_;
    LiveStore& store_;
    const Clock& clock_;
    ErrorMemorySink* sink_;
    KindCache cacheA5_, cache5A_;
    double timeSecond_ = 0;  // whole seconds of the time text; NaN: none yet
    std::string timeText_;
    std::string entry_;  // reused for every entry, so it keeps its capacity
};

}  // namespace orlix
