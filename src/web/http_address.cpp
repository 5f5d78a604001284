#include "web/http_address.h"

#include "web/http_input.h"

namespace orlix::web {

std::optional<HttpAddress> parseHttpAddress(std::string_view text, std::string& error) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos || colon == 0) {
        error = "--http needs ADDR:PORT, e.g. 127.0.0.1:8080 or [::1]:8080";
        return std::nullopt;
    }
    std::string_view host = text.substr(0, colon);
    const std::optional<std::int64_t> port = parseBoundedInt(text.substr(colon + 1), 0, 65535);
    if (!port) {
        error = "--http: the port is a number from 0 to 65535";
        return std::nullopt;
    }
    const bool bracketed = host.size() >= 2 && host.front() == '[' && host.back() == ']';
    if (bracketed) host = host.substr(1, host.size() - 2);
    HttpAddress out;
    out.port = static_cast<quint16>(*port);
    if (host == "localhost") {
        out.address = QHostAddress(QHostAddress::LocalHost);
        return out;
    }
    const QString h = QString::fromUtf8(host.data(), static_cast<qsizetype>(host.size()));
    if (!out.address.setAddress(h) || (out.address.protocol() == QAbstractSocket::IPv6Protocol) != bracketed) {
        error = "--http: " + std::string(host) + " is no IP address (IPv6 goes in brackets)";
        return std::nullopt;
    }
    return out;
}

}  // namespace orlix::web
