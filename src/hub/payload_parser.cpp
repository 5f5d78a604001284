#include "hub/payload_parser.h"

#include <simdjson.h>

#include <QString>
#include <cmath>
#include <unordered_map>

#include "base/log.h"

namespace orlix::hub {
namespace {

constexpr std::size_t kQuotedTextMax = 40;

// `text` for a refusal reason: quoted, cut to a few dozen bytes.
std::string shortQuote(std::string_view text) {
    std::string out = "'";
    out += text.substr(0, kQuotedTextMax);
    if (text.size() > kQuotedTextMax) out += "...";
    out += "'";
    return out;
}

// The value column index of each of the 50 names.
const std::unordered_map<std::string_view, int>& columnIndex() {
    static const std::unordered_map<std::string_view, int> index = [] {
        std::unordered_map<std::string_view, int> h;
        for (int i = 0; i < kSampleValueColumns; ++i) h.emplace(kEmp1Columns[static_cast<std::size_t>(i)], i);
        return h;
    }();
    return index;
}

// The payload as a JSON object, or the reason it is none. The whole text is
// checked (structure, numbers, UTF-8) before anything is read from it. The
// object lives in the calling thread's parser until its next parse.
std::string readObject(std::string_view payload, simdjson::dom::object& out) {
    if (payload.size() > kMaxPayloadBytes)
        return "payload of " + std::to_string(payload.size()) + " bytes is over the limit of " +
               std::to_string(kMaxPayloadBytes);
    // One parser per thread keeps its buffers from message to message.
    thread_local simdjson::dom::parser parser;
    simdjson::dom::element doc;
    if (const auto error = parser.parse(payload.data(), payload.size()).get(doc))
        return std::string("not JSON: ") + simdjson::error_message(error);
    if (doc.get(out)) return "not a JSON object";
    return {};
}

// The last member of `o` named `key` (as a reader that keeps the last of
// repeated names would give it), or nothing.
std::optional<simdjson::dom::element> member(const simdjson::dom::object& o, std::string_view key) {
    std::optional<simdjson::dom::element> found;
    for (const simdjson::dom::key_value_pair field : o)
        if (field.key == key) found = field.value;
    return found;
}

// Reads "time" and "utc_offset" into an instant and checks its range.
std::string readInstant(const simdjson::dom::object& o, const TimeContext& ctx, Micros& instantUs, bool& exact) {
    const auto time = member(o, "time");
    if (!time) return "no time";
    std::string_view timeView;
    if (time->get(timeView)) return "time is not a string";
    const std::string timeText(timeView);
    const std::optional<WallTime> wall = parseWallTime(timeText);
    if (!wall) return "time " + shortQuote(timeText) + " is not YYYY-MM-DDTHH:MM:SS";
    const auto offset = member(o, "utc_offset");
    exact = offset.has_value();
    if (exact) {
        std::string_view offsetText;
        if (offset->get(offsetText)) return "utc_offset is not a string";
        const std::optional<int> seconds = parseUtcOffset(std::string(offsetText));
        if (!seconds) return "utc_offset " + shortQuote(offsetText) + " is not an offset like +01:00";
        instantUs = (wallSeconds(*wall) - *seconds) * kMicrosPerSecond;
    } else {
        instantUs = instantInZone(*wall, ctx.zone, ctx.nowUs);
    }
    if (instantUs < kEarliestInstantUs) return "time " + timeText + " is before 2000-01-01";
    if (instantUs > ctx.nowUs + kMaxAheadUs) return "time " + timeText + " is more than a day ahead";
    return {};
}

// JSON does not tell 7 from 7.0: any number that is whole and in range.
std::string readValue(const simdjson::dom::element& v, std::string_view name, std::int16_t& out) {
    double d = 0;
    if (v.is_int64()) d = static_cast<double>(v.get_int64().value_unsafe());
    else if (v.is_uint64()) d = static_cast<double>(v.get_uint64().value_unsafe());
    else if (v.get(d)) return "column " + shortQuote(name) + " is not a number";
    if (!std::isfinite(d) || d < -32768.0 || d > 32767.0) return "column " + shortQuote(name) + " is out of range";
    if (d != std::floor(d)) return "column " + shortQuote(name) + " is not a whole number";
    out = static_cast<std::int16_t>(d);
    return {};
}

std::string readValues(const simdjson::dom::object& o, std::array<std::int16_t, kSampleValueColumns>& values) {
    const auto v = member(o, "values");
    if (!v) return "no values";
    simdjson::dom::object columns;
    if (v->get(columns)) return "values is not an object";
    const auto& index = columnIndex();
    std::uint64_t seen = 0;
    for (const simdjson::dom::key_value_pair field : columns) {
        const auto found = index.find(field.key);
        if (found == index.end()) return "unknown column " + shortQuote(field.key);
        const int i = found->second;
        std::string error = readValue(field.value, field.key, values[static_cast<std::size_t>(i)]);
        if (!error.empty()) return error;
        seen |= std::uint64_t{1} << i;
    }
    for (int i = 0; i < kSampleValueColumns; ++i)
        if ((seen >> i & 1u) == 0) return "missing column " + shortQuote(kEmp1Columns[static_cast<std::size_t>(i)]);
    return {};
}

std::optional<FaultList> faultListFromName(std::string_view name) {
    for (const FaultList l : {FaultList::Err, FaultList::ComErr, FaultList::ProtErr})
        if (name == faultListName(l)) return l;
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
    simdjson::dom::object o;
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
    simdjson::dom::object o;
    r.error = readObject(payload, o);
    if (!r.error.empty()) return r;
    FaultPayload f;
    const auto list = member(o, "list");
    const auto status = member(o, "status");
    std::string_view listText, statusText;
    if (!list || list->get(listText)) r.error = list ? "list is not a string" : "no list";
    else if (const auto l = faultListFromName(listText)) f.list = *l;
    else r.error = "unknown list " + shortQuote(listText);
    if (r.error.empty() && (!status || status->get(statusText)))
        r.error = status ? "status is not a string" : "no status";
    if (r.error.empty()) r.error = readInstant(o, time, f.instantUs, f.exactTime);
    if (!r.error.empty()) return r;
    f.status = std::string(statusText);
    r.value = std::move(f);
    return r;
}

Parsed<SiteStatus> parseStatusPayload(std::string_view payload) {
    Parsed<SiteStatus> r;
    if (payload == "online") r.value = SiteStatus::Online;
    else if (payload == "offline") r.value = SiteStatus::Offline;
    else r.error = "status " + shortQuote(payload) + " is neither online nor offline";
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
    r.error = "unknown topic kind " + shortQuote(kind);
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
