#pragma once
// Thin RAII wrappers over the SQLite C API, used inside database/ only.
#include <sqlite3.h>

#include <cstdint>
#include <string>

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
        return h_ && sqlite3_exec(h_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    }

private:
    sqlite3* h_ = nullptr;
};

class Statement {
public:
    Statement(const Connection& db, const char* sql) {
        if (db && sqlite3_prepare_v3(db.get(), sql, -1, 0, &s_, nullptr) != SQLITE_OK) {
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
    int step() const { return s_ ? sqlite3_step(s_) : SQLITE_MISUSE; }
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
