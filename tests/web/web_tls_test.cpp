// The pages over HTTPS: a certificate made here with openssl, the session
// cookie marked Secure, HSTS sent, and plain HTTP not spoken on that port.
#include <gtest/gtest.h>

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSslError>

#include "web_rig.h"

namespace orlix::web {
namespace {

using test::qtWaitUntil;

bool makeCertificate(const std::string& cert, const std::string& key) {
    QProcess p;
    p.start(QStringLiteral("openssl"),
            {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1", "-keyout",
             QString::fromStdString(key), "-out", QString::fromStdString(cert)});
    return p.waitForFinished(60000) && p.exitCode() == 0;
}

TEST(WebTls, ASessionCookieOverHttpsIsSecureAndPlainHttpIsNotSpoken) {
    test::WebRig rig;
    ASSERT_TRUE(rig.ok());
    const std::string cert = rig.dir.file("hub.pem"), key = rig.dir.file("hub.key");
    ASSERT_TRUE(makeCertificate(cert, key));
    rig.addUser("emil", Role::Engineer, "engineer password");
    WebServer tls(*rig.hub, rig.db, WebServerOptions{QHostAddress::LocalHost, 0, cert, key});
    std::string error;
    ASSERT_TRUE(tls.start(error)) << error;

    QNetworkAccessManager nam;
    QObject::connect(&nam, &QNetworkAccessManager::sslErrors,
                     [](QNetworkReply* r, const QList<QSslError>&) { r->ignoreSslErrors(); });  // self-signed
    QNetworkRequest q(QUrl(QStringLiteral("https://127.0.0.1:%1/api/login").arg(tls.port())));
    q.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    std::unique_ptr<QNetworkReply> r(nam.post(q, R"({"name": "emil", "password": "engineer password"})"));
    ASSERT_TRUE(qtWaitUntil([&] { return r->isFinished(); }, 30000));
    EXPECT_EQ(r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200) << r->errorString().toStdString();
    const QByteArray cookie = r->rawHeader("Set-Cookie");
    EXPECT_TRUE(cookie.contains("; Secure")) << cookie.toStdString();
    EXPECT_TRUE(cookie.contains("; HttpOnly"));
    EXPECT_TRUE(r->rawHeader("Strict-Transport-Security").startsWith("max-age="));

    // Plain HTTP on the TLS port gets no page.
    const QByteArray plain = test::rawExchange(tls.port(), "GET /health HTTP/1.1\r\nHost: x\r\n\r\n", 3000);
    EXPECT_FALSE(plain.contains("\"status\""));

    WebServer broken(*rig.hub, rig.db, WebServerOptions{QHostAddress::LocalHost, 0, cert, rig.dir.file("none.key")});
    EXPECT_FALSE(broken.start(error));
    EXPECT_NE(error.find("none.key"), std::string::npos) << error;
}

}  // namespace
}  // namespace orlix::web
