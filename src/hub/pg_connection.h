#pragma once
// A thin RAII layer over one libpq connection: connect, run statements with
// text parameters, feed COPY FROM STDIN, transactions. Nothing throws;
// every failure comes back as text with the server's own message.
//
// Connection strings are a URL (postgresql://[user[:password]@]host[:port]/db)
// or libpq keywords ("host=... port=... dbname=..."). They may hold a
// password, so they are never shown: shownName() is host:port/dbname only.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct pg_conn;
struct pg_result;

namespace orlix::hub {

// The result of one statement.
class PgResult {
public:
    PgResult() = default;
    // Takes `raw` (may be null: the statement could not be sent); `conn`
    // supplies the error text when there is no result.
    PgResult(pg_result* raw, pg_conn* conn);
    // A failure that happened before anything was sent.
    static PgResult failed(std::string error);
    // Success without a statement: nothing needed doing.
    static PgResult succeeded();

    bool ok() const { return ok_; }
    const std::string& error() const { return error_; }
    // The server's primary message alone, without detail or SQLSTATE: the
    // same for every row that fails the same way.
    const std::string& message() const { return message_; }
    // The five-character SQLSTATE, or "" when the server gave none (a
    // connection that broke, a failure on this side).
    const std::string& sqlState() const { return sqlState_; }

    int rows() const;
    int columns() const;
    bool isNull(int row, int column) const;
    std::string text(int row, int column) const;
    std::int64_t number(int row, int column) const;  // 0 when not a number
    // Rows an INSERT, UPDATE, DELETE or COPY touched.
    std::int64_t affected() const;
    // The command tag ("INSERT 0 5", "COMMIT", "ROLLBACK").
    std::string command() const;

private:
    // Shared: copies of a result are cheap and free it once.
    std::shared_ptr<pg_result> raw_;
    bool ok_ = false;
    std::string error_;
    std::string message_;
    std::string sqlState_;
};

class PgConnection {
public:
    PgConnection() = default;
    // Connects at once; see ok() and error().
    explicit PgConnection(std::string_view conninfo);
    ~PgConnection();
    PgConnection(PgConnection&& other) noexcept;
    PgConnection& operator=(PgConnection&& other) noexcept;
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    // (Re)connects. Unless the string says otherwise, gives up after 5 s
    // and notices a silent peer through TCP keepalives within about 30 s.
    bool connect(std::string_view conninfo);
    void close();

    // Connected and the connection not found broken.
    bool ok() const;
    // Why the last connect failed.
    const std::string& error() const { return error_; }
    // host:port/dbname, without user or password.
    const std::string& shownName() const { return shownName_; }
    // Counts successful connects: session state (temporary tables) of an
    // older number is gone.
    std::uint64_t session() const { return session_; }

    // One statement with text parameters $1, $2, ...; without parameters
    // `sql` may hold several statements (the result is the last one's).
    PgResult exec(const std::string& sql, const std::vector<std::string>& params = {});
    // Plans `sql` once under `name` for this session; execPrepared() runs
    // it without planning it again.
    PgResult prepare(const std::string& name, const std::string& sql);
    PgResult execPrepared(const std::string& name, const std::vector<std::string>& params = {});
    // Runs `copySql` (COPY ... FROM STDIN) and sends `data` as its input.
    PgResult copyIn(const std::string& copySql, std::string_view data);

    PgResult begin() { return exec("BEGIN"); }
    PgResult commit() { return exec("COMMIT"); }
    PgResult rollback() { return exec("ROLLBACK"); }

private:
    pg_conn* conn_ = nullptr;
    std::string error_;
    std::string shownName_;
    std::uint64_t session_ = 0;
};

// Rolls back at destruction unless commit() succeeded.
class PgTransaction {
public:
    explicit PgTransaction(PgConnection& db);
    ~PgTransaction();
    PgTransaction(const PgTransaction&) = delete;
    PgTransaction& operator=(const PgTransaction&) = delete;

    // Whether BEGIN went through.
    const PgResult& begun() const { return begun_; }
    PgResult commit();

private:
    PgConnection& db_;
    PgResult begun_;
    bool open_ = false;
};

// host:port/dbname of a connection string without connecting, from libpq's
// own parser; defaults shown as libpq would use them. A string libpq cannot
// read gives "(unreadable connection string)" and nothing of its content.
std::string shownConnectionName(std::string_view conninfo);

// Whether a failure is about the data of the statement (SQLSTATE classes
// 22 data exception, 23 integrity violation, 54 a limit exceeded, such as
// an index entry too large): the same rows will fail again, other rows may
// not.
bool isDataError(const PgResult& r);

}  // namespace orlix::hub
