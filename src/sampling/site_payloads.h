#pragma once
// The JSON payloads a recorder publishes for a site, for dashboards and
// other tools (one object per message, UTF-8, no line end):
//
//   sample: {"time": "YYYY-MM-DDTHH:MM:SS", "time_days": n,
//            "values": {"Pd": v, "Ps": v, ... the 50 value columns of emp1}}
//   faults: {"list": "Err" | "ComErr" | "ProtErr", "time": "YYYY-MM-DDTHH:MM:SS",
//            "status": "..."}
//
// Times are local, as stored; time_days is the stored date-time (days since
// 30 December 1899) in the shortest form that reads back to the same double.
// A time that ISO 8601 cannot write is null. Texts that are not valid UTF-8
// have those bytes replaced by U+FFFD.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "database/sample_database.h"
#include "base/date_time.h"

namespace orlix {

std::string sampleJson(const std::array<std::int16_t, kSampleValueColumns>& values, DateTime time);

// The name of error list 0..2 in the faults payload; nullptr for another.
const char* faultListName(int list);
std::string faultJson(int list, DateTime time, std::string_view status);

}  // namespace orlix
