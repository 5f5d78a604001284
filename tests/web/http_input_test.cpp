// What the pages send, read: cookies, instants, numbers, JSON members,
// --http addresses, and the JSON the pages get back.
#include "web/http_input.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <cmath>

#include "web/fleet_queries.h"
#include "web/http_address.h"
#include "web/json_out.h"

namespace orlix::web {
namespace {

const std::string kToken(kSessionTokenChars, 'A');

TEST(HttpInput, TheSessionCookieIsFoundAmongOthersAndOnlyInItsForm) {
    EXPECT_EQ(sessionToken("orlix_session=" + kToken), kToken);
    EXPECT_EQ(sessionToken("a=1;  orlix_session=" + kToken + " ; b=2"), kToken);
    EXPECT_FALSE(sessionToken("orlix_session=short; x_orlix_session=" + kToken));
    EXPECT_FALSE(sessionToken("orlix_session=" + kToken + "A"));
    EXPECT_FALSE(sessionToken("orlix_session=" + std::string(kSessionTokenChars - 1, 'A') + "="));
    EXPECT_FALSE(sessionToken("orlix_session=" + std::string(kSessionTokenChars - 1, 'A') + "'"));
    // A bad first one does not hide a good second one.
    EXPECT_EQ(sessionToken("orlix_session=bad; orlix_session=" + kToken), kToken);
    EXPECT_FALSE(sessionToken(""));
}

TEST(HttpInput, InstantsNeedAZoneAndTakeFractions) {
    EXPECT_EQ(parseInstant("2026-03-14T12:00:00Z"), 1'773'489'600LL * 1'000'000);
    EXPECT_EQ(parseInstant("2026-03-14T12:00:00.999Z"), 1'773'489'600LL * 1'000'000);
    EXPECT_EQ(parseInstant("2026-03-14T13:00:00+01:00"), 1'773'489'600LL * 1'000'000);
    EXPECT_FALSE(parseInstant("2026-03-14T12:00:00"));  // local time of which zone?
    EXPECT_FALSE(parseInstant("2026-03-14T12:00:00.Z"));
    EXPECT_FALSE(parseInstant("2026-02-30T12:00:00Z"));
    EXPECT_FALSE(parseInstant("2026-03-14 12:00:00Z"));
    EXPECT_FALSE(parseInstant("1773489600000"));
    EXPECT_FALSE(parseInstant("2026-03-14T12:00:00Z'; DROP TABLE samples; --"));
}

TEST(HttpInput, NumbersAreWholeAndInRange) {
    EXPECT_EQ(parseBoundedInt("6", 1, 48), 6);
    EXPECT_FALSE(parseBoundedInt("0", 1, 48));
    EXPECT_FALSE(parseBoundedInt("49", 1, 48));
    EXPECT_FALSE(parseBoundedInt("+6", 1, 48));
    EXPECT_FALSE(parseBoundedInt("6.0", 1, 48));
    EXPECT_FALSE(parseBoundedInt("", 1, 48));
    EXPECT_FALSE(parseBoundedInt("99999999999999999999", 1, INT64_MAX));
    EXPECT_EQ(valueColumnIndex("Pd"), 0);
    EXPECT_FALSE(valueColumnIndex("pd"));
    EXPECT_FALSE(valueColumnIndex("Pd\" FROM users; --"));
}

TEST(HttpInput, AnOriginFitsOnlyItsOwnHostAndPort) {
    EXPECT_TRUE(originFits("", "127.0.0.1:8080"));  // not sent: same-origin GETs, tools
    EXPECT_TRUE(originFits("http://127.0.0.1:8080", "127.0.0.1:8080"));
    EXPECT_TRUE(originFits("https://Hub.Example", "hub.example"));
    EXPECT_TRUE(originFits("http://[::1]:8080", "[::1]:8080"));
    EXPECT_FALSE(originFits("http://127.0.0.1:8081", "127.0.0.1:8080"));
    EXPECT_FALSE(originFits("http://evil.example", "127.0.0.1:8080"));
    EXPECT_FALSE(originFits("null", "127.0.0.1:8080"));
    EXPECT_FALSE(originFits("file://127.0.0.1:8080", "127.0.0.1:8080"));
    EXPECT_FALSE(originFits("http://127.0.0.1:8080.evil.example", "127.0.0.1:8080"));
}

TEST(HttpInput, JsonBodiesAndTheirStringMembers) {
    EXPECT_FALSE(jsonObjectBody("[1, 2]"));
    EXPECT_FALSE(jsonObjectBody("{\"a\": "));
    EXPECT_FALSE(jsonObjectBody(QByteArray(70 * 1024, ' ') + "{}"));
    const std::optional<QJsonObject> o =
        jsonObjectBody(R"({"name": "mia", "n": 5, "empty": "", "ctl": "a\nb", "role": ["admin"]})");
    ASSERT_TRUE(o);
    EXPECT_EQ(stringMember(*o, "name", 64), "mia");
    EXPECT_FALSE(stringMember(*o, "name", 2));
    EXPECT_FALSE(stringMember(*o, "n", 64));
    EXPECT_FALSE(stringMember(*o, "empty", 64));
    EXPECT_FALSE(stringMember(*o, "ctl", 64));
    EXPECT_FALSE(stringMember(*o, "role", 64));
    EXPECT_FALSE(stringMember(*o, "missing", 64));
}

TEST(HttpInput, HttpAddressesAreIpAddressesWithAPort) {
    std::string error;
    EXPECT_TRUE(parseHttpAddress("127.0.0.1:8080", error)->address.isLoopback());
    EXPECT_EQ(parseHttpAddress("[::1]:0", error)->port, 0);
    EXPECT_TRUE(parseHttpAddress("localhost:80", error)->address.isLoopback());
    EXPECT_FALSE(parseHttpAddress("0.0.0.0:8443", error)->address.isLoopback());
    for (const char* bad : {"8080", ":8080", "127.0.0.1:", "127.0.0.1:65536", "::1:8080", "[127.0.0.1]:80",
                            "example.com:80", "127.0.0.1:80x"}) {
        error.clear();
        EXPECT_FALSE(parseHttpAddress(bad, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(JsonOut, WritesValidJsonWhateverTheTextsAndNumbers) {
    JsonOut j;
    j.beginObject().field("s", "a\"b\\\x01\xff").key("list").beginArray().num(1.5).num(NAN).integer(-7);
    j.beginObject().endObject().beginArray().endArray().endArray().field("t", true).endObject();
    QJsonParseError error{};
    const QJsonDocument d = QJsonDocument::fromJson(QByteArray::fromStdString(j.text()), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << j.text();
    EXPECT_EQ(d["s"].toString(), QString::fromUtf8("a\"b\\\x01\xef\xbf\xbd"));
    EXPECT_EQ(d["list"][0].toDouble(), 1.5);
    EXPECT_TRUE(d["list"][1].isNull());
    EXPECT_EQ(d["list"][2].toInt(), -7);
}

TEST(HistoryPlan, RawUpToSixHoursThenSummariesMergedToAtMostNinethousandPoints) {
    using hub::kMicrosPerDay;
    using hub::kMicrosPerHour;
    EXPECT_TRUE(planHistory(0, 6 * kMicrosPerHour).raw);
    const HistoryPlan day = planHistory(0, 6 * kMicrosPerHour + 1);
    EXPECT_FALSE(day.raw);
    EXPECT_EQ(day.stepUs, kSummaryStepUs);
    EXPECT_EQ(planHistory(0, 30 * kMicrosPerDay).stepUs, kSummaryStepUs);  // 8,640 buckets
    EXPECT_EQ(planHistory(0, 31 * kMicrosPerDay).stepUs, kSummaryStepUs);  // 8,928 buckets
    for (const hub::Micros span : {40 * kMicrosPerDay, 90 * kMicrosPerDay, 400 * kMicrosPerDay}) {
        const HistoryPlan p = planHistory(0, span);
        ASSERT_GT(p.stepUs, kSummaryStepUs);
        EXPECT_EQ(p.stepUs % kSummaryStepUs, 0);
        EXPECT_LE(span / p.stepUs, kMaxPoints);
        EXPECT_GT(span / (p.stepUs - kSummaryStepUs), kMaxPoints);  // no finer step would do
    }
}

}  // namespace
}  // namespace orlix::web
