#pragma once
// The documents a notification carries.
//
// The alarm notice, one JSON object (UTF-8, no line end) for both a
// webhook's POST body and the MQTT payload of PREFIX/SITE/alarms:
//
//   {"site": "north", "source": "Err", "state": "unacknowledged",
//    "previous_state": "normal", "event": "raised", "message": "EEPROM",
//    "first": "2026-03-14T10:23:45+01:00", "last": "2026-03-14T10:23:45+01:00",
//    "count": 1, "chattering": false, "at": "2026-03-14T10:23:45+01:00", "by": null}
//
// state/previous_state are the alarm state names, event what happened
// (alarmEventName), first/last the occurrence's first and latest raise
// (null before any), count its raises, at/by when and by whom (null: the
// office itself) the change was made. Times are ISO 8601 with the offset of
// the zone given (the site's, by default the office's).
//
// The e-mail, a whole message for `sendmail -t` (which takes the recipients
// from its To header): To, From, Subject, Date and MIME headers, then a
// plain-text UTF-8 body. Header values are one line each: CR, LF and every
// other control character are replaced by blanks, so no text from a site
// can add a header or a recipient; a subject that is not plain ASCII is
// written as RFC 2047 encoded words. Every body line starts with a label,
// so no line is a lone "." (which ends the input of sendmail without -i).
#include <QTimeZone>
#include <string>
#include <string_view>
#include <vector>

#include "hub/alarm_state.h"

namespace orlix::hub {

std::string alarmNoticeJson(const Alarm& alarm, const AlarmChange& change, const QTimeZone& zone);

std::string alarmEmail(const Alarm& alarm, const AlarmChange& change, const QTimeZone& zone,
                       const std::vector<std::string>& to, std::string_view from);

// A header value: one line of printable text (see above), cut to `maxBytes`
// at a character boundary, in RFC 2047 encoded words when not plain ASCII.
std::string emailHeaderValue(std::string_view text, std::size_t maxBytes = 200);

}  // namespace orlix::hub
