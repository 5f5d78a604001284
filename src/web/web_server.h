#pragma once
// orlix-hub's web face: Qt HTTP Server for the pages and the JSON API
// (WebApi), its WebSocket (/live) for the pushes (LiveViews and alarm
// news). Over TLS when a certificate and key are given.
//
// WebSockets: Qt HTTP Server 6.4 hands an upgrade request to
// handleRequest() first and upgrades it only when that returns true; it is
// refused there (403) unless its path is /live, its Cookie names a valid
// session and its Origin fits its Host. The socket Qt then hands over is
// checked once more from QWebSocket::request() and dropped (abort, no close
// frame) before anything is sent on it when its session is gone. A socket's session is checked again every 30 s; one that ended
// (logout, removed user) closes the socket.
//
// Every connection's bytes pass a RequestGuard before Qt parses them (see
// request_guard.h). Answers are written here, whole, with their length and
// the same security headers on every answer (a Content-Security-Policy that
// allows only this host, no framing, no sniffing, no referrer).
#include <QAbstractHttpServer>
#include <QHostAddress>
#include <QTimer>
#include <map>
#include <memory>
#include <string>

#include "hub/hub_service.h"
#include "web/live_views.h"
#include "web/web_api.h"

class QWebSocket;

namespace orlix::web {

struct WebServerOptions {
    QHostAddress address = QHostAddress::LocalHost;
    quint16 port = 0;          // 0: any free port
    std::string certFile;      // both set: HTTPS
    std::string keyFile;
};

class WebServer final : public QAbstractHttpServer {
    Q_OBJECT
public:
    WebServer(hub::HubService& hub, std::string conninfo, WebServerOptions options);
    ~WebServer() override;

    // Listens; false with `error` when the address, port or TLS files fail.
    bool start(std::string& error);
    quint16 port() const { return port_; }
    bool tls() const { return !options_.certFile.empty(); }
    WebApi& api() { return api_; }
    LiveViews& live() { return live_; }
    int sockets() const { return static_cast<int>(sockets_.size()); }

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    struct Client {
        std::unique_ptr<QWebSocket> socket;
        std::string token;  // the session's, to check it again
        std::string user;
    };
    bool upgrade(const QHttpServerRequest& request, QTcpSocket* socket);
    // Why a WebSocket request may not become one ("" when it may).
    std::string socketRefusal(const QString& path, const std::string& cookie, const std::string& origin,
                              const std::string& host);
    void acceptWebSockets();
    void takeMessage(QWebSocket* socket, const QString& text);
    void drop(QWebSocket* socket);
    void checkSessions();
    void pollAlarms();

    WebServerOptions options_;
    WebApi api_;
    LiveViews live_;
    quint16 port_ = 0;
    std::map<QWebSocket*, Client> sockets_;
    QTimer sessionTimer_, alarmTimer_;
    std::string alarmsSeen_;
};

// Writes one answer on a socket: status line, headers, body.
void writeResponse(QTcpSocket* socket, const WebResponse& response, bool tls, bool close);

}  // namespace orlix::web
