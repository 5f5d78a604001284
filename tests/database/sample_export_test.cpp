#include "database/sample_export.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "db_test_util.h"
#include "csv_text.h"
#include "base/iso_date_time.h"
#include "tools/mini_json.h"

namespace orlix {
namespace {

using testing::makeRows;
using testing::rawSql;
using testing::ScratchDir;
using testing::tickTime;

class StringSink final : public ByteSink {
public:
    std::string text;
    int writes = 0;
    int failAfter = -1;  // refuse the write after this many
    bool write(std::string_view bytes) override {
        if (failAfter >= 0 && writes >= failAfter) return false;
        ++writes;
        text.append(bytes);
        return true;
    }
};

std::string readAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

// Bytes, modification time and the folder's file names.
struct Snapshot {
    std::string bytes;
    long long mtimeNs = 0;
    std::set<std::string> names;
};
void expectUnchanged(const Snapshot& now, const Snapshot& before) {
    EXPECT_TRUE(now.bytes == before.bytes) << "the file's bytes changed";
    EXPECT_EQ(now.mtimeNs, before.mtimeNs);
    EXPECT_EQ(now.names, before.names);
}
Snapshot snapshot(const std::string& path) {
    Snapshot s;
    s.bytes = readAll(path);
    struct stat st{};
    ::stat(path.c_str(), &st);
    s.mtimeNs = static_cast<long long>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    for (const auto& e : std::filesystem::directory_iterator(std::filesystem::path(path).parent_path()))
        s.names.insert(e.path().filename().string());
    return s;
}

std::string columnsSql() {
    std::string sql;
    for (int i = 0; i < kSampleTableColumns; ++i) {
        if (i) sql += ", ";
        sql += kEmp1Columns[static_cast<std::size_t>(i)];
    }
    return sql;
}

// A record with value i + c in column c, as a VALUES row.
std::string valuesRow(int base, const std::string& time) {
    std::string row = "(";
    for (int c = 0; c < kSampleValueColumns; ++c) row += std::to_string(base + c) + ",";
    return row + time + ",0)";
}

class SampleExport : public ::testing::Test {
protected:
    ScratchDir dir;
    std::string ours(int n, const std::string& name = "ours.mdb") {
        const std::string p = dir.file(name);
        EXPECT_TRUE(CreateSampleDatabase(p));
        EXPECT_TRUE(appendSamples(p, makeRows(0, n)).stored);
        return p;
    }
    ExportResult run(const std::string& path, ExportOptions o = {}) {
        sink = {};
        return exportSamples(path, o, sink);
    }
    StringSink sink;
};

TEST_F(SampleExport, CsvHasTheHeaderAndEveryRecordWithBothTimes) {
    const std::string p = ours(3);
    const ExportResult r = run(p);
    ASSERT_EQ(r.status, ExportStatus::Done) << r.message;
    EXPECT_EQ(r.records, 3);
    const auto ls = test::csvLines(sink.text);
    ASSERT_EQ(ls.size(), 4u);
    EXPECT_EQ(ls[0], sampleCsvHeader().substr(0, sampleCsvHeader().size() - 1));
    const auto head = test::csvFields(ls[0]);
    ASSERT_EQ(head.size(), 52u);
    EXPECT_EQ(head[0], "time");
    EXPECT_EQ(head[1], "time_days");
    EXPECT_EQ(head[2], "Pd");
    EXPECT_EQ(head[51], "Sub3_free3");

    const auto rows = makeRows(0, 3);
    for (int i = 0; i < 3; ++i) {
        const auto f = test::csvFields(ls[static_cast<std::size_t>(i) + 1]);
        ASSERT_EQ(f.size(), 52u);
        EXPECT_EQ(f[0], isoDateTimeText(rows[static_cast<std::size_t>(i)].time));
        EXPECT_EQ(std::strtod(f[1].c_str(), nullptr), rows[static_cast<std::size_t>(i)].time) << f[1];
        for (int c = 0; c < kSampleValueColumns; ++c)
            EXPECT_EQ(f[static_cast<std::size_t>(c) + 2], std::to_string(rows[static_cast<std::size_t>(i)].values[static_cast<std::size_t>(c)]));
    }
}

TEST_F(SampleExport, RecordsComeInTimeOrderAndTimesReadBackExactly) {
    const std::string p = dir.file("foreign.mdb");
    // A file another program wrote: no application id, no index, records
    // stored out of time order, times that have no short decimal form.
    rawSql(p, "CREATE TABLE emp1(" + columnsSql() + ");"
              "INSERT INTO emp1 VALUES " + valuesRow(300, "46000.0 + 2.0/3.0") + "," + valuesRow(100, "46000.1") + "," +
                  valuesRow(200, "46000.0 + 1.0/3.0") + ";");
    ASSERT_EQ(run(p).status, ExportStatus::Done);
    const auto ls = test::csvLines(sink.text);
    ASSERT_EQ(ls.size(), 4u);
    const double expected[] = {46000.1, 46000.0 + 1.0 / 3.0, 46000.0 + 2.0 / 3.0};
    const char* firstValue[] = {"100", "200", "300"};
    for (int i = 0; i < 3; ++i) {
        const auto f = test::csvFields(ls[static_cast<std::size_t>(i) + 1]);
        EXPECT_EQ(std::strtod(f[1].c_str(), nullptr), expected[i]) << f[1];
        EXPECT_EQ(f[0], isoDateTimeText(expected[i]));
        EXPECT_EQ(f[2], firstValue[i]);
        EXPECT_EQ(f[51], std::to_string(std::atoi(firstValue[i]) + 49));
    }
}

TEST_F(SampleExport, BoundsSelectFromIncludedToExcluded) {
    const std::string p = ours(10);
    ExportOptions o;
    o.from = tickTime(3);
    o.before = tickTime(7);
    ASSERT_EQ(run(p, o).status, ExportStatus::Done);
    auto ls = test::csvLines(sink.text);
    ASSERT_EQ(ls.size(), 5u);  // header + ticks 3, 4, 5, 6
    EXPECT_EQ(test::csvFields(ls[1])[0], isoDateTimeText(tickTime(3)));
    EXPECT_EQ(test::csvFields(ls[4])[0], isoDateTimeText(tickTime(6)));

    o.before.reset();
    EXPECT_EQ(run(p, o).records, 7);
    o.from.reset();
    o.before = tickTime(0);
    const ExportResult none = run(p, o);
    EXPECT_EQ(none.status, ExportStatus::Done);
    EXPECT_EQ(none.records, 0);
    EXPECT_EQ(sink.text, sampleCsvHeader());
}

TEST_F(SampleExport, ForeignCellsAreWrittenAsStoredAndStayValid) {
    const std::string p = dir.file("odd.mdb");
    rawSql(p, "CREATE TABLE emp1(" + columnsSql() + ");"
              "INSERT INTO emp1 VALUES " + valuesRow(1, "46001.5") + "," + valuesRow(2, "NULL") + ";"
              "UPDATE emp1 SET Pd = 'a,b \"c\"' || char(10) || 'd', Ps = 1.25, Td = NULL, Ts = CAST(x'41ff42' AS TEXT),"
              " Toil = x'0aff' WHERE Time IS NOT NULL;");
    ASSERT_EQ(run(p).status, ExportStatus::Done);
    // The record without a time sorts first and has no ISO time.
    const std::string& csv = sink.text;
    const std::size_t second = csv.find('\n') + 1;
    EXPECT_EQ(csv.substr(second, 5), ",,2,3");
    EXPECT_NE(csv.find(",46001.5,\"a,b \"\"c\"\"\nd\",1.25,,A\xEF\xBF\xBD" "B,0AFF,"), std::string::npos) << csv;

    ExportOptions json;
    json.format = ExportFormat::JsonLines;
    ASSERT_EQ(run(p, json).status, ExportStatus::Done);
    const auto ls = test::csvLines(sink.text);
    ASSERT_EQ(ls.size(), 2u);  // no header
    const auto undated = test::JsonReader(ls[0]).parse();
    ASSERT_TRUE(undated) << ls[0];
    EXPECT_EQ(undated->get("time")->type, test::Json::Type::Null);
    EXPECT_EQ(undated->get("time_days")->type, test::Json::Type::Null);
    const auto rec = test::JsonReader(ls[1]).parse();
    ASSERT_TRUE(rec) << ls[1];
    ASSERT_EQ(rec->keys.size(), 52u);
    EXPECT_EQ(rec->keys[0], "time");
    EXPECT_EQ(rec->keys[2], "Pd");
    EXPECT_EQ(rec->get("time")->str, "2025-12-10T12:00:00");
    EXPECT_EQ(rec->get("time_days")->num, 46001.5);
    EXPECT_EQ(rec->get("Pd")->str, "a,b \"c\"\nd");
    EXPECT_EQ(rec->get("Ps")->num, 1.25);
    EXPECT_EQ(rec->get("Td")->type, test::Json::Type::Null);
    EXPECT_EQ(rec->get("Toil")->str, "0AFF");
    EXPECT_EQ(rec->get("Sub3_free3")->num, 50);
}

TEST_F(SampleExport, RefusesWhatIsNoSampleDatabase) {
    EXPECT_EQ(run(dir.file("absent.mdb")).status, ExportStatus::Unreadable);
    EXPECT_EQ(run(dir.path().string()).status, ExportStatus::Unreadable);

    const std::string empty = dir.file("empty.mdb");
    std::ofstream(empty).close();
    const std::string access = dir.file("access.mdb");
    std::ofstream(access, std::ios::binary) << std::string("\x00\x01\x00\x00Standard Jet DB", 19) << std::string(2000, 'x');
    const std::string noTable = dir.file("other.mdb");
    rawSql(noTable, "CREATE TABLE t(a)");
    const std::string otherColumns = dir.file("cols.mdb");
    rawSql(otherColumns, "CREATE TABLE emp1(Pd, Ps, Time)");
    const std::string extraColumn = dir.file("extra.mdb");
    rawSql(extraColumn, "CREATE TABLE emp1(" + columnsSql() + ", Extra)");
    for (const auto& p : {empty, access, noTable, otherColumns, extraColumn}) {
        const ExportResult r = run(p);
        EXPECT_EQ(r.status, ExportStatus::NotSampleFile) << p;
        EXPECT_NE(r.message.find("not a sample database"), std::string::npos) << r.message;
        EXPECT_TRUE(sink.text.empty()) << p;
    }
}

TEST_F(SampleExport, ReportsDamage) {
    const std::string p = ours(20'000);
    // Overwrite the pages after the schema page with noise.
    std::string bytes = readAll(p);
    for (std::size_t i = 4096; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 2654435761u >> 13);
    std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
    const ExportResult r = run(p);
    EXPECT_EQ(r.status, ExportStatus::Damaged) << r.message;
    EXPECT_NE(r.message.find("damaged"), std::string::npos) << r.message;
}

TEST_F(SampleExport, NeverWritesTheFileOrBesideIt) {
    const std::string p = ours(500);
    ::chmod(p.c_str(), 0644);
    const Snapshot before = snapshot(p);
    ExportOptions o;
    o.from = tickTime(100);
    ASSERT_EQ(run(p, o).status, ExportStatus::Done);
    o.format = ExportFormat::JsonLines;
    ASSERT_EQ(run(p, o).status, ExportStatus::Done);
    expectUnchanged(snapshot(p), before);

    // Read-only file in a read-only folder: still readable.
    ::chmod(p.c_str(), 0444);
    ::chmod(dir.path().c_str(), 0555);
    EXPECT_EQ(run(p).records, 500);
    ::chmod(dir.path().c_str(), 0755);
}

TEST_F(SampleExport, WriteAheadLogFilesAreReadWithoutCreatingTheLog) {
    const std::string p = dir.file("wal.mdb");
    rawSql(p, "PRAGMA journal_mode=WAL; CREATE TABLE emp1(" + columnsSql() + "); INSERT INTO emp1 VALUES " +
                  valuesRow(7, "46000.25") + ";");
    ASSERT_FALSE(std::filesystem::exists(p + "-wal"));
    const Snapshot before = snapshot(p);
    const ExportResult r = run(p);
    ASSERT_EQ(r.status, ExportStatus::Done) << r.message;
    EXPECT_EQ(r.records, 1);
    expectUnchanged(snapshot(p), before);
}

// A copy taken while another connection is inside a write: the copy holds
// what a crash leaves behind.
void copyMidWrite(const std::string& from, const std::string& to, const char* mode, const char* suffix) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(from.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, mode, nullptr, nullptr, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "PRAGMA synchronous=OFF; PRAGMA cache_size=2; BEGIN; DELETE FROM emp1 WHERE rowid % 2 = 0;", nullptr, nullptr,
                           nullptr),
              SQLITE_OK);
    std::filesystem::copy_file(from, to);
    std::filesystem::copy_file(from + suffix, to + suffix);
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

TEST_F(SampleExport, RefusesAFileThatWouldHaveToBeWrittenFirst) {
    const std::string p = ours(5000);
    const std::string crashed = dir.file("crashed.mdb");
    copyMidWrite(p, crashed, "PRAGMA journal_mode=DELETE", "-journal");
    const Snapshot before = snapshot(crashed);
    const std::string journal = readAll(crashed + "-journal");
    const ExportResult r = run(crashed);
    EXPECT_EQ(r.status, ExportStatus::Damaged);
    EXPECT_NE(r.message.find("unfinished write"), std::string::npos) << r.message;
    expectUnchanged(snapshot(crashed), before);
    EXPECT_EQ(readAll(crashed + "-journal"), journal);

    const std::string walSource = dir.file("walsource.mdb");
    rawSql(walSource, "CREATE TABLE emp1(" + columnsSql() + "); INSERT INTO emp1 VALUES " + valuesRow(1, "46000") + ";");
    const std::string pending = dir.file("pending.mdb");
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(walSource.c_str(), &db), SQLITE_OK);
        sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0; INSERT INTO emp1 SELECT * FROM emp1;",
                     nullptr, nullptr, nullptr);
        std::filesystem::copy_file(walSource, pending);
        std::filesystem::copy_file(walSource + "-wal", pending + "-wal");
        sqlite3_close(db);
    }
    const Snapshot walBefore = snapshot(pending);
    const ExportResult w = run(pending);
    EXPECT_EQ(w.status, ExportStatus::Damaged);
    EXPECT_NE(w.message.find("write-ahead log"), std::string::npos) << w.message;
    expectUnchanged(snapshot(pending), walBefore);
}

TEST_F(SampleExport, StopsAtTheFirstRefusedWrite) {
    const std::string p = ours(20'000);  // several flushes of output
    sink = {};
    sink.failAfter = 1;
    const ExportResult r = exportSamples(p, {}, sink);
    EXPECT_EQ(r.status, ExportStatus::WriteFailed);
    EXPECT_LT(r.records, 20'000);
    EXPECT_EQ(sink.writes, 1);
}

}  // namespace
}  // namespace orlix
