#pragma once
// The broker address of a recorder or a remote site, written as a URL:
//   mqtt://[user[:password]@]host[:port]/LEVEL[/LEVEL...]
//   mqtts://...   (TLS; port 8883 unless given)
// The user and password may carry %XX escapes (for ':', '@', '/' in them).
// The host is a name, an IPv4 address or an IPv6 address in brackets. The
// path is one or more MQTT topic levels: printable ASCII without the
// wildcards '+' and '#', no empty level.
//
// A URL may hold a password, so nothing here ever writes the input back:
// error texts name what is wrong, not the text, and shown() leaves the
// credentials out.
#include <optional>
#include <string>
#include <string_view>

namespace orlix {

struct MqttUrl {
    bool tls = false;
    std::string user;      // empty: no login
    std::string password;  // empty: none in the URL
    std::string host;      // without the brackets of an IPv6 address
    int port = 1883;
    std::string path;      // topic levels joined by '/', never empty

    // The URL without user and password, for messages and logs:
    // "mqtt://host:port/path".
    std::string shown() const;
    // The last topic level of path and the levels before it ("" when the
    // path has one level).
    std::string lastLevel() const;
    std::string parentLevels() const;
};

struct MqttUrlParse {
    std::optional<MqttUrl> url;
    std::string error;  // why not, without any part of the input
};

MqttUrlParse parseMqttUrl(std::string_view text);

// True when `level` is usable as one topic level (a site name): non-empty
// printable ASCII without '/', '+', '#'.
bool isTopicLevel(std::string_view level);

// The password in the first line of a file (the line end dropped), or
// nothing with `error` set (naming the file, never its content).
std::optional<std::string> readPasswordFile(const std::string& path, std::string& error);

}  // namespace orlix
