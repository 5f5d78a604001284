#include "sampling/site_payloads.h"

#include <charconv>
#include <cmath>

#include "base/iso_date_time.h"

namespace orlix {
namespace {

// Length of the valid UTF-8 sequence at s[i] (overlong forms, surrogates
// and values above U+10FFFF are invalid), 0 when there is none.
std::size_t utf8Length(std::string_view s, std::size_t i) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    if (c < 0x80) return 1;
    std::size_t n = 0;
    unsigned lo = 0x80, hi = 0xbf;
    if (c >= 0xc2 && c <= 0xdf) n = 2;
    else if (c >= 0xe0 && c <= 0xef) {
        n = 3;
        if (c == 0xe0) lo = 0xa0;
        if (c == 0xed) hi = 0x9f;
    } else if (c >= 0xf0 && c <= 0xf4) {
        n = 4;
        if (c == 0xf0) lo = 0x90;
        if (c == 0xf4) hi = 0x8f;
    } else return 0;
    if (i + n > s.size()) return 0;
    if (b(i + 1) < lo || b(i + 1) > hi) return 0;
    for (std::size_t k = 2; k < n; ++k)
        if (b(i + k) < 0x80 || b(i + k) > 0xbf) return 0;
    return n;
}

void appendIsoTime(std::string& out, DateTime t) {
    char buf[kIsoDateTimeLength];
    const int n = formatIsoDateTime(t, buf);
    if (n == 0) {
        out += "null";
        return;
    }
    out.push_back('"');
    out.append(buf, static_cast<std::size_t>(n));
    out.push_back('"');
}

void appendNumber(std::string& out, double v) {
    if (!std::isfinite(v)) {
        out += "null";
        return;
    }
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

// `"Pd": `, `, "Ps": ` ... made once.
const std::array<std::string, kSampleValueColumns>& valueKeys() {
    static const auto keys = [] {
        std::array<std::string, kSampleValueColumns> k;
        for (int i = 0; i < kSampleValueColumns; ++i)
            k[static_cast<std::size_t>(i)] =
                std::string(i == 0 ? "\"" : ", \"") + std::string(kEmp1Columns[static_cast<std::size_t>(i)]) + "\": ";
        return k;
    }();
    return keys;
}

}  // namespace

void appendJsonString(std::string& out, std::string_view s) {
    static constexpr char kHex[] = "0123456789abcdef";
    out.push_back('"');
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = utf8Length(s, i);
        if (n == 0) {
            out += "\xef\xbf\xbd";
            ++i;
            continue;
        }
        const char c = s[i];
        if (n == 1 && (c == '"' || c == '\\')) {
            out.push_back('\\');
            out.push_back(c);
        } else if (n == 1 && static_cast<unsigned char>(c) < 0x20) {
            out += "\\u00";
            out.push_back(kHex[(c >> 4) & 0xf]);
            out.push_back(kHex[c & 0xf]);
        } else {
            out.append(s.substr(i, n));
        }
        i += n;
    }
    out.push_back('"');
}

std::string sampleJson(const std::array<std::int16_t, kSampleValueColumns>& values, DateTime time) {
    std::string out;
    out.reserve(720);
    out += "{\"time\": ";
    appendIsoTime(out, time);
    out += ", \"time_days\": ";
    appendNumber(out, time);
    out += ", \"values\": {";
    const auto& keys = valueKeys();
    char buf[8];
    for (std::size_t i = 0; i < values.size(); ++i) {
        out += keys[i];
        const auto r = std::to_chars(buf, buf + sizeof buf, values[i]);
        out.append(buf, r.ptr);
    }
    out += "}}";
    return out;
}

const char* faultListName(int list) {
    static constexpr const char* kNames[] = {"Err", "ComErr", "ProtErr"};
    return list >= 0 && list < 3 ? kNames[list] : nullptr;
}

std::string faultJson(int list, DateTime time, std::string_view status) {
    std::string out = "{\"list\": ";
    const char* name = faultListName(list);
    if (name != nullptr) appendJsonString(out, name);
    else out += "null";
    out += ", \"time\": ";
    appendIsoTime(out, time);
    out += ", \"status\": ";
    appendJsonString(out, status);
    out.push_back('}');
    return out;
}

}  // namespace orlix
