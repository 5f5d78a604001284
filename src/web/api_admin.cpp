// WebApi's calls on the rules and the users.
#include "base/log.h"
#include "web/http_input.h"
#include "web/json_out.h"
#include "web/password.h"
#include "web/web_api.h"

namespace orlix::web {
namespace {

void writeThreshold(JsonOut& j, const hub::ThresholdRule& t) {
    j.beginObject().field("name", t.name).field("value", t.column);
    j.field("direction", t.direction == hub::ThresholdDirection::Above ? "above" : "below");
    j.key("limit").num(t.limit).key("deadband").num(t.deadband);
    j.field("onDelaySeconds", t.onDelayUs / hub::kMicrosPerSecond);
    j.key("sites").beginArray();
    if (t.allSites) j.str("*");
    for (const std::string& s : t.sites) j.str(s);
    j.endArray().key("receivers").beginArray();
    for (const std::string& r : t.receivers) j.str(r);
    j.endArray().endObject();
}

}  // namespace

WebResponse WebApi::rules(const SessionInfo& s) {
    const hub::AlarmRules& rules = hub_.rules();
    JsonOut j;
    j.beginObject().field("file", hub_.rulesPath()).field("canReload", s.user.role == Role::Admin);
    j.field("offlineAfterSeconds", rules.hub.offlineAfterUs / hub::kMicrosPerSecond);
    j.field("repeatIntervalSeconds", rules.hub.repeatIntervalUs / hub::kMicrosPerSecond);
    j.key("faultReceivers").beginArray();
    for (const std::string& r : rules.hub.faultReceivers) j.str(r);
    j.endArray().key("offlineReceivers").beginArray();
    for (const std::string& r : rules.hub.offlineReceivers) j.str(r);
    // Receivers by name and kind only: a webhook's URL may carry its secret.
    j.endArray().key("receivers").beginArray();
    for (const hub::Receiver& r : rules.receivers)
        j.beginObject().field("name", r.name).field("type", hub::receiverTypeName(r.type)).endObject();
    j.endArray().key("thresholds").beginArray();
    for (const hub::ThresholdRule& t : rules.thresholds) writeThreshold(j, t);
    j.endArray().key("errors").beginArray();
    for (const std::string& e : hub_.rulesErrors()) j.str(e);
    j.endArray();
    return WebResponse::json(j.endObject().take());
}

WebResponse WebApi::reloadRules(const SessionInfo& s) {
    log::info(log::kWeb, s.user.name + " reloads the rules");
    const bool held = hub_.reloadRules();
    WebResponse out = rules(s);
    out.status = held ? 200 : 409;
    return out;
}

WebResponse WebApi::users() {
    const std::optional<std::vector<UserInfo>> all = auth_.users();
    if (!all) {
        log::failure(log::kWeb, "reading the users failed: " + auth_.error());
        return WebResponse::error(503, "the database failed");
    }
    JsonOut j;
    j.beginObject().key("users").beginArray();
    for (const UserInfo& u : *all) j.beginObject().field("name", u.name).field("role", roleName(u.role)).endObject();
    return WebResponse::json(j.endArray().endObject().take());
}

WebResponse WebApi::putUser(const WebRequest& r, const SessionInfo& s) {
    const std::optional<QJsonObject> body = jsonObjectBody(r.body);
    if (!body) return WebResponse::error(400, "the body must be a JSON object");
    const std::string name = stringMember(*body, "name", 64).value_or("");
    const std::optional<Role> role = roleFromName(stringMember(*body, "role", 16).value_or(""));
    if (std::string e = userNameError(name); !e.empty()) return WebResponse::error(400, e);
    if (!role) return WebResponse::error(400, "role is viewer, engineer or admin");
    if (name == s.user.name && *role != Role::Admin) return WebResponse::error(409, "an admin cannot demote itself");
    const bool hasPassword = body->contains(QLatin1String("password"));
    const std::optional<std::string> password = stringMember(*body, "password", kMaxPasswordBytes);
    if (hasPassword && !password) return WebResponse::error(400, "password must be a string");
    const std::string e = hasPassword ? auth_.putUser(name, *role, *password) : auth_.setRole(name, *role);
    if (!e.empty()) return WebResponse::error(e.starts_with("no user") ? 404 : auth_.error().empty() ? 400 : 503, e);
    log::info(log::kWeb, s.user.name + " set the user " + name + " to " + std::string(roleName(*role)) +
                             (hasPassword ? " with a new password" : ""));
    return users();
}

WebResponse WebApi::removeUser(const WebRequest& r, const SessionInfo& s) {
    const std::optional<QJsonObject> body = jsonObjectBody(r.body);
    const std::string name = body ? stringMember(*body, "name", 64).value_or("") : "";
    if (std::string e = userNameError(name); !e.empty()) return WebResponse::error(400, e);
    if (name == s.user.name) return WebResponse::error(409, "an admin cannot remove itself");
    const std::string e = auth_.removeUser(name);
    if (!e.empty()) return WebResponse::error(e.starts_with("no user") ? 404 : 503, e);
    log::info(log::kWeb, s.user.name + " removed the user " + name);
    return users();
}

}  // namespace orlix::web
