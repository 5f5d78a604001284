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

    void clear() { n_ = 0; }
    std::string_view view() const { return {data_, n_}; }
    bool startsWith(char c) const { return n_ > 0 && data_[0] == c; }

    void append(std::string_view s) {
        for (char c : s) push(c);
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
        char tmp[20];
        int k = 0;
        do {
            tmp[k++] = static_cast<char>('0' + u % 10);
            u /= 10;
        } while (u != 0);
        while (k > 0) push(tmp[--k]);
    }
    // Two digits at least ("05").
    void appendTwoDigits(unsigned v) {
        if (v < 10) push('0');
        appendInt(v);
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
    char data_[kCapacity];
    std::size_t n_ = 0;
};

}  // namespace orlix
