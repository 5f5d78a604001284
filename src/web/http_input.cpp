#include "web/http_input.h"

#include <QJsonDocument>
#include <QUrl>
#include <charconv>

#include "hub/hub_schema.h"
#include "hub/hub_types.h"

namespace orlix::web {
namespace {

bool isTokenChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

}  // namespace

std::optional<std::string> sessionToken(std::string_view header) {
    while (!header.empty()) {
        const std::size_t end = header.find(';');
        const std::string_view pair = trimmed(header.substr(0, end));
        header.remove_prefix(end == std::string_view::npos ? header.size() : end + 1);
        const std::size_t eq = pair.find('=');
        if (eq == std::string_view::npos || pair.substr(0, eq) != kSessionCookie) continue;
        const std::string_view value = pair.substr(eq + 1);
        if (value.size() != kSessionTokenChars) continue;
        bool ok = true;
        for (const char c : value) ok = ok && isTokenChar(c);
        if (ok) return std::string(value);
    }
    return std::nullopt;
}

std::optional<hub::Micros> parseInstant(std::string_view text) {
    if (text.size() < 20) return std::nullopt;
    const std::optional<hub::WallTime> wall = hub::parseWallTime(text.substr(0, 19));
    if (!wall) return std::nullopt;
    std::string_view rest = text.substr(19);
    if (rest.front() == '.') {
        std::size_t digits = 1;
        while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') ++digits;
        if (digits == 1 || digits > 10) return std::nullopt;
        rest.remove_prefix(digits);
    }
    const std::optional<int> offset = hub::parseUtcOffset(rest);
    if (!offset) return std::nullopt;
    return (hub::wallSeconds(*wall) - *offset) * hub::kMicrosPerSecond;
}

std::optional<std::int64_t> parseBoundedInt(std::string_view text, std::int64_t lo, std::int64_t hi) {
    if (text.empty() || text.size() > 19 || text.front() == '+') return std::nullopt;
    std::int64_t v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || v < lo || v > hi) return std::nullopt;
    return v;
}

std::optional<int> valueColumnIndex(std::string_view name) {
    for (int i = 0; i < hub::kValueCount; ++i)
        if (hub::valueColumn(i) == name) return i;
    return std::nullopt;
}

std::optional<std::string> queryValue(const QUrlQuery& query, const char* name) {
    const QString key = QString::fromLatin1(name);
    if (!query.hasQueryItem(key)) return std::nullopt;
    return query.queryItemValue(key, QUrl::FullyDecoded).toStdString();
}

bool originFits(std::string_view origin, std::string_view host) {
    if (origin.empty()) return true;
    const QUrl url(QString::fromUtf8(origin.data(), static_cast<qsizetype>(origin.size())), QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")))
        return false;
    QString expected = url.host().contains(QLatin1Char(':')) ? "[" + url.host() + "]" : url.host();
    if (url.port() != -1) expected += QLatin1Char(':') + QString::number(url.port());
    return expected.compare(QString::fromUtf8(host.data(), static_cast<qsizetype>(host.size())),
                            Qt::CaseInsensitive) == 0;
}

std::optional<QJsonObject> jsonObjectBody(const QByteArray& body, std::size_t maxBytes) {
    if (body.isEmpty() || static_cast<std::size_t>(body.size()) > maxBytes) return std::nullopt;
    QJsonParseError error{};
    const QJsonDocument d = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !d.isObject()) return std::nullopt;
    return d.object();
}

std::optional<std::string> stringMember(const QJsonObject& o, const char* name, std::size_t maxBytes) {
    const QJsonValue v = o.value(QLatin1String(name));
    if (!v.isString()) return std::nullopt;
    std::string s = v.toString().toStdString();
    if (s.empty() || s.size() > maxBytes) return std::nullopt;
    for (const char c : s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return std::nullopt;
    return s;
}

}  // namespace orlix::web
