#pragma once
// The one JSON string writer and the one CSV field writer of the programs
// (decoded fields, exports, broker payloads, alarm history): always valid
// UTF-8 out, whatever bytes come in.
#include <cstddef>
#include <string>
#include <string_view>

namespace orlix {

// Length of the valid UTF-8 sequence at s[i] (overlong forms, surrogates
// and values above U+10FFFF are invalid), 0 when there is none.
std::size_t utf8Length(std::string_view s, std::size_t i);

// Appends `s` as a JSON string: quoted, '"' and '\' escaped, control
// characters as \u00XX, and every byte that is not part of valid UTF-8
// replaced by U+FFFD.
void appendJsonString(std::string& out, std::string_view s);

// Appends `s` as a CSV field (RFC 4180): quoted when it holds a comma, a
// quote or a line end, quotes doubled, invalid UTF-8 replaced by U+FFFD.
void appendCsvField(std::string& out, std::string_view s);

}  // namespace orlix
