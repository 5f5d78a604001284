#include "sampling/site_payloads.h"

#include <charconv>
#include <cstdlib>
#include <cmath>

#include "base/iso_date_time.h"
#include "base/json.h"

namespace orlix {
namespace {

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

// `, "utc_offset": "+HH:MM"`; seconds of an offset (old local mean times)
// are dropped, as ISO 8601 has no place for them. No offset is "+00:00"
// ("-00:00" would mean an unknown one).
void appendUtcOffset(std::string& out, int seconds) {
    const int minutes = std::abs(seconds) / 60;
    char buf[] = ", \"utc_offset\": \"+00:00\"";
    char* at = buf + sizeof buf - 8;
    at[0] = seconds < 0 && minutes > 0 ? '-' : '+';
    at[1] = static_cast<char>('0' + minutes / 600 % 10);
    at[2] = static_cast<char>('0' + minutes / 60 % 10);
    at[4] = static_cast<char>('0' + minutes % 60 / 10);
    at[5] = static_cast<char>('0' + minutes % 10);
    out.append(buf, sizeof buf - 1);
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

std::string sampleJson(const std::array<std::int16_t, kSampleValueColumns>& values, DateTime time,
                       int utcOffsetSeconds) {
    std::string out;
    out.reserve(760);
    out += "{\"time\": ";
    appendIsoTime(out, time);
    appendUtcOffset(out, utcOffsetSeconds);
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

std::string faultJson(int list, DateTime time, int utcOffsetSeconds, std::string_view status) {
    std::string out = "{\"list\": ";
    const char* name = faultListName(list);
    if (name != nullptr) appendJsonString(out, name);
    else out += "null";
    out += ", \"time\": ";
    appendIsoTime(out, time);
    appendUtcOffset(out, utcOffsetSeconds);
    out += ", \"status\": ";
    appendJsonString(out, status);
    out.push_back('}');
    return out;
}

}  // namespace orlix
