#pragma once
// ISO 8601 texts of date-time values, for data that leaves the program:
// "YYYY-MM-DDTHH:MM:SS" in local time (the stored times are local times, so
// no zone is written or accepted), a compact form for file names, and the
// reading of times typed on a command line. Built without the process
// locale and, for the hot path, without allocating.
#include <optional>
#include <string>
#include <string_view>

#include "base/date_time.h"

namespace orlix {

inline constexpr int kIsoDateTimeLength = 19;

// Writes "YYYY-MM-DDTHH:MM:SS" (rounded to the nearest second, like every
// time text of the program) to out, which has room for 19 characters.
// Returns 19, or 0 (nothing written) when t is not finite or its year lies
// outside 1..9999, which ISO 8601 cannot write in this form.
int formatIsoDateTime(DateTime t, char* out);
// The same as a string; empty for the times above.
std::string isoDateTimeText(DateTime t);

// "YYYYMMDD-HHMMSS", for file names.
std::string compactDateTimeText(DateTime t);

struct ParsedDateTime {
    DateTime value = 0;     // the instant; midnight for a date alone
    bool dateOnly = false;  // no time of day was given
};

// Reads "YYYY-MM-DD", "YYYY-MM-DDTHH:MM" or "YYYY-MM-DDTHH:MM:SS", with 'T'
// or one blank between date and time, and checks the ranges (the day must
// exist in its month). Anything else, a zone designator or a fraction of a
// second included, gives nothing.
std::optional<ParsedDateTime> parseIsoDateTime(std::string_view text);

}  // namespace orlix
