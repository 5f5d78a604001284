#pragma once
// The program clock of a program that can replay a bus capture: the normal
// clock (the wall clock, or the scaled one of --time-scale) while no replay
// runs, and the capture's own time while one does. Everything the windows
// show or store then carries the plant's time: the clock label, error-memory
// entries, chart time labels, run time and record times.
//
// The replay moves the clock: at each record it sets the record's time, and
// between records the time runs on at the normal clock's time scale from
// the last record, but never reaches the next one before that is released
// (so nothing shown runs ahead of the bytes). While the replay is paused the
// time stands still. The time never runs backwards within a replay.
//
// While a replay runs it also takes the sampling ticks, at the capture's
// own 4 s instants (sample_schedule.h), through the function set with
// setSampleTick(); ticksElsewhere() tells the windows' timers to skip theirs.
#include <chrono>
#include <cstdint>
#include <functional>

#include "base/clock.h"

namespace orlix {

class ReplayClock final : public Clock {
public:
    using SteadyNow = std::function<std::chrono::steady_clock::time_point()>;

    // `steadyNow` replaces the monotonic clock (tests); empty means
    // std::chrono::steady_clock.
    explicit ReplayClock(const Clock& normal, SteadyNow steadyNow = {});

    DateTime now() const override;
    std::int64_t unixMicros() const override { return replaying_ ? captureNowUs() : normal_.unixMicros(); }
    double timeScale() const override { return normal_.timeScale(); }
    bool ticksElsewhere() const override { return replaying_; }

    // --- the replay's side
    // A replay takes over the clock; its time stands at `us` (Unix
    // microseconds) until moved.
    void begin(std::int64_t us);
    // The replay released an event at `us`; the time runs on from there (at
    // the time scale, from this moment) up to `limitUs` at most, the time of
    // the next event. `limitUs` <= `us` makes the time stand at `us`.
    void at(std::int64_t us, std::int64_t limitUs);
    // Paused: the time stands where it is now.
    void hold();
    // The replay is over: the normal clock again.
    void end();

    bool replaying() const { return replaying_; }
    // The capture time now, in Unix microseconds (meaningful while
    // replaying).
    std::int64_t captureNowUs() const;

    // --- sampling ticks
    void setSampleTick(std::function<void()> tick) { tick_ = std::move(tick); }
    // Runs the program's sampling tick, at the time now set.
    void sampleTick() const {
        if (tick_) tick_();
    }

private:
    std::chrono::steady_clock::time_point steady() const;

    const Clock& normal_;
    SteadyNow steadyNow_;
    std::function<void()> tick_;
    bool replaying_ = false;
    bool running_ = false;
    std::int64_t us_ = 0;
    std::int64_t limitUs_ = 0;
    std::chrono::steady_clock::time_point since_{};
};

}  // namespace orlix
