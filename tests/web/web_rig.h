#pragma once
// The office with its pages, in the test's process, against a real
// mosquitto and a real PostgreSQL cluster: a HubService and a WebServer on
// 127.0.0.1 and a free port, users made through the same store the hub
// uses, and an HTTP client that keeps its own cookie and CSRF token.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QTcpSocket>
#include <fstream>
#include <memory>

#include "hub/hub_service.h"
#include "hub_test_util.h"
#include "mosquitto_broker.h"
#include "scratch_dir.h"
#include "wait_until.h"
#include "web/auth_store.h"
#include "web/web_server.h"

namespace orlix::test {

// Offline after 3 s of quiet, so that tests need not wait a minute.
inline constexpr const char* kWebRules =
    "[hub]\noffline_after = 3s\n"
    "[threshold:pd-high]\nvalue = Pd\nabove = 30000\n";

struct WebRig {
    explicit WebRig(const std::string& rules = kWebRules) {
        ensureCoreApp("web_tests");
        db = freshHubDatabase();
        const std::string path = dir.file("rules.ini");
        std::ofstream(path) << rules;
        const hub::RulesLoad load = hub::loadAlarmRules(QString::fromStdString(path));
        if (!broker.ok() || db.empty() || !load.errors.empty()) return;
        hub::HubOptions o;
        o.broker.url = broker.url("plants");
        o.clientId = "orlix-hub-web-test";
        o.db = db;
        o.rulesPath = path;
        hub = std::make_unique<hub::HubService>(o, load.rules);
        std::string error;
        if (!hub->start(error)) return;
        web = std::make_unique<web::WebServer>(*hub, db, web::WebServerOptions{});
        if (!web->start(error)) web.reset();
    }
    ~WebRig() {
        web.reset();
        if (hub) hub->stop();
    }
    bool ok() const { return web != nullptr; }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(web->port()); }
    void addUser(const std::string& name, web::Role role, const std::string& password) {
        hub::PgConnection c(db);
        web::AuthStore store(c, db);
        ASSERT_EQ(store.putUser(name, role, password), "");
    }
    std::string text(const std::string& sql, const std::vector<std::string>& params = {}) {
        hub::PgConnection c(db);
        const hub::PgResult r = c.exec(sql, params);
        return r.ok() && r.rows() == 1 ? r.text(0, 0) : std::string("<none>");
    }

    ScratchDir dir{"orlix_web"};
    MosquittoBroker broker;
    std::string db;
    std::unique_ptr<hub::HubService> hub;
    std::unique_ptr<web::WebServer> web;
};

struct Reply {
    int status = 0;
    QByteArray body;
    QMap<QByteArray, QByteArray> headers;  // lower-case names
    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
};

// Keeps no cookies of its own: the session cookie is sent as the test says.
class NoCookies final : public QNetworkCookieJar {
public:
    bool setCookiesFromUrl(const QList<QNetworkCookie>&, const QUrl&) override { return false; }
};

class Http {
public:
    explicit Http(std::string base) : base_(std::move(base)) {
        nam_.setCookieJar(new NoCookies);
        nam_.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    }

    Reply get(const std::string& path) { return send("GET", path, {}); }
    Reply post(const std::string& path, const QByteArray& body, bool withCsrf = true) {
        return send("POST", path, body, withCsrf);
    }
    Reply postJson(const std::string& path, const QJsonObject& o, bool withCsrf = true) {
        return post(path, QJsonDocument(o).toJson(QJsonDocument::Compact), withCsrf);
    }
    // Logs in; the cookie and the CSRF token are kept for what follows.
    Reply login(const std::string& name, const std::string& password) {
        Reply r = postJson("/api/login", {{"name", QString::fromStdString(name)},
                                          {"password", QString::fromStdString(password)}}, false);
        const QByteArray set = r.headers.value("set-cookie");
        if (r.status == 200) {
            cookie = set.left(set.indexOf(';')).toStdString();
            csrf = r.json()["csrf"].toString().toStdString();
        }
        return r;
    }
    Reply send(const QByteArray& verb, const std::string& path, const QByteArray& body, bool withCsrf = true,
               const QList<QPair<QByteArray, QByteArray>>& extra = {}) {
        QNetworkRequest q(QUrl(QString::fromStdString(base_ + path)));
        if (!cookie.empty()) q.setRawHeader("Cookie", QByteArray::fromStdString(cookie));
        if (withCsrf && !csrf.empty()) q.setRawHeader("X-CSRF-Token", QByteArray::fromStdString(csrf));
        q.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        for (const auto& [k, v] : extra) q.setRawHeader(k, v);
        std::unique_ptr<QNetworkReply> reply(nam_.sendCustomRequest(q, verb, body));
        qtWaitUntil([&] { return reply->isFinished(); }, 30000);
        Reply out;
        out.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        out.body = reply->readAll();
        for (const auto& [k, v] : reply->rawHeaderPairs()) out.headers[k.toLower()] = v;
        return out;
    }

    std::string cookie;
    std::string csrf;

private:
    std::string base_;
    QNetworkAccessManager nam_;
};

// Bytes straight onto a connection, for what no HTTP client would send;
// what came back until the server closed or `ms` passed.
inline QByteArray rawExchange(quint16 port, const QByteArray& bytes, int ms = 5000) {
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    if (!qtWaitUntil([&] { return s.state() == QAbstractSocket::ConnectedState; })) return {};
    s.write(bytes);
    QByteArray got;
    qtWaitUntil([&] {
        got += s.readAll();
        return s.state() == QAbstractSocket::UnconnectedState;
    }, ms);
    return got + s.readAll();
}

}  // namespace orlix::test
