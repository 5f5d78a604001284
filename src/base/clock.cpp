#include "base/clock.h"

#include <algorithm>
#include <cmath>
#include <ctime>

namespace orlix {

DateTime localNow() { return localDateTimeOfUnixMicros(unixMicrosNow()); }

std::int64_t unixMicrosNow() {
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

namespace {

constexpr std::int64_t kMicrosPerSecond = 1'000'000;

// Whole seconds and the microseconds within them, also for times before 1970.
void splitMicros(std::int64_t micros, std::time_t& seconds, std::int64_t& rest) {
    std::int64_t s = micros / kMicrosPerSecond;
    rest = micros % kMicrosPerSecond;
    if (rest < 0) {
        rest += kMicrosPerSecond;
        --s;
    }
    seconds = static_cast<std::time_t>(s);
}

}  // namespace

DateTime localDateTimeOfUnixMicros(std::int64_t micros) {
    std::time_t tt = 0;
    std::int64_t rest = 0;
    splitMicros(micros, tt, rest);
    std::tm lt{};
    if (localtime_r(&tt, &lt) == nullptr) return 0;
    DateTimeParts p;
    p.year = lt.tm_year + 1900;
    p.month = lt.tm_mon + 1;
    p.day = lt.tm_mday;
    p.hour = lt.tm_hour;
    p.minute = lt.tm_min;
    p.second = lt.tm_sec;
    return makeDateTime(p) + secondsToDays(static_cast<double>(rest) / kMicrosPerSecond);
}

std::int64_t unixMicrosOfLocalDateTime(DateTime t) {
    const double wholeDays = std::floor(t);
    const double secondsInDay = (t - wholeDays) * kSecondsPerDay;
    double whole = std::floor(secondsInDay);
    std::int64_t micros = std::llround((secondsInDay - whole) * kMicrosPerSecond);
    if (micros >= kMicrosPerSecond) {
        micros -= kMicrosPerSecond;
        whole += 1;
    }
    DateTimeParts p = splitDateTime(wholeDays);
    std::tm lt{};
    lt.tm_year = p.year - 1900;
    lt.tm_mon = p.month - 1;
    lt.tm_mday = p.day;
    lt.tm_sec = static_cast<int>(whole);
    lt.tm_isdst = -1;
    const std::time_t secs = std::mktime(&lt);
    return static_cast<std::int64_t>(secs) * kMicrosPerSecond + micros;
}

std::int64_t nextLocalMidnightMicros(std::int64_t micros) {
    std::time_t tt = 0;
    std::int64_t rest = 0;
    splitMicros(micros, tt, rest);
    std::tm lt{};
    if (localtime_r(&tt, &lt) == nullptr) return micros + 86400 * kMicrosPerSecond;
    lt.tm_mday += 1;
    lt.tm_hour = lt.tm_min = lt.tm_sec = 0;
    lt.tm_isdst = -1;  // whatever holds at that midnight
    const std::time_t next = std::mktime(&lt);
    if (next == static_cast<std::time_t>(-1) || next <= tt) return micros + 86400 * kMicrosPerSecond;
    return static_cast<std::int64_t>(next) * kMicrosPerSecond;
}

int utcOffsetSecondsAt(std::int64_t unixMicros) {
    std::time_t tt = 0;
    std::int64_t rest = 0;
    splitMicros(unixMicros, tt, rest);
    std::tm lt{};
    if (localtime_r(&tt, &lt) == nullptr) return 0;
    return static_cast<int>(lt.tm_gmtoff);
}

ScaledClock::ScaledClock(double scale)
    : scale_(scale > 0 ? scale : 1.0), startUs_(unixMicrosNow()), startTick_(std::chrono::steady_clock::now()) {
    start_ = localDateTimeOfUnixMicros(startUs_);
}

std::int64_t ScaledClock::unixMicros() const {
    const double real = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - startTick_).count();
    return startUs_ + static_cast<std::int64_t>(std::floor(real * scale_));
}

DateTime ScaledClock::now() const {
    const double real = std::chrono::duration<double>(std::chrono::steady_clock::now() - startTick_).count();
    return start_ + secondsToDays(real * scale_);
}

int TickSchedule::start(int intervalMs) {
    intervalMs_ = std::max(1, intervalMs);
    due_ = clock_.now() + secondsToDays(intervalMs_ / 1000.0);
    return realWaitMs(intervalMs_);
}

int TickSchedule::next() {
    const DateTime now = clock_.now();
    due_ += secondsToDays(intervalMs_ / 1000.0);
    const double leadMs = (due_ - now) * kSecondsPerDay * 1000.0;
    // A tick that came early leaves up to two intervals to go; anything
    // outside (0, 2 intervals] means the clock jumped or the program stood
    // still for a whole interval.
    if (!(leadMs > 0 && leadMs <= 2.0 * intervalMs_)) return start(intervalMs_);
    return realWaitMs(leadMs);
}

int TickSchedule::realWaitMs(double programMs) const {
    const double scale = clock_.timeScale() > 0 ? clock_.timeScale() : 1.0;
    return std::max(1, static_cast<int>(std::lround(programMs / scale)));
}

}  // namespace orlix
