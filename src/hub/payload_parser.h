#pragma once
// What the office reads from a site's recorder over MQTT, parsed once per
// message into plain data (the payloads are made by sampling/site_payloads.h):
//
//   PREFIX/SITE/status  "online" | "offline"
//   PREFIX/SITE/sample  {"time": "YYYY-MM-DDTHH:MM:SS", "time_days": n,
//                        "utc_offset": "+01:00", "values": {"Pd": v, ... 50 columns}}
//   PREFIX/SITE/faults  {"list": "Err" | "ComErr" | "ProtErr",
//                        "time": "YYYY-MM-DDTHH:MM:SS", "utc_offset": "+01:00", "status": "..."}
//
// "utc_offset" is optional (older recorders do not write it); "time_days"
// and any other top-level member are ignored, so that a recorder may add
// members without breaking the office. What is read is checked in full: a
// message is taken whole or refused with a short reason, meant for one log
// line, and never throws. Nothing here logs; reportRefusal() does, for the
// caller.
#include <QTimeZone>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "database/sample_database.h"
#include "hub/hub_time.h"

namespace orlix::hub {

// Payloads above this size are refused unread (a sample is about 900 bytes).
inline constexpr std::size_t kMaxPayloadBytes = 64 * 1024;
// The longest site name, in bytes of UTF-8.
inline constexpr std::size_t kMaxSiteNameBytes = 64;
// How far ahead of the office's clock a recorder's time may be.
inline constexpr Micros kMaxAheadUs = kMicrosPerDay;

// A parse result: the value, or the reason it was refused.
template <class T>
struct Parsed {
    std::optional<T> value;
    std::string error;  // empty when value is set
    explicit operator bool() const { return value.has_value(); }
};

// How a message's time is placed: the zone a time without "utc_offset" is
// read in (the site's configured zone, by default the office's own,
// QTimeZone::systemTimeZone()), and the office's clock for the range check.
struct TimeContext {
    QTimeZone zone = QTimeZone::systemTimeZone();
    Micros nowUs = 0;
};

struct SamplePayload {
    Micros instantUs = 0;
    bool exactTime = false;  // the payload carried its UTC offset
    std::array<std::int16_t, kSampleValueColumns> values{};  // in kEmp1Columns order
};

enum class FaultList { Err, ComErr, ProtErr };

struct FaultPayload {
    FaultList list = FaultList::Err;
    Micros instantUs = 0;
    bool exactTime = false;
    std::string status;  // the fault's text as sent; "Normal" clears the list
};

enum class SiteStatus { Online, Offline };

// The alarm source name of a fault list: "Err", "ComErr", "ProtErr".
std::string_view faultListName(FaultList list);

// A sample payload. Every one of the 50 value columns must be present (any
// order), each a whole number in -32768..32767 (JSON does not tell 7 from
// 7.0; both are 7); an unknown column, a missing one, another JSON type or a
// payload over kMaxPayloadBytes is refused. A member named twice counts once,
// with its last value.
Parsed<SamplePayload> parseSamplePayload(std::string_view payload, const TimeContext& time);

// A faults payload: "list" one of the three names, "time" as above and
// "status" a string (any text, empty included).
Parsed<FaultPayload> parseFaultPayload(std::string_view payload, const TimeContext& time);

// "online" or "offline", exactly.
Parsed<SiteStatus> parseStatusPayload(std::string_view payload);

// Why `site` cannot be a site name, or "" when it can. A site name is one
// MQTT topic level: 1..64 bytes of valid UTF-8, no '/', '+', '#', no control
// character (C0, DEL, C1), no blank at either end. Names are stored and
// looked up through bound parameters only, never spliced into SQL, so
// quotes, ';', '%', '_' and "--" are harmless and allowed. Because a name may
// also end up as a path or URL segment, "." and "..", and '\' (a path
// separator elsewhere), are refused.
std::string siteNameError(std::string_view site);

enum class TopicKind { Status, Sample, Faults, Raw, Alarms };

struct SiteTopic {
    std::string site;
    TopicKind kind = TopicKind::Status;
};

// Splits "PREFIX/SITE/kind" for the configured prefix (one or more topic
// levels, e.g. "plants" or "acme/plants"; a trailing '/' is ignored). Kinds:
// status, sample, faults, raw, alarms (the office's own notifications).
Parsed<SiteTopic> parseSiteTopic(std::string_view prefix, std::string_view topic);

// `text` made fit for one line of a log, an e-mail header or body:
// invalid UTF-8 becomes U+FFFD, and every control character (CR and LF
// included), format character and line or paragraph separator becomes
// `replacement`.
std::string printableText(std::string_view text, char replacement);

// Logs a refused message once with its cause, under orlix.hub; the same
// refusal again is counted, not written (log::failure). `what` names the
// message, e.g. "sample from north".
void reportRefusal(std::string_view what, std::string_view reason);

}  // namespace orlix::hub
