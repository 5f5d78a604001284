#pragma once
// The text rules of the value fields and value grids, in one place: integer
// text, fraction text, time text, current text, the slave pressure text and
// the oil-balance flag text. The frame decoders form every field text with
// them and the chart's value grids form their number texts with them.
//
// Texts are built into a ShortText, a fixed buffer on the stack, so decoding
// a frame allocates nothing. Digits come from std::to_chars, which never
// looks at the process locale: '.' is always the decimal separator.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace orlix {

// A text of at most kCapacity characters; appends past that are cut off.
class ShortText {
public:
    static constexpr std::size_t kCapacity = 32;

    std::string_view view() const { return {chars_, size_}; }

    ShortText& operator+=(std::string_view s) {
        const std::size_t n = s.size() < kCapacity - size_ ? s.size() : kCapacity - size_;
        std::memcpy(chars_ + size_, s.data(), n);
        size_ += n;
        return *this;
    }
    ShortText& operator+=(char c) {
        if (size_ < kCapacity) chars_[size_++] = c;
        return *this;
    }

private:
    char chars_[kCapacity];
    std::size_t size_ = 0;
};

// Integer text: decimal digits, "-" in front of negative values.
void appendInteger(ShortText& t, std::int64_t v);
// Fraction text of v / 10^decimals (decimals 0..9): the shortest decimal
// form, no trailing zeros, no point for whole values, "0" before the point
// below 1 (1234, 2 gives "12.34"; 1200, 2 gives "12"; -7, 1 gives "-0.7").
void appendFraction(ShortText& t, std::int64_t v, int decimals);
// Time text of a seconds counter: "hh:mm:ss", each part at least two digits.
void appendTime(ShortText& t, unsigned seconds);
// Current text of a byte in tenths of an ampere: fraction text, then "A"
// ("0.5A", "12A").
void appendCurrent(ShortText& t, std::uint8_t tenths);
// Slave pressure text in hundredths (without a unit): "0" below 0, else the
// fraction text of hundredths / 100.
void appendSlavePressure(ShortText& t, std::int64_t hundredths);

// Slave suction pressure byte in hundredths: (160 b - 4083) / 25 rounded to
// the nearest integer.
int slavePressureHundredths(std::uint8_t b);

// Oil-balance flag byte: ">Ps" or "Nl" (bit 7), then "/Qt" or "/Nl" (bit 6).
// Only the low eight bits of b are looked at.
std::string_view OilFlagText(int b);

// b for b <= 127, b - 256 above.
constexpr int ToSignedByte(std::uint8_t b) { return b <= 127 ? b : b - 256; }

}  // namespace orlix
