#include "comm/field_text.h"

#include <algorithm>
#include <charconv>

namespace orlix {

namespace {

void appendDigits(ShortText& t, std::uint64_t v) {
    char buf[20];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    t += std::string_view(buf, static_cast<std::size_t>(r.ptr - buf));
}

// |v| without overflow, also for the most negative value.
std::uint64_t magnitude(std::int64_t v) {
    return v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
}

}  // namespace

void appendInteger(ShortText& t, std::int64_t v) {
    if (v < 0) t += '-';
    appendDigits(t, magnitude(v));
}

void appendFraction(ShortText& t, std::int64_t v, int decimals) {
    decimals = std::clamp(decimals, 0, 9);
    std::uint64_t scale = 1;
    for (int k = 0; k < decimals; ++k) scale *= 10;
    if (v < 0) t += '-';
    const std::uint64_t m = magnitude(v);
    appendDigits(t, m / scale);
    std::uint64_t rest = m % scale;
    if (rest == 0) return;
    // The fraction's digits with their leading zeros, trailing zeros dropped.
    char digits[9];
    for (int k = decimals - 1; k >= 0; --k) {
        digits[k] = static_cast<char>('0' + rest % 10);
        rest /= 10;
    }
    std::size_t n = static_cast<std::size_t>(decimals);
    while (digits[n - 1] == '0') --n;
    t += '.';
    t += std::string_view(digits, n);
}

void appendTime(ShortText& t, unsigned seconds) {
    const unsigned parts[3] = {seconds / 3600, seconds % 3600 / 60, seconds % 60};
    for (int k = 0; k < 3; ++k) {
        if (k > 0) t += ':';
        if (parts[k] < 10) t += '0';
        appendDigits(t, parts[k]);
    }
}

void appendCurrent(ShortText& t, std::uint8_t tenths) {
    appendFraction(t, tenths, 1);
    t += 'A';
}

void appendSlavePressure(ShortText& t, std::int64_t hundredths) {
    if (hundredths < 0) {
        t += '0';
    } else {
        appendFraction(t, hundredths, 2);
    }
}

int slavePressureHundredths(std::uint8_t b) {
    // The remainder of the division is never 12.5, so rounding half away
    // from zero in integers is exact.
    const int num = 160 * b - 4083;
    if (num >= 0) return (num + 12) / 25;
    return -((-num + 12) / 25);
}

std::string_view OilFlagText(int b) {
    static constexpr std::string_view kTexts[4] = {"Nl/Nl", "Nl/Qt", ">Ps/Nl", ">Ps/Qt"};
    return kTexts[(b >> 6) & 3];
}

}  // namespace orlix
