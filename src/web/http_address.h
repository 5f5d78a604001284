#pragma once
// --http ADDR:PORT: an IPv4 address, an IPv6 address in brackets
// ("[::1]:8080") or "localhost", and a port 0..65535 (0: any free one).
#include <QHostAddress>
#include <optional>
#include <string>
#include <string_view>

namespace orlix::web {

struct HttpAddress {
    QHostAddress address;
    quint16 port = 0;
};

// The address, or nothing with `error` saying why.
std::optional<HttpAddress> parseHttpAddress(std::string_view text, std::string& error);

}  // namespace orlix::web
