#include "mqtt/mqtt_url.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>

namespace orlix {
namespace {

constexpr std::string_view kPlain = "mqtt://";
constexpr std::string_view kTls = "mqtts://";

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// %XX escapes decoded; false on a broken escape or a NUL byte.
bool percentDecode(std::string_view in, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '%') {
            out.push_back(in[i]);
            continue;
        }
        if (i + 2 >= in.size()) return false;
        const int hi = hexDigit(in[i + 1]), lo = hexDigit(in[i + 2]);
        if (hi < 0 || lo < 0 || (hi == 0 && lo == 0)) return false;
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
    }
    return true;
}

bool isHostChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
           c == '_';
}

bool isIpv6Char(char c) { return hexDigit(c) >= 0 || c == ':' || c == '.'; }

// host[:port] into url; an error text or "".
std::string parseHostPort(std::string_view hp, MqttUrl& url) {
    std::string_view host, port;
    if (!hp.empty() && hp.front() == '[') {
        const std::size_t close = hp.find(']');
        if (close == std::string_view::npos) return "the IPv6 address has no closing ']'";
        host = hp.substr(1, close - 1);
        if (host.empty()) return "the URL has no host";
        for (char c : host)
            if (!isIpv6Char(c)) return "the IPv6 address holds a character that does not belong there";
        const std::string_view rest = hp.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return "only a port may follow the host";
            port = rest.substr(1);
            if (port.empty()) return "the port is empty";
        }
    } else {
        const std::size_t colon = hp.find(':');
        host = hp.substr(0, colon);
        if (colon != std::string_view::npos) {
            port = hp.substr(colon + 1);
            if (port.empty()) return "the port is empty";
        }
        if (host.empty()) return "the URL has no host";
        for (char c : host)
            if (!isHostChar(c)) return "the host name holds a character that does not belong there";
    }
    url.host = std::string(host);
    if (!port.empty()) {
        int n = 0;
        const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), n);
        if (ec != std::errc() || end != port.data() + port.size() || n < 1 || n > 65535)
            return "the port is not a number from 1 to 65535";
        url.port = n;
    }
    return {};
}

std::string checkPath(std::string_view path) {
    if (path.empty()) return "the URL has no topic prefix after the host";
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = path.find('/', start);
        const std::string_view level = path.substr(start, slash == std::string_view::npos ? path.npos : slash - start);
        if (!isTopicLevel(level)) {
            return level.empty() ? "the topic path has an empty level"
                                 : "the topic path holds a character that is not allowed (wildcards, blanks, "
                                   "non-ASCII)";
        }
        if (slash == std::string_view::npos) return {};
        start = slash + 1;
    }
}

}  // namespace

bool isTopicLevel(std::string_view level) {
    if (level.empty()) return false;
    for (char c : level) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7f || c == '/' || c == '+' || c == '#') return false;
    }
    return true;
}

std::string MqttUrl::shown() const {
    const bool v6 = host.find(':') != std::string::npos;
    return std::string(tls ? kTls : kPlain) + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port) + "/" +
           path;
}

std::string MqttUrl::lastLevel() const {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string MqttUrl::parentLevels() const {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

MqttUrlParse parseMqttUrl(std::string_view text) {
    MqttUrlParse r;
    MqttUrl url;
    if (text.substr(0, kTls.size()) == kTls) {
        url.tls = true;
        url.port = 8883;
        text.remove_prefix(kTls.size());
    } else if (text.substr(0, kPlain.size()) == kPlain) {
        text.remove_prefix(kPlain.size());
    } else {
        r.error = "the URL does not start with mqtt:// or mqtts://";
        return r;
    }
    const std::size_t slash = text.find('/');
    std::string_view authority = text.substr(0, slash);
    const std::string_view path = slash == std::string_view::npos ? std::string_view() : text.substr(slash + 1);
    // The last '@' ends the credentials: a host never holds one.
    const std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        const std::string_view cred = authority.substr(0, at);
        const std::size_t colon = cred.find(':');
        if (!percentDecode(cred.substr(0, colon), url.user) ||
            (colon != std::string_view::npos && !percentDecode(cred.substr(colon + 1), url.password))) {
            r.error = "the user or password holds a broken %XX escape";
            return r;
        }
        if (url.user.empty()) {
            r.error = "the URL names a password but no user";
            return r;
        }
        authority.remove_prefix(at + 1);
    }
    if (std::string e = parseHostPort(authority, url); !e.empty()) {
        r.error = std::move(e);
        return r;
    }
    if (std::string e = checkPath(path); !e.empty()) {
        r.error = std::move(e);
        return r;
    }
    url.path = std::string(path);
    r.url = std::move(url);
    return r;
}

std::optional<std::string> readPasswordFile(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read the password file " + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) {
        error = "the password file " + path + " holds no password on its first line";
        return std::nullopt;
    }
    return line;
}

}  // namespace orlix
