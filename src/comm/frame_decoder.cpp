#include "comm/frame_decoder.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "comm/field_text.h"
#include "comm/frame_tables.h"
#include "comm/text_buffer.h"
#include "platform/date_time.h"

namespace orlix {

namespace {

unsigned word(const std::uint8_t* d, const FieldRow& r) { return d[r.hi] * 256u + d[r.lo]; }

// ---- texts of one byte, formed once ----------------------------------------

using ByteTexts = std::array<BlockText, 256>;

constexpr void putInt(BlockText& t, int v) {
    if (v < 0) {
        t.s[t.n++] = '-';
        v = -v;
    }
    char tmp[4]{};
    int k = 0;
    do {
        tmp[k++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    while (k > 0) t.s[t.n++] = tmp[--k];
}

template <class F>
constexpr ByteTexts byteTexts(F f) {
    ByteTexts out{};
    for (int b = 0; b < 256; ++b) f(out[static_cast<std::size_t>(b)], b);
    return out;
}

constexpr ByteTexts kInt8Texts = byteTexts([](BlockText& t, int b) { putInt(t, b); });
constexpr ByteTexts kMinus64Texts = byteTexts([](BlockText& t, int b) { putInt(t, b - 64); });
constexpr ByteTexts kSigned8Texts = byteTexts([](BlockText& t, int b) { putInt(t, b <= 127 ? b : b - 256); });
// p = round((160 b - 4083) / 25); the remainder is never 12.5. "0kg" when
// p < 0 (and when p rounds to 0), else the fraction text of p / 100.
constexpr ByteTexts kSlavePressureTexts = byteTexts([](BlockText& t, int b) {
    const int num = 160 * b - 4083;
    if (num < 0) {
        t.s[t.n++] = '0';
    } else {
        const int p = (num + 12) / 25;
        putInt(t, p / 100);
        const int frac = p % 100;
        if (frac != 0) {
            t.s[t.n++] = '.';
            t.s[t.n++] = static_cast<char>('0' + frac / 10);
            if (frac % 10 != 0) t.s[t.n++] = static_cast<char>('0' + frac % 10);
        }
    }
    t.s[t.n++] = 'k';
    t.s[t.n++] = 'g';
});

// "hh:mm:ss" of a 16-bit seconds counter (at most 18 hours: always two
// digits per part).
BlockText timeBlock(unsigned s) {
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    const unsigned parts[3] = {s / 3600, s % 3600 / 60, s % 60};
    BlockText b;
    for (int k = 0; k < 3; ++k) {
        b.s[3 * k] = kPairs[2 * parts[k]];
        b.s[3 * k + 1] = kPairs[2 * parts[k] + 1];
    }
    b.s[2] = b.s[5] = ':';
    b.n = 8;
    return b;
}

// Tenths of an ampere: fraction text, a "0" put in front of a text that
// starts with "." (the fraction text already has one), then "A".
void appendCurrent(TextBuffer& t, unsigned v) {
    TextBuffer part;
    part.appendScaled(v, 1);
    if (part.startsWith('.')) part.insertFront('0');
    t.append(part.view());
    t.push('A');
}

// Forms the text of a row of the less common rules (a view into a static
// table, the row itself, or t) and returns the colour selector (0 or 1).
int formatRow(const FieldRow& r, const std::uint8_t* d, TextBuffer& t, std::string_view& out) {
    const unsigned b = d[r.lo];
    switch (r.rule) {
        case TextRule::Int8:
        case TextRule::Int16:
        case TextRule::Minus64:
        case TextRule::Signed8:
        case TextRule::Kg100:
        case TextRule::Time16:
        case TextRule::Bit:
        case TextRule::SlavePressure:
            break;  // formed by the row loop itself
        case TextRule::OilFlag: {
            static constexpr std::string_view kFlags[4] = {"Nl/Nl", "Nl/Qt", ">Ps/Nl", ">Ps/Qt"};
            out = kFlags[b >> 6];
            return 0;
        }
        case TextRule::Current:
            appendCurrent(t, b);
            t.push('/');
            appendCurrent(t, d[r.hi]);
            break;
        case TextRule::Codes:
        case TextRule::Fan: {
            const unsigned key = r.rule == TextRule::Codes ? (b & r.codes->mask) : b;
            for (const CodeText& c : r.codes->codes) {
                if (c.code == key) {
                    out = c.text;
                    return r.rule == TextRule::Codes ? 1 : 0;
                }
            }
            if (r.rule == TextRule::Codes) {
                out = r.codes->fallback;
                return 0;
            }
            t.append(r.setText);
            t.append(kInt8Texts[b].view());
            out = t.view();
            return 1;
        }
        case TextRule::Chain: {
            const BitChain& c = *r.chain;
            const unsigned v = r.hi != r.lo ? (b | static_cast<unsigned>(d[r.hi]) << 8) : b;
            if (c.zeroMask != 0 && (v & c.zeroMask) == 0) {
                out = c.zeroText;
                return 0;
            }
            int sel = c.otherwiseSelector;
            out = c.otherwise;
            for (const BitText& e : c.bits) {
                if (v & e.mask) {
                    out = e.text;
                    sel = 1;
                    break;
                }
            }
            if (c.dotsWhenSeveral && (v & (v - 1)) != 0) {
                // More than one bit set: the text read back, then "...".
                t.append(out);
                t.append("...");
                out = t.view();
            }
            return sel;
        }
    }
    out = t.view();
    return 0;
}


// ---- the plan of a frame kind ----------------------------------------------

// The bits of a row's input bytes that its text and colour depend on: a row
// is formed again only when one of them changed.
constexpr std::uint16_t relevantBits(const FieldRow& r) {
    switch (r.rule) {
        case TextRule::Bit: return static_cast<std::uint16_t>(1u << r.bit);
        case TextRule::Codes: return r.codes->mask;
        case TextRule::OilFlag: return 0xC0;
        case TextRule::Chain: {
            unsigned m = r.chain->zeroMask;
            for (const BitText& e : r.chain->bits) m |= e.mask;
            if (r.chain->dotsWhenSeveral) m = 0xFFFF;
            if (r.hi == r.lo) m &= 0xFF;
            return static_cast<std::uint16_t>(m);
        }
        case TextRule::Int16:
        case TextRule::Kg100:
        case TextRule::Time16:
        case TextRule::Current: return 0xFFFF;
        default: return 0xFF;
    }
}

// A live value as arithmetic: D[hi] * hiFactor + (D[lo] AND loMask) + offset.
struct LiveRow {
    std::uint8_t slot, hi, lo, loMask;
    std::int16_t hiFactor, offset;
};

constexpr LiveRow liveRow(const FieldRow& r) {
    LiveRow l{static_cast<std::uint8_t>(r.live), r.hi, r.lo, 0xFF, 0, 0};
    switch (r.store) {
        case Store::Word: l.hiFactor = 256; break;
        case Store::Minus64: l.offset = -64; break;
        case Store::Mask0C: l.loMask = 0x0C; break;
        case Store::Byte:
        case Store::None: break;
    }
    return l;
}

template <std::size_t N>
struct Plan {
    static_assert(N <= 128, "the row sets are two 64-bit words");
    std::array<std::uint8_t, N> lo{}, hi{}, maskLo{}, maskHi{};
    std::array<std::array<BlockText, 2>, N> bitTexts{};  // Bit rows: clear, set
    std::array<std::array<std::uint64_t, 2>, 60> rowsOfByte{};  // rows that read byte i
    std::array<LiveRow, 32> live{};
    std::size_t liveCount = 0;
};

template <std::size_t N>
constexpr Plan<N> makePlan(const std::array<FieldRow, N>& rows) {
    Plan<N> p{};
    for (std::size_t k = 0; k < N; ++k) {
        const FieldRow& r = rows[k];
        const std::uint16_t m = relevantBits(r);
        p.lo[k] = r.lo;
        p.hi[k] = r.hi;
        p.maskLo[k] = static_cast<std::uint8_t>(m & 0xFF);
        p.maskHi[k] = r.hi == r.lo ? 0 : static_cast<std::uint8_t>(m >> 8);
        for (std::uint8_t byte : {r.lo, r.hi}) p.rowsOfByte[byte][k / 64] |= std::uint64_t{1} << (k % 64);
        if (r.live >= 0) p.live[p.liveCount++] = liveRow(r);
        if (r.rule == TextRule::Bit) p.bitTexts[k] = {BlockText(r.clearText), BlockText(r.setText)};
    }
    return p;
}

constexpr auto kA5Plan = makePlan(frame_rows::kA5Rows);
constexpr auto k5APlan = makePlan(frame_rows::k5ARows);

// The live values of a plan, unrolled: every index and factor a constant.
template <const auto& P, std::size_t... K>
void writeLive(std::array<std::int32_t, 52>& out, const std::uint8_t* d, std::index_sequence<K...>) {
    ((out[P.live[K].slot] = d[P.live[K].hi] * P.live[K].hiFactor + (d[P.live[K].lo] & P.live[K].loMask) +
                            P.live[K].offset),
     ...);
}

// x = a XOR b over 64 bytes; returns the set of byte indices where a and b
// differ.
std::uint64_t changedBytes(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* x) {
    std::uint64_t mask = 0;
#if defined(__SSE2__)
    for (int w = 0; w < 64; w += 16) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + w));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + w));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(x + w), _mm_xor_si128(va, vb));
        const auto same = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(va, vb)));
        mask |= static_cast<std::uint64_t>(~same & 0xFFFFu) << w;
    }
#else
    for (int i = 0; i < 64; ++i) {
        x[i] = static_cast<std::uint8_t>(a[i] ^ b[i]);
        mask |= static_cast<std::uint64_t>(x[i] != 0) << i;
    }
#endif
    return mask;
}

}  // namespace

FrameDecoder::FrameDecoder(FieldBoard& board, LiveStore& store, const Clock& clock, ErrorMemorySink* sink)
    : board_(board), store_(store), clock_(clock), sink_(sink),
      timeSecond_(std::numeric_limits<double>::quiet_NaN()) {}

void FrameDecoder::invalidate() {
    cacheA5_.valid = false;
    cache5A_.valid = false;
}

template <const auto& rows, const auto& plan>
void FrameDecoder::runRows(const std::array<std::int16_t, 81>& buf, KindCache& cache) {
    constexpr std::size_t N = rows.size();
    // 64 entries (the buffer has 81) so the loop needs no tail; 60..63 are
    // never read.
    std::uint8_t d[64];
    for (std::size_t i = 0; i < 64; ++i) d[i] = static_cast<std::uint8_t>(buf[i]);

    // Live values: written by every frame.
    writeLive<plan>(store_.LiveValues, d, std::make_index_sequence<plan.liveCount>{});

    // Rows to form: all of them, or those whose relevant input bits changed
    // since the previous frame of this kind (the others already show their
    // result).
    const bool full = !(cache.valid && cache.clearGeneration == board_.clearGeneration() && cache.onColor == OnColor);
    std::uint8_t x[64];
    std::uint64_t todo[2] = {~std::uint64_t{0}, ~std::uint64_t{0}};
    if (!full) {
        todo[0] = todo[1] = 0;
        std::uint64_t changed = changedBytes(d, cache.bytes.data(), x) & 0x0FFFFFFFFFFFFFFFu;  // 0..59
        while (changed != 0) {
            const int i = std::countr_zero(changed);
            changed &= changed - 1;
            todo[0] |= plan.rowsOfByte[static_cast<std::size_t>(i)][0];
            todo[1] |= plan.rowsOfByte[static_cast<std::size_t>(i)][1];
        }
        // Of the rows that read a changed byte, those whose relevant bits
        // changed; without a branch per row, as on a noisy line it would be a
        // coin toss.
        for (int half = 0; half < 2; ++half) {
            std::uint64_t bits = todo[half], keep = 0;
            while (bits != 0) {
                const int j = std::countr_zero(bits);
                bits &= bits - 1;
                const std::size_t k = static_cast<std::size_t>(half * 64 + j);
                if (k >= N) break;
                const unsigned hit = (x[plan.lo[k]] & plan.maskLo[k]) | (x[plan.hi[k]] & plan.maskHi[k]);
                keep |= std::uint64_t{hit != 0} << j;
            }
            todo[half] = keep;
        }
    }

    // Colours by Paint: Keep (unused), Black, Red, On, Blue, Purple.
    const Rgb palette[6] = {kBlack, kBlack, kRed, OnColor, kBlue, kPurple};
    TextBuffer t;
    for (int half = 0; half < 2; ++half) {
        std::uint64_t bits = todo[half];
        while (bits != 0) {
            const std::size_t k = static_cast<std::size_t>(half * 64 + std::countr_zero(bits));
            bits &= bits - 1;
            if (k >= N) break;
            const FieldRow& r = rows[k];
            int sel = 0;
            // The frequent rules right here, each text handed to the board as
            // a block; the rest in formatRow.
            switch (r.rule) {
                case TextRule::Bit:
                    sel = (d[r.lo] >> r.bit) & 1;
                    board_.setText(r.field, plan.bitTexts[k][static_cast<std::size_t>(sel)]);
                    break;
                case TextRule::Int8: board_.setText(r.field, kInt8Texts[d[r.lo]]); break;
                case TextRule::Minus64: board_.setText(r.field, kMinus64Texts[d[r.lo]]); break;
                case TextRule::Signed8: board_.setText(r.field, kSigned8Texts[d[r.lo]]); break;
                case TextRule::SlavePressure: board_.setText(r.field, kSlavePressureTexts[d[r.lo]]); break;
                case TextRule::Time16: board_.setText(r.field, timeBlock(word(d, r))); break;
                case TextRule::Int16:
                    t.clear();
                    t.appendInt(word(d, r));
                    board_.setBlockText(r.field, t.data(), t.view().size());
                    break;
                case TextRule::Kg100:
                    t.clear();
                    t.appendScaled(word(d, r), 2);
                    t.append("kg");
                    board_.setBlockText(r.field, t.data(), t.view().size());
                    break;
                default: {
                    t.clear();
                    std::string_view text;
                    sel = formatRow(r, d, t, text);
                    if (text.data() == t.data() && text.size() <= BlockText::kSize) {
                        board_.setBlockText(r.field, t.data(), text.size());
                    } else {
                        board_.setText(r.field, text);
                    }
                }
            }
            const Paint p = sel ? r.paint1 : r.paint0;
            if (p != Paint::Keep) board_.setColour(r.field, palette[static_cast<int>(p)]);
        }
    }

    std::memcpy(cache.bytes.data(), d, 64);
    cache.valid = true;
    cache.clearGeneration = board_.clearGeneration();
    cache.onColor = OnColor;
}

void FrameDecoder::decodeA5(const std::array<std::int16_t, 81>& FrameBuffer) {
    runRows<frame_rows::kA5Rows, kA5Plan>(FrameBuffer, cacheA5_);
    updateErrorMemory();
}

void FrameDecoder::decode5A(const std::array<std::int16_t, 81>& FrameBuffer) {
    runRows<frame_rows::k5ARows, k5APlan>(FrameBuffer, cache5A_);
}

namespace {
bool sameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size()) == 0;
}
}  // namespace

const std::string& FrameDecoder::timeTextOf(DateTime t) {
    // The text depends only on t rounded to whole seconds (a date-time that
    // is not finite has no second and is formed every time).
    const double second = std::isfinite(t) ? std::nearbyint(t * kSecondsPerDay)
                                           : std::numeric_limits<double>::quiet_NaN();
    if (!(second == timeSecond_)) {
        timeSecond_ = std::numeric_limits<double>::quiet_NaN();  // until the text is formed
        timeText_ = timeOfDayText(t);
        timeSecond_ = second;
    }
    return timeText_;
}

void FrameDecoder::updateErrorMemory() {
    // Error, Com Error and ProtectErr (fields 1..3) to error lists 0..2. All
    // entries of one frame carry the time of one clock reading, taken only
    // when there is an entry to make.
    const std::string* time = nullptr;
    for (int n = 0; n < 3; ++n) {
        std::string& prev = store_.PrevFaultStatus[static_cast<std::size_t>(n)];
        std::string& cur = store_.FaultStatus[static_cast<std::size_t>(n)];
        if (!sameText(prev, cur)) prev = cur;
        const std::string& text = board_[n + 1].text;
        if (sameText(cur, text)) continue;
        cur = text;
        if (sink_ == nullptr) continue;
        try {
            if (time == nullptr) time = &timeTextOf(clock_.now());
            entry_.assign(*time);
            entry_.append(cur);
            sink_->addErrorEntry(n, entry_);
        } catch (...) {
            // A failing list must not stop the frame; the entry is skipped.
        }
    }
}

}  // namespace orlix
