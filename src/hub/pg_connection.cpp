#include "hub/pg_connection.h"

#include <libpq-fe.h>

#include <algorithm>
#include <charconv>
#include <utility>

namespace orlix::hub {

namespace {

// libpq's messages end in a newline and may continue on indented lines:
// one line for a log.
std::string oneLine(const char* message) {
    std::string s = message != nullptr ? message : "";
    std::replace(s.begin(), s.end(), '\n', ' ');
    std::replace(s.begin(), s.end(), '\t', ' ');
    s.erase(std::unique(s.begin(), s.end(), [](char a, char b) { return a == ' ' && b == ' '; }), s.end());
    while (!s.empty() && s.back() == ' ') s.pop_back();
    while (!s.empty() && s.front() == ' ') s.erase(s.begin());
    return s;
}

std::string hostPortDb(std::string host, std::string port, std::string db) {
    if (host.empty()) host = "(local socket)";
    if (port.empty()) port = "5432";
    if (db.empty()) db = "(default database)";
    return host + ":" + port + "/" + db;
}

// Sent in pieces so that a large batch is never copied twice in memory.
constexpr std::size_t kCopyChunk = 256 * 1024;

}  // namespace

PgResult::PgResult(pg_result* raw, pg_conn* conn) {
    if (raw != nullptr) raw_.reset(raw, PQclear);
    if (raw == nullptr) {
        error_ = oneLine(PQerrorMessage(conn));
        if (error_.empty()) error_ = "no answer from the server";
        message_ = error_;
        return;
    }
    const ExecStatusType status = PQresultStatus(raw);
    ok_ = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK || status == PGRES_COPY_IN;
    if (ok_) return;
    if (const char* state = PQresultErrorField(raw, PG_DIAG_SQLSTATE)) sqlState_ = state;
    const char* primary = PQresultErrorField(raw, PG_DIAG_MESSAGE_PRIMARY);
    message_ = primary != nullptr ? primary : oneLine(PQresultErrorMessage(raw));
    error_ = message_;
    if (const char* detail = PQresultErrorField(raw, PG_DIAG_MESSAGE_DETAIL)) {
        error_ += " (";
        error_ += detail;
        error_ += ")";
    }
    if (error_.empty()) error_ = PQresStatus(status);
    if (!sqlState_.empty()) error_ += " [SQLSTATE " + sqlState_ + "]";
}

PgResult PgResult::failed(std::string error) {
    PgResult r;
    r.error_ = std::move(error);
    r.message_ = r.error_;
    return r;
}

PgResult PgResult::succeeded() {
    PgResult r;
    r.ok_ = true;
    return r;
}

int PgResult::rows() const { return raw_ ? PQntuples(raw_.get()) : 0; }
int PgResult::columns() const { return raw_ ? PQnfields(raw_.get()) : 0; }

bool PgResult::isNull(int row, int column) const {
    return !raw_ || row >= rows() || column >= columns() || PQgetisnull(raw_.get(), row, column) != 0;
}

std::string PgResult::text(int row, int column) const {
    if (isNull(row, column)) return {};
    return std::string(PQgetvalue(raw_.get(), row, column),
                       static_cast<std::size_t>(PQgetlength(raw_.get(), row, column)));
}

std::int64_t PgResult::number(int row, int column) const {
    const std::string s = text(row, column);
    std::int64_t v = 0;
    std::from_chars(s.data(), s.data() + s.size(), v);
    return v;
}

std::int64_t PgResult::affected() const {
    if (!raw_) return 0;
    std::int64_t v = 0;
    const char* s = PQcmdTuples(raw_.get());
    std::from_chars(s, s + std::char_traits<char>::length(s), v);
    return v;
}

std::string PgResult::command() const { return raw_ ? PQcmdStatus(raw_.get()) : ""; }

PgConnection::PgConnection(std::string_view conninfo) { connect(conninfo); }

PgConnection::~PgConnection() { close(); }

PgConnection::PgConnection(PgConnection&& other) noexcept
    : conn_(std::exchange(other.conn_, nullptr)),
      error_(std::move(other.error_)),
      shownName_(std::move(other.shownName_)),
      session_(other.session_) {}

PgConnection& PgConnection::operator=(PgConnection&& other) noexcept {
    if (this != &other) {
        close();
        conn_ = std::exchange(other.conn_, nullptr);
        error_ = std::move(other.error_);
        shownName_ = std::move(other.shownName_);
        session_ = other.session_;
    }
    return *this;
}

bool PgConnection::connect(std::string_view conninfo) {
    close();
    const std::string info(conninfo);
    shownName_ = shownConnectionName(info);
    // libpq's message for a string it cannot parse may quote a piece of it,
    // which may be part of a password.
    char* parseError = nullptr;
    PQconninfoOption* parsed = PQconninfoParse(info.c_str(), &parseError);
    PQfreemem(parseError);
    if (parsed == nullptr) {
        error_ = "the connection string cannot be read";
        return false;
    }
    PQconninfoFree(parsed);
    // Entries before dbname are defaults the string may override; the
    // encoding after it is ours, since every text sent is UTF-8.
    const char* keys[] = {"connect_timeout",  "keepalives_idle", "keepalives_interval", "keepalives_count",
                          "tcp_user_timeout", "application_name", "dbname", "client_encoding", nullptr};
    const char* values[] = {"5", "10", "5", "3", "30000", "orlix-hub", info.c_str(), "UTF8", nullptr};
    conn_ = PQconnectdbParams(keys, values, 1);
    if (conn_ == nullptr || PQstatus(conn_) != CONNECTION_OK) {
        error_ = conn_ != nullptr ? oneLine(PQerrorMessage(conn_)) : "out of memory";
        close();
        return false;
    }
    // "already exists, skipping" and the like: libpq would print them.
    PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);
    error_.clear();
    shownName_ = hostPortDb(PQhost(conn_), PQport(conn_), PQdb(conn_));
    ++session_;
    return true;
}

void PgConnection::close() {
    if (conn_ != nullptr) PQfinish(conn_);
    conn_ = nullptr;
}

bool PgConnection::ok() const { return conn_ != nullptr && PQstatus(conn_) == CONNECTION_OK; }

PgResult PgConnection::exec(const std::string& sql, const std::vector<std::string>& params) {
    if (conn_ == nullptr) return PgResult::failed("not connected");
    if (params.empty()) return PgResult(PQexec(conn_, sql.c_str()), conn_);
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const std::string& p : params) values.push_back(p.c_str());
    return PgResult(PQexecParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(),
                                 nullptr, nullptr, 0),
                    conn_);
}

PgResult PgConnection::prepare(const std::string& name, const std::string& sql) {
    if (conn_ == nullptr) return PgResult::failed("not connected");
    return PgResult(PQprepare(conn_, name.c_str(), sql.c_str(), 0, nullptr), conn_);
}

PgResult PgConnection::execPrepared(const std::string& name, const std::vector<std::string>& params) {
    if (conn_ == nullptr) return PgResult::failed("not connected");
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const std::string& p : params) values.push_back(p.c_str());
    return PgResult(PQexecPrepared(conn_, name.c_str(), static_cast<int>(values.size()), values.data(), nullptr,
                                   nullptr, 0),
                    conn_);
}

PgResult PgConnection::copyIn(const std::string& copySql, std::string_view data) {
    if (conn_ == nullptr) return PgResult::failed("not connected");
    PgResult started(PQexec(conn_, copySql.c_str()), conn_);
    if (!started.ok()) return started;
    bool sent = true;
    for (std::size_t at = 0; sent && at < data.size(); at += kCopyChunk) {
        const std::size_t n = std::min(kCopyChunk, data.size() - at);
        sent = PQputCopyData(conn_, data.data() + at, static_cast<int>(n)) == 1;
    }
    std::string sendError = sent ? std::string() : oneLine(PQerrorMessage(conn_));
    PQputCopyEnd(conn_, sent ? nullptr : "the client could not send all data");
    // The COPY's own result, then the end of results; a broken connection
    // may give nothing at all.
    PgResult result(PQgetResult(conn_), conn_);
    while (pg_result* extra = PQgetResult(conn_)) PQclear(extra);
    if (!sent) return PgResult::failed("sending COPY data failed: " + sendError);
    return result;
}

PgTransaction::PgTransaction(PgConnection& db) : db_(db), begun_(db.begin()), open_(begun_.ok()) {}

PgTransaction::~PgTransaction() {
    if (open_ && db_.ok()) db_.rollback();
}

PgResult PgTransaction::commit() {
    if (!open_) return PgResult::failed("no transaction is open: " + begun_.error());
    open_ = false;
    PgResult r = db_.commit();
    // COMMIT of a transaction that had failed answers ROLLBACK.
    if (r.ok() && r.command() == "ROLLBACK") return PgResult::failed("the transaction had failed and was rolled back");
    return r;
}

std::string shownConnectionName(std::string_view conninfo) {
    char* parseError = nullptr;
    PQconninfoOption* options = PQconninfoParse(std::string(conninfo).c_str(), &parseError);
    PQfreemem(parseError);
    if (options == nullptr) return "(unreadable connection string)";
    std::string host, hostaddr, port, db, user;
    for (const PQconninfoOption* o = options; o->keyword != nullptr; ++o) {
        if (o->val == nullptr) continue;
        const std::string_view k = o->keyword;
        if (k == "host") host = o->val;
        if (k == "hostaddr") hostaddr = o->val;
        if (k == "port") port = o->val;
        if (k == "dbname") db = o->val;
        if (k == "user") user = o->val;
    }
    PQconninfoFree(options);
    return hostPortDb(host.empty() ? hostaddr : host, port, db.empty() ? user : db);
}

bool isDataError(const PgResult& r) {
    const std::string& s = r.sqlState();
    if (s.size() != 5) return false;
    const std::string_view cls = std::string_view(s).substr(0, 2);
    return cls == "22" || cls == "23" || cls == "54";
}

}  // namespace orlix::hub
