#pragma once
// Date-time values: a double counting days since 30 December 1899 00:00, the
// fraction being the local time of day. Used for sample times, the Time
// column of the sample database and every clock reading. All texts here are
// built without the process locale.
#include <string>

namespace orlix {

using DateTime = double;

inline constexpr double kSecondsPerDay = 86400.0;

struct DateTimeParts {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0;
};

DateTime makeDateTime(const DateTimeParts& p);
// Splits a date-time into calendar parts, rounded to the nearest second.
DateTimeParts splitDateTime(DateTime t);

// "HH:MM:SS" (24-hour, two digits each).
std::string timeOfDayText(DateTime t);
// The general date-time text: "YYYY-MM-DD HH:MM:SS"; only "HH:MM:SS" when the
// date part is the zero date (30 December 1899), only "YYYY-MM-DD" when the
// time of day is exactly midnight on another date.
std::string generalDateTimeText(DateTime t);
// "HH:MM:SS " with a trailing blank: the time labels under history charts.
std::string chartTimeLabelText(DateTime t);

inline constexpr DateTime secondsToDays(double s) { return s / kSecondsPerDay; }

}  // namespace orlix
