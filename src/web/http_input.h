#pragma once
// What the pages send, read one way for every request: the session cookie,
// query parameters and JSON bodies. Every reader answers with the value or
// nothing; the handlers turn nothing into a 400 with their own message.
#include <QJsonObject>
#include <QUrlQuery>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "hub/hub_time.h"

namespace orlix::web {

// The session cookie's name. Its value is 43 characters of base64url
// (32 random bytes without padding).
inline constexpr std::string_view kSessionCookie = "orlix_session";
inline constexpr std::size_t kSessionTokenChars = 43;

// The session token in a Cookie header ("a=1; orlix_session=...; b=2"):
// the first pair of that name whose value has the token's form.
std::optional<std::string> sessionToken(std::string_view cookieHeader);

// An instant as the pages write it: "YYYY-MM-DDTHH:MM:SS", an optional
// fraction of up to 9 digits (dropped), then "Z" or an offset "+HH:MM".
// Microseconds since 1970; nothing for anything else.
std::optional<hub::Micros> parseInstant(std::string_view text);

// A whole number in [lo, hi] written in decimal without sign noise.
std::optional<std::int64_t> parseBoundedInt(std::string_view text, std::int64_t lo, std::int64_t hi);

// The index (0..49) of a value column of the sample table ("Pd", "Ps" ...).
std::optional<int> valueColumnIndex(std::string_view name);

// A query parameter's decoded value; nothing when it is absent.
std::optional<std::string> queryValue(const QUrlQuery& query, const char* name);

// Whether an Origin header ("" when not sent) names the host and port of
// the Host header: a page of this hub, not of another site.
bool originFits(std::string_view origin, std::string_view host);

// A request body that is one JSON object (at most `maxBytes`), or nothing.
std::optional<QJsonObject> jsonObjectBody(const QByteArray& body, std::size_t maxBytes = 64 * 1024);

// A member that must be a string of 1..maxChars UTF-8 bytes without control
// characters; nothing when missing, of another type or out of bounds.
std::optional<std::string> stringMember(const QJsonObject& o, const char* name, std::size_t maxBytes);

}  // namespace orlix::web
