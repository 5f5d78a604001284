#pragma once
// When the sampling tick runs while a capture is played (turned into a
// database, or replayed into the windows): on the capture's own clock.
//
//  - Tick n (n = 1, 2, ...) comes at t0 + n x 4 s, where t0 is the time of
//    the capture's first record.
//  - A tick takes the live values as they stand after every record stamped
//    at or before its instant, and before any record stamped after it. Its
//    sample time is that instant (as local date-time).
//  - After the last record, the ticks whose instants are at or before the
//    last record's time still run; none after it.
//  - Where two records lie more than kMaxTickGap apart (a capture paused for
//    days, or a broken time stamp), the ticks across the gap are skipped
//    and the schedule starts again at the later record as at a first one.
//
// Record times never run backwards (the capture reader holds them), so the
// schedule only moves forward.
#include <cstdint>

namespace orlix {

inline constexpr std::int64_t kSampleIntervalUs = 4'000'000;
inline constexpr std::int64_t kMaxTickGapUs = 24LL * 3600 * 1'000'000;

class SampleSchedule {
public:
    // What to do before feeding a record stamped `recordUs`.
    enum class Before {
        Feed,     // feed the record now
        Tick,     // take the tick at nextTickUs(), advance(), then ask again
        Restart,  // the record lies beyond a gap: restart(recordUs), then feed
    };

    bool started() const { return started_; }
    // Ticks taken since the (last) start.
    std::int64_t ticks() const { return ticks_; }
    std::int64_t nextTickUs() const { return startUs_ + (ticks_ + 1) * kSampleIntervalUs; }

    Before before(std::int64_t recordUs) const {
        if (!started_) return Before::Restart;
        if (recordUs - lastRecordUs_ > kMaxTickGapUs) return Before::Restart;
        return nextTickUs() < recordUs ? Before::Tick : Before::Feed;
    }
    // A record stamped `recordUs` was fed.
    void fed(std::int64_t recordUs) { lastRecordUs_ = recordUs; }
    // True while a tick is due at the end of the capture (its instant is at
    // or before the last record's time).
    bool tickDueAtEnd() const { return started_ && nextTickUs() <= lastRecordUs_; }

    void advance() { ++ticks_; }
    void restart(std::int64_t firstRecordUs) {
        started_ = true;
        startUs_ = lastRecordUs_ = firstRecordUs;
        ticks_ = 0;
    }

private:
    bool started_ = false;
    std::int64_t startUs_ = 0;
    std::int64_t lastRecordUs_ = 0;
    std::int64_t ticks_ = 0;
};

}  // namespace orlix
