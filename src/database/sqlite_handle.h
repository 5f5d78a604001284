#pragma once
// Thin RAII wrappers over the SQLite C API, used inside database/ only. A
// failing call notes the engine's message in the database operation that
// runs (database_log.h).
#include <sqlite3.h>

#include <cstdint>
#include <string>

#include "database/database_log.h"

namespace orlix::sqlite {

class Statement;

class Connection {
public:
    Connection() = default;
    explicit Connection(sqlite3* h) : h_(h) {}
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    Connection(Connection&& o) noexcept : h_(o.h_) { o.h_ = nullptr; }
    Connection& operator=(Connection&& o) noexcept {
        if (this != &o) {
            close();
            h_ = o.h_;
            o.h_ = nullptr;
        }
        return *this;
    }
    ~Connection() { close(); }

    sqlite3* get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }
    void close() {
        if (h_) sqlite3_close_v2(h_);
        h_ = nullptr;
    }
    // Runs statements without results; true on success.
    bool exec(const char* sql) const {
        if (!h_) return false;
        if (sqlite3_exec(h_, sql, nullptr, nullptr, nullptr) == SQLITE_OK) return true;
        dblog::noteSqliteFailure(h_, sql);
        return false;
    }

private:
    sqlite3* h_ = nullptr;
};

class Statement {
public:
    Statement(const Connection& db, const char* sql) {
        if (db && sqlite3_prepare_v3(db.get(), sql, -1, 0, &s_, nullptr) != SQLITE_OK) {
            dblog::noteSqliteFailure(db.get(), sql);
            sqlite3_finalize(s_);
            s_ = nullptr;
        }
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement() { sqlite3_finalize(s_); }

    explicit operator bool() const { return s_ != nullptr; }
    sqlite3_stmt* get() const { return s_; }
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int step() const {
        if (!s_) return SQLITE_MISUSE;
        const int rc = sqlite3_step(s_);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) dblog::noteSqliteFailure(sqlite3_db_handle(s_), sqlite3_sql(s_));
        return rc;
    }
    void reset() const {
        if (s_) sqlite3_reset(s_);
    }

private:
    sqlite3_stmt* s_ = nullptr;
};

// Runs a query that yields one integer; -1 when it fails.
inline std::int64_t queryInt(const Connection& db, const char* sql) {
    Statement st(db, sql);
    if (!st || st.step() != SQLITE_ROW) return -1;
    return sqlite3_column_int64(st.get(), 0);
}

}  // namespace orlix::sqlite
