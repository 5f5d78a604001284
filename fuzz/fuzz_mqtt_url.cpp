// Any text as a broker URL: parsing never crashes, a parsed URL is whole
// (host, port in range, a path of valid topic levels) and reads back the
// the same from its shown() form, which holds no credentials. The same bytes as a fault text always make one JSON string.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "mqtt/mqtt_url.h"
#include "base/json.h"
#include "sampling/site_payloads.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const orlix::MqttUrlParse r = orlix::parseMqttUrl(text);
    if (r.url) {
        const orlix::MqttUrl& u = *r.url;
        if (u.host.empty() || u.port < 1 || u.port > 65535 || u.path.empty()) std::abort();
        const orlix::MqttUrlParse again = orlix::parseMqttUrl(u.shown());
        if (!again.url || again.url->host != u.host || again.url->port != u.port || again.url->path != u.path ||
            !again.url->user.empty())
            std::abort();
    } else if (r.error.empty()) {
        std::abort();
    }
    std::string json;
    orlix::appendJsonString(json, text);
    if (json.size() < 2 || json.front() != '"' || json.back() != '"') std::abort();
    for (std::size_t i = 1; i + 1 < json.size(); ++i) {
        const auto c = static_cast<unsigned char>(json[i]);
        if (c < 0x20) std::abort();
        if (c == '\\') ++i;
        else if (c == '"') std::abort();
    }
    return 0;
}
