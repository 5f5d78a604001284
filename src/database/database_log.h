#pragma once
// Failures of the sample database are logged (orlix.database) once per
// operation, with what was being done, the file and the first cause:
//
//   orlix.database: warning: storing 45 samples in /home/u/OrlixMonitorDB/a.mdb
//   failed: database is locked (BEGIN IMMEDIATE)
//
// A public function of sample_database.h opens an Operation; the SQLite
// wrappers and the file checks note failures into the operation running on
// this thread, and the operation writes one line when it ends. An operation
// begun while another one waits (a batch stored while a clear lets window
// events run) keeps its causes to itself.
#include <sqlite3.h>

#include <string>
#include <string_view>

namespace orlix::dblog {

class Operation {
public:
    // `what` says what is being done, e.g. "storing 45 samples in".
    Operation(std::string what, std::string path);
    ~Operation();
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

    // Whether a failure was noted.
    bool failed() const { return !cause_.empty(); }

private:
    friend void noteFailure(std::string_view cause);
    Operation* outer_;
    std::string what_, path_, cause_;
};

// Notes the cause of a failure in the operation running on this thread
// (only the first cause of an operation is kept). Outside an operation it
// is dropped: every public function runs inside one.
void noteFailure(std::string_view cause);

// Notes the engine's message for a failing call on `db`, with the statement
// that failed (its start): "disk I/O error (INSERT INTO emp1 VALUES ...)".
void noteSqliteFailure(sqlite3* db, std::string_view statement);

// Why `path` cannot be read as a SQLite file: the system's reason when it
// cannot be opened, else that it is no SQLite file.
std::string unreadableReason(const std::string& path);

}  // namespace orlix::dblog
