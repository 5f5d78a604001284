#pragma once
// The pages' HTTP side without sockets: every request in, one answer out.
//
//   GET  /health                          200 without a login: the hub's state
//   POST /api/login  {name, password}     a session cookie and its CSRF token
//   POST /api/logout                      ends the session
//   GET  /api/me                          the user, role and CSRF token
//   GET  /api/layout                      the monitor's fields and the charts' curves
//   GET  /api/sites?value=Pd&hours=6      the fleet
//   GET  /api/sites/NAME/samples?from=&to=      the charted values of a range
//   GET  /api/sites/NAME/samples.csv?from=&to=  all values of a range as CSV
//   GET  /api/alarms?all=1&site=NAME      alarms (active ones unless all=1)
//   POST /api/alarms/command {site, source, command, reason, until}   engineer
//   GET  /api/alarms/command/ID           whether the leading hub applied it
//   GET  /api/alarms/history.csv?from=&to=      the alarm history
//   GET  /api/rules                       the rules in force
//   POST /api/rules/reload                admin
//   GET  /api/users, POST /api/users {name, role, password}, POST /api/users/remove {name}   admin
//
// Every page, asset and API call needs a valid session, except GET /health,
// the login page and what it loads. Every POST but the login needs the
// session's CSRF token in X-CSRF-Token; an Origin header, when sent, must
// name the host the request went to.
#include <chrono>
#include <optional>
#include <string>

#include "hub/hub_service.h"
#include "hub/pg_connection.h"
#include "web/auth_store.h"
#include "web/login_limiter.h"
#include "web/web_types.h"

namespace orlix::web {

class WebApi {
public:
    WebApi(hub::HubService& hub, std::string conninfo, bool tls);

    WebResponse handle(const WebRequest& request);

    // The session named by a Cookie header, for the WebSocket.
    std::optional<SessionInfo> sessionOfCookie(std::string_view cookie);

    hub::PgConnection& db();
    AuthStore& auth() { return auth_; }
    hub::HubService& hub() { return hub_; }

private:
    WebResponse route(const WebRequest& r, const SessionInfo& s);
    WebResponse routeApi(const WebRequest& r, const SessionInfo& s);
    WebResponse asset(const QString& path);
    WebResponse login(const WebRequest& r);
    WebResponse logout(const WebRequest& r);
    WebResponse me(const SessionInfo& s);
    WebResponse health();
    WebResponse fleet(const WebRequest& r);
    WebResponse samples(const WebRequest& r, const std::string& site, bool csv);
    WebResponse alarms(const WebRequest& r);
    WebResponse putCommand(const WebRequest& r, const SessionInfo& s);
    WebResponse commandState(const std::string& id);
    WebResponse alarmHistory(const WebRequest& r);
    WebResponse rules(const SessionInfo& s);
    WebResponse reloadRules(const SessionInfo& s);
    WebResponse users();
    WebResponse putUser(const WebRequest& r, const SessionInfo& s);
    WebResponse removeUser(const WebRequest& r, const SessionInfo& s);
    std::string cookie(const std::string& value, bool expire) const;

    hub::HubService& hub_;
    std::string conninfo_;
    bool tls_;
    hub::PgConnection db_;
    AuthStore auth_;
    LoginLimiter limiter_;
};

}  // namespace orlix::web
