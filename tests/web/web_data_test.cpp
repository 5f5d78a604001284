// The fleet's data through the API and the WebSocket, with sites that
// publish as their recorders do: the fleet list, ranges of samples with
// their gaps, an alarm worked through a command, a live view decoded by the
// hub, users, rules, and orlix-hub's user commands.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QProcess>
#include <QWebSocket>

#include "hub/sample_store.h"
#include "log_capture.h"
#include "test_fleet.h"
#include "web_rig.h"

namespace orlix::web {
namespace {

using test::Http;
using test::qtWaitUntil;
using test::Reply;
using test::WebRig;

// A WebSocket client that keeps every message.
struct LiveClient {
    LiveClient(quint16 port, const std::string& cookie, const QByteArray& origin = {}) {
        QNetworkRequest q(QUrl(QStringLiteral("ws://127.0.0.1:%1/live").arg(port)));
        if (!cookie.empty()) q.setRawHeader("Cookie", QByteArray::fromStdString(cookie));
        if (!origin.isEmpty()) q.setRawHeader("Origin", origin);
        QObject::connect(&socket, &QWebSocket::textMessageReceived,
                         [this](const QString& m) { messages.push_back(QJsonDocument::fromJson(m.toUtf8()).object()); });
        QObject::connect(&socket, &QWebSocket::disconnected, [this] { closed = true; });
        socket.open(q);
    }
    int count(const char* type) const {
        int n = 0;
        for (const QJsonObject& m : messages) n += m["type"].toString() == QLatin1String(type);
        return n;
    }
    QWebSocket socket;
    std::vector<QJsonObject> messages;
    bool closed = false;
};

struct DataTest : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(rig.ok());
        rig.addUser("emil", Role::Engineer, "engineer password");
        ASSERT_EQ(http.login("emil", "engineer password").status, 200);
    }
    WebRig rig;
    Http http{rig.ok() ? rig.base() : std::string()};
};

// Samples straight into the store, every 4 s from `fromUs`, leaving out
// those in [gapFromUs, gapToUs).
void storeSamples(const std::string& db, const std::string& site, hub::Micros fromUs, int n, hub::Micros gapFromUs,
                  hub::Micros gapToUs) {
    hub::PgConnection c(db);
    hub::SampleStore store(c);
    const std::int32_t id = *store.siteId(site);
    std::vector<hub::HubSample> samples;
    for (int i = 0; i < n; ++i) {
        const hub::Micros t = fromUs + i * test::kStepUs;
        if (t >= gapFromUs && t < gapToUs) continue;
        samples.push_back(test::sampleAt(id, t));
    }
    ASSERT_TRUE(store.storeSamples(samples).ok);
}

TEST_F(DataTest, ARangeComesAsRawSamplesOrSummariesWithItsGapsAndAsCsv) {
    const hub::Micros t0 = test::utcUs(2026, 3, 14, 8);
    storeSamples(rig.db, "north", t0, 2000, t0 + 400 * test::kStepUs, t0 + 410 * test::kStepUs);
    const auto range = [](hub::Micros a, hub::Micros b) {
        return "?from=" + hub::isoInstantText(a, QTimeZone::utc()) + "&to=" + hub::isoInstantText(b, QTimeZone::utc());
    };
    const std::string from = range(t0, t0 + hub::kMicrosPerHour);
    const Reply raw = http.get("/api/sites/north/samples" + QUrl::toPercentEncoding(QString::fromStdString(from), "?=&").toStdString());
    ASSERT_EQ(raw.status, 200) << raw.body.toStdString();
    const QJsonObject d = raw.json();
    EXPECT_EQ(d["resolution"].toString(), "raw");
    const QJsonArray t = d["t"].toArray();
    const QJsonArray pd = d["values"]["0"].toArray();
    ASSERT_EQ(t.size(), pd.size());
    EXPECT_EQ(t.size(), 900 - 10 + 1);  // an hour less the gap, plus the gap's one null point
    int gaps = 0;
    for (const QJsonValue& v : pd) gaps += v.isNull();
    EXPECT_EQ(gaps, 1);
    EXPECT_EQ(pd[0].toInt(), test::sampleAt(1, t0).values[0]);
    EXPECT_FALSE(d["texts"]["0"].toObject().isEmpty());

    const Reply day = http.get("/api/sites/north/samples" +
                               QUrl::toPercentEncoding(QString::fromStdString(range(t0, t0 + hub::kMicrosPerDay)), "?=&").toStdString());
    ASSERT_EQ(day.status, 200);
    EXPECT_EQ(day.json()["resolution"].toString(), "summary");
    EXPECT_EQ(day.json()["step"].toInt(), 300000);
    // 2000 samples of 4 s are 133 minutes: 27 buckets of 5 minutes, none missing
    EXPECT_EQ(day.json()["t"].toArray().size(), 27);

    const Reply csv = http.get("/api/sites/north/samples.csv" + QUrl::toPercentEncoding(QString::fromStdString(from), "?=&").toStdString());
    ASSERT_EQ(csv.status, 200);
    EXPECT_TRUE(csv.headers.value("content-type").startsWith("text/csv"));
    const QList<QByteArray> lines = csv.body.trimmed().split('\n');
    EXPECT_TRUE(lines[0].startsWith("time,late,Pd,Ps,"));
    EXPECT_EQ(lines.size(), 1 + 890);
}

TEST_F(DataTest, AFaultsAlarmIsAcknowledgedThroughTheLeadingHubAndExported) {
    test::TestFleet fleet(rig.broker.url("plants"), "plants");
    fleet.add("north", 7);
    ASSERT_TRUE(qtWaitUntil([&] { return fleet.connected(); }));
    ASSERT_TRUE(qtWaitUntil([&] { return rig.text("SELECT count(*) FROM sites WHERE name = 'north'") == "1"; }));
    fleet.fault("north", 0, "EEPROM");
    ASSERT_TRUE(qtWaitUntil([&] {
        const QJsonArray a = http.get("/api/alarms").json()["alarms"].toArray();
        return !a.isEmpty() && a[0]["state"].toString() == "unacknowledged";
    }, 20000));
    const QJsonObject alarm = http.get("/api/alarms?site=north").json()["alarms"].toArray()[0].toObject();
    EXPECT_EQ(alarm["source"].toString(), "Err");
    EXPECT_EQ(alarm["message"].toString(), "EEPROM");

    const Reply put = http.postJson("/api/alarms/command", {{"site", "north"}, {"source", "Err"}, {"command", "acknowledge"}});
    ASSERT_EQ(put.status, 202) << put.body.toStdString();
    const std::string id = std::to_string(put.json()["id"].toInteger());
    ASSERT_TRUE(qtWaitUntil([&] { return http.get("/api/alarms/command/" + id).json()["done"].toBool(); }, 20000));
    EXPECT_EQ(http.get("/api/alarms/command/" + id).json()["outcome"].toString(), "done");
    const QJsonObject acked = http.get("/api/alarms").json()["alarms"].toArray()[0].toObject();
    EXPECT_EQ(acked["state"].toString(), "acknowledged");
    EXPECT_EQ(acked["ackBy"].toString(), "emil");

    // Acknowledging again is refused by the leader, and the page hears so.
    const Reply again = http.postJson("/api/alarms/command", {{"site", "north"}, {"source", "Err"}, {"command", "acknowledge"}});
    const std::string id2 = std::to_string(again.json()["id"].toInteger());
    ASSERT_TRUE(qtWaitUntil([&] { return http.get("/api/alarms/command/" + id2).json()["done"].toBool(); }, 20000));
    EXPECT_NE(http.get("/api/alarms/command/" + id2).json()["outcome"].toString(), "done");

    const Reply csv = http.get("/api/alarms/history.csv");
    ASSERT_EQ(csv.status, 200);
    EXPECT_TRUE(csv.body.startsWith("site,source,time,event,from,to,by,why\n"));
    EXPECT_TRUE(csv.body.contains(",acknowledged,unacknowledged,acknowledged,emil,")) << csv.body.toStdString();

    // A sample every 4 s against the rig's offline_after of 3 s: the site
    // is online for a part of every interval, so the list is asked until it
    // says so.
    QJsonArray sites;
    EXPECT_TRUE(qtWaitUntil([&] {
        sites = http.get("/api/sites").json()["sites"].toArray();
        return sites.size() == 1 && sites.at(0)["online"].toBool();
    }, 20000));
    ASSERT_EQ(sites.size(), 1);
    EXPECT_EQ(sites.at(0)["alarms"]["acknowledged"].toInt(), 1);
}

TEST_F(DataTest, AWebSocketWithoutAValidSessionIsDroppedBeforeAnythingIsSent) {
    for (const std::string& cookie : std::vector<std::string>{"", "orlix_session=" + std::string(43, 'A')}) {
        LiveClient c(rig.web->port(), cookie);
        ASSERT_TRUE(qtWaitUntil([&] { return c.closed; }));
        EXPECT_TRUE(c.messages.empty());
    }
    LiveClient foreign(rig.web->port(), http.cookie, "http://evil.example");
    ASSERT_TRUE(qtWaitUntil([&] { return foreign.closed; }));
    EXPECT_TRUE(foreign.messages.empty());
    EXPECT_EQ(rig.web->sockets(), 0);
}

TEST_F(DataTest, ALiveViewIsDecodedByTheHubWhileWatchedAndUnsubscribedWhenTheLastLeaves) {
    test::TestFleet fleet(rig.broker.url("plants"), "plants");
    fleet.add("north", 11);
    auto a = std::make_unique<LiveClient>(rig.web->port(), http.cookie);
    auto b = std::make_unique<LiveClient>(rig.web->port(), http.cookie);
    ASSERT_TRUE(qtWaitUntil([&] { return a->socket.isValid() && b->socket.isValid(); }));
    a->socket.sendTextMessage(R"({"watch": "north"})");
    b->socket.sendTextMessage(R"({"watch": "north"})");
    ASSERT_TRUE(qtWaitUntil([&] { return a->count("snapshot") == 1 && b->count("snapshot") == 1; }));
    EXPECT_EQ(rig.web->live().watchers("north"), 2);
    EXPECT_EQ(a->messages[0]["fields"].toArray().size(), 160);
    // Fields change as the hub decodes the plant's frames; a 4 s sample follows.
    ASSERT_TRUE(qtWaitUntil([&] { return a->count("fields") >= 2 && a->count("sample") >= 1; }, 15000));
    QJsonObject sample;
    for (const QJsonObject& m : a->messages)
        if (m["type"].toString() == QLatin1String("sample")) sample = m;
    EXPECT_EQ(sample["values"].toObject().size(), 25);  // the curves of the four charts
    EXPECT_TRUE(sample["texts"].toObject().contains("0"));

    a.reset();
    ASSERT_TRUE(qtWaitUntil([&] { return rig.web->live().watchers("north") == 1; }));
    b->socket.sendTextMessage(R"({"watch": ""})");
    ASSERT_TRUE(qtWaitUntil([&] { return rig.web->live().watchedSites() == 0; }));
    const std::size_t seen = b->messages.size();
    QTest::qWait(1000);  // nothing more comes for an unwatched site
    EXPECT_EQ(b->messages.size(), seen);
}

TEST_F(DataTest, AdminsManageUsersAndTheRulesReloadOnlyWhenTheFileHolds) {
    Http admin(rig.base());
    rig.addUser("ada", Role::Admin, "admin password");
    ASSERT_EQ(admin.login("ada", "admin password").status, 200);
    EXPECT_EQ(admin.postJson("/api/users", {{"name", "tom"}, {"role", "viewer"}, {"password", "tom password"}}).status, 200);
    Http tom(rig.base());
    ASSERT_EQ(tom.login("tom", "tom password").status, 200);
    EXPECT_EQ(admin.postJson("/api/users", {{"name", "tom"}, {"role", "engineer"}}).status, 200);
    EXPECT_EQ(tom.get("/api/me").status, 401);  // a new role ends the sessions
    ASSERT_EQ(tom.login("tom", "tom password").status, 200);
    EXPECT_EQ(tom.get("/api/me").json()["role"].toString(), "engineer");
    EXPECT_EQ(admin.postJson("/api/users/remove", {{"name", "ada"}}).status, 409);
    EXPECT_EQ(admin.postJson("/api/users", {{"name", "ada"}, {"role", "viewer"}}).status, 409);
    EXPECT_EQ(admin.postJson("/api/users/remove", {{"name", "tom"}}).status, 200);
    EXPECT_EQ(tom.get("/api/me").status, 401);
    EXPECT_EQ(admin.postJson("/api/users/remove", {{"name", "tom"}}).status, 404);

    const QJsonObject rules = http.get("/api/rules").json();
    EXPECT_EQ(rules["offlineAfterSeconds"].toInt(), 3);
    EXPECT_EQ(rules["thresholds"][0]["name"].toString(), "pd-high");
    EXPECT_FALSE(rules["canReload"].toBool());
    std::ofstream(rig.hub->rulesPath()) << "[hub]\noffline_after = soon\n";
    const Reply refused = admin.post("/api/rules/reload", "{}");
    EXPECT_EQ(refused.status, 409);
    EXPECT_EQ(refused.json()["errors"].toArray().size(), 1);
    EXPECT_EQ(refused.json()["offlineAfterSeconds"].toInt(), 3);  // the rules in force stay
    std::ofstream(rig.hub->rulesPath()) << "[hub]\noffline_after = 9s\n";
    const Reply held = admin.post("/api/rules/reload", "{}");
    EXPECT_EQ(held.status, 200);
    EXPECT_EQ(held.json()["offlineAfterSeconds"].toInt(), 9);
}

int hubCommand(const QStringList& args, const QByteArray& input, QByteArray* err = nullptr) {
    QProcess p;
    p.start(QStringLiteral(ORLIX_HUB_BIN), args);
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(60000)) return -1;
    if (err) *err = p.readAllStandardError();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

TEST_F(DataTest, OrlixHubAddsChangesAndRemovesUsersWithThePasswordFromStandardInput) {
    const QString db = QString::fromStdString(rig.db);
    QByteArray err;
    EXPECT_EQ(hubCommand({"--db", db, "--add-user", "lena", "--role", "engineer"}, "lena password\n", &err), 0) << err.data();
    EXPECT_FALSE(err.contains("lena password"));
    Http lena(rig.base());
    EXPECT_EQ(lena.login("lena", "lena password").json()["role"].toString(), "engineer");
    EXPECT_EQ(hubCommand({"--db", db, "--add-user", "lena", "--role", "viewer"}, "new password\n"), 0);
    EXPECT_EQ(lena.get("/api/me").status, 401);
    EXPECT_EQ(Http(rig.base()).login("lena", "new password").json()["role"].toString(), "viewer");
    EXPECT_EQ(hubCommand({"--db", db, "--add-user", "lena", "--role", "root"}, "new password\n"), 2);
    EXPECT_EQ(hubCommand({"--db", db, "--add-user", "lena", "--role", "admin"}, "short\n"), 2);
    EXPECT_EQ(hubCommand({"--db", db, "--add-user", "lena", "--role", "admin"}, ""), 2);
    EXPECT_EQ(hubCommand({"--db", db, "--remove-user", "lena"}, ""), 0);
    EXPECT_EQ(hubCommand({"--db", db, "--remove-user", "lena"}, ""), 1);
    EXPECT_EQ(Http(rig.base()).login("lena", "new password").status, 401);
    // Plain HTTP beyond this machine needs saying so.
    EXPECT_EQ(hubCommand({"--db", db, "--mqtt", "mqtt://127.0.0.1:1/p", "--http", "0.0.0.0:1"}, ""), 2);
    EXPECT_EQ(hubCommand({"--db", db, "--mqtt", "mqtt://127.0.0.1:1/p", "--http", "127.0.0.1:1",
                          "--http-tls-cert", "c.pem"}, ""), 2);
}

}  // namespace
}  // namespace orlix::web
