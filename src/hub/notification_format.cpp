#include "hub/notification_format.h"

#include <QByteArray>
#include <QDateTime>

#include "hub/payload_parser.h"
#include "base/json.h"
#include "sampling/site_payloads.h"

namespace orlix::hub {
namespace {

// Bytes of UTF-8 per encoded word: 45 bytes are 60 characters of base64,
// which with "=?UTF-8?B?" and "?=" stays within the 75 an encoded word may have.
constexpr std::size_t kEncodedWordBytes = 45;

// The length of s's longest prefix of at most n bytes that does not end
// inside a UTF-8 sequence.
std::size_t utf8Prefix(std::string_view s, std::size_t n) {
    if (n >= s.size()) return s.size();
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
    return n;
}

bool plainAscii(std::string_view s) {
    for (const char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

std::string encodedWords(std::string_view s) {
    std::string out;
    while (!s.empty()) {
        std::size_t n = utf8Prefix(s, kEncodedWordBytes);
        if (n == 0) n = 1;  // cannot happen on valid UTF-8; keeps the loop finite
        if (!out.empty()) out.push_back(' ');
        out += "=?UTF-8?B?";
        out += QByteArray(s.data(), static_cast<qsizetype>(n)).toBase64().toStdString();
        out += "?=";
        s.remove_prefix(n);
    }
    return out;
}

void appendMember(std::string& out, std::string_view name, std::string_view text) {
    out += out.size() == 1 ? "\"" : ", \"";
    out += name;
    out += "\": ";
    appendJsonString(out, text);
}

void appendRawMember(std::string& out, std::string_view name, std::string_view raw) {
    out += out.size() == 1 ? "\"" : ", \"";
    out += name;
    out += "\": ";
    out += raw;
}

void appendTimeMember(std::string& out, std::string_view name, Micros us, bool known, const QTimeZone& zone) {
    if (known) appendMember(out, name, isoInstantText(us, zone));
    else appendRawMember(out, name, "null");
}

std::string subjectText(const Alarm& a, const AlarmChange& c) {
    std::string s = "[Orlix] " + a.site + " " + a.source + " " + std::string(alarmEventName(c.event)) + " (" +
                    std::string(alarmStateName(c.to)) + ")";
    if (!a.message.empty()) s += ": " + a.message;
    return s;
}

std::string rfc2822Date(Micros us, const QTimeZone& zone) {
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(us / 1000, zone.isValid() ? zone : QTimeZone::utc());
    return t.toString(Qt::RFC2822Date).toStdString();
}

void appendBodyLine(std::string& out, std::string_view label, std::string_view value) {
    out += label;
    out += ": ";
    out += printableText(value, ' ');
    out += '\n';
}

}  // namespace

std::string emailHeaderValue(std::string_view text, std::size_t maxBytes) {
    std::string line = printableText(text, ' ');
    line.resize(utf8Prefix(line, maxBytes));
    return plainAscii(line) ? line : encodedWords(line);
}

std::string alarmNoticeJson(const Alarm& a, const AlarmChange& c, const QTimeZone& zone) {
    std::string out = "{";
    appendMember(out, "site", a.site);
    appendMember(out, "source", a.source);
    appendMember(out, "state", alarmStateName(c.to));
    appendMember(out, "previous_state", alarmStateName(c.from));
    appendMember(out, "event", alarmEventName(c.event));
    appendMember(out, "message", a.message);
    appendTimeMember(out, "first", a.firstUs, a.count > 0, zone);
    appendTimeMember(out, "last", a.lastUs, a.count > 0, zone);
    appendRawMember(out, "count", std::to_string(a.count));
    appendRawMember(out, "chattering", a.chattering ? "true" : "false");
    appendTimeMember(out, "at", c.atUs, true, zone);
    if (c.by.empty()) appendRawMember(out, "by", "null");
    else appendMember(out, "by", c.by);
    out += "}";
    return out;
}

std::string alarmEmail(const Alarm& a, const AlarmChange& c, const QTimeZone& zone,
                       const std::vector<std::string>& to, std::string_view from) {
    std::string recipients;
    for (const std::string& r : to) recipients += (recipients.empty() ? "" : ", ") + printableText(r, ' ');
    std::string m = "To: " + recipients + "\n";
    m += "From: " + printableText(from, ' ') + "\n";
    m += "Subject: " + emailHeaderValue(subjectText(a, c)) + "\n";
    m += "Date: " + rfc2822Date(c.atUs, zone) + "\n";
    m += "MIME-Version: 1.0\nContent-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: 8bit\n\n";
    appendBodyLine(m, "Site", a.site);
    appendBodyLine(m, "Source", a.source);
    appendBodyLine(m, "What happened", alarmEventName(c.event));
    appendBodyLine(m, "State",
                   std::string(alarmStateName(c.to)) + " (was " + std::string(alarmStateName(c.from)) + ")");
    appendBodyLine(m, "Message", a.message);
    if (a.count > 0) {
        appendBodyLine(m, "First", isoInstantText(a.firstUs, zone));
        appendBodyLine(m, "Last", isoInstantText(a.lastUs, zone));
        appendBodyLine(m, "Count", std::to_string(a.count));
    }
    if (a.chattering) appendBodyLine(m, "Chattering", "yes, further notifications are held back");
    appendBodyLine(m, "At", isoInstantText(c.atUs, zone));
    if (!c.by.empty()) appendBodyLine(m, "By", c.by);
    if (!c.why.empty() && c.why != a.message) appendBodyLine(m, "Note", c.why);
    return m;
}

}  // namespace orlix::hub
