#pragma once
// The normal clock of a program run at --time-scale K: the real local time,
// with timers K times faster.
#include "base/clock.h"

namespace orlix::test {

class ScaleOnlyClock final : public Clock {
public:
    explicit ScaleOnlyClock(double k) : k_(k) {}
    DateTime now() const override { return localNow(); }
    double timeScale() const override { return k_; }

private:
    double k_;
};

}  // namespace orlix::test
