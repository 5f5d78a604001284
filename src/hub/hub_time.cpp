#include "hub/hub_time.h"

#include <QDateTime>
#include <array>

namespace orlix::hub {
namespace {

constexpr std::int64_t kSecondsPerDay = 86'400;

// Days from 1970-01-01 to y-m-d in the proleptic Gregorian calendar
// (H. Hinnant's days_from_civil).
std::int64_t daysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

struct Civil {
    std::int64_t year;
    int month, day;
};

Civil civilFromDays(std::int64_t z) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return {yoe + era * 400 + (m <= 2 ? 1 : 0), m, d};
}

bool isLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m) {
    static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeapYear(y) ? 29 : kDays[static_cast<std::size_t>(m - 1)];
}

// The number of `width` digits at text[pos], or -1.
int digits(std::string_view text, std::size_t pos, std::size_t width) {
    int v = 0;
    for (std::size_t i = pos; i < pos + width; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9') return -1;
        v = v * 10 + (text[i] - '0');
    }
    return v;
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0); }

int offsetAt(const QTimeZone& zone, std::int64_t utcSeconds) {
    return zone.offsetFromUtc(QDateTime::fromSecsSinceEpoch(utcSeconds, QTimeZone::utc()));
}

void appendTwoDigits(std::string& out, int v) {
    out.push_back(static_cast<char>('0' + v / 10));
    out.push_back(static_cast<char>('0' + v % 10));
}

}  // namespace

std::optional<WallTime> parseWallTime(std::string_view text) {
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
        text[16] != ':')
        return std::nullopt;
    WallTime w{digits(text, 0, 4), digits(text, 5, 2),  digits(text, 8, 2),
               digits(text, 11, 2), digits(text, 14, 2), digits(text, 17, 2)};
    if (w.year < 0 || w.month < 1 || w.month > 12 || w.day < 1 || w.hour < 0 || w.hour > 23 || w.minute < 0 ||
        w.minute > 59 || w.second < 0 || w.second > 59)
        return std::nullopt;
    if (w.day > daysInMonth(w.year, w.month)) return std::nullopt;
    return w;
}

std::int64_t wallSeconds(const WallTime& w) {
    return daysFromCivil(w.year, w.month, w.day) * kSecondsPerDay + w.hour * 3600 + w.minute * 60 + w.second;
}

std::optional<int> parseUtcOffset(std::string_view text) {
    if (text == "Z") return 0;
    if (text.size() != 6 && text.size() != 5) return std::nullopt;
    if (text[0] != '+' && text[0] != '-') return std::nullopt;
    const bool colon = text.size() == 6;
    if (colon && text[3] != ':') return std::nullopt;
    const int h = digits(text, 1, 2);
    const int m = digits(text, colon ? 4 : 3, 2);
    if (h < 0 || m < 0 || m > 59 || h * 60 + m > 14 * 60) return std::nullopt;
    const int seconds = (h * 60 + m) * 60;
    return text[0] == '-' ? -seconds : seconds;
}

Micros instantInZone(const WallTime& w, const QTimeZone& zone, Micros nowUs) {
    const std::int64_t wall = wallSeconds(w);
    if (!zone.isValid()) return wall * kMicrosPerSecond;
    // The offsets a day either side cover every offset the wall time could
    // be read with (no zone is more than 14 h from UTC, and a zone does not
    // change its offset twice within a day).
    const int before = offsetAt(zone, wall - kSecondsPerDay);
    const int after = offsetAt(zone, wall + kSecondsPerDay);
    const std::int64_t first = wall - before;
    const bool firstFits = offsetAt(zone, first) == before;
    if (before == after) return first * kMicrosPerSecond;
    const std::int64_t second = wall - after;
    const bool secondFits = offsetAt(zone, second) == after;
    if (firstFits && secondFits) {
        const std::int64_t early = std::min(first, second) * kMicrosPerSecond;
        const std::int64_t late = std::max(first, second) * kMicrosPerSecond;
        return late <= nowUs ? late : early;
    }
    if (secondFits) return second * kMicrosPerSecond;
    return first * kMicrosPerSecond;  // fits, or a gap: the offset before it
}

std::string isoInstantText(Micros instantUs, const QTimeZone& zone) {
    const std::int64_t utc = floorDiv(instantUs, kMicrosPerSecond);
    const int offset = zone.isValid() ? offsetAt(zone, utc) : 0;
    const std::int64_t local = utc + offset;
    const std::int64_t days = floorDiv(local, kSecondsPerDay);
    const int daySeconds = static_cast<int>(local - days * kSecondsPerDay);
    const Civil c = civilFromDays(days);
    std::string out = std::to_string(c.year);
    if (c.year >= 0 && c.year < 1000) out.insert(0, 4 - out.size(), '0');
    out.push_back('-');
    appendTwoDigits(out, c.month);
    out.push_back('-');
    appendTwoDigits(out, c.day);
    out.push_back('T');
    appendTwoDigits(out, daySeconds / 3600);
    out.push_back(':');
    appendTwoDigits(out, daySeconds / 60 % 60);
    out.push_back(':');
    appendTwoDigits(out, daySeconds % 60);
    const int absOffset = offset < 0 ? -offset : offset;
    out.push_back(offset < 0 ? '-' : '+');
    appendTwoDigits(out, absOffset / 3600);
    out.push_back(':');
    appendTwoDigits(out, absOffset / 60 % 60);
    return out;
}

std::optional<Micros> parseDuration(std::string_view text) {
    if (text == "0") return 0;
    if (text.size() < 2 || text.size() > 8) return std::nullopt;
    Micros unit = 0;
    switch (text.back()) {
    case 's': unit = kMicrosPerSecond; break;
    case 'm': unit = kMicrosPerMinute; break;
    case 'h': unit = kMicrosPerHour; break;
    default: return std::nullopt;
    }
    const std::size_t n = text.size() - 1;
    const int v = digits(text, 0, n);
    if (v < 0) return std::nullopt;
    const Micros d = v * unit;
    if (d > 30 * kMicrosPerDay) return std::nullopt;
    return d;
}

}  // namespace orlix::hub
