#pragma once
// Time in the office: every instant is a count of microseconds since
// 1970-01-01T00:00:00 UTC (Unix time), whatever zone a site lies in. Local
// times appear only where a recorder writes them (its payloads) and where a
// person reads them (notifications, with their offset).
//
// No function here reads a clock: "now" is always an argument.
#include <QTimeZone>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orlix::hub {

using Micros = std::int64_t;

inline constexpr Micros kMicrosPerSecond = 1'000'000;
inline constexpr Micros kMicrosPerMinute = 60 * kMicrosPerSecond;
inline constexpr Micros kMicrosPerHour = 60 * kMicrosPerMinute;
inline constexpr Micros kMicrosPerDay = 24 * kMicrosPerHour;

// 2000-01-01T00:00:00Z: no earlier time is taken from a recorder.
inline constexpr Micros kEarliestInstantUs = 946'684'800 * kMicrosPerSecond;

// A wall-clock reading as a recorder writes it, "YYYY-MM-DDTHH:MM:SS",
// without a zone.
struct WallTime {
    int year = 2000, month = 1, day = 1;
    int hour = 0, minute = 0, second = 0;
};

// Reads exactly "YYYY-MM-DDTHH:MM:SS" (the day must exist in its month, no
// leap second, no fraction, no zone); nothing for anything else.
std::optional<WallTime> parseWallTime(std::string_view text);

// The wall time's seconds since 1970-01-01T00:00:00 as if it were UTC.
std::int64_t wallSeconds(const WallTime& w);

// An ISO 8601 offset from UTC in seconds east: "+01:00", "-05:30", "+0100"
// or "Z". Hours 0..14, minutes 0..59, at most 14:00 either way (the widest
// offset in use). Nothing for anything else.
std::optional<int> parseUtcOffset(std::string_view text);

// The instant that wall time `w` names in `zone` (an invalid zone counts as
// UTC). Around a change of the zone's offset a wall time may name no
// instant or two:
// - In a gap (clocks put forward: 02:30 on a spring night in Berlin) it is
//   read with the offset in force before the gap, i.e. as a clock that was
//   not yet put forward: 02:30 CET is 03:30 CEST.
// - In a fold (clocks put back: 02:30 happens twice) it is the later of the
//   two instants that is not after `nowUs`, the earlier when both are. A
//   recorder publishes as it samples, so the sample was made shortly before
//   it arrived; only a sample held back in a queue across the fold is placed
//   an hour late. Payloads with "utc_offset" are exact and need none of this.
Micros instantInZone(const WallTime& w, const QTimeZone& zone, Micros nowUs);

// "YYYY-MM-DDTHH:MM:SS+HH:MM": the instant (to the second below it) as the
// local time of `zone` with that zone's offset at the instant; UTC, written
// "+00:00", for an invalid zone.
std::string isoInstantText(Micros instantUs, const QTimeZone& zone);

// A duration as written in the rules file: a whole number followed by "s",
// "m" or "h" ("30s", "5m", "1h"), or "0". At most 30 days. Nothing for
// anything else ("30", "1.5h", "-5m", "5 m").
std::optional<Micros> parseDuration(std::string_view text);

}  // namespace orlix::hub
