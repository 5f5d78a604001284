#include "database/database_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "base/log.h"

namespace orlix::dblog {
namespace {

thread_local Operation* tCurrent = nullptr;

// A statement's first words are enough to say which step failed.
std::string shortStatement(std::string_view sql) {
    constexpr std::size_t kMax = 40;
    while (!sql.empty() && (sql.front() == ' ' || sql.front() == '\n')) sql.remove_prefix(1);
    const auto cut = sql.find_first_of(";\n");
    if (cut != std::string_view::npos && cut + 1 < sql.size()) sql = sql.substr(0, cut);
    if (sql.size() <= kMax) return std::string(sql);
    return std::string(sql.substr(0, kMax)) + "...";
}

}  // namespace

Operation::Operation(std::string what, std::string path)
    : outer_(tCurrent), what_(std::move(what)), path_(std::move(path)) {
    tCurrent = this;
}

Operation::~Operation() {
    tCurrent = outer_;
    if (cause_.empty()) return;
    log::warning(log::kDatabase, what_ + " " + path_ + " failed: " + cause_);
}

void noteFailure(std::string_view cause) {
    if (tCurrent && tCurrent->cause_.empty()) tCurrent->cause_ = cause.empty() ? "unknown cause" : cause;
}

void noteSqliteFailure(sqlite3* db, std::string_view statement) {
    if (!tCurrent || tCurrent->failed()) return;  // the first cause is the one
    std::string cause = db ? sqlite3_errmsg(db) : "out of memory";
    if (!statement.empty()) cause += " (" + shortStatement(statement) + ")";
    noteFailure(cause);
}

std::string unreadableReason(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(std::filesystem::path(path), ec)) return "it is a folder";
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return std::strerror(errno);
    std::fclose(f);
    return "not a SQLite database file";
}

}  // namespace orlix::dblog
