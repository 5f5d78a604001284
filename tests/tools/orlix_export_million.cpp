// A million-record export against the sqlite3 shell writing the same
// records: row for row the same values and times. A CTest test of its own
// (label "slow"), since it takes several seconds.
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "big_sample_file.h"
#include "platform/iso_date_time.h"
#include "process.h"

namespace orlix {
namespace {

constexpr long long kRecords = 1'000'000;

// Splits a line of plain CSV (no quoted fields) into `out`.
void split(const std::string& line, std::vector<std::string_view>& out) {
    out.clear();
    std::size_t at = 0;
    for (;;) {
        const std::size_t comma = line.find(',', at);
        out.emplace_back(line.data() + at, (comma == std::string::npos ? line.size() : comma) - at);
        if (comma == std::string::npos) return;
        at = comma + 1;
    }
}

TEST(OrlixExportMillion, MatchesTheSqliteShellRowForRow) {
    const auto dir = test::tempPath("million");
    std::filesystem::create_directories(dir);
    const std::string db = (dir / "big.mdb").string();
    const std::string ours = (dir / "ours.csv").string();
    const std::string theirs = (dir / "sqlite3.csv").string();
    ASSERT_TRUE(test::makeBigSampleFile(db, kRecords));

    auto r = test::runProgram({ORLIX_EXPORT_BIN, db, "-o", ours});
    ASSERT_EQ(r.status, 0) << r.err;
    r = test::runProgram({ORLIX_SQLITE3, "-csv", "-header", db, "SELECT * FROM emp1 ORDER BY Time"}, "", theirs);
    ASSERT_EQ(r.status, 0) << r.err;

    std::ifstream a(ours), b(theirs);
    std::string la, lb;
    std::vector<std::string_view> fa, fb;
    ASSERT_TRUE(std::getline(a, la) && std::getline(b, lb));
    split(la, fa);
    split(lb, fb);
    ASSERT_EQ(fa.size(), 52u);
    ASSERT_EQ(fb.size(), 52u);
    for (int c = 0; c < kSampleValueColumns; ++c) ASSERT_EQ(fa[c + 2], fb[c]);

    long long n = 0;
    while (std::getline(b, lb)) {
        ASSERT_TRUE(std::getline(a, la)) << "ours ends after " << n << " records";
        split(la, fa);
        split(lb, fb);
        ASSERT_EQ(fa.size(), 52u) << la;
        // The 50 values as the shell writes them.
        for (int c = 0; c < kSampleValueColumns; ++c) ASSERT_EQ(fa[c + 2], fb[c]) << "record " << n << " column " << c;
        // The shell writes 15 digits of the day count; ours reads back exactly
        // (checked against Python elsewhere), so they agree to those digits.
        const double days = std::strtod(std::string(fa[1]).c_str(), nullptr);
        const double shell = std::strtod(std::string(fb[50]).c_str(), nullptr);
        ASSERT_LE(std::fabs(days - shell), 1e-14 * days) << "record " << n;
        ASSERT_EQ(std::string(fb[51]), std::to_string(n));  // Number: stored in time order
        ASSERT_EQ(fa[0], isoDateTimeText(46000.0 + n * 4.0 / 86400.0)) << "record " << n;
        ++n;
    }
    EXPECT_FALSE(std::getline(a, la)) << "ours has more records";
    EXPECT_EQ(n, kRecords);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

}  // namespace
}  // namespace orlix
