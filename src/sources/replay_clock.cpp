#include "sources/replay_clock.h"

#include <algorithm>
#include <cmath>

namespace orlix {

ReplayClock::ReplayClock(const Clock& normal, SteadyNow steadyNow)
    : normal_(normal), steadyNow_(std::move(steadyNow)) {}

std::chrono::steady_clock::time_point ReplayClock::steady() const {
    return steadyNow_ ? steadyNow_() : std::chrono::steady_clock::now();
}

DateTime ReplayClock::now() const {
    if (!replaying_) return normal_.now();
    return localDateTimeOfUnixMicros(captureNowUs());
}

std::int64_t ReplayClock::captureNowUs() const {
    if (!running_) return us_;
    const double realUs = std::chrono::duration<double, std::micro>(steady() - since_).count();
    const double scale = normal_.timeScale() > 0 ? normal_.timeScale() : 1.0;
    const double ran = std::max(0.0, realUs * scale);
    // Far beyond the limit (a long wait) is the limit too; no overflow.
    if (ran >= static_cast<double>(limitUs_ - us_)) return limitUs_;
    return us_ + static_cast<std::int64_t>(std::floor(ran));
}

void ReplayClock::begin(std::int64_t us) {
    replaying_ = true;
    running_ = false;
    us_ = limitUs_ = us;
}

void ReplayClock::at(std::int64_t us, std::int64_t limitUs) {
    replaying_ = true;
    us_ = us;
    limitUs_ = std::max(us, limitUs);
    running_ = limitUs_ > us_;
    since_ = steady();
}

void ReplayClock::hold() {
    us_ = captureNowUs();
    limitUs_ = us_;
    running_ = false;
}

void ReplayClock::end() {
    replaying_ = false;
    running_ = false;
}

}  // namespace orlix
