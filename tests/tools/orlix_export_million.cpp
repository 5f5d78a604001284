// A million-record export against the sqlite3 shell writing the same
// records: row for row the same values and times. A CTest test of its own
// (label "slow"), since it takes several seconds.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "big_sample_file.h"
#include "base/iso_date_time.h"
#include "process.h"

extern char** environ;

namespace orlix {
namespace {

constexpr long long kRecords = 1'000'000;

// Starts a program with its standard output in `outPath` (standard error
// too); its process id, or -1.
pid_t start(const std::vector<std::string>& args, const std::string& outPath) {
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    return pid;
}

int exitStatus(pid_t pid) {
    int ws = 0;
    if (pid < 0 || ::waitpid(pid, &ws, 0) != pid || !WIFEXITED(ws)) return -1;
    return WEXITSTATUS(ws);
}

// The text after the n-th comma of a line, and the text before it.
std::string_view afterComma(std::string_view line, int n) {
    std::size_t from = 0;
    for (int i = 0; i < n; ++i) {
        const std::size_t at = line.find(',', from);
        if (at == std::string_view::npos) return {};
        from = at + 1;
    }
    return line.substr(from);
}
std::string_view beforeComma(std::string_view line, int n) {
    const std::string_view rest = afterComma(line, n);
    return rest.data() ? line.substr(0, static_cast<std::size_t>(rest.data() - line.data()) - 1) : line;
}

TEST(OrlixExportMillion, MatchesTheSqliteShellRowForRow) {
    const auto dir = test::tempPath("million");
    std::filesystem::create_directories(dir);
    const std::string db = (dir / "big.mdb").string();
    const std::string ours = (dir / "ours.csv").string();
    const std::string theirs = (dir / "sqlite3.csv").string();
    ASSERT_TRUE(test::makeBigSampleFile(db, kRecords));

    // Both at once: the machine has two cores.
    const pid_t a = start({ORLIX_EXPORT_BIN, db}, ours);
    const pid_t b = start({ORLIX_SQLITE3, "-csv", "-header", db, "SELECT * FROM emp1 ORDER BY Time"}, theirs);
    ASSERT_EQ(exitStatus(a), 0);
    ASSERT_EQ(exitStatus(b), 0);

    std::ifstream fa(ours), fb(theirs);
    std::string la, lb;
    // Ours: time, time_days, the 50 values. The shell's: the 50 values,
    // Time, Number.
    ASSERT_TRUE(std::getline(fa, la) && std::getline(fb, lb));
    ASSERT_EQ(afterComma(la, 2), beforeComma(lb, 50));
    EXPECT_EQ(afterComma(lb, 50), "Time,Number");

    long long n = 0;
    while (std::getline(fb, lb)) {
        ASSERT_TRUE(std::getline(fa, la)) << "ours ends after " << n << " records";
        ASSERT_EQ(afterComma(la, 2), beforeComma(lb, 50)) << "record " << n;
        // The shell writes 15 digits of the day count; ours reads back
        // exactly (checked against Python elsewhere), so they agree to
        // those digits.
        const double days = std::strtod(la.c_str() + la.find(',') + 1, nullptr);
        const double shell = std::strtod(afterComma(lb, 50).data(), nullptr);
        ASSERT_LE(std::fabs(days - shell), 1e-14 * days) << "record " << n;
        ASSERT_EQ(afterComma(lb, 51), std::to_string(n));  // Number: stored in time order
        ASSERT_EQ(std::string_view(la).substr(0, 19), isoDateTimeText(46000.0 + n * 4.0 / 86400.0)) << "record " << n;
        ++n;
    }
    EXPECT_FALSE(std::getline(fa, la)) << "ours has more records";
    EXPECT_EQ(n, kRecords);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

}  // namespace
}  // namespace orlix
