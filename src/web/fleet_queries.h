#pragma once
// The database's answers behind the pages: the fleet, a site's samples in a
// range, the alarms. Each function takes a connection and returns plain
// data or JSON; none keeps state.
//
// History: a range of up to kRawRangeUs (6 hours, 5,400 samples) is read
// from the raw 4 s samples; a longer one from the 5-minute summaries,
// merged into buckets of a whole number of 5 minutes so that no range gives
// more than kMaxPoints points (30 days: 8,640 buckets of 5 minutes). A
// point that follows the one before by more than 1.5 steps starts a new
// line: the missing interval is a gap, drawn as one.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "hub/hub_time.h"
#include "hub/pg_connection.h"

namespace orlix::web {

inline constexpr hub::Micros kRawStepUs = 4 * hub::kMicrosPerSecond;
inline constexpr hub::Micros kSummaryStepUs = 5 * hub::kMicrosPerMinute;
inline constexpr hub::Micros kRawRangeUs = 6 * hub::kMicrosPerHour;
inline constexpr hub::Micros kMaxRangeUs = 400 * hub::kMicrosPerDay;
inline constexpr std::int64_t kMaxPoints = 9000;

struct HistoryPlan {
    bool raw = true;
    hub::Micros stepUs = kRawStepUs;
};
HistoryPlan planHistory(hub::Micros fromUs, hub::Micros toUs);

// A query's outcome: JSON (or CSV) text, or why it failed.
struct QueryText {
    bool ok = false;
    bool found = true;  // false: no such site
    std::string text;
    std::string error;
};

// The fleet: every site, its state and active alarms, and the chosen
// value's averages over the last `hours` (one point per `sparkStepUs`).
QueryText fleetJson(hub::PgConnection& db, int valueIndex, int hours, hub::Micros offlineAfterUs, hub::Micros nowUs);

// A site's charted values between two instants (see HistoryPlan).
QueryText samplesJson(hub::PgConnection& db, const std::string& site, hub::Micros fromUs, hub::Micros toUs);
// The same range with all 50 values as CSV: raw samples, or per bucket the
// count and each value's minimum, mean and maximum.
QueryText samplesCsv(hub::PgConnection& db, const std::string& site, hub::Micros fromUs, hub::Micros toUs);

// The alarms: active ones (any state but normal), or all; of one site or
// every site.
QueryText alarmsJson(hub::PgConnection& db, bool all, const std::string& site);

// The id of a site, nothing when there is none (or the query failed:
// `error` says so).
std::optional<std::int32_t> siteIdOf(hub::PgConnection& db, const std::string& site, std::string& error);

}  // namespace orlix::web
