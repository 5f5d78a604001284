#include "sampling/site_payloads.h"

#include <charconv>
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
