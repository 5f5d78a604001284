#pragma once
// The pages' users and their sessions, in the hub's database (tables users
// and sessions of hub/hub_schema.cpp). Roles: viewer (sees everything),
// engineer (also acknowledges and shelves alarms), admin (also manages
// users and reloads the rules).
//
// A session is a random token of 32 bytes (base64url, the cookie's value);
// the database keeps only its SHA-256, so a copy of the database opens no
// session. A session ends when it has not been used for kIdleHours, after
// kMaxDays in any case, at logout, and when its user is removed or gets a
// new password or role. Each session has its own CSRF token, which every
// request that changes something must send back in the X-CSRF-Token header.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hub/pg_connection.h"

namespace orlix::web {

inline constexpr int kIdleHours = 12;
inline constexpr int kMaxDays = 7;

enum class Role { Viewer, Engineer, Admin };
std::string_view roleName(Role role);
std::optional<Role> roleFromName(std::string_view name);

// Why a user name is refused ("" when fine): 1..64 characters of A-Z a-z
// 0-9 . _ @ -.
std::string userNameError(std::string_view name);

struct UserInfo {
    std::string name;
    Role role = Role::Viewer;
};

struct SessionInfo {
    UserInfo user;
    std::string csrf;
};

struct NewSession {
    std::string token;  // for the cookie only: never stored, never logged
    std::string csrf;
};

// 32 random bytes from the system's secure source, base64url without '='.
std::string randomToken();
// Lower-case hex SHA-256 of a token, as stored.
std::string tokenHash(std::string_view token);
// Compares two secrets in time that does not depend on where they differ.
bool sameSecret(std::string_view a, std::string_view b);

class AuthStore {
public:
    // `db` is reconnected with `conninfo` when it broke.
    AuthStore(hub::PgConnection& db, std::string conninfo);

    // Adds the user or gives an existing one a new role and password (its
    // sessions end). "" when done, else why not.
    std::string putUser(const std::string& name, Role role, std::string_view password);
    // A new role for an existing user (its sessions end).
    std::string setRole(const std::string& name, Role role);
    // Removes the user and its sessions.
    std::string removeUser(const std::string& name);
    // Every user, by name; nothing when the database failed.
    std::optional<std::vector<UserInfo>> users();

    // The user, when the password is its own. A name without a user costs
    // the same time as a wrong password.
    std::optional<UserInfo> checkPassword(const std::string& name, std::string_view password);

    std::optional<NewSession> openSession(const std::string& name);
    // The session of a token while it is valid; marks it used.
    std::optional<SessionInfo> session(const std::string& token);
    void closeSession(const std::string& token);

    // Why the last call failed for the database ("" when it did not).
    const std::string& error() const { return error_; }

private:
    bool connected();
    hub::PgConnection& db_;
    std::string conninfo_;
    std::string error_;
};

}  // namespace orlix::web
