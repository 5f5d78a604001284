// The alarm notice (webhook body, MQTT payload) and the e-mail: what they
// say, valid JSON and UTF-8 whatever a site sends, and no way for a text
// from a site to add an e-mail header or recipient.
#include "hub/notification_format.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace orlix::hub {
namespace {

const QTimeZone kBerlin("Europe/Berlin");
constexpr Micros kWinter = 1'773'483'825 * kMicrosPerSecond;  // 2026-03-14T10:23:45Z
constexpr Micros kSummer = 1'781'432'625 * kMicrosPerSecond;  // 2026-06-14T10:23:45Z

QJsonObject parsed(const std::string& json) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << json;
    return doc.object();
}

struct Raised {
    Alarm alarm = newAlarm("north", "Err");
    AlarmChange change;
    explicit Raised(std::string_view message, std::string site = "north") {
        alarm.site = std::move(site);
        raiseAlarm(alarm, kWinter, "first");
        raiseAlarm(alarm, kSummer, "repeat");
        clearAlarm(alarm, kSummer + kMicrosPerSecond);
        change = raiseAlarm(alarm, kSummer + 2 * kMicrosPerSecond, message).changes.at(0);
    }
};

TEST(AlarmNotice, SaysWhatHappenedWithTimesInTheSitesOffset) {
    const Raised r("EEPROM");
    const QJsonObject o = parsed(alarmNoticeJson(r.alarm, r.change, kBerlin));
    EXPECT_EQ(o["site"].toString(), "north");
    EXPECT_EQ(o["source"].toString(), "Err");
    EXPECT_EQ(o["state"].toString(), "unacknowledged");
    EXPECT_EQ(o["previous_state"].toString(), "returned-unacknowledged");
    EXPECT_EQ(o["event"].toString(), "raised");
    EXPECT_EQ(o["message"].toString(), "EEPROM");
    EXPECT_EQ(o["first"].toString(), "2026-03-14T11:23:45+01:00");
    EXPECT_EQ(o["last"].toString(), "2026-06-14T12:23:47+02:00");
    EXPECT_EQ(o["at"].toString(), "2026-06-14T12:23:47+02:00");
    EXPECT_EQ(o["count"].toInt(), 3);
    EXPECT_EQ(o["chattering"].toBool(true), false);
    EXPECT_TRUE(o["by"].isNull());
    EXPECT_EQ(o.size(), 12);
}

TEST(AlarmNotice, NamesTheUserAndHasNoTimesBeforeARaise) {
    Alarm a = newAlarm("south", "offline");
    const AlarmChange c = removeFromService(a, kWinter, "anna", "site closed").changes.at(0);
    const QJsonObject o = parsed(alarmNoticeJson(a, c, QTimeZone("America/St_Johns")));
    EXPECT_EQ(o["by"].toString(), "anna");
    EXPECT_EQ(o["event"].toString(), "out-of-service");
    EXPECT_TRUE(o["first"].isNull());
    EXPECT_TRUE(o["last"].isNull());
    EXPECT_EQ(o["at"].toString(), "2026-03-14T07:53:45-02:30");  // Newfoundland daylight time
}

TEST(AlarmNotice, StaysValidJsonForAnyTextFromASite) {
    const std::string message = "quote\" back\\slash\nnewline \x01 bad\xff utf8 温度";
    const Raised r(message, "o'brien\"; --");
    const QJsonObject o = parsed(alarmNoticeJson(r.alarm, r.change, kBerlin));
    EXPECT_EQ(o["site"].toString(), QString::fromUtf8("o'brien\"; --"));
    EXPECT_EQ(o["message"].toString(),
              QString::fromUtf8("quote\" back\\slash\nnewline \x01 bad\xef\xbf\xbd utf8 温度"));
}

// The header block of a message, one entry per line.
std::vector<std::string> headerLines(const std::string& mail) {
    std::vector<std::string> lines;
    const std::string head = mail.substr(0, mail.find("\n\n"));
    std::size_t start = 0;
    while (start <= head.size()) {
        const std::size_t end = std::min(head.find('\n', start), head.size());
        lines.push_back(head.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

TEST(AlarmEmail, HasTheHeadersSendmailNeedsAndALabelledBody) {
    const Raised r("EEPROM");
    const std::string mail =
        alarmEmail(r.alarm, r.change, kBerlin, {"a@example.com", "b@example.com"}, "hub@example.com");
    const auto head = headerLines(mail);
    ASSERT_EQ(head.size(), 7u) << mail;
    EXPECT_EQ(head[0], "To: a@example.com, b@example.com");
    EXPECT_EQ(head[1], "From: hub@example.com");
    EXPECT_EQ(head[2], "Subject: [Orlix] north Err raised (unacknowledged): EEPROM");
    EXPECT_EQ(head[3], "Date: 14 Jun 2026 12:23:47 +0200");
    EXPECT_EQ(head[5], "Content-Type: text/plain; charset=UTF-8");
    const std::string body = mail.substr(mail.find("\n\n") + 2);
    EXPECT_NE(body.find("Site: north\n"), std::string::npos);
    EXPECT_NE(body.find("State: unacknowledged (was returned-unacknowledged)\n"), std::string::npos);
    EXPECT_NE(body.find("First: 2026-03-14T11:23:45+01:00\n"), std::string::npos);
    EXPECT_NE(body.find("Count: 3\n"), std::string::npos);
    EXPECT_EQ(body.back(), '\n');
}

TEST(AlarmEmail, TextFromASiteCannotAddHeadersRecipientsOrEndTheMessage) {
    const Raised r("EEPROM\r\nBcc: victim@example.com\n\n.\nforged body");
    const std::string mail =
        alarmEmail(r.alarm, r.change, kBerlin, {"a@example.com\r\nCc: x@example.com"}, "hub@example.com\nBcc: y@e.com");
    for (const std::string& line : headerLines(mail)) {
        const std::string name = line.substr(0, line.find(':'));
        EXPECT_TRUE(name == "To" || name == "From" || name == "Subject" || name == "Date" || name == "MIME-Version" ||
                    name == "Content-Type" || name == "Content-Transfer-Encoding")
            << "header line: " << line;
    }
    EXPECT_EQ(mail.find('\r'), std::string::npos);
    EXPECT_EQ(mail.find("\n.\n"), std::string::npos);
    EXPECT_EQ(mail.find("\nBcc:"), std::string::npos);
    EXPECT_EQ(mail.find("\nCc:"), std::string::npos);
    EXPECT_NE(
        mail.find("Subject: [Orlix] north Err raised (unacknowledged): EEPROM  Bcc: victim@example.com  . forged"),
        std::string::npos)
        << mail;
}

// Decodes "=?UTF-8?B?...?= =?UTF-8?B?...?=" back to UTF-8.
std::string decodeWords(const std::string& value) {
    std::string out;
    std::size_t pos = 0;
    while ((pos = value.find("=?UTF-8?B?", pos)) != std::string::npos) {
        const std::size_t end = value.find("?=", pos + 10);
        EXPECT_LE(end + 2 - pos, 75u) << "encoded word too long";
        out += QByteArray::fromBase64(QByteArray::fromStdString(value.substr(pos + 10, end - pos - 10))).toStdString();
        pos = end + 2;
    }
    return out;
}

TEST(AlarmEmail, ASubjectBeyondAsciiIsWrittenAsEncodedWordsCutAtCharacters) {
    std::string text = "站点 north: ";
    for (int i = 0; i < 40; ++i) text += "温度③";  // 9 bytes each, far over the limit
    const std::string value = emailHeaderValue(text, 200);
    EXPECT_EQ(value.find_first_of("\r\n"), std::string::npos);
    const std::string decoded = decodeWords(value);
    EXPECT_LE(decoded.size(), 200u);
    EXPECT_EQ(decoded, text.substr(0, decoded.size()));
    EXPECT_GT(decoded.size(), 190u);
    EXPECT_EQ(QString::fromUtf8(decoded).toUtf8().toStdString(), decoded);  // no character cut in two
    EXPECT_EQ(emailHeaderValue("plain\ttext"), "plain text");
    EXPECT_EQ(emailHeaderValue(std::string(300, 'x')).size(), 200u);
}

}  // namespace
}  // namespace orlix::hub
