#include "database/sample_export.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "database/sample_database.h"
#include "database/sqlite_handle.h"
#include "base/iso_date_time.h"
#include "base/json.h"

namespace orlix {
namespace {

using sqlite::Connection;
using sqlite::Statement;

constexpr std::size_t kFlushBytes = 1 << 20;

ExportResult failure(ExportStatus status, std::string message) {
    ExportResult r;
    r.status = status;
    r.message = std::move(message);
    return r;
}

// ---------------------------------------------------------------- opening

// The file name as a SQLite URI, every byte outside the plain set escaped.
std::string fileUri(const std::string& path, bool immutable) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string uri = path.starts_with('/') ? "file://" : "file:";
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        if (std::isalnum(c) || c == '/' || c == '.' || c == '_' || c == '-' || c == '~') {
            uri.push_back(ch);
        } else {
            uri.push_back('%');
            uri.push_back(kHex[c >> 4]);
            uri.push_back(kHex[c & 15]);
        }
    }
    uri += immutable ? "?mode=ro&immutable=1" : "?mode=ro";
    return uri;
}

bool nonEmptyFile(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && st.st_size > 0;
}

struct Opened {
    Connection db;
    ExportResult error;  // status Done when db is open
};

// Checks what can be checked without the engine, then opens read-only. A
// file in write-ahead-log mode is opened as unchanging when it has no log
// beside it: the engine would otherwise create the log and its index file.
Opened openReadOnly(const std::string& path) {
    Opened o;
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) {
        o.error = failure(ExportStatus::Unreadable, std::strerror(errno));
        return o;
    }
    if (!S_ISREG(st.st_mode)) {
        o.error = failure(ExportStatus::Unreadable, "not a regular file");
        return o;
    }
    // The 100-byte file header: the SQLite signature and the journal mode.
    unsigned char head[100] = {};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        o.error = failure(ExportStatus::Unreadable, std::strerror(errno));
        return o;
    }
    const ssize_t got = ::read(fd, head, sizeof head);
    const int readError = errno;
    ::close(fd);
    if (got < 0) {
        o.error = failure(ExportStatus::Unreadable, std::strerror(readError));
        return o;
    }
    if (got != static_cast<ssize_t>(sizeof head) || std::memcmp(head, "SQLite format 3", 16) != 0) {
        o.error = failure(ExportStatus::NotSampleFile, "not a sample database (not an SQLite file)");
        return o;
    }
    const bool walMode = head[18] == 2 || head[19] == 2;
    if (walMode && nonEmptyFile(path + "-wal")) {
        o.error = failure(ExportStatus::Damaged,
                          "the file has a pending write-ahead log beside it (" + path +
                              "-wal); let the program that wrote it finish, or run "
                              "sqlite3 on it once, then export again");
        return o;
    }
    sqlite3* h = nullptr;
    // One thread only: no engine mutex around every column read.
    constexpr int kFlags = SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX;
    const int rc = sqlite3_open_v2(fileUri(path, walMode).c_str(), &h, kFlags, nullptr);
    o.db = Connection(h);
    if (rc != SQLITE_OK) {
        o.error = failure(ExportStatus::Unreadable, h ? sqlite3_errmsg(h) : "out of memory");
        o.db.close();
        return o;
    }
    sqlite3_extended_result_codes(h, 1);
    sqlite3_busy_timeout(h, 2000);
    sqlite3_db_config(h, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(h, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    o.error.status = ExportStatus::Done;
    return o;
}

// A failure of the engine while reading, as the user should see it.
ExportResult engineFailure(const Connection& db, int rc) {
    if (rc == SQLITE_READONLY_ROLLBACK || rc == SQLITE_READONLY_RECOVERY)
        return failure(ExportStatus::Damaged,
                       "the file holds an unfinished write (a journal beside it) that must be rolled "
                       "back first; open it once in Orlix Monitor or the sqlite3 shell, then export again");
    if ((rc & 0xFF) == SQLITE_NOTADB) return failure(ExportStatus::NotSampleFile, "not a sample database");
    return failure(ExportStatus::Damaged, std::string("the file is damaged (") + sqlite3_errmsg(db.get()) + ")");
}

// Done when `emp1` has exactly the 52 sample columns in their order.
ExportResult checkSchema(const Connection& db) {
    Statement info(db, "PRAGMA table_info(emp1)");
    if (!info) return engineFailure(db, sqlite3_extended_errcode(db.get()));
    int n = 0;
    int rc;
    while ((rc = info.step()) == SQLITE_ROW) {
        const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 1));
        if (n >= kSampleTableColumns || !name || kEmp1Columns[static_cast<std::size_t>(n)] != name)
            return failure(ExportStatus::NotSampleFile, "not a sample database (emp1 has other columns)");
        ++n;
    }
    if (rc != SQLITE_DONE) return engineFailure(db, rc);
    if (n == 0) return failure(ExportStatus::NotSampleFile, "not a sample database (no table emp1)");
    if (n != kSampleTableColumns)
        return failure(ExportStatus::NotSampleFile, "not a sample database (emp1 has other columns)");
    return failure(ExportStatus::Done, {});
}

// ---------------------------------------------------------------- cells

void appendInt(std::string& out, std::int64_t v) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

// The shortest text that reads back as the same double.
void appendDouble(std::string& out, double v) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

// Text of a foreign cell: valid UTF-8 passes, other bytes become U+FFFD;
// quoted for CSV when it holds a separator, a quote or a line end, escaped
// for JSON always.
void appendText(std::string& out, std::string_view s, ExportFormat format) {
    if (format == ExportFormat::JsonLines) appendJsonString(out, s);
    else appendCsvField(out, s);
}

void appendBlobHex(std::string& out, const void* data, int size, ExportFormat format) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const auto* p = static_cast<const unsigned char*>(data);
    if (format == ExportFormat::JsonLines) out.push_back('"');
    for (int i = 0; i < size; ++i) {
        out.push_back(kHex[p[i] >> 4]);
        out.push_back(kHex[p[i] & 15]);
    }
    if (format == ExportFormat::JsonLines) out.push_back('"');
}

// One stored cell as it stands: integers and reals as numbers, NULL as an
// empty field (CSV) or null (JSON), text as text.
void appendCell(std::string& out, sqlite3_stmt* st, int col, ExportFormat format) {
    switch (sqlite3_column_type(st, col)) {
        case SQLITE_INTEGER: appendInt(out, sqlite3_column_int64(st, col)); break;
        case SQLITE_FLOAT: {
            const double v = sqlite3_column_double(st, col);
            if (format == ExportFormat::JsonLines && !std::isfinite(v)) out += "null";
            else appendDouble(out, v);
            break;
        }
        case SQLITE_TEXT: {
            const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
            appendText(out, {t ? t : "", static_cast<std::size_t>(sqlite3_column_bytes(st, col))}, format);
            break;
        }
        case SQLITE_BLOB: appendBlobHex(out, sqlite3_column_blob(st, col), sqlite3_column_bytes(st, col), format); break;
        default:
            if (format == ExportFormat::JsonLines) out += "null";
            break;
    }
}

// The ISO text of the Time cell; nothing when it holds no usable number.
void appendIsoTime(std::string& out, sqlite3_stmt* st, int col, ExportFormat format) {
    const int type = sqlite3_column_type(st, col);
    char buf[kIsoDateTimeLength];
    const int n = type == SQLITE_INTEGER || type == SQLITE_FLOAT ? formatIsoDateTime(sqlite3_column_double(st, col), buf)
                                                                 : 0;
    const bool json = format == ExportFormat::JsonLines;
    if (n == 0) {
        if (json) out += "null";
        return;
    }
    if (json) out.push_back('"');
    out.append(buf, static_cast<std::size_t>(n));
    if (json) out.push_back('"');
}

// ---------------------------------------------------------------- rows

// The query selects the 50 values, then Time.
constexpr int kQueryTimeColumn = kSampleValueColumns;

std::string selectSql(const ExportOptions& o) {
    std::string sql = "SELECT ";
    for (int i = 0; i <= kTimeColumn; ++i) {
        if (i) sql += ',';
        sql += kEmp1Columns[static_cast<std::size_t>(i)];
    }
    sql += " FROM emp1";
    if (o.from && o.before) sql += " WHERE Time >= ?1 AND Time < ?2";
    else if (o.from) sql += " WHERE Time >= ?1";
    else if (o.before) sql += " WHERE Time < ?2";
    sql += " ORDER BY Time ASC";
    return sql;
}

void appendCsvRow(std::string& out, sqlite3_stmt* st) {
    appendIsoTime(out, st, kQueryTimeColumn, ExportFormat::Csv);
    out.push_back(',');
    appendCell(out, st, kQueryTimeColumn, ExportFormat::Csv);
    // The common case, integer values, is formatted into a local line and
    // appended once; any other cell takes the general path.
    char line[kSampleValueColumns * 21 + 1];
    char* p = line;
    for (int i = 0; i < kSampleValueColumns; ++i) {
        *p++ = ',';
        if (sqlite3_column_type(st, i) == SQLITE_INTEGER) {
            p = std::to_chars(p, line + sizeof line, sqlite3_column_int64(st, i)).ptr;
            continue;
        }
        out.append(line, static_cast<std::size_t>(p - line));
        p = line;
        appendCell(out, st, i, ExportFormat::Csv);
    }
    *p++ = '\n';
    out.append(line, static_cast<std::size_t>(p - line));
}

// Keys of a JSON line, each with its opening quote, colon and separator.
const std::array<std::string, kSampleValueColumns>& jsonKeys() {
    static const auto keys = [] {
        std::array<std::string, kSampleValueColumns> k;
        for (int i = 0; i < kSampleValueColumns; ++i)
            k[static_cast<std::size_t>(i)] = ",\"" + std::string(kEmp1Columns[static_cast<std::size_t>(i)]) + "\":";
        return k;
    }();
    return keys;
}

void appendJsonRow(std::string& out, sqlite3_stmt* st) {
    out += "{\"time\":";
    appendIsoTime(out, st, kQueryTimeColumn, ExportFormat::JsonLines);
    out += ",\"time_days\":";
    appendCell(out, st, kQueryTimeColumn, ExportFormat::JsonLines);
    const auto& keys = jsonKeys();
    for (int i = 0; i < kSampleValueColumns; ++i) {
        out += keys[static_cast<std::size_t>(i)];
        appendCell(out, st, i, ExportFormat::JsonLines);
    }
    out += "}\n";
}

}  // namespace

std::string sampleCsvHeader() {
    std::string h = "time,time_days";
    for (int i = 0; i < kSampleValueColumns; ++i) {
        h.push_back(',');
        h += kEmp1Columns[static_cast<std::size_t>(i)];
    }
    h.push_back('\n');
    return h;
}

ExportResult exportSamples(const std::string& path, const ExportOptions& options, ByteSink& out) {
    Opened o = openReadOnly(path);
    if (o.error.status != ExportStatus::Done) return o.error;
    const Connection& db = o.db;
    // One read transaction: the rows are one consistent state of the file
    // even while the monitor appends to it.
    if (!db.exec("BEGIN")) return engineFailure(db, sqlite3_extended_errcode(db.get()));
    ExportResult result = checkSchema(db);
    if (result.status != ExportStatus::Done) return result;

    Statement query(db, selectSql(options).c_str());
    if (!query) return engineFailure(db, sqlite3_extended_errcode(db.get()));
    if (options.from) sqlite3_bind_double(query.get(), 1, *options.from);
    if (options.before) sqlite3_bind_double(query.get(), 2, *options.before);

    const bool csv = options.format == ExportFormat::Csv;
    std::string buf;
    buf.reserve(kFlushBytes + 4096);
    if (csv) buf = sampleCsvHeader();
    int rc;
    while ((rc = query.step()) == SQLITE_ROW) {
        if (csv) appendCsvRow(buf, query.get());
        else appendJsonRow(buf, query.get());
        ++result.records;
        if (buf.size() >= kFlushBytes) {
            if (!out.write(buf)) return {ExportStatus::WriteFailed, result.records, "cannot write the output"};
            buf.clear();
        }
    }
    if (rc != SQLITE_DONE) {
        ExportResult bad = engineFailure(db, rc);
        bad.records = result.records;
        return bad;
    }
    if (!buf.empty() && !out.write(buf)) return {ExportStatus::WriteFailed, result.records, "cannot write the output"};
    db.exec("COMMIT");
    return result;
}

}  // namespace orlix
