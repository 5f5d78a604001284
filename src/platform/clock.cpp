#include "platform/clock.h"

#include <ctime>

namespace orlix {

DateTime localNow() {
    using namespace std::chrono;
    const auto tp = system_clock::now();
    const std::time_t tt = system_clock::to_time_t(tp);
    std::tm lt{};
    localtime_r(&tt, &lt);
    DateTimeParts p;
    p.year = lt.tm_year + 1900;
    p.month = lt.tm_mon + 1;
    p.day = lt.tm_mday;
    p.hour = lt.tm_hour;
    p.minute = lt.tm_min;
    p.second = lt.tm_sec;
    const auto ms = duration_cast<milliseconds>(tp.time_since_epoch()).count() % 1000;
    return makeDateTime(p) + secondsToDays(static_cast<double>(ms) / 1000.0);
}

ScaledClock::ScaledClock(double scale)
    : scale_(scale > 0 ? scale : 1.0), start_(localNow()),
      startTick_(std::chrono::steady_clock::now()) {}

DateTime ScaledClock::now() const {
    const double real = std::chrono::duration<double>(std::chrono::steady_clock::now() - startTick_).count();
    return start_ + secondsToDays(real * scale_);
}

}  // namespace orlix
