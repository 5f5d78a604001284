#pragma once
// A large sample database made quickly inside SQLite: record i has the time
// 46000 + 4 s x i (from 2025-12-09) and in column c the 16-bit value
// (7919 i + 104729 c) mod 65536 - 32768, so every column and record differs.
// Used by the export tests and the export benchmark.
#include <sqlite3.h>

#include <string>

#include "database/sample_database.h"

namespace orlix::test {

inline std::string bigSampleFileSql(long long records) {
    std::string sql =
        "PRAGMA synchronous=OFF; BEGIN; INSERT INTO emp1 WITH RECURSIVE seq(i) AS "
        "(SELECT 0 UNION ALL SELECT i + 1 FROM seq WHERE i < " +
        std::to_string(records - 1) + ") SELECT ";
    for (int c = 0; c < kSampleValueColumns; ++c)
        sql += "(i * 7919 + " + std::to_string(c * 104729) + ") % 65536 - 32768, ";
    sql += "46000.0 + i * 4.0 / 86400.0, i FROM seq; COMMIT;";
    return sql;
}

// Creates the file at `path`; false when anything failed.
inline bool makeBigSampleFile(const std::string& path, long long records) {
    if (!CreateSampleDatabase(path)) return false;
    sqlite3* db = nullptr;
    bool ok = sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
              sqlite3_exec(db, bigSampleFileSql(records).c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

}  // namespace orlix::test
