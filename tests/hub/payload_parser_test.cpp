// The office's reading of what recorders publish: whole payloads taken,
// every malformed one refused with its reason, times placed in UTC across
// daylight-saving changes, site names from topics.
#include "hub/payload_parser.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

#include "log_capture.h"
#include "base/date_time.h"
#include "sampling/site_payloads.h"

namespace orlix::hub {
namespace {

Micros utc(const char* iso) {
    const QDateTime t = QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate);
    EXPECT_TRUE(t.isValid()) << iso;
    return t.toMSecsSinceEpoch() * 1000;
}

const QTimeZone kBerlin("Europe/Berlin");
const Micros kNow = utc("2026-03-14T12:00:00Z");

TimeContext berlin(Micros now = kNow) { return {kBerlin, now}; }

std::array<std::int16_t, kSampleValueColumns> distinctValues() {
    std::array<std::int16_t, kSampleValueColumns> v{};
    for (std::size_t i = 0; i < v.size(); ++i) v[i] = static_cast<std::int16_t>(static_cast<int>(i) * 37 - 900);
    return v;
}

QJsonObject sampleObject(const char* time = "2026-03-14T10:23:45") {
    QJsonObject values;
    const auto v = distinctValues();
    for (std::size_t i = 0; i < v.size(); ++i) values.insert(QString::fromLatin1(kEmp1Columns[i].data()), v[i]);
    return QJsonObject{{"time", time}, {"time_days", 46095.4}, {"values", values}};
}

std::string text(const QJsonObject& o) { return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString(); }

std::string withValue(const char* column, const QJsonValue& value) {
    QJsonObject o = sampleObject();
    QJsonObject values = o["values"].toObject();
    values[column] = value;
    o["values"] = values;
    return text(o);
}

TEST(SamplePayload, WhatARecorderPublishesIsReadWhole) {
    const DateTime local = makeDateTime({2026, 3, 14, 10, 23, 45});
    const auto r = parseSamplePayload(sampleJson(distinctValues(), local, 3600), berlin());
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(r.value->instantUs, utc("2026-03-14T09:23:45Z"));  // CET, +01:00
    EXPECT_TRUE(r.value->exactTime);
    EXPECT_EQ(r.value->values, distinctValues());
}

TEST(SamplePayload, ColumnsCountByNameInAnyOrder) {
    // Written by hand, last column first: the values still land by name.
    std::string json = R"({"time":"2026-03-14T10:23:45","values":{)";
    const auto v = distinctValues();
    for (int i = kSampleValueColumns - 1; i >= 0; --i)
        json += "\"" + std::string(kEmp1Columns[static_cast<std::size_t>(i)]) + "\":" +
                std::to_string(v[static_cast<std::size_t>(i)]) + (i > 0 ? "," : "}}");
    const auto r = parseSamplePayload(json, berlin());
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(r.value->values, v);
}

TEST(SamplePayload, AColumnNamedTwiceCountsOnceWithItsLastValue) {
    std::string json = text(sampleObject());
    json.insert(json.find("{\"AC\"") + 1, "\"Pd\":5,");  // a second Pd, before the first
    json.insert(json.rfind('}') - 1, ",\"Pd\":6");           // and a third at the end
    const auto r = parseSamplePayload(json, berlin());
    ASSERT_TRUE(r) << r.error << " in " << json;
    EXPECT_EQ(r.value->values[0], 6);
}

TEST(SamplePayload, UtcOffsetMakesTheTimeExactWhateverTheZone) {
    const std::pair<const char*, const char*> cases[] = {
        {"+05:30", "2026-03-14T04:53:45Z"}, {"-03:00", "2026-03-14T13:23:45Z"},
        {"Z", "2026-03-14T10:23:45Z"},      {"+0100", "2026-03-14T09:23:45Z"}};
    for (const auto& [offset, expected] : cases) {
        QJsonObject o = sampleObject();
        o["utc_offset"] = offset;
        const auto r = parseSamplePayload(text(o), berlin());
        ASSERT_TRUE(r) << offset << ": " << r.error;
        EXPECT_EQ(r.value->instantUs, utc(expected)) << offset;
        EXPECT_TRUE(r.value->exactTime);
    }
}

TEST(SamplePayload, ExtremeValuesAndWholeNumbersWrittenAsFractionsAreTaken) {
    auto r = parseSamplePayload(withValue("Pd", 32767), berlin());
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(r.value->values[0], 32767);
    r = parseSamplePayload(withValue("Sub3_free3", -32768), berlin());
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(r.value->values[49], -32768);
    std::string json = withValue("Ps", 0);
    json.replace(json.find("\"Ps\":0"), 6, "\"Ps\":7.0");
    r = parseSamplePayload(json, berlin());
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(r.value->values[1], 7);
}

struct Refusal {
    std::string payload;
    const char* reason;
};

TEST(SamplePayload, MalformedPayloadsAreRefusedWithTheirReason) {
    QJsonObject missing = sampleObject();
    QJsonObject values = missing["values"].toObject();
    values.remove("Td");
    missing["values"] = values;
    QJsonObject badOffset = sampleObject();
    badOffset["utc_offset"] = 3600;
    QJsonObject padded = sampleObject();
    padded["padding"] = QString(70 * 1024, 'x');
    const Refusal cases[] = {
        {text(missing), "missing column 'Td'"},
        {withValue("Bogus", 1), "unknown column 'Bogus'"},
        {withValue("Pd", "12"), "column 'Pd' is not a number"},
        {withValue("Pd", QJsonValue::Null), "column 'Pd' is not a number"},
        {withValue("Pd", true), "column 'Pd' is not a number"},
        {withValue("Pd", 1.5), "column 'Pd' is not a whole number"},
        {withValue("Pd", 32768), "column 'Pd' is out of range"},
        {withValue("Pd", -32769), "column 'Pd' is out of range"},
        {withValue("Pd", 1e300), "column 'Pd' is out of range"},
        {text(badOffset), "utc_offset is not a string"},
        {R"({"time":"2026-03-14T10:23:45","values":[1,2]})", "values is not an object"},
        {R"({"time":"2026-03-14T10:23:45"})", "no values"},
        {R"({"values":{}})", "no time"},
        {R"({"time":46095.4,"values":{}})", "time is not a string"},
        {R"({"time":"2026-03-14 10:23:45","values":{}})", "is not YYYY-MM-DDTHH:MM:SS"},
        {R"({"time":"2026-03-14T10:23:45Z","values":{}})", "is not YYYY-MM-DDTHH:MM:SS"},
        {R"({"time":"2026-02-29T10:23:45","values":{}})", "is not YYYY-MM-DDTHH:MM:SS"},
        {R"({"time":"2026-03-14T24:00:00","values":{}})", "is not YYYY-MM-DDTHH:MM:SS"},
        {R"([1,2,3])", "not a JSON object"},
        {R"({"time":)", "not JSON"},
        {"", "not JSON"},
        {text(sampleObject()) + " {}", "not JSON"},
        {std::string(R"({"time":"2026-03-14T10:23:45","values":{},"note":")") + "\xff\"}", "not JSON"},
        {R"({"time":"2026-03-14T10:23:45","values":{"Pd":01}})", "not JSON"},
        {text(padded), "over the limit of 65536"},
    };
    for (const Refusal& c : cases) {
        const auto r = parseSamplePayload(c.payload, berlin());
        EXPECT_FALSE(r) << c.reason;
        EXPECT_NE(r.error.find(c.reason), std::string::npos) << "expected '" << c.reason << "', got " << r.error;
    }
}

TEST(SamplePayload, BadOffsetsAreRefused) {
    for (const char* offset : {"+1", "01:00", "+15:00", "+14:30", "+01:60", "UTC", "+01:00:00", ""}) {
        QJsonObject o = sampleObject();
        o["utc_offset"] = offset;
        const auto r = parseSamplePayload(text(o), berlin());
        EXPECT_FALSE(r) << offset;
        EXPECT_NE(r.error.find("is not an offset like +01:00"), std::string::npos) << r.error;
    }
    QJsonObject widest = sampleObject();
    widest["utc_offset"] = "-14:00";
    EXPECT_TRUE(parseSamplePayload(text(widest), berlin()));
}

TEST(SamplePayload, TimesBefore2000OrMoreThanADayAheadAreRefused) {
    const auto at = [](const char* time) {
        QJsonObject o = sampleObject(time);
        o["utc_offset"] = "Z";
        return parseSamplePayload(text(o), berlin());
    };
    EXPECT_TRUE(at("2000-01-01T00:00:00"));
    EXPECT_NE(at("1999-12-31T23:59:59").error.find("before 2000-01-01"), std::string::npos);
    EXPECT_TRUE(at("2026-03-15T12:00:00"));  // now + 24 h exactly
    EXPECT_NE(at("2026-03-15T12:00:01").error.find("more than a day ahead"), std::string::npos);
    // Without an offset the limit is checked on the instant, not the text:
    // 2026-03-15T13:00:00 in Berlin is 12:00 UTC, a day ahead exactly.
    EXPECT_TRUE(parseSamplePayload(text(sampleObject("2026-03-15T13:00:00")), berlin()));
    EXPECT_FALSE(parseSamplePayload(text(sampleObject("2026-03-15T13:00:01")), berlin()));
}

// A local time in a daylight-saving change, read in `zone` with the office's
// clock at `now`.
Micros localInstant(const char* zone, const char* local, const char* now) {
    const auto r = parseSamplePayload(text(sampleObject(local)), {QTimeZone(zone), utc(now)});
    EXPECT_TRUE(r) << r.error;
    return r ? r.value->instantUs : 0;
}

TEST(SampleTime, ATimeInTheSpringGapIsReadWithTheOffsetBeforeIt) {
    // 02:30 does not exist on 2024-03-31 in Berlin: 02:30 CET is 03:30 CEST.
    EXPECT_EQ(localInstant("Europe/Berlin", "2024-03-31T02:30:00", "2024-03-31T02:00:00Z"),
              utc("2024-03-31T01:30:00Z"));
    // Lord Howe Island moves by half an hour: 02:15 read at +10:30.
    EXPECT_EQ(localInstant("Australia/Lord_Howe", "2024-10-06T02:15:00", "2024-10-05T16:00:00Z"),
              utc("2024-10-05T15:45:00Z"));
    // Either side of the gap is unambiguous.
    EXPECT_EQ(localInstant("Europe/Berlin", "2024-03-31T01:59:59", "2024-03-31T02:00:00Z"),
              utc("2024-03-31T00:59:59Z"));
    EXPECT_EQ(localInstant("Europe/Berlin", "2024-03-31T03:00:00", "2024-03-31T02:00:00Z"),
              utc("2024-03-31T01:00:00Z"));
}

TEST(SampleTime, ATimeInTheAutumnFoldIsTheLatestThatIsNotInTheFuture) {
    // 02:30 happens twice on 2024-10-27 in Berlin: 00:30Z (CEST), 01:30Z (CET).
    const char* local = "2024-10-27T02:30:00";
    EXPECT_EQ(localInstant("Europe/Berlin", local, "2024-10-27T00:30:04Z"), utc("2024-10-27T00:30:00Z"));
    EXPECT_EQ(localInstant("Europe/Berlin", local, "2024-10-27T01:30:04Z"), utc("2024-10-27T01:30:00Z"));
    EXPECT_EQ(localInstant("Europe/Berlin", local, "2024-10-28T00:00:00Z"), utc("2024-10-27T01:30:00Z"));
    // Before either instant (a recorder clock slightly ahead): the earlier.
    EXPECT_EQ(localInstant("Europe/Berlin", local, "2024-10-27T00:29:00Z"), utc("2024-10-27T00:30:00Z"));
    // Southern hemisphere, half-hour change: 01:45 at +11:00 or +10:30.
    EXPECT_EQ(localInstant("Australia/Lord_Howe", "2024-04-07T01:45:00", "2024-04-06T15:00:00Z"),
              utc("2024-04-06T14:45:00Z"));
    EXPECT_EQ(localInstant("Australia/Lord_Howe", "2024-04-07T01:45:00", "2024-04-06T15:16:00Z"),
              utc("2024-04-06T15:15:00Z"));
}

TEST(SampleTime, ZoneWithoutDaylightSavingAndInvalidZone) {
    EXPECT_EQ(localInstant("Asia/Tokyo", "2026-03-14T10:00:00", "2026-03-14T12:00:00Z"), utc("2026-03-14T01:00:00Z"));
    const auto r = parseSamplePayload(text(sampleObject()), {QTimeZone(), kNow});
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(r.value->instantUs, utc("2026-03-14T10:23:45Z"));  // an invalid zone counts as UTC
}

TEST(FaultPayload, WhatARecorderPublishesIsRead) {
    const auto r = parseFaultPayload(faultJson(1, makeDateTime({2026, 3, 14, 11, 0, 5}), 3600, "Com fault ③"), berlin());
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(r.value->list, FaultList::ComErr);
    EXPECT_EQ(r.value->instantUs, utc("2026-03-14T10:00:05Z"));
    EXPECT_EQ(r.value->status, "Com fault ③");
    EXPECT_EQ(faultListName(r.value->list), "ComErr");
    const auto exact =
        parseFaultPayload(R"({"list":"ProtErr","time":"2026-03-14T11:00:05","utc_offset":"+02:00","status":""})",
                          berlin());
    ASSERT_TRUE(exact) << exact.error;
    EXPECT_EQ(exact.value->instantUs, utc("2026-03-14T09:00:05Z"));
    EXPECT_EQ(exact.value->status, "");
}

TEST(FaultPayload, MalformedPayloadsAreRefusedWithTheirReason) {
    const Refusal cases[] = {
        {R"({"time":"2026-03-14T11:00:05","status":"x"})", "no list"},
        {R"({"list":0,"time":"2026-03-14T11:00:05","status":"x"})", "list is not a string"},
        {R"({"list":"err","time":"2026-03-14T11:00:05","status":"x"})", "unknown list 'err'"},
        {R"({"list":"Err","time":"2026-03-14T11:00:05"})", "no status"},
        {R"({"list":"Err","time":"2026-03-14T11:00:05","status":["x"]})", "status is not a string"},
        {R"({"list":"Err","status":"x"})", "no time"},
        {R"({"list":"Err","time":"1999-01-01T00:00:00","status":"x"})", "before 2000-01-01"},
        {R"(["Err"])", "not a JSON object"},
    };
    for (const Refusal& c : cases) {
        const auto r = parseFaultPayload(c.payload, berlin());
        EXPECT_FALSE(r) << c.reason;
        EXPECT_NE(r.error.find(c.reason), std::string::npos) << "expected '" << c.reason << "', got " << r.error;
    }
}

TEST(StatusPayload, OnlyTheTwoWordsAreTaken) {
    EXPECT_EQ(parseStatusPayload("online").value, SiteStatus::Online);
    EXPECT_EQ(parseStatusPayload("offline").value, SiteStatus::Offline);
    for (const char* bad : {"Online", "online\n", "", "{\"status\":\"online\"}"}) {
        const auto r = parseStatusPayload(bad);
        EXPECT_FALSE(r) << bad;
        EXPECT_NE(r.error.find("neither online nor offline"), std::string::npos);
    }
}

TEST(SiteName, QuotesSemicolonsAndPercentAreHarmlessAndAllowed) {
    for (const char* site : {"north", "Nord-Süd 2", "o'brien\"; DROP TABLE alarms;--", "100%_done", "站点一",
                             "$SYS", "a*b"})
        EXPECT_EQ(siteNameError(site), "") << site;
    EXPECT_EQ(siteNameError(std::string(64, 'a')), "");
    std::string e32;
    for (int i = 0; i < 32; ++i) e32 += "é";  // 64 bytes
    EXPECT_EQ(siteNameError(e32), "");
    EXPECT_NE(siteNameError(e32 + "é"), "");
}

TEST(SiteName, TopicSyntaxPathStepsControlsAndBadUtf8AreRefused) {
    const std::pair<std::string, const char*> cases[] = {
        {"", "empty"},
        {std::string(65, 'a'), "longer than 64 bytes"},
        {"a/b", "holds '/'"},
        {"a+b", "holds '+'"},
        {"a#b", "holds '#'"},
        {"a\\b", "holds '\\'"},
        {".", "path step"},
        {"..", "path step"},
        {"a\nb", "control or format character"},
        {std::string("a\0b", 3), "control or format character"},
        {"a\x7f", "control or format character"},
        {"a\xc2\x85", "control or format character"},      // NEL (C1)
        {"evil\xe2\x80\xaetxt", "control or format character"},  // right-to-left override
        {"a\xe2\x80\xa8", "control or format character"},  // line separator
        {"\xff\xfe", "not valid UTF-8"},
        {"\xc0\xaf", "not valid UTF-8"},  // overlong '/'
        {" north", "blank"},
        {"north ", "blank"},
    };
    for (const auto& [site, reason] : cases) {
        const std::string e = siteNameError(site);
        EXPECT_NE(e.find(reason), std::string::npos) << "site " << site << ": expected '" << reason << "', got " << e;
    }
}

TEST(SiteTopic, PrefixSiteAndKindAreSplit) {
    auto r = parseSiteTopic("plants", "plants/north/sample");
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(r.value->site, "north");
    EXPECT_EQ(r.value->kind, TopicKind::Sample);
    r = parseSiteTopic("acme/plants/", "acme/plants/o'brien/faults");
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(r.value->site, "o'brien");
    EXPECT_EQ(r.value->kind, TopicKind::Faults);
    r = parseSiteTopic("", "north/status");
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(r.value->kind, TopicKind::Status);
    EXPECT_EQ(parseSiteTopic("plants", "plants/north/raw").value->kind, TopicKind::Raw);
    EXPECT_EQ(parseSiteTopic("plants", "plants/north/alarms").value->kind, TopicKind::Alarms);
}

TEST(SiteTopic, TopicsOutsideTheSchemeAreRefused) {
    const std::pair<const char*, const char*> cases[] = {
        {"other/north/sample", "not under the prefix"}, {"plantsX/north/sample", "not under the prefix"},
        {"plants", "not under the prefix"},             {"plants/north", "not PREFIX/SITE/kind"},
        {"plants/a/b/sample", "not PREFIX/SITE/kind"},  {"plants/north/bogus", "unknown topic kind"},
        {"plants//sample", "empty site name"},          {"plants/../sample", "path step"},
    };
    for (const auto& [topic, reason] : cases) {
        const auto r = parseSiteTopic("plants", topic);
        EXPECT_FALSE(r) << topic;
        EXPECT_NE(r.error.find(reason), std::string::npos) << topic << ": " << r.error;
    }
}

TEST(Refusals, AreLoggedOnceWithTheirCauseAndControlsBlanked) {
    test::LogCapture log;
    for (int i = 0; i < 5; ++i) reportRefusal("sample from north-refusal-test", "missing column 'Td'");
    reportRefusal("sample from evil\nsite", "bad\r\ntime");
    const auto lines = log.of(log::kHub);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("refused sample from north-refusal-test: missing column 'Td'"), std::string::npos);
    EXPECT_NE(lines[1].find("evil?site: bad??time"), std::string::npos) << lines[1];
}

TEST(PrintableText, InvalidUtf8IsReplacedAndControlsBecomeTheReplacement) {
    EXPECT_EQ(printableText("a\tb\nc\x7f", ' '), "a b c ");
    EXPECT_EQ(printableText("ok \xff end", '?'), "ok \xef\xbf\xbd end");
    EXPECT_EQ(printableText("温度③", '?'), "温度③");
}

}  // namespace
}  // namespace orlix::hub
