#include "comm/field_text.h"

#include <charconv>
#include <cmath>
#include <system_error>

#include "comm/text_buffer.h"

namespace orlix {

std::string integerText(std::int64_t v) {
    TextBuffer b;
    b.appendInt(v);
    return std::string(b.view());
}

std::string fractionText(double v) {
    if (std::isnan(v)) return "NaN";
    if (v == 0.0) return "0";  // also turns -0 into "0"
    char buf[64];
    // Like %.15g in the C locale: at most 15 significant digits, trailing
    // zeros dropped, '.' as the separator whatever the process locale.
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
    if (r.ec != std::errc{}) return "0";
    return std::string(buf, r.ptr);
}

std::string timeText(std::uint16_t seconds) {
    TextBuffer b;
    unsigned t = seconds;
    b.appendTwoDigits(t / 3600);
    b.push(':');
    b.appendTwoDigits(t % 3600 / 60);
    b.push(':');
    b.appendTwoDigits(t % 60);
    return std::string(b.view());
}

std::string currentText(std::uint8_t b) {
    TextBuffer t;
    t.appendScaled(b, 1);
    if (t.startsWith('.')) t.insertFront('0');
    t.push('A');
    return std::string(t.view());
}

int slavePressureHundredths(std::uint8_t b) {
    // (160 b - 4083) / 25 rounded to the nearest integer; the remainder is
    // never 12.5, so rounding half away from zero is exact. Integer arithmetic
    // keeps it free of floating-point surprises.
    int num = 160 * b - 4083;
    if (num >= 0) return (num + 12) / 25;
    return -((-num + 12) / 25);
}

std::string slavePressureText(std::uint8_t b) {
    int p = slavePressureHundredths(b);
    TextBuffer t;
    if (p < 0) {
        t.push('0');
    } else {
        t.appendScaled(static_cast<std::uint32_t>(p), 2);
    }
    t.append("kg");
    return std::string(t.view());
}

}  // namespace orlix
