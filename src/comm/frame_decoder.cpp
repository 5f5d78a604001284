#include "comm/frame_decoder.h"

#include <bit>
#include <cstring>

#include "comm/field_text.h"
#include "comm/frame_tables.h"
#include "comm/text_buffer.h"
#include "platform/date_time.h"

namespace orlix {

namespace {

Rgb paintColour(Paint p, Rgb onColor) {
    switch (p) {
        case Paint::Black: return kBlack;
        case Paint::Red: return kRed;
        case Paint::On: return onColor;
        case Paint::Blue: return kBlue;
        case Paint::Purple: return kPurple;
        case Paint::Keep: break;
    }
    return kBlack;
}

unsigned word(const std::uint8_t* d, const FieldRow& r) { return d[r.hi] * 256u + d[r.lo]; }

// Tenths of an ampere: fraction text, a "0" put in front of a text that
// starts with "." (the fraction text already has one), then "A".
void appendCurrent(TextBuffer& t, unsigned v) {
    TextBuffer part;
    part.appendScaled(v, 1);
    if (part.startsWith('.')) part.insertFront('0');
    t.append(part.view());
    t.push('A');
}

// Forms the row's text into t and returns the colour selector (0 or 1).
int formatRow(const FieldRow& r, const std::uint8_t* d, TextBuffer& t) {
    const unsigned b = d[r.lo];
    switch (r.rule) {
        case TextRule::Int8: t.appendInt(b); return 0;
        case TextRule::Int16: t.appendInt(word(d, r)); return 0;
        case TextRule::Minus64: t.appendInt(static_cast<int>(b) - 64); return 0;
        case TextRule::Signed8: t.appendInt(toSignedByte(static_cast<std::uint8_t>(b))); return 0;
        case TextRule::Kg100:
            t.appendScaled(word(d, r), 2);
            t.append("kg");
            return 0;
        case TextRule::Time16: {
            const unsigned s = word(d, r);
            t.appendTwoDigits(s / 3600);
            t.push(':');
            t.appendTwoDigits(s % 3600 / 60);
            t.push(':');
            t.appendTwoDigits(s % 60);
            return 0;
        }
        case TextRule::Current:
            appendCurrent(t, b);
            t.push('/');
            appendCurrent(t, d[r.hi]);
            return 0;
        case TextRule::Bit:
            if (b & (1u << r.bit)) {
                t.append(r.setText);
                return 1;
            }
            t.append(r.clearText);
            return 0;
        case TextRule::Codes:
        case TextRule::Fan: {
            const unsigned key = r.rule == TextRule::Codes ? (b & r.codes->mask) : b;
            for (const CodeText& c : r.codes->codes) {
                if (c.code == key) {
                    t.append(c.text);
                    return r.rule == TextRule::Codes ? 1 : 0;
                }
            }
            if (r.rule == TextRule::Fan) {
                t.append(r.setText);
                t.appendInt(b);
                return 1;
            }
            t.append(r.codes->fallback);
            return 0;
        }
        case TextRule::Chain: {
            const BitChain& c = *r.chain;
            const unsigned v = r.hi != r.lo ? (b | static_cast<unsigned>(d[r.hi]) << 8) : b;
            if (c.zeroMask != 0 && (v & c.zeroMask) == 0) {
                t.append(c.zeroText);
                return 0;
            }
            int sel = c.otherwiseSelector;
            bool found = false;
            for (const BitText& e : c.bits) {
                if (v & e.mask) {
                    t.append(e.text);
                    sel = 1;
                    found = true;
                    break;
                }
            }
            if (!found) t.append(c.otherwise);
            if (c.dotsWhenSeveral && std::popcount(v) > 1) t.append("...");
            return sel;
        }
        case TextRule::SlavePressure: {
            // p = round((160 b - 4083) / 25); the remainder is never 12.5.
            const int num = 160 * static_cast<int>(b) - 4083;
            if (num < 0) {
                t.push('0');  // p < 0, or p rounds to 0 from below: both show "0"
            } else {
                t.appendScaled(static_cast<std::uint32_t>((num + 12) / 25), 2);
            }
            t.append("kg");
            return 0;
        }
        case TextRule::OilFlag:
            t.append((b & 0x80) ? ">Ps" : "Nl");
            t.append((b & 0x40) ? "/Qt" : "/Nl");
            return 0;
    }
    return 0;
}

std::int32_t storedValue(const FieldRow& r, const std::uint8_t* d) {
    switch (r.store) {
        case Store::Byte: return d[r.lo];
        case Store::Word: return static_cast<std::int32_t>(word(d, r));
        case Store::Minus64: return static_cast<std::int32_t>(d[r.lo]) - 64;
        case Store::Mask0C: return d[r.lo] & 0x0C;
        case Store::None: break;
    }
    return 0;
}

}  // namespace

FrameDecoder::FrameDecoder(FieldBoard& board, LiveStore& store, const Clock& clock, ErrorMemorySink* sink)
    : board_(board), store_(store), clock_(clock), sink_(sink) {}

void FrameDecoder::invalidate() {
    cacheA5_.valid = false;
    cache5A_.valid = false;
}

template <class Rows>
void FrameDecoder::runRows(const Rows& rows, const std::array<std::int16_t, 81>& buf, KindCache& cache) {
    std::uint8_t d[60];
    for (int i = 0; i < 60; ++i) d[i] = static_cast<std::uint8_t>(buf[static_cast<std::size_t>(i)]);

    // Bit i set: D[i] may differ from what the fields show. A row none of
    // whose bytes changed already shows its result and is skipped.
    std::uint64_t changed = ~std::uint64_t{0};
    if (cache.valid && cache.clearGeneration == board_.clearGeneration() && cache.onColor == OnColor) {
        changed = 0;
        for (int i = 0; i < 60; ++i) {
            if (d[i] != cache.bytes[static_cast<std::size_t>(i)]) changed |= std::uint64_t{1} << i;
        }
    }

    TextBuffer t;
    for (const FieldRow& r : rows) {
        if (r.live >= 0) store_.LiveValues[static_cast<std::size_t>(r.live)] = storedValue(r, d);
        const std::uint64_t inputs = (std::uint64_t{1} << r.hi) | (std::uint64_t{1} << r.lo);
        if ((changed & inputs) == 0) continue;
        t.clear();
        const int sel = formatRow(r, d, t);
        board_.setText(r.field, t.view());
        const Paint p = sel ? r.paint1 : r.paint0;
        if (p != Paint::Keep) board_.setColour(r.field, paintColour(p, OnColor));
    }

    std::memcpy(cache.bytes.data(), d, sizeof d);
    cache.valid = true;
    cache.clearGeneration = board_.clearGeneration();
    cache.onColor = OnColor;
}

void FrameDecoder::decodeA5(const std::array<std::int16_t, 81>& FrameBuffer) {
    runRows(frame_rows::kA5Rows, FrameBuffer, cacheA5_);
    updateErrorMemory();
}

void FrameDecoder::decode5A(const std::array<std::int16_t, 81>& FrameBuffer) {
    runRows(frame_rows::k5ARows, FrameBuffer, cache5A_);
}

void FrameDecoder::updateErrorMemory() {
    // Error, Com Error and ProtectErr (fields 1..3) to error lists 0..2.
    for (int n = 0; n < 3; ++n) {
        std::string& prev = store_.PrevFaultStatus[static_cast<std::size_t>(n)];
        std::string& cur = store_.FaultStatus[static_cast<std::size_t>(n)];
        prev = cur;
        const std::string& text = board_[n + 1].text;
        if (cur == text) continue;
        cur = text;
        if (sink_ == nullptr) continue;
        try {
            sink_->addErrorEntry(n, timeOfDayText(clock_.now()) + cur);
        } catch (...) {
            // A failing list must not stop the frame; the entry is skipped.
        }
    }
}

}  // namespace orlix
