#pragma once
// One request as the handlers see it and one answer as they give it: plain
// data, so that the handlers run (and are tested) without a socket.
#include <QByteArray>
#include <QString>
#include <QUrlQuery>
#include <string>
#include <utility>
#include <vector>

#include "web/auth_store.h"

namespace orlix::web {

enum class Method { Get, Post, Other };

struct WebRequest {
    Method method = Method::Get;
    QString path;          // decoded, e.g. "/api/sites/north/samples"
    QUrlQuery query;
    QByteArray body;
    std::string cookie;    // the Cookie header
    std::string csrf;      // the X-CSRF-Token header
    std::string origin;    // the Origin header, "" when absent
    std::string host;      // the Host header
    std::string address;   // the peer's address, for the login limits
    bool tls = false;
};

struct WebResponse {
    int status = 200;
    QByteArray type = "application/json";
    QByteArray body;
    std::vector<std::pair<QByteArray, QByteArray>> headers;  // beyond type and length

    static WebResponse json(std::string body, int status = 200);
    // {"error": message}
    static WebResponse error(int status, std::string_view message);
    static WebResponse bytes(QByteArray type, QByteArray body);
};

// The reason phrase of a status the server answers with.
const char* reasonPhrase(int status);

}  // namespace orlix::web
