#pragma once
// Helpers shared by the database tests: a scratch folder per test and
// direct SQL access for setting up files the program would never write.
#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "database/sample_database.h"
#include "base/date_time.h"

namespace orlix::testing {

class ScratchDir {
public:
    ScratchDir() {
        static std::atomic<int> serial{0};
        dir_ = std::filesystem::temp_directory_path() /
               ("orlix_db_" + std::to_string(::getpid()) + "_" + std::to_string(serial++));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::permissions(dir_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(dir_, ec);
    }
    std::string file(const std::string& name) const { return (dir_ / name).string(); }
    const std::filesystem::path& path() const { return dir_; }

private:
    std::filesystem::path dir_;
};

// Runs SQL on a file with the plain engine; fails the test on error.
inline void rawSql(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* err = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
    const std::string msg = err ? err : "";
    sqlite3_free(err);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << msg << " in " << sql;
}

// The sample table as another tool would declare it: the 52 columns by
// name and in order, `type(i)` giving column i's declared type.
template <class TypeOf>
std::string foreignEmp1Sql(TypeOf type, const std::string& tail = "") {
    std::string sql = "CREATE TABLE emp1(";
    for (int i = 0; i < kSampleTableColumns; ++i) {
        if (i) sql += ", ";
        sql += std::string(kEmp1Columns[static_cast<std::size_t>(i)]) + " " + type(i);
    }
    return sql + ")" + tail;
}
inline std::string foreignEmp1Sql() {
    return foreignEmp1Sql([](int i) { return i < kSampleValueColumns ? "SMALLINT" : i == kTimeColumn ? "DATETIME" : "INTEGER"; });
}

inline std::string fileBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// A sample whose values tell its index and column apart.
inline SampleRow makeRow(int index, DateTime time) {
    SampleRow r;
    for (int i = 0; i < kSampleValueColumns; ++i)
        r.values[static_cast<std::size_t>(i)] = static_cast<std::int16_t>((index * 7 + i * 131) % 30000 - 15000);
    r.time = time;
    return r;
}

inline constexpr DateTime kDay0 = 46000.0;  // some day in 2025
inline DateTime tickTime(int i) { return kDay0 + secondsToDays(4.0 * i); }

inline std::vector<SampleRow> makeRows(int first, int n) {
    std::vector<SampleRow> rows;
    for (int i = first; i < first + n; ++i) rows.push_back(makeRow(i, tickTime(i)));
    return rows;
}

}  // namespace orlix::testing
