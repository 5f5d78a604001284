#include "web/web_server.h"

#include <QFile>
#include <QHttpServerRequest>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QWebSocket>

#include "base/log.h"
#include "hub/payload_parser.h"
#include "web/http_input.h"
#include "web/request_guard.h"

namespace orlix::web {
namespace {

constexpr int kSessionCheckMs = 30'000;
constexpr int kAlarmPollMs = 1000;
constexpr qint64 kMaxSocketMessage = 4096;

const char* kSecurityHeaders =
    "Content-Security-Policy: default-src 'self'; img-src 'self' data:; style-src 'self'; script-src 'self'; "
    "connect-src 'self'; frame-ancestors 'none'; base-uri 'none'; form-action 'self'\r\n"
    "X-Content-Type-Options: nosniff\r\nX-Frame-Options: DENY\r\nReferrer-Policy: no-referrer\r\n";

const char* guardReason(RequestGuard::Verdict v) {
    switch (v) {
        case RequestGuard::Verdict::HeadTooLarge: return "its head is over 16 KiB";
        case RequestGuard::Verdict::BodyTooLarge: return "its body is over 64 KiB";
        case RequestGuard::Verdict::LengthRequired: return "its body has no length";
        default: return "its length cannot be read";
    }
}

// Every byte of a connection passes the guard before the server's parser:
// this handler is connected before the server's own.
void guardSocket(QTcpSocket* s) {
    auto guard = std::make_shared<RequestGuard>();
    QObject::connect(s, &QIODevice::readyRead, s, [s, guard] {
        const QByteArray fresh = s->peek(s->bytesAvailable());
        const RequestGuard::Verdict v =
            guard->feed({reinterpret_cast<const std::uint8_t*>(fresh.constData()), static_cast<std::size_t>(fresh.size())});
        const int status = RequestGuard::statusOf(v);
        if (status == 0) return;
        QObject::disconnect(s, &QIODevice::readyRead, nullptr, nullptr);
        log::failure(log::kWeb, "a request from " + s->peerAddress().toString().toStdString() + " was refused: " +
                                    guardReason(v));
        WebResponse r = WebResponse::error(status, guardReason(v));
        writeResponse(s, r, qobject_cast<QSslSocket*>(s) != nullptr, true);
    });
}

template <class Base>
class GuardedServer final : public Base {
public:
    explicit GuardedServer(QObject* parent) : Base(parent) {}
    QTcpSocket* nextPendingConnection() override {
        QTcpSocket* s = Base::nextPendingConnection();
        if (s) guardSocket(s);
        return s;
    }
};

Method methodOf(QHttpServerRequest::Method m) {
    if (m == QHttpServerRequest::Method::Get) return Method::Get;
    if (m == QHttpServerRequest::Method::Post) return Method::Post;
    return Method::Other;
}

bool loadTls(const std::string& certFile, const std::string& keyFile, QSslConfiguration& conf, std::string& error) {
    QFile cert(QString::fromStdString(certFile)), key(QString::fromStdString(keyFile));
    if (!cert.open(QIODevice::ReadOnly)) error = "cannot read " + certFile + ": " + cert.errorString().toStdString();
    else if (!key.open(QIODevice::ReadOnly)) error = "cannot read " + keyFile + ": " + key.errorString().toStdString();
    if (!error.empty()) return false;
    const QList<QSslCertificate> chain = QSslCertificate::fromData(cert.readAll(), QSsl::Pem);
    const QByteArray keyPem = key.readAll();
    QSslKey k(keyPem, QSsl::Rsa, QSsl::Pem);
    if (k.isNull()) k = QSslKey(keyPem, QSsl::Ec, QSsl::Pem);
    if (chain.isEmpty()) error = certFile + " holds no PEM certificate";
    else if (k.isNull()) error = keyFile + " holds no PEM RSA or EC private key (unencrypted)";
    if (!error.empty()) return false;
    conf = QSslConfiguration::defaultConfiguration();
    conf.setLocalCertificateChain(chain);
    conf.setPrivateKey(k);
    conf.setProtocol(QSsl::TlsV1_2OrLater);
    conf.setPeerVerifyMode(QSslSocket::VerifyNone);
    return true;
}

}  // namespace

void writeResponse(QTcpSocket* socket, const WebResponse& r, bool tls, bool close) {
    QByteArray out = "HTTP/1.1 " + QByteArray::number(r.status) + " " + reasonPhrase(r.status) + "\r\n";
    out += "Content-Type: " + r.type + "\r\nContent-Length: " + QByteArray::number(r.body.size()) + "\r\n";
    out += kSecurityHeaders;
    out += r.type.startsWith("text/javascript") || r.type.startsWith("text/css") ? "Cache-Control: no-cache\r\n"
                                                                                   : "Cache-Control: no-store\r\n";
    if (tls) out += "Strict-Transport-Security: max-age=31536000\r\n";
    if (close) out += "Connection: close\r\n";
    for (const auto& [name, value] : r.headers) out += name + ": " + value + "\r\n";
    out += "\r\n";
    socket->write(out);
    socket->write(r.body);
    if (close) socket->disconnectFromHost();
}

WebServer::WebServer(hub::HubService& hub, std::string conninfo, WebServerOptions options)
    : options_(std::move(options)),
      api_(hub, std::move(conninfo), !options_.certFile.empty()),
      live_([&hub](const std::string& site, LiveViews::RawSink sink) { hub.ingest().watchRaw(site, std::move(sink)); },
            [&hub](const std::string& site) { hub.ingest().unwatchRaw(site); }) {
    connect(this, &QAbstractHttpServer::newWebSocketConnection, this, &WebServer::acceptWebSockets);
    sessionTimer_.setInterval(kSessionCheckMs);
    connect(&sessionTimer_, &QTimer::timeout, this, &WebServer::checkSessions);
    alarmTimer_.setInterval(kAlarmPollMs);
    connect(&alarmTimer_, &QTimer::timeout, this, &WebServer::pollAlarms);
}

WebServer::~WebServer() {
    for (auto& [raw, client] : sockets_) {
        live_.detach(raw);
        raw->disconnect(this);
        raw->abort();
    }
}

bool WebServer::start(std::string& error) {
    QTcpServer* server = nullptr;
    if (tls()) {
        QSslConfiguration conf;
        if (!loadTls(options_.certFile, options_.keyFile, conf, error)) return false;
        auto* ssl = new GuardedServer<QSslServer>(this);
        ssl->setSslConfiguration(conf);
        server = ssl;
    } else {
        server = new GuardedServer<QTcpServer>(this);
    }
    if (!server->listen(options_.address, options_.port)) {
        error = "cannot listen on " + options_.address.toString().toStdString() + ":" +
                std::to_string(options_.port) + ": " + server->errorString().toStdString();
        delete server;
        return false;
    }
    bind(server);
    port_ = server->serverPort();
    sessionTimer_.start();
    alarmTimer_.start();
    return true;
}

bool WebServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    if (request.value("upgrade").compare("websocket", Qt::CaseInsensitive) == 0) return upgrade(request, socket);
    WebRequest r;
    r.method = methodOf(request.method());
    r.path = request.url().path();
    r.query = request.query();
    r.body = request.body();
    r.cookie = request.value("cookie").toStdString();
    r.csrf = request.value("x-csrf-token").toStdString();
    r.origin = request.value("origin").toStdString();
    r.host = request.value("host").toStdString();
    r.address = request.remoteAddress().toString().toStdString();
    r.tls = tls();
    const bool close = request.value("connection").compare("close", Qt::CaseInsensitive) == 0;
    writeResponse(socket, api_.handle(r), r.tls, close);
    return true;
}

bool WebServer::upgrade(const QHttpServerRequest& request, QTcpSocket* socket) {
    // Qt HTTP Server 6.4 upgrades a WebSocket request only when this returns
    // true; refused here, it never becomes a WebSocket.
    const std::string refusal = socketRefusal(request.url().path(), request.value("cookie").toStdString(),
                                              request.value("origin").toStdString(), request.value("host").toStdString());
    if (refusal.empty()) return true;
    log::failure(log::kWeb, "a WebSocket from " + request.remoteAddress().toString().toStdString() +
                                " was refused: " + refusal);
    writeResponse(socket, WebResponse::error(403, refusal), tls(), true);
    return false;
}

std::string WebServer::socketRefusal(const QString& path, const std::string& cookie, const std::string& origin,
                                     const std::string& host) {
    if (path != QLatin1String("/live")) return "not /live";
    if (!originFits(origin, host)) return "another site's page";
    if (!api_.sessionOfCookie(cookie)) return "no valid session";
    return {};
}

void WebServer::missingHandler(const QHttpServerRequest&, QTcpSocket* socket) {
    writeResponse(socket, WebResponse::error(404, "no such page"), tls(), false);
}

void WebServer::acceptWebSockets() {
    while (hasPendingWebSocketConnections()) {
        std::unique_ptr<QWebSocket> ws = nextPendingWebSocketConnection();
        if (!ws) break;
        // Checked again on the socket itself, before anything is sent on it.
        const QNetworkRequest req = ws->request();
        const std::string cookie = req.rawHeader("Cookie").toStdString();
        const std::string refusal = socketRefusal(req.url().path(), cookie, ws->origin().toStdString(),
                                                  req.rawHeader("Host").toStdString());
        const std::optional<SessionInfo> s = refusal.empty() ? api_.sessionOfCookie(cookie) : std::nullopt;
        if (!s) {
            log::failure(log::kWeb, "a WebSocket from " + ws->peerAddress().toString().toStdString() +
                                        " was dropped: " + (refusal.empty() ? "its session ended" : refusal));
            ws->abort();
            ws.release()->deleteLater();
            continue;
        }
        ws->setMaxAllowedIncomingMessageSize(kMaxSocketMessage);
        ws->setMaxAllowedIncomingFrameSize(kMaxSocketMessage);
        QWebSocket* raw = ws.get();
        connect(raw, &QWebSocket::textMessageReceived, this, [this, raw](const QString& t) { takeMessage(raw, t); });
        connect(raw, &QWebSocket::disconnected, this, [this, raw] { drop(raw); });
        sockets_[raw] = Client{std::move(ws), *sessionToken(cookie), s->user.name};
    }
}

void WebServer::takeMessage(QWebSocket* socket, const QString& text) {
    // {"watch": "SITE"} starts a site's live view for this socket; {"watch": ""} ends it.
    const std::optional<QJsonObject> o = jsonObjectBody(text.toUtf8(), kMaxSocketMessage);
    if (!o || !o->contains(QLatin1String("watch"))) return;
    const std::string site = o->value(QLatin1String("watch")).toString().toStdString();
    if (site.empty()) {
        live_.detach(socket);
    } else if (hub::siteNameError(site).empty()) {
        live_.attach(site, socket);
    }
}

void WebServer::drop(QWebSocket* socket) {
    const auto it = sockets_.find(socket);
    if (it == sockets_.end()) return;
    live_.detach(socket);
    it->second.socket.release()->deleteLater();
    sockets_.erase(it);
}

void WebServer::checkSessions() {
    std::vector<QWebSocket*> ended;
    for (auto& [raw, client] : sockets_)
        if (!api_.auth().session(client.token) && api_.auth().error().empty()) ended.push_back(raw);
    for (QWebSocket* raw : ended) {
        log::info(log::kWeb, "the live view of " + sockets_[raw].user + " ends with its session");
        raw->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("session ended"));
    }
}

void WebServer::pollAlarms() {
    if (sockets_.empty()) return;
    const hub::PgResult r = api_.db().exec("SELECT coalesce(max(changed)::text, '') || '/' || count(*) FROM alarms");
    if (!r.ok() || r.rows() != 1 || r.text(0, 0) == alarmsSeen_) return;
    alarmsSeen_ = r.text(0, 0);
    const QString news = QStringLiteral("{\"type\":\"alarms\"}");
    for (auto& [raw, client] : sockets_) raw->sendTextMessage(news);
}

}  // namespace orlix::web
