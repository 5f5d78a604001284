#include "web/web_api.h"

#include <QFile>

#include "base/log.h"
#include "hub/payload_parser.h"
#include "web/http_input.h"
#include "web/json_out.h"
#include "web/page_layout.h"
#include "web/password.h"

namespace orlix::web {
namespace {

bool startsWith(const QString& s, const char* prefix) { return s.startsWith(QLatin1String(prefix)); }

QByteArray typeOf(const QString& name) {
    if (name.endsWith(QLatin1String(".html"))) return "text/html; charset=utf-8";
    if (name.endsWith(QLatin1String(".js"))) return "text/javascript; charset=utf-8";
    if (name.endsWith(QLatin1String(".css"))) return "text/css; charset=utf-8";
    if (name.endsWith(QLatin1String(".svg"))) return "image/svg+xml";
    return "application/octet-stream";
}

bool isPlainName(const QString& name) {
    if (name.isEmpty() || name.size() > 64 || name.startsWith(QLatin1Char('.'))) return false;
    for (const QChar c : name)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('.') && c != QLatin1Char('-') &&
            c != QLatin1Char('_'))
            return false;
    return true;
}

WebResponse redirect(const QByteArray& to) {
    WebResponse r;
    r.status = 303;
    r.type = "text/plain; charset=utf-8";
    r.headers.emplace_back("Location", to);
    return r;
}

// The pages every user may open; each is one HTML file of the assets.
constexpr const char* kPages[] = {"fleet", "site", "history", "alarms", "rules", "users"};

}  // namespace

WebApi::WebApi(hub::HubService& hub, std::string conninfo, bool tls)
    : hub_(hub), conninfo_(std::move(conninfo)), tls_(tls), db_(conninfo_), auth_(db_, conninfo_) {}

hub::PgConnection& WebApi::db() {
    if (!db_.ok()) db_.connect(conninfo_);
    return db_;
}

std::optional<SessionInfo> WebApi::sessionOfCookie(std::string_view cookie) {
    const std::optional<std::string> token = sessionToken(cookie);
    if (!token) return std::nullopt;
    return auth_.session(*token);
}

std::string WebApi::cookie(const std::string& value, bool expire) const {
    std::string c = std::string(kSessionCookie) + "=" + value + "; Path=/; HttpOnly; SameSite=Strict";
    c += expire ? "; Max-Age=0" : "; Max-Age=" + std::to_string(kMaxDays * 86400);
    if (tls_) c += "; Secure";
    return c;
}

WebResponse WebApi::asset(const QString& name) {
    QFile file(QStringLiteral(":/web/") + name);
    if (!isPlainName(name) || !file.open(QIODevice::ReadOnly)) return WebResponse::error(404, "no such page");
    return WebResponse::bytes(typeOf(name), file.readAll());
}

WebResponse WebApi::handle(const WebRequest& r) {
    const QString& path = r.path;
    if (path == QLatin1String("/health"))
        return r.method == Method::Get ? health() : WebResponse::error(405, "GET only");
    if (r.method == Method::Other) return WebResponse::error(405, "GET and POST only");
    if (!originFits(r.origin, r.host)) {
        log::failure(log::kWeb, "a request from another site was refused (Origin " +
                                    hub::printableText(r.origin, '?') + ")");
        return WebResponse::error(403, "requests from other sites are refused");
    }
    if (r.method == Method::Get && (path == QLatin1String("/login") || path == QLatin1String("/assets/login.js") ||
                                    path == QLatin1String("/assets/style.css")))
        return asset(path == QLatin1String("/login") ? QStringLiteral("login.html") : path.mid(8));
    if (path == QLatin1String("/api/login"))
        return r.method == Method::Post ? login(r) : WebResponse::error(405, "POST only");
    const std::optional<SessionInfo> s = sessionOfCookie(r.cookie);
    if (!s) {
        if (!auth_.error().empty()) {
            log::failure(log::kWeb, "sessions cannot be checked: " + auth_.error());
            return WebResponse::error(503, "the database cannot be reached");
        }
        if (startsWith(path, "/api/")) return WebResponse::error(401, "please log in");
        return redirect("/login");
    }
    if (r.method == Method::Post && !sameSecret(r.csrf, s->csrf)) {
        log::failure(log::kWeb, "a change by " + s->user.name + " without its CSRF token was refused (" +
                                    hub::printableText(path.toStdString(), '?') + ")");
        return WebResponse::error(403, "the request lacks its CSRF token");
    }
    return route(r, *s);
}

WebResponse WebApi::route(const WebRequest& r, const SessionInfo& s) {
    const QString& path = r.path;
    if (startsWith(path, "/api/")) return routeApi(r, s);
    if (r.method != Method::Get) return WebResponse::error(405, "GET only");
    if (path == QLatin1String("/")) return redirect("/fleet");
    if (startsWith(path, "/assets/")) return asset(path.mid(8));
    for (const char* page : kPages)
        if (path == QLatin1Char('/') + QLatin1String(page)) return asset(QLatin1String(page) + QLatin1String(".html"));
    return WebResponse::error(404, "no such page");
}

WebResponse WebApi::routeApi(const WebRequest& r, const SessionInfo& s) {
    const QString path = r.path.mid(5);  // after "/api/"
    const bool get = r.method == Method::Get;
    const auto needs = [&](Role role, auto&& handler) {
        if (s.user.role < role) return WebResponse::error(403, "this needs the role " + std::string(roleName(role)));
        return handler();
    };
    if (get && path == QLatin1String("me")) return me(s);
    if (get && path == QLatin1String("layout")) return WebResponse::json(layoutJson());
    if (get && path == QLatin1String("sites")) return fleet(r);
    if (get && startsWith(path, "sites/")) {
        const QString rest = path.mid(6);
        const bool csv = rest.endsWith(QLatin1String("/samples.csv"));
        if (!csv && !rest.endsWith(QLatin1String("/samples"))) return WebResponse::error(404, "no such call");
        return samples(r, rest.left(rest.lastIndexOf(QLatin1Char('/'))).toStdString(), csv);
    }
    if (get && path == QLatin1String("alarms")) return alarms(r);
    if (get && path == QLatin1String("alarms/history.csv")) return alarmHistory(r);
    if (get && startsWith(path, "alarms/command/")) return commandState(path.mid(15).toStdString());
    if (get && path == QLatin1String("rules")) return rules(s);
    if (get && path == QLatin1String("users")) return needs(Role::Admin, [&] { return users(); });
    if (get) return WebResponse::error(404, "no such call");
    if (path == QLatin1String("logout")) return logout(r);
    if (path == QLatin1String("alarms/command")) return needs(Role::Engineer, [&] { return putCommand(r, s); });
    if (path == QLatin1String("rules/reload")) return needs(Role::Admin, [&] { return reloadRules(s); });
    if (path == QLatin1String("users")) return needs(Role::Admin, [&] { return putUser(r, s); });
    if (path == QLatin1String("users/remove")) return needs(Role::Admin, [&] { return removeUser(r, s); });
    return WebResponse::error(404, "no such call");
}

WebResponse WebApi::login(const WebRequest& r) {
    const std::optional<QJsonObject> body = jsonObjectBody(r.body);
    const std::optional<std::string> name = body ? stringMember(*body, "name", 64) : std::nullopt;
    const std::optional<std::string> password = body ? stringMember(*body, "password", kMaxPasswordBytes) : std::nullopt;
    if (!name || !password) return WebResponse::error(400, "a login needs a JSON object with name and password");
    const std::string who = hub::printableText(*name, '?');
    const auto now = std::chrono::steady_clock::now();
    std::chrono::seconds wait{0};
    if (!limiter_.allowed(*name, r.address, now, &wait)) {
        log::warning(log::kWeb, "login for " + who + " from " + r.address + " refused: too many failed logins");
        WebResponse out = WebResponse::error(429, "too many failed logins; try again later");
        out.headers.emplace_back("Retry-After", QByteArray::number(static_cast<qlonglong>(wait.count())));
        return out;
    }
    const std::optional<UserInfo> user = auth_.checkPassword(*name, *password);
    if (!user && !auth_.error().empty()) {
        log::failure(log::kWeb, "logins cannot be checked: " + auth_.error());
        return WebResponse::error(503, "the database cannot be reached");
    }
    if (!user) {
        limiter_.failed(*name, r.address, now);
        log::warning(log::kWeb, "failed login for " + who + " from " + r.address);
        return WebResponse::error(401, "wrong name or password");
    }
    limiter_.succeeded(*name);
    const std::optional<NewSession> session = auth_.openSession(user->name);
    if (!session) {
        log::failure(log::kWeb, "a session cannot be opened: " + auth_.error());
        return WebResponse::error(503, "the database cannot be reached");
    }
    log::info(log::kWeb, user->name + " logged in from " + r.address);
    JsonOut j;
    j.beginObject().field("name", user->name).field("role", roleName(user->role)).field("csrf", session->csrf);
    WebResponse out = WebResponse::json(j.endObject().take());
    out.headers.emplace_back("Set-Cookie", QByteArray::fromStdString(cookie(session->token, false)));
    return out;
}

WebResponse WebApi::logout(const WebRequest& r) {
    if (const std::optional<std::string> token = sessionToken(r.cookie)) auth_.closeSession(*token);
    WebResponse out = WebResponse::json("{}");
    out.headers.emplace_back("Set-Cookie", QByteArray::fromStdString(cookie("", true)));
    return out;
}

WebResponse WebApi::me(const SessionInfo& s) {
    JsonOut j;
    j.beginObject().field("name", s.user.name).field("role", roleName(s.user.role)).field("csrf", s.csrf);
    return WebResponse::json(j.endObject().take());
}

WebResponse WebApi::health() {
    const bool database = db().exec("SELECT 1").ok();
    JsonOut j;
    j.beginObject().field("status", "ok").field("database", database);
    j.field("broker", hub_.ingest().client().connected()).field("alarmsLedHere", hub_.engine().leading());
    return WebResponse::json(j.endObject().take());
}

}  // namespace orlix::web
