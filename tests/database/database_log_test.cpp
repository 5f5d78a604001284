#include "database/database_log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "database/sample_database.h"
#include "database/sample_recorder.h"
#include "db_test_util.h"
#include "log_capture.h"
#include "scripted_dialog_host.h"

namespace orlix {
namespace {

using testing::ScratchDir;
using testing::makeRows;

bool starts(const std::string& s, const std::string& head) { return s.rfind(head, 0) == 0; }
bool has(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

// Another connection holding a lock, as a second program would: EXCLUSIVE
// keeps everyone out, IMMEDIATE only other writers.
struct WriteLock {
    explicit WriteLock(const std::string& path, const char* begin = "BEGIN EXCLUSIVE") {
        EXPECT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, begin, nullptr, nullptr, nullptr), SQLITE_OK);
    }
    ~WriteLock() {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    sqlite3* db = nullptr;
};

TEST(DatabaseLog, LockedFileGivesOneWarningWithOperationPathAndEngineCause) {
    ScratchDir dir;
    const std::string path = dir.file("locked.mdb");
    ASSERT_TRUE(CreateSampleDatabase(path));
    test::LogCapture capture;
    {
        WriteLock lock(path);
        EXPECT_FALSE(appendSamples(path, makeRows(0, 45)).stored);
    }
    const auto lines = capture.of(log::kDatabase);
    ASSERT_EQ(lines.size(), 1u) << lines.back();
    EXPECT_TRUE(starts(lines[0], "orlix.database|warning|storing 45 samples in " + path + " failed: ")) << lines[0];
    EXPECT_TRUE(has(lines[0], "database is locked")) << lines[0];
}

TEST(DatabaseLog, FileGoneOrForeignSaysWhy) {
    ScratchDir dir;
    const std::string gone = dir.file("gone.mdb");
    const std::string foreign = dir.file("foreign.mdb");
    const std::string garbage = dir.file("garbage.mdb");
    testing::rawSql(foreign, "CREATE TABLE emp1(x)");
    std::ofstream(garbage) << "SQLite format 3" << std::string(1, '\0') << std::string(5000, 'x');
    test::LogCapture capture;
    EXPECT_FALSE(appendSamples(gone, makeRows(0, 3)).opened);
    EXPECT_FALSE(loadHistory(foreign, std::nullopt).opened);
    EXPECT_EQ(countRecords(garbage), -1);
    EXPECT_FALSE(isSampleDatabase(dir.path().string()));
    const auto lines = capture.of(log::kDatabase);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "orlix.database|warning|storing 3 samples in " + gone + " failed: No such file or directory");
    EXPECT_TRUE(starts(lines[1], "orlix.database|warning|loading the history from " + foreign +
                                     " failed: not a sample database"))
        << lines[1];
    EXPECT_TRUE(starts(lines[2], "orlix.database|warning|counting the records of " + garbage + " failed: "))
        << lines[2];
    EXPECT_TRUE(has(lines[3], "failed: it is a folder")) << lines[3];
}

TEST(DatabaseLog, CreationFailuresSayWhy) {
    ScratchDir dir;
    const std::string taken = dir.file("taken.mdb");
    std::ofstream(taken) << "x";
    test::LogCapture capture;
    EXPECT_FALSE(CreateSampleDatabase(taken));
    EXPECT_FALSE(CreateSampleDatabase(dir.file("no/such/folder.mdb")));
    const auto lines = capture.of(log::kDatabase);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "orlix.database|warning|creating the sample database " + taken +
                            " failed: a file of that name exists");
    EXPECT_TRUE(has(lines[1], "folder.mdb failed: No such file or directory")) << lines[1];
}

TEST(DatabaseLog, WorkThatSucceedsLogsNothing) {
    ScratchDir dir;
    const std::string path = dir.file("fine.mdb");
    test::LogCapture capture;
    ASSERT_TRUE(CreateSampleDatabase(path));
    EXPECT_TRUE(appendSamples(path, makeRows(0, 900)).stored);
    EXPECT_TRUE(loadHistory(path, testing::tickTime(100)).opened);
    EXPECT_EQ(countRecords(path), 900);
    EXPECT_TRUE(clearSamples(path).ok);
    EXPECT_TRUE(capture.all().empty()) << capture.all().front();
}

TEST(DatabaseLog, ClearGivingUpLogsOnceAndAWorkRunInBetweenKeepsItsOwnCause) {
    ScratchDir dir;
    const std::string path = dir.file("clear.mdb");
    const std::string absent = dir.file("absent.mdb");
    ASSERT_TRUE(CreateSampleDatabase(path));
    ASSERT_TRUE(appendSamples(path, makeRows(0, 10)).stored);
    test::LogCapture capture;
    {
        WriteLock lock(path, "BEGIN IMMEDIATE");
        // A tick storing into another file while the clear waits.
        const ClearResult r = clearSamples(path, [&](std::int64_t) { appendSamples(absent, makeRows(0, 1)); });
        EXPECT_FALSE(r.ok);
    }
    const auto lines = capture.of(log::kDatabase);
    // The batch tried in between, then the clear that gave up.
    ASSERT_EQ(lines.size(), 2u) << ::testing::PrintToString(lines);
    EXPECT_EQ(lines[0], "orlix.database|warning|storing 1 sample in " + absent + " failed: No such file or directory");
    EXPECT_EQ(lines[1], "orlix.database|warning|clearing " + path + " failed: database is locked (BEGIN IMMEDIATE)");
}

// The stderr line, and QT_LOGGING_RULES switching it off; the rules are
// read once per process, so each case runs in a fresh one.
TEST(DatabaseLog, StderrLineAndItsSwitch) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ScratchDir dir;
    const std::string gone = dir.file("gone.mdb");
    const char* old = std::getenv("QT_LOGGING_RULES");
    const std::string saved = old ? old : "";
    ::unsetenv("QT_LOGGING_RULES");
    EXPECT_EXIT(
        {
            appendSamples(gone, makeRows(0, 45));
            std::exit(0);
        },
        ::testing::ExitedWithCode(0),
        "^orlix\\.database: warning: storing 45 samples in .*gone\\.mdb failed: No such file or directory\n$");
    ::setenv("QT_LOGGING_RULES", "orlix.database=false", 1);
    EXPECT_EXIT(
        {
            appendSamples(gone, makeRows(0, 45));
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "^$");
    if (old) ::setenv("QT_LOGGING_RULES", saved.c_str(), 1);
    else ::unsetenv("QT_LOGGING_RULES");
}

TEST(DatabaseLog, RecorderTellsWhenHeldBackSamplesAreStoredAtLast) {
    ScratchDir dir;
    const std::string path = dir.file("rec.mdb");
    ASSERT_TRUE(CreateSampleDatabase(path));
    ScriptedDialogHost dialogs;
    SampleRecorder recorder(dialogs, {});
    std::array<std::array<std::int16_t, kChartPositions>, kChartRows> data{};
    std::array<DateTime, kChartPositions> time{};
    auto batch = [&](int b) {
        for (int j = 0; j < kBatchSize; ++j)
            time[static_cast<std::size_t>(kBatchFirstPosition + j)] = testing::tickTime(b * kBatchSize + j);
        recorder.AppendSampleBatch(path, makeLiveBufferRefs(data, time));
    };
    test::LogCapture capture;
    {
        WriteLock lock(path);
        batch(0);
    }
    batch(1);
    batch(2);
    const auto lines = capture.of(log::kDatabase);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(starts(lines[0], "orlix.database|warning|storing 45 samples in " + path)) << lines[0];
    EXPECT_EQ(lines[1], "orlix.database|info|stored 90 samples in " + path +
                            ", those held back by the failed batches among them");
    EXPECT_EQ(countRecords(path), 135);
}

}  // namespace
}  // namespace orlix
