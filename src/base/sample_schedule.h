#pragma once
// When the sampling tick runs while a capture is played (turned into a
// database, or replayed into the windows): on the capture's own clock.
//
//  - Samples run from the first record that carries bus bytes to the last
//    one that does; records of other port events neither start nor extend
//    them, so a capture without bus bytes makes no sample.
//  - Tick n (n = 1, 2, ...) comes at t0 + n x 4 s, where t0 is the time of
//    the capture's first record with bytes.
//  - A tick takes the live values as they stand after every record with
//    bytes stamped at or before its instant, and before any stamped after
//    it. Its sample time is that instant (as local date-time).
//  - After the last record with bytes, the ticks whose instants are at or
//    before its time still run; none after it.
//  - Where two records with bytes lie more than kMaxTickGap apart (a
//    capture paused for days, or a broken time stamp), the ticks across the
//    gap are skipped and the schedule starts again at the later record as
//    at a first one.
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
        Restart,  // the first record with bytes, or one beyond a gap: restart(recordUs), then feed
    };

    bool started() const { return started_; }
    // Ticks taken since the (last) start.
    std::int64_t ticks() const { return ticks_; }
    std::int64_t nextTickUs() const { return startUs_ + (ticks_ + 1) * kSampleIntervalUs; }

    // `carriesBytes` false: a record of another port event, fed as it
    // comes, without ticks.
    Before before(std::int64_t recordUs, bool carriesBytes) const {
        if (!carriesBytes) return Before::Feed;
        if (!started_) return Before::Restart;
        if (recordUs - lastRecordUs_ > kMaxTickGapUs) return Before::Restart;
        return nextTickUs() < recordUs ? Before::Tick : Before::Feed;
    }
    // A record stamped `recordUs` was fed.
    void fed(std::int64_t recordUs, bool carriesBytes) {
        if (carriesBytes && started_) lastRecordUs_ = recordUs;
    }
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
