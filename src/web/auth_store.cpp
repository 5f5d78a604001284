#include "web/auth_store.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <array>

#include "web/password.h"

namespace orlix::web {

std::string_view roleName(Role role) {
    switch (role) {
        case Role::Viewer: return "viewer";
        case Role::Engineer: return "engineer";
        case Role::Admin: return "admin";
    }
    return "viewer";
}

std::optional<Role> roleFromName(std::string_view name) {
    for (const Role r : {Role::Viewer, Role::Engineer, Role::Admin})
        if (roleName(r) == name) return r;
    return std::nullopt;
}

std::string userNameError(std::string_view name) {
    if (name.empty() || name.size() > 64) return "a user name has 1 to 64 characters";
    for (const char c : name) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                        c == '_' || c == '@' || c == '-';
        if (!ok) return "a user name has only the characters A-Z a-z 0-9 . _ @ -";
    }
    return {};
}

std::string randomToken() {
    std::array<std::uint32_t, 8> words{};
    QRandomGenerator::system()->generate(words.begin(), words.end());
    const QByteArray bytes(reinterpret_cast<const char*>(words.data()), sizeof words);
    return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals).toStdString();
}

std::string tokenHash(std::string_view token) {
    const QByteArray data(token.data(), static_cast<qsizetype>(token.size()));
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex().toStdString();
}

bool sameSecret(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    unsigned char diff = 0;
    for (std::size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

AuthStore::AuthStore(hub::PgConnection& db, std::string conninfo) : db_(db), conninfo_(std::move(conninfo)) {}

bool AuthStore::connected() {
    error_.clear();
    if (db_.ok() || db_.connect(conninfo_)) return true;
    error_ = "cannot reach the database " + db_.shownName() + ": " + db_.error();
    return false;
}

std::string AuthStore::putUser(const std::string& name, Role role, std::string_view password) {
    if (std::string e = userNameError(name); !e.empty()) return e;
    if (std::string e = passwordRuleError(password); !e.empty()) return e;
    const std::optional<std::string> hash = hashPassword(password);
    if (!hash) return "the password could not be hashed";
    if (!connected()) return error_;
    hub::PgTransaction tx(db_);
    hub::PgResult r = tx.begun();
    if (r.ok())
        r = db_.exec("INSERT INTO users (name, role, password_hash) VALUES ($1, $2, $3) ON CONFLICT (name) DO "
                     "UPDATE SET role = excluded.role, password_hash = excluded.password_hash",
                     {name, std::string(roleName(role)), *hash});
    if (r.ok()) r = db_.exec("DELETE FROM sessions WHERE name = $1", {name});
    if (r.ok()) r = tx.commit();
    if (!r.ok()) error_ = r.error();
    return r.ok() ? std::string() : "storing the user failed: " + r.error();
}

std::string AuthStore::setRole(const std::string& name, Role role) {
    if (!connected()) return error_;
    hub::PgTransaction tx(db_);
    hub::PgResult r = tx.begun();
    if (r.ok()) r = db_.exec("UPDATE users SET role = $2 WHERE name = $1", {name, std::string(roleName(role))});
    if (r.ok() && r.affected() != 1) return "no user " + name;
    if (r.ok()) r = db_.exec("DELETE FROM sessions WHERE name = $1", {name});
    if (r.ok()) r = tx.commit();
    if (!r.ok()) error_ = r.error();
    return r.ok() ? std::string() : "changing the role failed: " + r.error();
}

std::string AuthStore::removeUser(const std::string& name) {
    if (!connected()) return error_;
    const hub::PgResult r = db_.exec("DELETE FROM users WHERE name = $1", {name});
    if (!r.ok()) {
        error_ = r.error();
        return "removing the user failed: " + r.error();
    }
    return r.affected() == 1 ? std::string() : "no user " + name;
}

std::optional<std::vector<UserInfo>> AuthStore::users() {
    if (!connected()) return std::nullopt;
    const hub::PgResult r = db_.exec("SELECT name, role FROM users ORDER BY name");
    if (!r.ok()) {
        error_ = r.error();
        return std::nullopt;
    }
    std::vector<UserInfo> out;
    for (int i = 0; i < r.rows(); ++i) out.push_back({r.text(i, 0), roleFromName(r.text(i, 1)).value_or(Role::Viewer)});
    return out;
}

std::optional<UserInfo> AuthStore::checkPassword(const std::string& name, std::string_view password) {
    // Verified against this when the name has no user: the same work.
    static const std::string decoy = hashPassword("decoy password of no user").value_or("");
    if (!connected()) return std::nullopt;
    const hub::PgResult r = db_.exec("SELECT role, password_hash FROM users WHERE name = $1", {name});
    if (!r.ok()) error_ = r.error();
    const bool known = r.ok() && r.rows() == 1;
    const bool match = verifyPassword(known ? r.text(0, 1) : decoy, password);
    if (!known || !match) return std::nullopt;
    return UserInfo{name, roleFromName(r.text(0, 0)).value_or(Role::Viewer)};
}

std::optional<NewSession> AuthStore::openSession(const std::string& name) {
    if (!connected()) return std::nullopt;
    NewSession s{randomToken(), randomToken()};
    db_.exec("DELETE FROM sessions WHERE seen < now() - make_interval(hours => " + std::to_string(kIdleHours) +
             ") OR created < now() - make_interval(days => " + std::to_string(kMaxDays) + ")");
    const hub::PgResult r =
        db_.exec("INSERT INTO sessions (token_hash, name, csrf) VALUES ($1, $2, $3)", {tokenHash(s.token), name, s.csrf});
    if (!r.ok()) {
        error_ = r.error();
        return std::nullopt;
    }
    return s;
}

std::optional<SessionInfo> AuthStore::session(const std::string& token) {
    if (!connected()) return std::nullopt;
    const std::string hash = tokenHash(token);
    const hub::PgResult r = db_.exec(
        "SELECT u.name, u.role, s.csrf, s.seen < now() - interval '1 minute' FROM sessions s "
        "JOIN users u ON u.name = s.name WHERE s.token_hash = $1 AND s.seen > now() - make_interval(hours => " +
            std::to_string(kIdleHours) + ") AND s.created > now() - make_interval(days => " +
            std::to_string(kMaxDays) + ")",
        {hash});
    if (!r.ok()) error_ = r.error();
    if (!r.ok() || r.rows() != 1) return std::nullopt;
    // Marked used at most once a minute: a page's requests cost no write each.
    if (r.text(0, 3) == "t") db_.exec("UPDATE sessions SET seen = now() WHERE token_hash = $1", {hash});
    return SessionInfo{{r.text(0, 0), roleFromName(r.text(0, 1)).value_or(Role::Viewer)}, r.text(0, 2)};
}

void AuthStore::closeSession(const std::string& token) {
    if (connected()) db_.exec("DELETE FROM sessions WHERE token_hash = $1", {tokenHash(token)});
}

}  // namespace orlix::web
