#pragma once
// Helpers for building bus frames in tests.
#include <array>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <utility>
#include <vector>

namespace orlix::test {

using Data = std::array<std::uint8_t, 60>;

// Data bytes from {index, value} pairs, the rest 0.
inline Data data(std::initializer_list<std::pair<int, int>> set) {
    Data d{};
    for (auto [i, v] : set) d[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v);
    return d;
}

inline std::uint8_t checksum(std::uint8_t kind, const Data& d) {
    unsigned s = kind;
    for (auto b : d) s += b;
    return static_cast<std::uint8_t>(s & 0xFF);
}

// 0x55, kind, 60 data bytes, checksum.
inline std::vector<std::uint8_t> frame(std::uint8_t kind, const Data& d) {
    std::vector<std::uint8_t> f(63);
    f[0] = 0x55;
    f[1] = kind;
    for (std::size_t i = 0; i < 60; ++i) f[i + 2] = d[i];
    f[62] = checksum(kind, d);
    return f;
}

// "55 a5 0102" -> bytes; blanks ignored.
inline std::vector<std::uint8_t> hex(std::string_view s) {
    std::vector<std::uint8_t> out;
    int hi = -1;
    for (char c : s) {
        int v = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (v < 0) continue;
        if (hi < 0) {
            hi = v;
        } else {
            out.push_back(static_cast<std::uint8_t>(hi * 16 + v));
            hi = -1;
        }
    }
    return out;
}

inline std::array<std::int16_t, 81> buffer(const Data& d) {
    std::array<std::int16_t, 81> b{};
    for (std::size_t i = 0; i < 60; ++i) b[i] = d[i];
    return b;
}

inline void append(std::vector<std::uint8_t>& to, const std::vector<std::uint8_t>& more) {
    to.insert(to.end(), more.begin(), more.end());
}

}  // namespace orlix::test
