#include "base/iso_date_time.h"

#include <cmath>

namespace orlix {
namespace {

void put2(char* out, int v) {
    out[0] = static_cast<char>('0' + v / 10);
    out[1] = static_cast<char>('0' + v % 10);
}

void put4(char* out, int v) {
    put2(out, v / 100);
    put2(out + 2, v % 100);
}

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : kDays[m - 1];
}

// Exactly `n` decimal digits at `at`; advances `at`.
std::optional<int> digits(std::string_view s, std::size_t& at, int n) {
    if (at + static_cast<std::size_t>(n) > s.size()) return std::nullopt;
    int v = 0;
    for (int i = 0; i < n; ++i) {
        const char c = s[at + static_cast<std::size_t>(i)];
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    at += static_cast<std::size_t>(n);
    return v;
}

bool expect(std::string_view s, std::size_t& at, char c) {
    if (at >= s.size() || s[at] != c) return false;
    ++at;
    return true;
}

}  // namespace

int formatIsoDateTime(DateTime t, char* out) {
    if (!std::isfinite(t)) return 0;
    const DateTimeParts p = splitDateTime(t);
    if (p.year < 1 || p.year > 9999) return 0;
    put4(out, p.year);
    out[4] = '-';
    put2(out + 5, p.month);
    out[7] = '-';
    put2(out + 8, p.day);
    out[10] = 'T';
    put2(out + 11, p.hour);
    out[13] = ':';
    put2(out + 14, p.minute);
    out[16] = ':';
    put2(out + 17, p.second);
    return kIsoDateTimeLength;
}

std::string isoDateTimeText(DateTime t) {
    char buf[kIsoDateTimeLength];
    return std::string(buf, static_cast<std::size_t>(formatIsoDateTime(t, buf)));
}

std::string compactDateTimeText(DateTime t) {
    char buf[kIsoDateTimeLength];
    if (formatIsoDateTime(t, buf) == 0) return "00000000-000000";
    const char out[] = {buf[0], buf[1],  buf[2],  buf[3],  buf[5],  buf[6],  buf[8],  buf[9],
                        '-',    buf[11], buf[12], buf[14], buf[15], buf[17], buf[18]};
    return std::string(out, sizeof out);
}

std::optional<ParsedDateTime> parseIsoDateTime(std::string_view s) {
    std::size_t at = 0;
    const auto y = digits(s, at, 4);
    if (!y || !expect(s, at, '-')) return std::nullopt;
    const auto mo = digits(s, at, 2);
    if (!mo || !expect(s, at, '-')) return std::nullopt;
    const auto d = digits(s, at, 2);
    if (!d || *y < 1 || *mo < 1 || *mo > 12 || *d < 1 || *d > daysInMonth(*y, *mo)) return std::nullopt;
    DateTimeParts p;
    p.year = *y;
    p.month = *mo;
    p.day = *d;
    if (at == s.size()) return ParsedDateTime{makeDateTime(p), true};

    if (s[at] != 'T' && s[at] != ' ') return std::nullopt;
    ++at;
    const auto h = digits(s, at, 2);
    if (!h || !expect(s, at, ':')) return std::nullopt;
    const auto mi = digits(s, at, 2);
    if (!mi) return std::nullopt;
    std::optional<int> sec = 0;
    if (at < s.size()) {
        if (!expect(s, at, ':')) return std::nullopt;
        sec = digits(s, at, 2);
    }
    if (!sec || at != s.size() || *h > 23 || *mi > 59 || *sec > 59) return std::nullopt;
    p.hour = *h;
    p.minute = *mi;
    p.second = *sec;
    return ParsedDateTime{makeDateTime(p), false};
}

}  // namespace orlix
