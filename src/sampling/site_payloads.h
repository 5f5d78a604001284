#pragma once
// The JSON payloads a recorder publishes for a site, for dashboards and
// other tools (one object per message, UTF-8, no line end):
//
//   sample: {"time": "YYYY-MM-DDTHH:MM:SS", "utc_offset": "+HH:MM", "time_days": n,
//            "values": {"Pd": v, "Ps": v, ... the 50 value columns of emp1}}
//   faults: {"list": "Err" | "ComErr" | "ProtErr", "time": "YYYY-MM-DDTHH:MM:SS",
//            "utc_offset": "+HH:MM", "status": "..."}
//
// Times are local, as stored; utc_offset is the local zone's offset from UTC
// in force at that instant (ISO 8601, "-03:30" west of Greenwich), so that
// time and offset together name the instant also in the hour repeated when
// the clocks go back. time_days is the stored date-time (days since 30
// December 1899) in the shortest form that reads back to the same double.
// A time that ISO 8601 cannot write is null. Texts that are not valid UTF-8
// have those bytes replaced by U+FFFD.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "database/sample_database.h"
#include "base/date_time.h"

namespace orlix {

// `utcOffsetSeconds` is the offset at the sample's instant
// (utcOffsetSecondsAt() of base/clock.h), written to the minute.
std::string sampleJson(const std::array<std::int16_t, kSampleValueColumns>& values, DateTime time,
                       int utcOffsetSeconds);

// The name of error list 0..2 in the faults payload; nullptr for another.
const char* faultListName(int list);
std::string faultJson(int list, DateTime time, int utcOffsetSeconds, std::string_view status);

}  // namespace orlix
