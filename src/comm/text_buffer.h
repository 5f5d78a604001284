#pragma once
// A small fixed buffer the decoders format a field text into, without heap
// allocation. Every field text is far shorter than the capacity; appends past
// it are cut off rather than written out of bounds.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace orlix {

class TextBuffer {
public:
    static constexpr std::size_t kCapacity = 48;

    TextBuffer() { clear(); }

    // Also zeroes the first 16 bytes: a text of up to 16 characters is then
    // followed by zeros to byte 16, the block form the field board takes.
    void clear() {
        for (std::size_t i = 0; i < kZeroed; ++i) data_[i] = 0;
        n_ = 0;
    }
    std::string_view view() const { return {data_, n_}; }
    const char* data() const { return data_; }
    bool startsWith(char c) const { return n_ > 0 && data_[0] == c; }

    void append(std::string_view s) { appendRaw(s.data(), s.size()); }
    void appendRaw(const char* p, std::size_t n) {
        if (n > kCapacity - n_) n = kCapacity - n_;
        for (std::size_t i = 0; i < n; ++i) data_[n_ + i] = p[i];
        n_ += n;
    }
    void push(char c) {
        if (n_ < kCapacity) data_[n_++] = c;
    }
    void insertFront(char c) {
        if (n_ >= kCapacity) return;
        for (std::size_t i = n_; i > 0; --i) data_[i] = data_[i - 1];
        data_[0] = c;
        ++n_;
    }

    void appendInt(std::int64_t v) {
        std::uint64_t u;
        if (v < 0) {
            push('-');
            u = static_cast<std::uint64_t>(-(v + 1)) + 1;
        } else {
            u = static_cast<std::uint64_t>(v);
        }
        // Digits from the right, two at a time.
        char tmp[20];
        int k = 20;
        while (u >= 100) {
            const auto pair = static_cast<unsigned>(u % 100);
            u /= 100;
            tmp[--k] = kDigitPairs[2 * pair + 1];
            tmp[--k] = kDigitPairs[2 * pair];
        }
        if (u >= 10) {
            tmp[--k] = kDigitPairs[2 * u + 1];
            tmp[--k] = kDigitPairs[2 * u];
        } else {
            tmp[--k] = static_cast<char>('0' + u);
        }
        appendRaw(tmp + k, static_cast<std::size_t>(20 - k));
    }
    // Two digits at least ("05").
    void appendTwoDigits(unsigned v) {
        if (v < 100) {
            appendRaw(kDigitPairs + 2 * v, 2);
        } else {
            appendInt(v);
        }
    }
    // The fraction text of v / 10^decimals for a non-negative integer v
    // (decimals 1 or 2): shortest form, no trailing zeros, "0" before the
    // point below 1. Equals fractionText(v / 10.0) or fractionText(v / 100.0).
    void appendScaled(std::uint32_t v, int decimals) {
        std::uint32_t div = decimals == 1 ? 10 : 100;
        std::uint32_t whole = v / div, frac = v % div;
        appendInt(whole);
        if (frac == 0) return;
        push('.');
        if (decimals == 2) {
            push(static_cast<char>('0' + frac / 10));
            if (frac % 10 != 0) push(static_cast<char>('0' + frac % 10));
        } else {
            push(static_cast<char>('0' + frac));
        }
    }

private:
    static constexpr char kDigitPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";

    static constexpr std::size_t kZeroed = 16;
    char data_[kCapacity];
    std::size_t n_ = 0;
};

}  // namespace orlix
