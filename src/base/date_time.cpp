#include "base/date_time.h"

#include <cmath>
#include <cstdio>

namespace orlix {
namespace {

// Days from 1970-01-01 to the civil date y-m-d (proleptic Gregorian).
long long daysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void civilFromDays(long long z, int& y, int& m, int& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(static_cast<long long>(yoe) + era * 400 + (m <= 2));
}

const long long kEpochOffset = daysFromCivil(1899, 12, 30);  // negative

}  // namespace

DateTime makeDateTime(const DateTimeParts& p) {
    const long long days = daysFromCivil(p.year, static_cast<unsigned>(p.month),
                                         static_cast<unsigned>(p.day)) - kEpochOffset;
    const double secs = p.hour * 3600.0 + p.minute * 60.0 + p.second;
    return static_cast<double>(days) + secs / kSecondsPerDay;
}

DateTimeParts splitDateTime(DateTime t) {
    DateTimeParts p;
    if (!std::isfinite(t)) return p;
    // Whole seconds since the epoch, rounded to the nearest second so that
    // sums of 4 s steps never show as 3.999... s.
    const double totalSeconds = std::nearbyint(t * kSecondsPerDay);
    // Keep far-out values inside what the calendar arithmetic handles.
    const double clamped = std::fmax(-1e14, std::fmin(1e14, totalSeconds));
    long long secs = static_cast<long long>(clamped);
    long long days = secs / 86400;
    long long rem = secs % 86400;
    if (rem < 0) {
        rem += 86400;
        --days;
    }
    civilFromDays(days + kEpochOffset, p.year, p.month, p.day);
    p.hour = static_cast<int>(rem / 3600);
    p.minute = static_cast<int>(rem % 3600 / 60);
    p.second = static_cast<int>(rem % 60);
    return p;
}

std::string timeOfDayText(DateTime t) {
    const DateTimeParts p = splitDateTime(t);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", p.hour, p.minute, p.second);
    return buf;
}

std::string generalDateTimeText(DateTime t) {
    const DateTimeParts p = splitDateTime(t);
    const bool zeroDate = p.year == 1899 && p.month == 12 && p.day == 30;
    const bool midnight = p.hour == 0 && p.minute == 0 && p.second == 0;
    char buf[48];
    if (zeroDate) {
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", p.hour, p.minute, p.second);
    } else if (midnight) {
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", p.year, p.month, p.day);
    } else {
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month,
                      p.day, p.hour, p.minute, p.second);
    }
    return buf;
}

std::string chartTimeLabelText(DateTime t) { return timeOfDayText(t) + " "; }

}  // namespace orlix
