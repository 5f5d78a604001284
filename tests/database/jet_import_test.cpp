#include "database/jet_import.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "database/converted_copy.h"
#include "database/jet_format.h"
#include "db_test_util.h"
#include "jet_test_util.h"

namespace orlix {
namespace {

namespace fs = std::filesystem;
using testing::makeJetFile;
using testing::ScratchDir;

// Every record of `path` in rowid order, as stored (NULL cells marked).
std::vector<StoredRecord> readStored(const std::string& path) {
    std::vector<StoredRecord> out;
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, "SELECT * FROM emp1 ORDER BY rowid", -1, &st, nullptr), SQLITE_OK);
    while (st && sqlite3_step(st) == SQLITE_ROW) {
        StoredRecord r;
        for (int c = 0; c < kSampleTableColumns; ++c) {
            if (sqlite3_column_type(st, c) == SQLITE_NULL) {
                r.missing |= std::uint64_t{1} << c;
                continue;
            }
            if (c < kSampleValueColumns) r.values[static_cast<std::size_t>(c)] = static_cast<std::int16_t>(sqlite3_column_int(st, c));
            else if (c == kTimeColumn) r.time = sqlite3_column_double(st, c);
            else r.number = sqlite3_column_int(st, c);
        }
        out.push_back(r);
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
}

void expectSameRecords(const std::vector<StoredRecord>& got, const std::vector<StoredRecord>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t n = 0; n < got.size(); ++n) {
        const StoredRecord& g = got[n];
        const StoredRecord& w = want[n];
        ASSERT_EQ(g.missing, w.missing) << "record " << n;
        for (int c = 0; c < kSampleValueColumns; ++c) {
            if (!(w.missing >> c & 1u)) {
                ASSERT_EQ(g.values[static_cast<std::size_t>(c)], w.values[static_cast<std::size_t>(c)])
                    << "record " << n << " column " << c;
            }
        }
        if (!(w.missing >> kTimeColumn & 1u)) {
            ASSERT_EQ(std::bit_cast<std::uint64_t>(g.time), std::bit_cast<std::uint64_t>(w.time)) << "record " << n;
        }
        if (!(w.missing >> kNumberColumn & 1u)) {
            ASSERT_EQ(g.number, w.number) << "record " << n;
        }
    }
}

std::vector<std::string> folderEntries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string fileBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

TEST(JetHeader, TellsJet4FromOtherFiles) {
    std::array<std::uint8_t, kJetHeaderBytes> h{};
    h[1] = 1;
    std::memcpy(h.data() + 4, "Standard Jet DB", 16);
    h[0x14] = 1;
    EXPECT_TRUE(isJet4Header(h));
    EXPECT_FALSE(isJet4Header(std::span(h).first(kJetHeaderBytes - 1)));
    auto jet3 = h;
    jet3[0x14] = 0;
    EXPECT_FALSE(isJet4Header(jet3));
    auto ace = h;
    std::memcpy(ace.data() + 4, "Standard ACE DB", 16);
    EXPECT_FALSE(isJet4Header(ace));
    auto noZero = h;
    noZero[19] = ' ';
    EXPECT_FALSE(isJet4Header(noZero));
    auto magic = h;
    magic[0] = 0x53;  // "SQLite format 3" starts with 'S'
    EXPECT_FALSE(isJet4Header(magic));
}

TEST(JetRecord, DecodesCellsAndRefusesMisplacedOnes) {
    std::array<std::uint8_t, 4096> page{};
    std::array<JetCell, kSampleTableColumns> cells{};
    int at = 100;
    for (int c = 0; c < kSampleValueColumns; ++c, at += 2) {
        cells[static_cast<std::size_t>(c)] = {at, 2};
        page[static_cast<std::size_t>(at)] = static_cast<std::uint8_t>(c);
        page[static_cast<std::size_t>(at + 1)] = 0x80;  // negative: 0x80cc
    }
    const double t = 45352.3333333333;
    std::memcpy(page.data() + at, &t, 8);
    cells[kTimeColumn] = {at, 8};
    const std::int32_t number = -2147483647 - 1;
    std::memcpy(page.data() + at + 8, &number, 4);
    cells[kNumberColumn] = {at + 8, 4};

    StoredRecord r;
    ASSERT_TRUE(decodeSampleRecord(page, cells, r));
    EXPECT_EQ(r.missing, 0u);
    EXPECT_EQ(r.values[7], static_cast<std::int16_t>(0x8007));
    EXPECT_EQ(std::bit_cast<std::uint64_t>(r.time), std::bit_cast<std::uint64_t>(t));
    EXPECT_EQ(r.number, number);

    auto nulls = cells;
    nulls[3].length = 0;
    nulls[kTimeColumn].length = 0;
    ASSERT_TRUE(decodeSampleRecord(page, nulls, r));
    EXPECT_EQ(r.missing, (std::uint64_t{1} << 3) | (std::uint64_t{1} << kTimeColumn));

    const double nan = std::nan("");
    std::memcpy(page.data() + at, &nan, 8);
    ASSERT_TRUE(decodeSampleRecord(page, cells, r));
    EXPECT_EQ(r.missing, std::uint64_t{1} << kTimeColumn) << "a NaN time cannot be stored as a number";

    auto wrongSize = cells;
    wrongSize[kNumberColumn].length = 2;
    EXPECT_FALSE(decodeSampleRecord(page, wrongSize, r));
    auto outside = cells;
    outside[0].start = 4095;
    EXPECT_FALSE(decodeSampleRecord(page, outside, r));
    outside[0].start = -2;
    EXPECT_FALSE(decodeSampleRecord(page, outside, r));
}

// Every record, every cell: values, NULLs, Time bit for bit, Number.
class JetConversion : public ::testing::TestWithParam<std::pair<int, const char*>> {};

TEST_P(JetConversion, CopiesEveryRecordAsItStands) {
    ScratchDir dir;
    const auto [records, kind] = GetParam();
    const std::string src = dir.file("old.mdb"), dst = dir.file("new.mdb");
    const auto rows = makeJetFile(src, records, kind);
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(records));
    const std::string before = fileBytes(src);

    std::vector<std::pair<std::int64_t, std::int64_t>> steps;
    const ImportResult r = importJetDatabase(src, dst, [&](std::int64_t d, std::int64_t t) {
        steps.emplace_back(d, t);
        return true;
    });
    ASSERT_EQ(r.status, ImportStatus::Done) << importStatusText(r.status);
    EXPECT_EQ(r.records, records);
    expectSameRecords(readStored(dst), rows);
    EXPECT_EQ(countRecords(dst), records) << "the copy is one of our sample databases";
    EXPECT_EQ(fileBytes(src), before) << "the Jet file is never written";
    EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"new.mdb", "old.mdb"}));
    ASSERT_GE(steps.size(), 2u);
    EXPECT_EQ(steps.front(), std::make_pair(std::int64_t{0}, std::int64_t{records}));
    EXPECT_EQ(steps.back(), std::make_pair(std::int64_t{records}, std::int64_t{records}));
    EXPECT_TRUE(std::is_sorted(steps.begin(), steps.end()));
}

INSTANTIATE_TEST_SUITE_P(Fixtures, JetConversion,
                         ::testing::Values(std::make_pair(0, "plain"), std::make_pair(1, "plain"),
                                           std::make_pair(45, "plain"), std::make_pair(1000, "plain"),
                                           std::make_pair(100000, "plain"), std::make_pair(500, "extreme"),
                                           std::make_pair(300, "nulls")));

TEST(JetConversionHistory, ReadsLikeARecordingOfOurs) {
    ScratchDir dir;
    const auto rows = makeJetFile(dir.file("old.mdb"), 1000);
    ASSERT_EQ(importJetDatabase(dir.file("old.mdb"), dir.file("new.mdb")).status, ImportStatus::Done);
    const HistoryResult all = loadHistory(dir.file("new.mdb"), std::nullopt);
    ASSERT_TRUE(all.opened);
    EXPECT_EQ(all.recordCount, 1000);
    ASSERT_EQ(all.rows.size(), 720u);
    EXPECT_EQ(all.rows[719].values, rows[719].values);
    const HistoryResult page = loadHistory(dir.file("new.mdb"), rows[600].time);
    EXPECT_EQ(page.recordCount, 400);
    EXPECT_EQ(page.rows.front().time, rows[600].time);
    // Recording goes on in the copy.
    const SampleRow next{{}, rows.back().time + 1};
    const AppendResult a = appendSamples(dir.file("new.mdb"), std::span(&next, 1));
    EXPECT_TRUE(a.stored);
    EXPECT_EQ(a.recordCount, 1001);
}

TEST(JetConversionHistory, NullCellsAreUnreadableToTheHistory) {
    ScratchDir dir;
    const auto rows = makeJetFile(dir.file("old.mdb"), 30, "nulls");
    ASSERT_EQ(importJetDatabase(dir.file("old.mdb"), dir.file("new.mdb")).status, ImportStatus::Done);
    const HistoryResult h = loadHistory(dir.file("new.mdb"), std::nullopt);
    ASSERT_TRUE(h.opened);
    EXPECT_EQ(h.recordCount, 30);
    int nullRows = 0;
    for (const auto& r : rows) nullRows += r.missing != 0;
    int unreadableRows = 0;
    for (const auto& r : h.rows) unreadableRows += r.unreadable != 0;
    EXPECT_GT(nullRows, 0);
    EXPECT_EQ(unreadableRows, nullRows);
}

// Files that must be refused, leaving nothing behind.
struct Refusal {
    const char* kind;
    int records;
    ImportStatus status;
};
class JetRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(JetRefusal, WritesNothing) {
    ScratchDir dir;
    const Refusal& p = GetParam();
    makeJetFile(dir.file("old.mdb"), p.records, p.kind);
    const std::string before = fileBytes(dir.file("old.mdb"));
    const ImportResult r = importJetDatabase(dir.file("old.mdb"), dir.file("new.mdb"));
    EXPECT_EQ(r.status, p.status) << importStatusText(r.status);
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"old.mdb"});
    EXPECT_EQ(fileBytes(dir.file("old.mdb")), before);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, JetRefusal,
                         ::testing::Values(Refusal{"damaged", 1000, ImportStatus::Damaged},
                                           Refusal{"foreign", 10, ImportStatus::NoSampleTable},
                                           Refusal{"wrong-type", 45, ImportStatus::NoSampleTable},
                                           Refusal{"missing-column", 45, ImportStatus::NoSampleTable},
                                           Refusal{"encrypted", 45, ImportStatus::Encrypted}));

TEST(JetRefusals, TruncatedAndForeignFiles) {
    ScratchDir dir;
    makeJetFile(dir.file("full.mdb"), 20000);
    const std::string full = fileBytes(dir.file("full.mdb"));
    for (const std::size_t keep : {std::size_t{30}, std::size_t{4096 * 3 + 100}, full.size() / 2}) {
        std::ofstream(dir.file("cut.mdb"), std::ios::binary) << full.substr(0, keep);
        const ImportResult r = importJetDatabase(dir.file("cut.mdb"), dir.file("new.mdb"));
        EXPECT_NE(r.status, ImportStatus::Done) << keep;
        EXPECT_FALSE(fs::exists(dir.file("new.mdb")));
    }
    // Cut inside the last page, whose rows the library would read as zeros.
    std::ofstream(dir.file("cut.mdb"), std::ios::binary) << full.substr(0, full.size() - 100);
    EXPECT_EQ(importJetDatabase(dir.file("cut.mdb"), dir.file("new.mdb")).status, ImportStatus::Damaged);
    EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"cut.mdb", "full.mdb"}));

    ASSERT_TRUE(CreateSampleDatabase(dir.file("ours.mdb")));
    EXPECT_EQ(importJetDatabase(dir.file("ours.mdb"), dir.file("new.mdb")).status, ImportStatus::NotJet);
    EXPECT_EQ(importJetDatabase(dir.file("missing.mdb"), dir.file("new.mdb")).status, ImportStatus::NotJet);
}

TEST(JetTarget, IsNeverOverwrittenUnlessKeptAside) {
    ScratchDir dir;
    const auto rows = makeJetFile(dir.file("old.mdb"), 50);
    std::ofstream(dir.file("new.mdb")) << "mine";
    EXPECT_EQ(importJetDatabase(dir.file("old.mdb"), dir.file("new.mdb")).status, ImportStatus::TargetExists);
    EXPECT_EQ(fileBytes(dir.file("new.mdb")), "mine");

    ASSERT_EQ(importJetDatabase(dir.file("old.mdb"), dir.file("new.mdb"), {}, ExistingTarget::KeepAside).status,
              ImportStatus::Done);
    EXPECT_EQ(fileBytes(dir.file("new.1.mdb")), "mine");
    expectSameRecords(readStored(dir.file("new.mdb")), rows);
    ASSERT_EQ(importJetDatabase(dir.file("old.mdb"), dir.file("new.mdb"), {}, ExistingTarget::KeepAside).status,
              ImportStatus::Done);
    EXPECT_TRUE(fs::exists(dir.file("new.2.mdb")));
    EXPECT_EQ(fileBytes(dir.file("new.1.mdb")), "mine");
}

TEST(JetTarget, CancelLeavesNothing) {
    ScratchDir dir;
    makeJetFile(dir.file("old.mdb"), 20000);
    std::int64_t seen = 0;
    const ImportResult r = importJetDatabase(dir.file("old.mdb"), dir.file("new.mdb"), [&](std::int64_t d, std::int64_t) {
        seen = d;
        return d < 8192;
    });
    EXPECT_EQ(r.status, ImportStatus::Cancelled);
    EXPECT_EQ(seen, 8192);
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"old.mdb"});
}

TEST(JetTarget, UnwritableFolderFails) {
    ScratchDir dir;
    makeJetFile(dir.file("old.mdb"), 10);
    const ImportResult r = importJetDatabase(dir.file("old.mdb"), dir.file("no/such/folder/new.mdb"));
    EXPECT_EQ(r.status, ImportStatus::WriteFailed);
}

// Where copies go and when they are reused.
class CopyPlacesTest : public ::testing::Test {
protected:
    ScratchDir dir;
    std::string readOnlyFolder;
    CopyPlaces places() const {
        return {dir.file("fallback"), [this](const std::string& f) { return f != readOnlyFolder; }};
    }
};

TEST_F(CopyPlacesTest, BesideTheSourceOrTaggedInTheFallbackFolder) {
    fs::create_directories(dir.path() / "a");
    fs::create_directories(dir.path() / "b");
    makeJetFile(dir.file("a/site.mdb"), 3);
    makeJetFile(dir.file("b/site.mdb"), 4, "plain", 2);
    const auto beside = planConversion(dir.file("a/site.mdb"), places());
    ASSERT_TRUE(beside);
    EXPECT_EQ(beside->target, dir.file("a/site.sqlite.mdb"));
    EXPECT_FALSE(beside->reuse);

    readOnlyFolder = dir.file("a");
    const auto a = planConversion(dir.file("a/site.mdb"), places());
    readOnlyFolder = dir.file("b");
    const auto b = planConversion(dir.file("b/site.mdb"), places());
    ASSERT_TRUE(a && b);
    EXPECT_EQ(fs::path(a->target).parent_path(), fs::path(dir.file("fallback")));
    EXPECT_NE(a->target, b->target) << "same-named files of two folders get two copies";
    EXPECT_TRUE(a->target.ends_with(".sqlite.mdb"));

    ASSERT_TRUE(CreateSampleDatabase(dir.file("ours.mdb")));
    EXPECT_FALSE(planConversion(dir.file("ours.mdb"), places()));
    EXPECT_FALSE(planConversion(dir.file("nothing.mdb"), places()));
}

TEST_F(CopyPlacesTest, ReusesANewerCopyAndKeepsAnOlderOneAside) {
    const std::string src = dir.file("site.mdb");
    const auto rows = makeJetFile(src, 45);
    readOnlyFolder = dir.path().string();
    const SampleFile first = sampleFileFor(src, {}, places());
    ASSERT_TRUE(first.ok);
    EXPECT_TRUE(fs::exists(first.path));
    EXPECT_EQ(fs::path(first.path).parent_path(), fs::path(dir.file("fallback")));

    // Samples recorded into the copy since.
    const SampleRow more{{}, rows.back().time + 1};
    ASSERT_TRUE(appendSamples(first.path, std::span(&more, 1)).stored);
    const auto again = planConversion(src, places());
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->reuse);
    const SampleFile second = sampleFileFor(src, {}, places());
    EXPECT_EQ(second.path, first.path);
    EXPECT_EQ(countRecords(second.path), 46) << "reused, not converted again";

    // The Jet file changes: converted again, the older copy kept.
    fs::last_write_time(src, fs::last_write_time(first.path) + std::chrono::seconds(5));
    const SampleFile third = sampleFileFor(src, {}, places());
    ASSERT_TRUE(third.ok);
    EXPECT_EQ(third.path, first.path);
    EXPECT_EQ(countRecords(third.path), 45);
    EXPECT_EQ(countRecords(numberedPathFor(first.path, 1)), 46);

    std::ofstream(dir.file("plain.mdb")) << "x";
    const SampleFile plain = sampleFileFor(dir.file("plain.mdb"), {}, places());
    EXPECT_TRUE(plain.ok);
    EXPECT_EQ(plain.path, dir.file("plain.mdb"));
    EXPECT_EQ(plain.status, ImportStatus::NotJet);
}

TEST(FillSampleDatabase, StopRollsBackAndTimesOutOfOrderStillCount) {
    ScratchDir dir;
    ASSERT_TRUE(CreateSampleDatabase(dir.file("a.mdb")));
    int n = 0;
    EXPECT_EQ(fillSampleDatabase(dir.file("a.mdb"), [&](StoredRecord&) { return ++n < 5 ? FillStep::Record : FillStep::Stop; }), -1);
    EXPECT_EQ(countRecords(dir.file("a.mdb")), 0);

    // Times that go backwards: the counts from a start must still be right.
    const double times[] = {10, 12, 11, 13, 9};
    n = 0;
    EXPECT_EQ(fillSampleDatabase(dir.file("a.mdb"), [&](StoredRecord& r) {
                  if (n == 5) return FillStep::End;
                  r = {};
                  r.time = times[n++];
                  return FillStep::Record;
              }),
              5);
    EXPECT_EQ(loadHistory(dir.file("a.mdb"), 11.0).recordCount, 3);
    EXPECT_EQ(fillSampleDatabase(dir.file("a.mdb"), [](StoredRecord&) { return FillStep::End; }), -1)
        << "only an empty database is filled";
}

}  // namespace
}  // namespace orlix
