#include "comm/frame_decoder.h"

#include <string>

#include "comm/field_text.h"
#include "base/date_time.h"
#include "base/log.h"

namespace orlix {

namespace {

unsigned word(const std::uint8_t* d, const FieldRow& r) { return d[r.hi] * 256u + d[r.lo]; }

// Code table lookup: the text of `key`, or nothing when the table has none.
const std::string_view* codeText(const CodeTable& table, unsigned key) {
    for (const CodeText& c : table.codes) {
        if (c.code == key) return &c.text;
    }
    return nullptr;
}

// The text of a priority chain over v; returns the colour selector.
int chainText(const BitChain& c, unsigned v, ShortText& t) {
    if (c.zeroMask != 0 && (v & c.zeroMask) == 0) {
        t += c.zeroText;
        return 0;
    }
    int selector = c.otherwiseSelector;
    std::string_view text = c.otherwise;
    for (const BitText& e : c.bits) {
        if (v & e.mask) {
            text = e.text;
            selector = 1;
            break;
        }
    }
    t += text;
    if (c.dotsWhenSeveral && (v & (v - 1)) != 0) t += "...";  // more than one bit set
    return selector;
}

// Forms the text of row r into t; returns the colour selector (0 or 1).
int formRow(const FieldRow& r, const std::uint8_t* d, ShortText& t) {
    const std::uint8_t b = d[r.lo];
    switch (r.rule) {
        case TextRule::Int8: appendInteger(t, b); break;
        case TextRule::Int16: appendInteger(t, word(d, r)); break;
        case TextRule::Minus64: appendInteger(t, b - 64); break;
        case TextRule::Signed8: appendInteger(t, ToSignedByte(b)); break;
        case TextRule::Kg100:
            appendFraction(t, word(d, r), 2);
            t += "kg";
            break;
        case TextRule::Time16: appendTime(t, word(d, r)); break;
        case TextRule::Current:
            appendCurrent(t, b);
            t += '/';
            appendCurrent(t, d[r.hi]);
            break;
        case TextRule::Bit: {
            const int set = (b >> r.bit) & 1;
            t += set ? r.setText : r.clearText;
            return set;
        }
        case TextRule::Codes: {
            const std::string_view* found = codeText(*r.codes, b & r.codes->mask);
            t += found ? *found : r.codes->fallback;
            return found ? 1 : 0;
        }
        case TextRule::Chain:
            return chainText(*r.chain, r.hi != r.lo ? b | d[r.hi] << 8 : b, t);
        case TextRule::Fan:
            // Small values from the table; otherwise the prefix and the value.
            if (const std::string_view* found = codeText(*r.codes, b)) {
                t += *found;
                return 0;
            }
            t += r.setText;
            appendInteger(t, b);
            return 1;
        case TextRule::SlavePressure:
            appendSlavePressure(t, slavePressureHundredths(b));
            t += "kg";
            break;
        case TextRule::OilFlag: t += OilFlagText(b); break;
    }
    return 0;
}

std::int32_t liveValue(const FieldRow& r, const std::uint8_t* d) {
    switch (r.store) {
        case Store::Byte: return d[r.lo];
        case Store::Word: return static_cast<std::int32_t>(word(d, r));
        case Store::Minus64: return d[r.lo] - 64;
        case Store::Mask0C: return d[r.lo] & 0x0C;
        case Store::None: break;
    }
    return 0;
}

}  // namespace

FrameDecoder::FrameDecoder(FieldBoard& board, LiveStore& store, const Clock& clock, ErrorMemorySink* sink)
    : board_(board), store_(store), clock_(clock), sink_(sink) {}

void FrameDecoder::decodeA5(const std::array<std::int16_t, 81>& FrameBuffer) {
    decodeRows(frame_rows::kA5Rows, FrameBuffer, lastA5_);
    updateErrorMemory();
}

void FrameDecoder::decode5A(const std::array<std::int16_t, 81>& FrameBuffer) {
    decodeRows(frame_rows::k5ARows, FrameBuffer, last5A_);
}

void FrameDecoder::decodeRows(std::span<const FieldRow> rows, const std::array<std::int16_t, 81>& buf,
                              LastFrame& last) {
    std::array<std::uint8_t, 60> d;
    for (std::size_t i = 0; i < 60; ++i) d[i] = static_cast<std::uint8_t>(buf[i]);
    const bool canSkip = last.valid && last.onColor == OnColor;
    for (const FieldRow& r : rows) {
        if (r.store != Store::None) store_.LiveValues[static_cast<std::size_t>(r.live)] = liveValue(r, d.data());
        if (canSkip && d[r.lo] == last.bytes[r.lo] && d[r.hi] == last.bytes[r.hi]) {
            board_.markWritten(r.field);
            continue;
        }
        ShortText t;
        const int selector = formRow(r, d.data(), t);
        board_.setText(r.field, t.view());
        const Paint paint = selector ? r.paint1 : r.paint0;
        if (paint != Paint::Keep) board_.setColour(r.field, paintColour(paint));
    }
    last = {d, OnColor, true};
}

Rgb FrameDecoder::paintColour(Paint p) const {
    switch (p) {
        case Paint::Red: return kRed;
        case Paint::On: return OnColor;
        case Paint::Blue: return kBlue;
        case Paint::Purple: return kPurple;
        case Paint::Black:
        case Paint::Keep: break;
    }
    return kBlack;
}

void FrameDecoder::updateErrorMemory() {
    // Error, Com Error and ProtectErr (fields 1..3) to error lists 0..2. All
    // entries of one frame carry the time of one clock reading, taken only
    // when there is an entry to make.
    std::string time;
    for (std::size_t n = 0; n < 3; ++n) {
        std::string& current = store_.FaultStatus[n];
        store_.PrevFaultStatus[n] = current;
        const std::string& text = board_[static_cast<int>(n) + 1].text;
        if (current == text) continue;
        current = text;
        if (sink_ == nullptr) continue;
        if (time.empty()) time = timeOfDayText(clock_.now());
        addErrorEntry(static_cast<int>(n), time + current);
    }
}

void FrameDecoder::addErrorEntry(int list, const std::string& entry) {
    // A list that fails to take its entry must not stop the frame: the entry
    // is skipped. The failure is logged with its cause; repeats only counted.
    try {
        sink_->addErrorEntry(list, entry);
    } catch (...) {
        log::caughtException(log::kComm, "error-memory entry");
    }
}

}  // namespace orlix
