#include "web/user_commands.h"

#include "hub/hub_schema.h"
#include "web/auth_store.h"
#include "web/password.h"

namespace orlix::web {
namespace {

// The database with the hub's tables, or why not.
bool open(hub::PgConnection& c, const std::string& db, std::string& message) {
    if (!c.connect(db)) {
        message = "cannot reach the database " + c.shownName() + ": " + c.error();
        return false;
    }
    const hub::SchemaOutcome schema = hub::ensureSchema(c);
    if (!schema.ok) message = schema.error;
    return schema.ok;
}

}  // namespace

std::optional<std::string> readPasswordLine(std::FILE* in) {
    std::string line;
    int c = 0;
    while ((c = std::fgetc(in)) != EOF && c != '\n') {
        line += static_cast<char>(c);
        if (line.size() > kMaxPasswordBytes + 1) return std::nullopt;
    }
    if (c == EOF && line.empty()) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

int addUser(const std::string& db, const std::string& name, const std::string& role, const std::string& password,
            std::string& message) {
    const std::optional<Role> r = roleFromName(role);
    message = userNameError(name);
    if (message.empty() && !r) message = "--role is viewer, engineer or admin";
    if (message.empty()) message = passwordRuleError(password);
    if (!message.empty()) return 2;
    hub::PgConnection c;
    if (!open(c, db, message)) return 1;
    AuthStore store(c, db);
    message = store.putUser(name, *r, password);
    if (!message.empty()) return 1;
    message = "user " + name + " is " + role;
    return 0;
}

int removeUser(const std::string& db, const std::string& name, std::string& message) {
    hub::PgConnection c;
    if (!open(c, db, message)) return 1;
    AuthStore store(c, db);
    message = store.removeUser(name);
    if (!message.empty()) return 1;
    message = "user " + name + " removed";
    return 0;
}

}  // namespace orlix::web
