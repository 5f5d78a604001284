#include "hub/payload_parser.h"

#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QString>
#include <cmath>

#include "base/log.h"

namespace orlix::hub {
namespace {

constexpr std::size_t kQuotedTextMax = 40;

// `text` for a refusal reason: quoted, cut to a few dozen bytes.
std::string quoted(std::string_view text) {
    std::string out = "'";
    out += text.substr(0, kQuotedTextMax);
    if (text.size() > kQuotedTextMax) out += "...";
    out += "'";
    return out;
}

std::string quoted(const QString& text) { return quoted(text.toStdString()); }

// The value column index of each of the 50 names.
const QHash<QString, int>& columnIndex() {
    static const QHash<QString, int> index = [] {
        QHash<QString, int> h;
        for (int i = 0; i < kSampleValueColumns; ++i) {
            const std::string_view name = kEmp1Columns[static_cast<std::size_t>(i)];
            h.insert(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())), i);
        }
        return h;
    }();
    return index;
}

// The payload as a JSON object, or the reason it is none.
std::string readObject(std::string_view payload, QJsonObject& out) {
    if (payload.size() > kMaxPayloadBytes)
        return "payload of " + std::to_string(payload.size()) + " bytes is over the limit of " +
               std::to_string(kMaxPayloadBytes);
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(
        QByteArray::fromRawData(payload.data(), static_cast<qsizetype>(payload.size())), &error);
    if (error.error != QJsonParseError::NoError)
        return "not JSON: " + error.errorString().toStdString() + " at byte " + std::to_string(error.offset);
    if (!doc.isObject()) return "not a JSON object";
    out = doc.object();
    return {};
}

// Reads "time" and "utc_offset" into an instant and checks its range.
std::string readInstant(const QJsonObject& o, const TimeContext& ctx, Micros& instantUs, bool& exact) {
    const QJsonValue time = o.value(QLatin1String("time"));
    if (time.isUndefined()) return "no time";
    if (!time.isString()) return "time is not a string";
    const std::string timeText = time.toString().toStdString();
    const std::optional<WallTime> wall = parseWallTime(timeText);
    if (!wall) return "time " + quoted(timeText) + " is not YYYY-MM-DDTHH:MM:SS";
    const QJsonValue offset = o.value(QLatin1String("utc_offset"));
    exact = !offset.isUndefined();
    if (exact) {
        if (!offset.isString()) return "utc_offset is not a string";
        const std::string offsetText = offset.toString().toStdString();
        const std::optional<int> seconds = parseUtcOffset(offsetText);
        if (!seconds) return "utc_offset " + quoted(offsetText) + " is not an offset like +01:00";
        instantUs = (wallSeconds(*wall) - *seconds) * kMicrosPerSecond;
    } else {
        instantUs = instantInZone(*wall, ctx.zone, ctx.nowUs);
    }
    if (instantUs < kEarliestInstantUs) return "time " + timeText + " is before 2000-01-01";
    if (instantUs > ctx.nowUs + kMaxAheadUs) return "time " + timeText + " is more than a day ahead";
    return {};
}

std::string readValue(const QJsonValue& v, const QString& name, std::int16_t& out) {
    if (!v.isDouble()) return "column " + quoted(name) + " is not a number";
    const double d = v.toDouble();
    if (!std::isfinite(d) || d < -32768.0 || d > 32767.0) return "column " + quoted(name) + " is out of range";
    if (d != std::floor(d)) return "column " + quoted(name) + " is not a whole number";
    out = static_cast<std::int16_t>(d);
    return {};
}

std::string readValues(const QJsonObject& o, std::array<std::int16_t, kSampleValueColumns>& values) {
    const QJsonValue v = o.value(QLatin1String("values"));
    if (v.isUndefined()) return "no values";
    if (!v.isObject()) return "values is not an object";
    const QJsonObject columns = v.toObject();
    const QHash<QString, int>& index = columnIndex();
    std::uint64_t seen = 0;
    for (auto it = columns.begin(); it != columns.end(); ++it) {
        const auto found = index.constFind(it.key());
        if (found == index.constEnd()) return "unknown column " + quoted(it.key());
        const int i = found.value();
        std::string error = readValue(it.value(), it.key(), values[static_cast<std::size_t>(i)]);
        if (!error.empty()) return error;
        seen |= std::uint64_t{1} << i;
    }
    for (int i = 0; i < kSampleValueColumns; ++i)
        if ((seen >> i & 1u) == 0) return "missing column " + quoted(kEmp1Columns[static_cast<std::size_t>(i)]);
    return {};
}

std::optional<FaultList> faultListFromName(const QString& name) {
    for (const FaultList l : {FaultList::Err, FaultList::ComErr, FaultList::ProtErr})
        if (name == QLatin1String(faultListName(l).data(), static_cast<qsizetype>(faultListName(l).size())))
            return l;
    return std::nullopt;
}

// True for characters that have no business in a name: controls (C0, DEL,
// C1), format characters (bidirectional overrides, zero-width marks), line
// and paragraph separators.
bool unprintable(char32_t c) {
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph: return true;
    default: return false;
    }
}

}  // namespace

std::string_view faultListName(FaultList list) {
    switch (list) {
    case FaultList::Err: return "Err";
    case FaultList::ComErr: return "ComErr";
    case FaultList::ProtErr: return "ProtErr";
    }
    return "Err";
}

Parsed<SamplePayload> parseSamplePayload(std::string_view payload, const TimeContext& time) {
    Parsed<SamplePayload> r;
    QJsonObject o;
    r.error = readObject(payload, o);
    if (!r.error.empty()) return r;
    SamplePayload s;
    r.error = readInstant(o, time, s.instantUs, s.exactTime);
    if (r.error.empty()) r.error = readValues(o, s.values);
    if (r.error.empty()) r.value = s;
    return r;
}

Parsed<FaultPayload> parseFaultPayload(std::string_view payload, const TimeContext& time) {
    Parsed<FaultPayload> r;
    QJsonObject o;
    r.error = readObject(payload, o);
    if (!r.error.empty()) return r;
    FaultPayload f;
    const QJsonValue list = o.value(QLatin1String("list"));
    const QJsonValue status = o.value(QLatin1String("status"));
    if (!list.isString()) r.error = list.isUndefined() ? "no list" : "list is not a string";
    else if (const auto l = faultListFromName(list.toString())) f.list = *l;
    else r.error = "unknown list " + quoted(list.toString());
    if (r.error.empty() && !status.isString()) r.error = status.isUndefined() ? "no status" : "status is not a string";
    if (r.error.empty()) r.error = readInstant(o, time, f.instantUs, f.exactTime);
    if (!r.error.empty()) return r;
    f.status = status.toString().toStdString();
    r.value = std::move(f);
    return r;
}

Parsed<SiteStatus> parseStatusPayload(std::string_view payload) {
    Parsed<SiteStatus> r;
    if (payload == "online") r.value = SiteStatus::Online;
    else if (payload == "offline") r.value = SiteStatus::Offline;
    else r.error = "status " + quoted(payload) + " is neither online nor offline";
    return r;
}

std::string siteNameError(std::string_view site) {
    if (site.empty()) return "empty site name";
    if (site.size() > kMaxSiteNameBytes) return "site name longer than 64 bytes";
    const QString s = QString::fromUtf8(site.data(), static_cast<qsizetype>(site.size()));
    if (s.toUtf8() != QByteArray::fromRawData(site.data(), static_cast<qsizetype>(site.size())))
        return "site name is not valid UTF-8";
    if (site == "." || site == "..") return "site name is a path step ('.' or '..')";
    for (const char c : site)
        if (c == '/' || c == '+' || c == '#' || c == '\\') return std::string("site name holds '") + c + "'";
    for (const char32_t c : s.toUcs4())
        if (unprintable(c)) return "site name holds a control or format character";
    if (s.front().isSpace() || s.back().isSpace()) return "site name starts or ends with a blank";
    return {};
}

Parsed<SiteTopic> parseSiteTopic(std::string_view prefix, std::string_view topic) {
    Parsed<SiteTopic> r;
    if (!prefix.empty() && prefix.back() == '/') prefix.remove_suffix(1);
    std::string_view rest = topic;
    if (!prefix.empty()) {
        if (topic.size() <= prefix.size() || topic.substr(0, prefix.size()) != prefix || topic[prefix.size()] != '/') {
            r.error = "topic is not under the prefix";
            return r;
        }
        rest = topic.substr(prefix.size() + 1);
    }
    const auto slash = rest.find('/');
    if (slash == std::string_view::npos || rest.find('/', slash + 1) != std::string_view::npos) {
        r.error = "topic is not PREFIX/SITE/kind";
        return r;
    }
    static constexpr std::pair<std::string_view, TopicKind> kKinds[] = {
        {"status", TopicKind::Status}, {"sample", TopicKind::Sample}, {"faults", TopicKind::Faults},
        {"raw", TopicKind::Raw},       {"alarms", TopicKind::Alarms}};
    const std::string_view kind = rest.substr(slash + 1);
    SiteTopic t;
    t.site = std::string(rest.substr(0, slash));
    r.error = siteNameError(t.site);
    if (!r.error.empty()) return r;
    for (const auto& [name, k] : kKinds)
        if (kind == name) {
            t.kind = k;
            r.value = std::move(t);
            return r;
        }
    r.error = "unknown topic kind " + quoted(kind);
    return r;
}

std::string printableText(std::string_view text, char replacement) {
    QList<uint> chars = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toUcs4();
    for (uint& c : chars)
        if (unprintable(c)) c = static_cast<unsigned char>(replacement);
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(chars.constData()), chars.size()).toStdString();
}

void reportRefusal(std::string_view what, std::string_view reason) {
    log::failure(log::kHub, "refused " + printableText(what, '?') + ": " + printableText(reason, '?'));
}

}  // namespace orlix::hub
