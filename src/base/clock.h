#pragma once
// The one source of "now" for the whole program: sample times, the clock
// label, chart time labels and error-memory times all read a Clock, so tests
// drive time by hand and the demo can run time faster.
#include <chrono>
#include <cstdint>

#include "base/date_time.h"

namespace orlix {

std::int64_t unixMicrosOfLocalDateTime(DateTime t);

class Clock {
public:
    virtual ~Clock() = default;
    // Current local date-time.
    virtual DateTime now() const = 0;
    // The same instant as microseconds since 1970-01-01 UTC (the time stamps
    // of bus captures).
    virtual std::int64_t unixMicros() const { return unixMicrosOfLocalDateTime(now()); }
    // How many program seconds pass per real second (timers divide their
    // intervals by it). 1 for the real clock.
    virtual double timeScale() const { return 1.0; }
    // True while something else than the windows' own timers takes the
    // sampling ticks at instants of its own (a replayed capture takes them
    // every 4 s of capture time); the windows' sampling timers then skip
    // theirs.
    virtual bool ticksElsewhere() const { return false; }
};

// Local wall-clock time.
DateTime localNow();

// Wall-clock time as microseconds since 1970-01-01 00:00 UTC (the time
// stamps of bus captures).
std::int64_t unixMicrosNow();
// The local date-time of a Unix time in microseconds, to the microsecond.
DateTime localDateTimeOfUnixMicros(std::int64_t micros);
// The Unix time of a local date-time (the earlier one where a clock change
// repeats an hour), to the microsecond.
std::int64_t unixMicrosOfLocalDateTime(DateTime t);
// The Unix time of local midnight at the start of the day after the one
// holding `micros` (the day may be 23 or 25 hours long).
std::int64_t nextLocalMidnightMicros(std::int64_t micros);
// The local zone's offset from UTC in force at a Unix time, in seconds east
// of Greenwich (3600 for CET, 7200 for CEST). Taken from the instant, not
// from a local date-time, which names two instants in the hour repeated
// when the clocks go back.
int utcOffsetSecondsAt(std::int64_t unixMicros);

class SystemClock final : public Clock {
public:
    DateTime now() const override { return localNow(); }
    std::int64_t unixMicros() const override { return unixMicrosNow(); }
};

// Starts at the real local time and then runs `scale` times faster.
class ScaledClock final : public Clock {
public:
    explicit ScaledClock(double scale);
    DateTime now() const override;
    std::int64_t unixMicros() const override;
    double timeScale() const override { return scale_; }

private:
    double scale_;
    DateTime start_;
    std::int64_t startUs_;
    std::chrono::steady_clock::time_point startTick_;
};

// The time of a capture record being processed: set as a Unix time in
// microseconds, turned into local date-time only when someone reads it.
class CaptureTimeClock final : public Clock {
public:
    DateTime now() const override { return localDateTimeOfUnixMicros(us_); }
    std::int64_t unixMicros() const override { return us_; }
    void set(std::int64_t unixMicros) { us_ = unixMicros; }

private:
    std::int64_t us_ = 0;
};

// Keeps a repeating tick to the program clock. Each tick is due one interval
// of program time after the one before; the real wait for it is the program
// time still to go divided by the clock's time scale. A real timer that
// fires a little early or late is thus put right at the next tick, and the
// ticks keep the interval in program time at any time scale. When the clock
// jumps (or the program was held up for more than an interval) the schedule
// starts afresh from now.
class TickSchedule {
public:
    TickSchedule(const Clock& clock, int intervalMs) : clock_(clock), intervalMs_(intervalMs) {}
    int intervalMs() const { return intervalMs_; }
    // (Re)starts with a new interval: the first tick is due one interval from
    // now. Returns the real milliseconds to wait for it.
    int start(int intervalMs);
    // Called at a tick: the real milliseconds to wait for the next one.
    int next();

private:
    int realWaitMs(double programMs) const;

    const Clock& clock_;
    int intervalMs_;
    DateTime due_ = 0;
};

// Time set and advanced by hand.
class ManualClock final : public Clock {
public:
    explicit ManualClock(DateTime start = 0.0) : t_(start) {}
    DateTime now() const override { return t_; }
    void set(DateTime t) { t_ = t; }
    void advanceSeconds(double s) { t_ += secondsToDays(s); }

private:
    DateTime t_;
};

}  // namespace orlix
