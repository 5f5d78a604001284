// The office's pages, measured (not a test): orlix-hub --http as its own
// process against mosquitto and a throwaway PostgreSQL cluster, headless
// Chromium driven by web_pages_bench.py, and:
//   - a site's bus bytes to the field shown in an open browser (p50, p95);
//   - a fault to its alarm on the open alarms page;
//   - the fleet page with 1,000 sites: ready (Performance API mark);
//   - 30 days of one site's history: ready;
//   - the hub serving 50 live views (50 WebSocket clients, each watching
//     its own site at the real line rate): its CPU share and resident memory.
#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QWebSocket>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>

#include "hub/hub_schema.h"
#include "hub/pg_connection.h"
#include "mosquitto_broker.h"
#include "pg_cluster.h"
#include "scratch_dir.h"
#include "sim/plant_model.h"
#include "wait_until.h"
#include "web/auth_store.h"
#include "web/test_fleet.h"
#include "sampling/site_payloads.h"
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <sstream>
#include <cstring>

namespace {

using namespace orlix;
using test::qtWaitUntil;

std::int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

// The hub as its own process.
struct HubProcess {
    HubProcess(const std::string& db, const std::string& broker, int port, const std::string& logPath) {
        pid = test::spawnProcess({ORLIX_HUB_BIN, "--db", db, "--mqtt", broker, "--client-id", "orlix-hub-bench",
                                  "--http", "127.0.0.1:" + std::to_string(port)}, logPath);
        test::waitUntil([&] { return test::localPortAccepts(port); }, std::chrono::seconds(30));
    }
    ~HubProcess() {
        ::kill(pid, SIGTERM);
        test::waitForExit(pid, std::chrono::seconds(20));
    }
    // CPU seconds so far (user + system) and resident kB.
    double cpuSeconds() const {
        std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
        std::string s((std::istreambuf_iterator<char>(f)), {});
        std::istringstream rest(s.substr(s.rfind(')') + 2));
        std::string field;
        double ut = 0, st = 0;
        for (int i = 3; i <= 15 && rest >> field; ++i) {
            if (i == 14) ut = std::stod(field);
            if (i == 15) st = std::stod(field);
        }
        return (ut + st) / static_cast<double>(::sysconf(_SC_CLK_TCK));
    }
    long statusKb(const char* key) const {
        std::ifstream f("/proc/" + std::to_string(pid) + "/status");
        for (std::string line; std::getline(f, line);)
            if (line.rfind(key, 0) == 0) return std::stol(line.substr(std::strlen(key)));
        return -1;
    }
    pid_t pid = -1;
};

std::string login(int port) {
    QNetworkAccessManager nam;
    QNetworkRequest q(QUrl(QStringLiteral("http://127.0.0.1:%1/api/login").arg(port)));
    q.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    std::unique_ptr<QNetworkReply> r(nam.post(q, R"({"name": "bench", "password": "bench password"})"));
    qtWaitUntil([&] { return r->isFinished(); }, 30000);
    const QByteArray set = r->rawHeader("Set-Cookie");
    return set.left(set.indexOf(';')).toStdString();
}

// 1,000 sites with six hours of 5-minute summaries, and one with 30 days.
void fillFleet(const std::string& db) {
    hub::PgConnection c(db);
    c.exec("INSERT INTO sites (name, first_seen, last_seen, status, last_message) SELECT 'fleet-' || "
           "lpad(i::text, 4, '0'), now(), now(), 'online', now() - (i % 90) * interval '1 second' "
           "FROM generate_series(1, 1000) i");
    c.exec("INSERT INTO sites (name, first_seen, status) VALUES ('long', now(), 'online')");
    const std::string cols = "site, n, bucket, " + hub::eachValue("\"@_min\"", ", ") + ", " +
                             hub::eachValue("\"@_max\"", ", ") + ", " + hub::eachValue("\"@_sum\"", ", ");
    const std::string v = "((s.id * 37 + extract(epoch FROM b)::bigint / 300) % 1500)::smallint";
    const std::string vals = "s.id, 75, b, " + hub::eachValue(v, ", ") + ", " + hub::eachValue(v, ", ") + ", " +
                             hub::eachValue("75 * " + v, ", ");
    const auto fill = [&](const std::string& which, const char* span) {
        const hub::PgResult r = c.exec("INSERT INTO summaries_5min (" + cols + ") SELECT " + vals +
                                       " FROM sites s, generate_series(date_trunc('hour', now()) - interval '" + span +
                                       "', now(), interval '5 minutes') b WHERE " + which);
        if (!r.ok()) std::fprintf(stderr, "filling summaries failed: %s\n", r.error().c_str());
    };
    fill("s.name LIKE 'fleet-%'", "6 hours");
    fill("s.name = 'long'", "30 days");
}

}  // namespace


namespace {

struct Bench {
    test::ScratchDir dir{"orlix_web_bench"};
    test::PgCluster pg;
    test::MosquittoBroker broker;
    std::string db;
    int port = test::freeLocalPort();
    std::unique_ptr<HubProcess> hub;
    std::unique_ptr<MqttClient> client;
    std::map<std::string, std::int64_t> sentMs;  // what was published when

    bool start() {
        if (!pg.ok() || !broker.ok() || !pg.createDatabase("bench")) return false;
        db = pg.url("bench");
        hub::PgConnection c(db);
        if (!hub::ensureSchema(c).ok) return false;
        web::AuthStore(c, db).putUser("bench", web::Role::Admin, "bench password");
        fillFleet(db);
        std::filesystem::create_directories(ORLIX_BENCH_ARTIFACTS);
        hub = std::make_unique<HubProcess>(db, broker.url("plants"), port, ORLIX_BENCH_ARTIFACTS "/hub.log");
        MqttClientSettings s;
        s.url = *parseMqttUrl(broker.url("plants")).url;
        client = std::make_unique<MqttClient>(s, MqttClient::Events{});
        std::string error;
        return client->start(error) && qtWaitUntil([&] { return client->connected(); });
    }

    // A5 frames whose field 12 (data byte 11, an integer) shows n.
    void probe(int n) {
        static const std::vector<std::uint8_t> a5 = PlantModel(1, {0, 0, false}).nextFrame();
        std::array<std::uint8_t, 60> data{};
        std::copy(a5.begin() + 2, a5.begin() + 62, data.begin());
        data[11] = static_cast<std::uint8_t>(n);
        sentMs["probe " + std::to_string(n)] = nowMs();
        client->publish("plants/probe/raw", buildFrame(0xA5, data), 0);
    }

    void fault(const std::string& site) {
        sentMs["fault " + site] = nowMs();
        client->publish("plants/" + site + "/faults", faultJson(0, localNow(), utcOffsetSecondsAt(unixMicrosNow()), "EEPROM"), 1);
    }

    // "probes N": N probes 300 ms apart; "fault SITE".
    void act(const std::string& line) {
        if (line.rfind("probes ", 0) == 0) {
            const int n = std::stoi(line.substr(7));
            for (int i = 1; i <= n; ++i) {
                probe(i);
                QTest::qWait(300);
            }
        } else if (line.rfind("fault ", 0) == 0) {
            fault(line.substr(6));
        }
    }

    // Runs a scenario of web_pages_bench.py; its RESULT line's JSON.
    QJsonObject pages(const char* scenario) {
        QProcess p;
        QJsonObject result;
        QObject::connect(&p, &QProcess::readyReadStandardOutput, [&] {
            while (p.canReadLine()) {
                const std::string line = p.readLine().trimmed().toStdString();
                if (line.rfind("RESULT ", 0) == 0) {
                    result = QJsonDocument::fromJson(QByteArray::fromStdString(line.substr(7))).object();
                } else if (line.rfind("probes ", 0) == 0 || line.rfind("fault ", 0) == 0) {
                    act(line);
                    p.write("ok\n");
                } else {
                    std::printf("  [%s] %s\n", scenario, line.c_str());
                }
            }
        });
        QObject::connect(&p, &QProcess::readyReadStandardError,
                         [&] { std::fprintf(stderr, "%s", p.readAllStandardError().constData()); });
        p.start(QStringLiteral("/usr/bin/python3"),
                {QStringLiteral(ORLIX_PAGES_BENCH_PY), QString::fromLatin1(scenario),
                 QStringLiteral("http://127.0.0.1:%1").arg(port), QStringLiteral(ORLIX_BENCH_ARTIFACTS)});
        qtWaitUntil([&] { return p.state() == QProcess::NotRunning; }, 600000);
        return result;
    }

    void latency() {
        const QJsonObject r = pages("latency");
        std::vector<double> ms;
        for (auto it = r.begin(); it != r.end(); ++it)
            ms.push_back(it.value().toDouble() - static_cast<double>(sentMs["probe " + it.key().toStdString()]));
        const std::size_t sent = static_cast<std::size_t>(std::count_if(
            sentMs.begin(), sentMs.end(), [](const auto& e) { return e.first.rfind("probe", 0) == 0; }));
        const auto within = std::count_if(ms.begin(), ms.end(), [](double v) { return v <= 2000; });
        std::printf("bus bytes -> field in the browser: %zu of %zu shown, p50 %.0f ms, p95 %.0f ms, max %.0f ms; "
                    "%.1f %% within 2 s\n", ms.size(), sent, percentile(ms, 0.5), percentile(ms, 0.95),
                    percentile(ms, 1.0), sent ? 100.0 * static_cast<double>(within) / static_cast<double>(sent) : 0);
    }

    void alarms() {
        const QJsonObject r = pages("alarms");
        std::vector<double> ms;
        for (auto it = r.begin(); it != r.end(); ++it)
            ms.push_back(it.value().toDouble() - static_cast<double>(sentMs["fault " + it.key().toStdString()]));
        std::printf("fault -> alarm on the open alarms page: %zu of 5 shown, p50 %.0f ms, max %.0f ms\n", ms.size(),
                    percentile(ms, 0.5), percentile(ms, 1.0));
    }

    void ready(const char* scenario, const char* what) {
        const QJsonObject r = pages(scenario);
        std::vector<double> ms;
        for (const QJsonValue& v : r["ready"].toArray()) ms.push_back(v.toDouble());
        std::printf("%s: ready after p50 %.0f ms, max %.0f ms (%zu loads; %s)\n", what, percentile(ms, 0.5),
                    percentile(ms, 1.0), ms.size(), r["note"].toString().toUtf8().constData());
    }

    void liveLoad(int watchers, int seconds) {
        test::TestFleet fleet(broker.url("plants"), "plants", test::FleetOptions{500, 8, 0});
        for (int i = 1; i <= watchers; ++i) fleet.add("live-" + std::to_string(i), static_cast<std::uint32_t>(i));
        QTest::qWait(10000);
        std::printf("%d sites publishing: broker %s, %llu samples sent\n", watchers, fleet.connected() ? "up" : "down",
                    static_cast<unsigned long long>(fleet.samplesSent()));
        const auto cpu = [&](int s) {
            const double a = hub->cpuSeconds();
            QTest::qWait(s * 1000);
            return 100.0 * (hub->cpuSeconds() - a) / s;
        };
        const double idle = cpu(seconds / 2);
        const long rssIdle = hub->statusKb("VmRSS:");
        const std::string cookie = login(port);
        std::vector<std::unique_ptr<QWebSocket>> sockets;
        int snapshots = 0;
        for (int i = 1; i <= watchers; ++i) {
            auto ws = std::make_unique<QWebSocket>();
            QNetworkRequest q(QUrl(QStringLiteral("ws://127.0.0.1:%1/live").arg(port)));
            q.setRawHeader("Cookie", QByteArray::fromStdString(cookie));
            const QString watch = QStringLiteral("{\"watch\": \"live-%1\"}").arg(i);
            QWebSocket* raw = ws.get();
            QObject::connect(raw, &QWebSocket::connected, [raw, watch] { raw->sendTextMessage(watch); });
            QObject::connect(raw, &QWebSocket::textMessageReceived,
                             [&snapshots](const QString& m) { snapshots += m.startsWith("{\"type\":\"snapshot\""); });
            ws->open(q);
            sockets.push_back(std::move(ws));
        }
        qtWaitUntil([&] { return snapshots == watchers; }, 60000);
        QTest::qWait(5000);
        const double busy = cpu(seconds);
        std::printf("hub with %d sites publishing, no live view: CPU %.1f %% of a core, RSS %ld kB\n", watchers, idle,
                    rssIdle);
        std::printf("hub with %d live views open (%d snapshots): CPU %.1f %% of a core, RSS %ld kB, peak RSS %ld kB\n",
                    watchers, snapshots, busy, hub->statusKb("VmRSS:"), hub->statusKb("VmHWM:"));
        pages("screens");  // while the sites still publish
    }
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Bench b;
    if (!b.start()) {
        std::fprintf(stderr, "web_bench: the cluster, the broker or the hub did not start\n");
        return 1;
    }
    std::printf("orlix-hub --http on 127.0.0.1:%d, 1,000 sites with 6 h of summaries, one with 30 days\n", b.port);
    // "web_bench live" measures the live views alone.
    const bool all = argc < 2 || std::string(argv[1]) != "live";
    if (all) {
        b.latency();
        b.alarms();
        b.ready("fleet", "fleet page with 1,000 sites");
        b.ready("history", "30 days of one site's history");
    }
    b.liveLoad(50, all ? 60 : 20);
    return 0;
}
