// orlix-export as a user runs it: options, messages and exit statuses, and
// its output read back by Python's csv and json modules against the file.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "database/db_test_util.h"
#include "database/sample_database.h"
#include "base/date_time.h"
#include "process.h"

namespace orlix {
namespace {

using test::readFile;
using test::runProgram;
using test::splitLines;
using test::tempPath;

namespace fs = std::filesystem;

constexpr DateTime kDay = 46000.0;  // 2025-12-09

// A scratch folder per test.
struct Folder {
    fs::path path = tempPath("export");
    Folder() { fs::create_directories(path); }
    ~Folder() {
        std::error_code ec;
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path, ec);
    }
    std::string file(const std::string& name) const { return (path / name).string(); }
};

// Samples over two days at 4 s, with negative values and times whose day
// fraction has no short decimal form; stored newest first.
std::string sampleFile(const Folder& f, int n = 1000) {
    const std::string p = f.file("samples.mdb");
    EXPECT_TRUE(CreateSampleDatabase(p));
    std::vector<SampleRow> rows;
    for (int i = n - 1; i >= 0; --i) {
        SampleRow r;
        for (int c = 0; c < kSampleValueColumns; ++c)
            r.values[static_cast<std::size_t>(c)] = static_cast<std::int16_t>((i * 7919 + c * 104729) % 65536 - 32768);
        r.time = kDay + 0.99 + secondsToDays(4.0 * i) + 1e-7 * (i % 3);
        rows.push_back(r);
    }
    EXPECT_TRUE(appendSamples(p, rows).stored);
    return p;
}

test::RunResult exportTool(const std::vector<std::string>& args, const std::string& stdoutPath = "") {
    std::vector<std::string> argv{ORLIX_EXPORT_BIN};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProgram(argv, "", stdoutPath);
}

test::RunResult checkWithPython(const std::string& db, const std::string& out, const char* format,
                                const std::vector<std::string>& bounds = {}) {
    std::vector<std::string> argv{ORLIX_PYTHON3, ORLIX_CHECK_EXPORT_PY, db, out, format};
    argv.insert(argv.end(), bounds.begin(), bounds.end());
    return runProgram(argv);
}

std::string days(DateTime t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.17g", t);
    return buf;
}

TEST(OrlixExport, PythonReadsTheSameNumbersAsTheFileHolds) {
    Folder f;
    const std::string db = sampleFile(f);
    const std::string csv = f.file("out.csv");
    auto r = exportTool({db, "-o", csv});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out.empty());
    auto py = checkWithPython(db, csv, "csv");
    EXPECT_EQ(py.status, 0) << py.out << py.err;
    EXPECT_EQ(py.out, "1000\n");

    const std::string json = f.file("out.jsonl");
    r = exportTool({db, "--format", "json"}, json);
    ASSERT_EQ(r.status, 0) << r.err;
    py = checkWithPython(db, json, "json");
    EXPECT_EQ(py.status, 0) << py.out << py.err;
    EXPECT_EQ(py.out, "1000\n");
}

TEST(OrlixExport, TimesSelectRecordsByTheSecondTheyAreWrittenWith) {
    Folder f;
    const std::string db = f.file("t.mdb");
    ASSERT_TRUE(CreateSampleDatabase(db));
    // 2025-12-09 23:59:58.6 (written 23:59:59) to 2025-12-10 00:00:02.4.
    std::vector<SampleRow> rows(5);
    for (int i = 0; i < 5; ++i) rows[static_cast<std::size_t>(i)].time = kDay + 1.0 + secondsToDays(-1.4 + i);
    ASSERT_TRUE(appendSamples(db, rows).stored);
    const auto times = [&](const std::vector<std::string>& args) {
        std::vector<std::string> a{db};
        a.insert(a.end(), args.begin(), args.end());
        const auto r = exportTool(a);
        EXPECT_EQ(r.status, 0) << r.err;
        std::string out;
        const auto ls = splitLines(r.out);
        for (std::size_t i = 1; i < ls.size(); ++i) out += ls[i].substr(11, 8) + " ";
        return out;
    };
    EXPECT_EQ(times({}), "23:59:59 00:00:00 00:00:01 00:00:02 00:00:03 ");
    EXPECT_EQ(times({"--from", "2025-12-10"}), "00:00:00 00:00:01 00:00:02 00:00:03 ");
    EXPECT_EQ(times({"--to", "2025-12-09"}), "23:59:59 ");
    EXPECT_EQ(times({"--from=2025-12-09T23:59:59", "--to=2025-12-10 00:00:01"}), "23:59:59 00:00:00 00:00:01 ");
    EXPECT_EQ(times({"--from", "2025-12-10 00:00:02", "--to", "2025-12-10T00:00:02"}), "00:00:02 ");
    EXPECT_EQ(times({"--from", "2025-12-11"}), "");
}

TEST(OrlixExport, BoundsAgreeWithPython) {
    Folder f;
    const std::string db = sampleFile(f);
    const std::string out = f.file("part.csv");
    // 2025-12-10 00:00:00 to 00:10:00: the bounds stand half a second wider.
    ASSERT_EQ(exportTool({db, "--from", "2025-12-10T00:00", "--to", "2025-12-10T00:10:00", "-o", out}).status, 0);
    const auto py = checkWithPython(db, out, "csv",
                                    {days(kDay + 1.0 - secondsToDays(0.5)), days(kDay + 1.0 + secondsToDays(600.5))});
    EXPECT_EQ(py.status, 0) << py.out << py.err;
    EXPECT_NE(py.out, "0\n");
}

// --version and unwritable help are checked with the other programs'.
TEST(OrlixExport, HelpAndUsageErrors) {
    auto r = exportTool({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Usage: orlix-export FILE.mdb [--from TIME] [--to TIME] [--format csv|json] [-o OUT]", 0), 0u);

    Folder f;
    const std::string db = sampleFile(f, 10);
    const std::vector<std::vector<std::string>> bad = {
        {},
        {db, db},
        {db, "--frmo", "2025-01-01"},
        {db, "--from"},
        {db, "--from", "2025-02-30"},
        {db, "--to", "2025-01-01T12:00Z"},
        {db, "--format", "xml"},
        {db, "--from", "2025-12-11", "--to", "2025-12-10"},
    };
    for (const auto& args : bad) {
        r = exportTool(args);
        EXPECT_EQ(r.status, 2) << (args.empty() ? "" : args.back());
        EXPECT_EQ(r.err.rfind("orlix-export: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find("--help"), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
}

TEST(OrlixExport, ForeignOrBrokenInputEndsWithStatus2) {
    Folder f;
    const std::string text = f.file("notes.mdb");
    std::ofstream(text) << "just text\n";
    const std::string other = f.file("other.mdb");
    testing::rawSql(other, "CREATE TABLE emp1(a, b)");
    const std::string truncated = f.file("truncated.mdb");
    {
        const std::string full = readFile(sampleFile(f, 5000));
        std::ofstream(truncated, std::ios::binary) << full.substr(0, full.size() / 2);
    }
    const struct {
        std::string path, message;
    } cases[] = {
        {f.file("absent.mdb"), "No such file"},
        {text, "not a sample database"},
        {other, "not a sample database"},
        {truncated, "damaged"},
    };
    for (const auto& c : cases) {
        const auto r = exportTool({c.path});
        EXPECT_EQ(r.status, 2) << c.path;
        EXPECT_EQ(r.err.rfind("orlix-export: " + c.path + ": ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
}

TEST(OrlixExport, OutputIsReplacedOnlyByACompleteExport) {
    Folder f;
    const std::string db = sampleFile(f, 10);
    const std::string out = f.file("out.csv");
    std::ofstream(out) << "keep me\n";
    const std::string foreign = f.file("foreign.mdb");
    std::ofstream(foreign) << "x";

    EXPECT_EQ(exportTool({foreign, "-o", out}).status, 2);
    EXPECT_EQ(readFile(out), "keep me\n");
    // The output named as the input: refused, the database untouched.
    const std::string before = readFile(db);
    auto r = exportTool({db, "-o", db});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("is the input file"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(db), before);

    ASSERT_EQ(exportTool({db, "--output", out}).status, 0);
    EXPECT_EQ(splitLines(readFile(out)).size(), 11u);
    for (const auto& e : fs::directory_iterator(f.path))
        EXPECT_EQ(e.path().filename().string().find(".partial"), std::string::npos) << e.path();
    struct stat st{};
    ASSERT_EQ(::stat(out.c_str(), &st), 0);
    EXPECT_NE(st.st_mode & S_IROTH, 0u);  // an ordinary file, not the private temporary
}

TEST(OrlixExport, WriteErrorsEndWithStatus1) {
    Folder f;
    const std::string db = sampleFile(f, 100);
    auto r = exportTool({db, "-o", "/dev/full"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot write /dev/full: No space left on device"), std::string::npos) << r.err;
    r = exportTool({db}, "/dev/full");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
    r = exportTool({db, "-o", f.file("no/such/folder/out.csv")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace orlix
