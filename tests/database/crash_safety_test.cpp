// A recording process killed at a random moment must leave a sound file that
// holds every batch it had committed, and only whole batches.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "database/sample_database.h"
#include "db_test_util.h"

namespace orlix {
namespace {

using testing::makeRows;
using testing::ScratchDir;
using testing::tickTime;

std::string integrityCheck(const std::string& path) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) return "cannot open";
    sqlite3_stmt* st = nullptr;
    std::string out = "no result";
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        out = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
}

// Child: appends batch after batch from `firstBatch` on and reports each
// committed batch number on the pipe, until killed.
[[noreturn]] void recordForever(const std::string& path, int firstBatch, int reportFd) {
    for (int b = firstBatch;; ++b) {
        const auto rows = makeRows(45 * b, 45);
        if (!appendSamples(path, rows).stored) ::_exit(3);
        const std::int32_t done = b;
        if (::write(reportFd, &done, sizeof done) != sizeof done) ::_exit(4);
    }
}

TEST(CrashSafety, KilledWhileRecordingKeepsWholeCommittedBatches) {
    ScratchDir dir;
    const std::string path = dir.file("crash.mdb");
    ASSERT_TRUE(CreateSampleDatabase(path));
    std::mt19937 rng(12345);
    int batchesInFile = 0;
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::close(fds[0]);
            recordForever(path, batchesInFile, fds[1]);
        }
        ::close(fds[1]);
        // Let it commit a few batches, then kill it somewhere in the middle
        // of the next ones.
        int lastReported = batchesInFile - 1;
        const int wanted = 3 + static_cast<int>(rng() % 5);
        for (int got = 0; got < wanted;) {
            std::int32_t b = 0;
            ASSERT_EQ(::read(fds[0], &b, sizeof b), static_cast<ssize_t>(sizeof b));
            lastReported = b;
            ++got;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % 3000));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the recorder stopped by itself";
        std::int32_t b = 0;
        while (::read(fds[0], &b, sizeof b) == static_cast<ssize_t>(sizeof b)) lastReported = b;
        ::close(fds[0]);

        EXPECT_EQ(integrityCheck(path), "ok");
        const std::int64_t count = countRecords(path);
        ASSERT_GE(count, 0);
        EXPECT_EQ(count % 45, 0) << count;
        const int batches = static_cast<int>(count / 45);
        // Every reported batch is there; at most one more got committed
        // before the report could be written.
        EXPECT_GE(batches, lastReported + 1);
        EXPECT_LE(batches, lastReported + 2);
        const HistoryResult h = loadHistory(path, std::nullopt, static_cast<int>(count));
        ASSERT_EQ(h.rows.size(), static_cast<std::size_t>(count));
        const auto expected = makeRows(0, static_cast<int>(count));
        for (std::size_t i = 0; i < h.rows.size(); ++i) {
            ASSERT_EQ(h.rows[i].time, tickTime(static_cast<int>(i))) << i;
            ASSERT_EQ(h.rows[i].values, expected[i].values) << i;
        }
        batchesInFile = batches;
    }
}

}  // namespace
}  // namespace orlix
