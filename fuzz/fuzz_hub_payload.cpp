// Any bytes as what the office receives from a site: as a sample, a faults
// and a status payload, as a topic and as a site name. Parsing never
// crashes and a refusal always has a reason; what is taken is whole and in
// range. A fault taken becomes an alarm whose notice must be JSON that Qt
// reads back and whose e-mail has only our own header lines, whatever the
// fault's text.
#include <QByteArray>
#include <QJsonDocument>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "hub/alarm_state.h"
#include "hub/notification_format.h"
#include "hub/payload_parser.h"

namespace {

using namespace orlix::hub;

void check(bool ok) {
    if (!ok) std::abort();
}

constexpr Micros kNow = 1'773'489'600 * kMicrosPerSecond;  // 2026-03-14T12:00:00Z

template <class T>
void checkParsed(const Parsed<T>& p) {
    check(p.value.has_value() == p.error.empty());
}

void checkInstant(Micros us) { check(us >= kEarliestInstantUs && us <= kNow + kMaxAheadUs); }

bool knownHeader(std::string_view line) {
    for (const std::string_view name : {"To: ", "From: ", "Subject: ", "Date: ", "MIME-Version: ", "Content-Type: ",
                                        "Content-Transfer-Encoding: "})
        if (line.starts_with(name)) return true;
    return false;
}

void checkFaultAlarm(const FaultPayload& f, const QTimeZone& zone) {
    Alarm a = newAlarm("north", std::string(faultListName(f.list)));
    const AlarmStep step = applyFaultStatus(a, f.instantUs, f.status);
    check(step.refused.empty());
    if (step.changes.empty()) return;  // "Normal" on a normal alarm
    const std::string notice = alarmNoticeJson(a, step.changes[0], zone);
    QJsonParseError error{};
    QJsonDocument::fromJson(QByteArray::fromStdString(notice), &error);
    check(error.error == QJsonParseError::NoError);
    const std::string mail = alarmEmail(a, step.changes[0], zone, {"a@example.com"}, "hub@example.com");
    const std::string_view head = std::string_view(mail).substr(0, mail.find("\n\n"));
    check(head.find('\r') == std::string_view::npos);
    for (std::size_t start = 0; start < head.size();) {
        const std::size_t end = std::min(head.find('\n', start), head.size());
        check(knownHeader(head.substr(start, end - start)));
        start = end + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const QTimeZone zone("Europe/Berlin");
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const TimeContext ctx{zone, kNow};

    const auto sample = parseSamplePayload(text, ctx);
    checkParsed(sample);
    if (sample) {
        check(size <= kMaxPayloadBytes);
        checkInstant(sample.value->instantUs);
    }
    const auto fault = parseFaultPayload(text, ctx);
    checkParsed(fault);
    if (fault) {
        checkInstant(fault.value->instantUs);
        checkFaultAlarm(*fault.value, zone);
    }
    checkParsed(parseStatusPayload(text));

    const auto topic = parseSiteTopic("plants", text);
    checkParsed(topic);
    if (topic) check(siteNameError(topic.value->site).empty() && topic.value->site.size() <= kMaxSiteNameBytes);
    if (siteNameError(text).empty()) {
        check(!text.empty() && text.size() <= kMaxSiteNameBytes && text.find('/') == std::string_view::npos);
        check(parseSiteTopic("plants", "plants/" + std::string(text) + "/status").value.has_value());
    }
    const std::string line = printableText(text, '?');
    check(line.find('\n') == std::string::npos && line.find('\r') == std::string::npos);
    return 0;
}
