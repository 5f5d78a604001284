// The pages' API against a real hub, broker and database: who may do what,
// and what is refused, with which answer.
#include <gtest/gtest.h>

#include "log_capture.h"
#include "web_rig.h"

namespace orlix::web {
namespace {

using test::Http;
using test::Reply;
using test::WebRig;

struct ApiTest : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(rig.ok());
        rig.addUser("vera", Role::Viewer, "viewer password");
        rig.addUser("emil", Role::Engineer, "engineer password");
        rig.addUser("ada", Role::Admin, "admin password");
    }
    WebRig rig;
};

TEST_F(ApiTest, HealthAnswersWithoutALoginAndEverythingElseNeedsOne) {
    Http http(rig.base());
    const Reply health = http.get("/health");
    EXPECT_EQ(health.status, 200);
    EXPECT_TRUE(health.json()["database"].toBool());
    EXPECT_EQ(http.get("/api/sites").status, 401);
    EXPECT_EQ(http.get("/api/layout").status, 401);
    for (const char* page : {"/fleet", "/site?name=x", "/alarms", "/assets/common.js", "/assets/uPlot.iife.min.js", "/"}) {
        const Reply r = http.get(page);
        EXPECT_EQ(r.status, 303) << page;
        EXPECT_EQ(r.headers.value("location"), "/login") << page;
    }
    // What the login page needs is there without a login, and nothing else.
    EXPECT_EQ(http.get("/login").status, 200);
    EXPECT_EQ(http.get("/assets/login.js").status, 200);
    EXPECT_EQ(http.get("/assets/style.css").status, 200);
    const Reply login = http.get("/login");
    EXPECT_TRUE(login.headers.value("content-security-policy").contains("default-src 'self'"));
    EXPECT_EQ(login.headers.value("x-frame-options"), "DENY");
    EXPECT_EQ(http.post("/api/logout", "{}").status, 401);
}

TEST_F(ApiTest, ALoginGivesAStrictHttpOnlyCookieWhoseTokenTheDatabaseDoesNotHold) {
    test::LogCapture log;
    Http http(rig.base());
    const Reply wrong = http.login("emil", "not the password");
    EXPECT_EQ(wrong.status, 401);
    EXPECT_FALSE(wrong.headers.contains("set-cookie"));
    const Reply unknown = http.login("nobody", "whatever pass");
    EXPECT_EQ(unknown.status, 401);
    EXPECT_EQ(unknown.body, wrong.body);  // the answer does not tell which names exist

    const Reply ok = http.login("emil", "engineer password");
    ASSERT_EQ(ok.status, 200) << ok.body.toStdString();
    const QByteArray cookie = ok.headers.value("set-cookie");
    EXPECT_TRUE(cookie.startsWith("orlix_session="));
    EXPECT_TRUE(cookie.contains("; HttpOnly"));
    EXPECT_TRUE(cookie.contains("; SameSite=Strict"));
    EXPECT_FALSE(cookie.contains("Secure"));  // plain HTTP on loopback
    EXPECT_EQ(ok.json()["role"].toString(), "engineer");
    const std::string token = http.cookie.substr(http.cookie.find('=') + 1);
    EXPECT_EQ(rig.text("SELECT count(*) FROM sessions WHERE token_hash = $1", {tokenHash(token)}), "1");
    EXPECT_EQ(rig.text("SELECT count(*) FROM sessions WHERE token_hash = $1 OR csrf = $1", {token}), "0");

    const Reply me = http.get("/api/me");
    EXPECT_EQ(me.status, 200);
    EXPECT_EQ(me.json()["csrf"].toString().toStdString(), http.csrf);
    EXPECT_EQ(http.post("/api/logout", "{}").status, 200);
    EXPECT_EQ(http.get("/api/me").status, 401);  // the session ended with the logout

    const std::vector<std::string> lines = log.of(log::kWeb);
    std::string all;
    for (const std::string& l : lines) all += l + "\n";
    EXPECT_NE(all.find("failed login for emil"), std::string::npos) << all;
    EXPECT_NE(all.find("failed login for nobody"), std::string::npos) << all;
    EXPECT_NE(all.find("emil logged in"), std::string::npos) << all;
    for (const std::string& secret : std::vector<std::string>{"not the password", "engineer password", token, http.csrf})
        EXPECT_EQ(all.find(secret), std::string::npos) << "a secret in the log";
}

TEST_F(ApiTest, RepeatedFailedLoginsLockTheNameEvenForTheRightPassword) {
    Http http(rig.base());
    for (int i = 0; i < 5; ++i) EXPECT_EQ(http.login("vera", "guess " + std::to_string(i)).status, 401);
    const Reply locked = http.login("vera", "viewer password");
    EXPECT_EQ(locked.status, 429);
    EXPECT_GT(locked.headers.value("retry-after").toInt(), 800);
    EXPECT_EQ(http.login("ada", "admin password").status, 200);  // other names log in
}

TEST_F(ApiTest, ChangesNeedTheSessionsCsrfTokenASameSiteOriginAndTheRole) {
    Http viewer(rig.base()), engineer(rig.base());
    ASSERT_EQ(viewer.login("vera", "viewer password").status, 200);
    ASSERT_EQ(engineer.login("emil", "engineer password").status, 200);
    const QJsonObject ack{{"site", "north"}, {"source", "Err"}, {"command", "acknowledge"}};
    const QByteArray body = QJsonDocument(ack).toJson();
    EXPECT_EQ(engineer.postJson("/api/alarms/command", ack, false).status, 403);  // no token
    EXPECT_EQ(engineer.send("POST", "/api/alarms/command", body, false, {{"X-CSRF-Token", "x"}}).status, 403);
    // Another session's token is not this one's.
    EXPECT_EQ(engineer.send("POST", "/api/alarms/command", body, false,
                            {{"X-CSRF-Token", QByteArray::fromStdString(viewer.csrf)}}).status, 403);
    EXPECT_EQ(engineer.send("POST", "/api/alarms/command", body, true, {{"Origin", "http://evil.example"}}).status, 403);
    EXPECT_EQ(viewer.postJson("/api/alarms/command", ack).status, 403);  // a viewer may not
    EXPECT_EQ(viewer.post("/api/rules/reload", "{}").status, 403);
    EXPECT_EQ(engineer.get("/api/users").status, 403);
    EXPECT_EQ(engineer.postJson("/api/alarms/command", ack).status, 404);  // allowed, but no site north yet
    EXPECT_EQ(engineer.send("POST", "/api/alarms/command", body, true,
                            {{"Origin", QByteArray::fromStdString(rig.base())}}).status, 404);
}

TEST_F(ApiTest, BadInputIsRefusedWithItsReason) {
    Http http(rig.base());
    ASSERT_EQ(http.login("ada", "admin password").status, 200);
    const auto status = [&](const std::string& path) { return http.get(path).status; };
    EXPECT_EQ(status("/api/sites?value=pd"), 400);
    EXPECT_EQ(status("/api/sites?value=Pd%22%20FROM%20users;--"), 400);
    EXPECT_EQ(status("/api/sites?hours=0"), 400);
    EXPECT_EQ(status("/api/sites?hours=abc"), 400);
    EXPECT_EQ(status("/api/sites?hours=1e9"), 400);
    EXPECT_EQ(status("/api/sites/north/samples"), 404);  // no such site
    EXPECT_EQ(status("/api/sites/x%27%3B%20DROP%20TABLE%20samples%3B%20--/samples"), 404);
    EXPECT_EQ(rig.text("SELECT to_regclass('samples') IS NOT NULL"), "t");
    EXPECT_EQ(status("/api/sites/a%2Fb/samples"), 400);  // no site name
    EXPECT_EQ(status("/api/sites/north/samples?from=yesterday"), 400);
    EXPECT_EQ(status("/api/sites/north/samples?from=2026-01-02T00:00:00Z&to=2026-01-01T00:00:00Z"), 400);
    EXPECT_EQ(status("/api/sites/north/samples?from=1970-01-01T00:00:00Z&to=2026-01-01T00:00:00Z"), 400);
    EXPECT_EQ(status("/api/sites/north/samples?from=2020-01-01T00:00:00Z&to=2026-01-01T00:00:00Z"), 400);  // > 400 days
    EXPECT_EQ(status("/api/sites/north/samples?from=2026-01-01T00:00:00Z&to=9999-01-01T00:00:00Z"), 400);
    EXPECT_EQ(status("/api/alarms?all=yes"), 400);
    EXPECT_EQ(status("/api/alarms/command/abc"), 400);
    EXPECT_EQ(status("/api/alarms/command/999"), 404);
    EXPECT_EQ(status("/api/nothing"), 404);
    EXPECT_EQ(status("/assets/..%2Fweb_api.cpp"), 404);
    EXPECT_EQ(status("/assets/%2e%2e/web_api.cpp"), 404);
    EXPECT_EQ(status("/assets/%2e%2e"), 303);  // the URL resolves to "/", the fleet
    const auto command = [&](const QByteArray& body) { return http.post("/api/alarms/command", body).status; };
    EXPECT_EQ(command("[1]"), 400);
    EXPECT_EQ(command("{\"site\": 5, \"source\": \"Err\", \"command\": \"acknowledge\"}"), 400);
    EXPECT_EQ(command("{\"site\": \"north\", \"source\": \"Fire\", \"command\": \"acknowledge\"}"), 400);
    EXPECT_EQ(command("{\"site\": \"north\", \"source\": \"Err\", \"command\": \"delete\"}"), 400);
    EXPECT_EQ(command("{\"site\": \"north\", \"source\": \"Err\", \"command\": \"shelve\", \"until\": "
                      "\"2099-01-01T00:00:00Z\"}"), 400);  // no reason
    EXPECT_EQ(command("{\"site\": \"north\", \"source\": \"Err\", \"command\": \"shelve\", \"reason\": \"r\", "
                      "\"until\": \"2001-01-01T00:00:00Z\"}"), 400);  // in the past
    EXPECT_EQ(command("{\"site\": \"north\", \"source\": \"Err\", \"command\": \"shelve\", \"reason\": \"" +
                      QByteArray(300, 'r') + "\", \"until\": \"2099-01-01T00:00:00Z\"}"), 400);
    EXPECT_EQ(http.post("/api/users", "{\"name\": \"x y\", \"role\": \"admin\", \"password\": \"long enough\"}").status, 400);
    EXPECT_EQ(http.post("/api/users", "{\"name\": \"xy\", \"role\": \"root\", \"password\": \"long enough\"}").status, 400);
    EXPECT_EQ(http.post("/api/users", "{\"name\": \"xy\", \"role\": \"viewer\", \"password\": \"short\"}").status, 400);
    EXPECT_EQ(http.post("/api/users", "{\"name\": \"xy\", \"role\": \"viewer\", \"password\": 12345678}").status, 400);
    EXPECT_EQ(http.send("PUT", "/api/users", "{}").status, 405);
}

TEST_F(ApiTest, OversizedOrUnmeasuredRequestsAreCutOffBeforeTheyAreRead) {
    const quint16 port = rig.web->port();
    const QByteArray big = test::rawExchange(
        port, "POST /api/login HTTP/1.1\r\nHost: x\r\nContent-Length: 2000000000\r\n\r\n" + QByteArray(1000, 'x'));
    EXPECT_TRUE(big.startsWith("HTTP/1.1 413")) << big.toStdString();
    const QByteArray chunked = test::rawExchange(
        port, "POST /api/login HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n");
    EXPECT_TRUE(chunked.startsWith("HTTP/1.1 411")) << chunked.toStdString();
    const QByteArray head = test::rawExchange(port, "GET /health HTTP/1.1\r\nX: " + QByteArray(20000, 'a') + "\r\n\r\n");
    EXPECT_TRUE(head.startsWith("HTTP/1.1 431")) << head.left(100).toStdString();
    // The server still answers afterwards, also two requests on one connection.
    const QByteArray two = test::rawExchange(
        port, "GET /health HTTP/1.1\r\nHost: x\r\n\r\nGET /health HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    EXPECT_TRUE(two.startsWith("HTTP/1.1 200")) << two.toStdString();
    EXPECT_EQ(Http(rig.base()).get("/health").status, 200);
}

}  // namespace
}  // namespace orlix::web
