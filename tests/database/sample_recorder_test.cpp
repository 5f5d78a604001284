#include "database/sample_recorder.h"

#include <array>
#include <limits>

#include <gtest/gtest.h>

#include "db_test_util.h"
#include "scripted_dialog_host.h"

namespace orlix {
namespace {

using testing::ScratchDir;
using testing::tickTime;

// Live buffers as the sampling cycle keeps them, shifted one tick at a time.
struct LiveBuffers {
    std::array<std::array<std::int16_t, kChartPositions>, kChartRows> data{};
    std::array<DateTime, kChartPositions> time{};
    int ticks = 0;

    void tick() {
        for (int k = 0; k < kChartRows - 1; ++k) {
            auto& row = data[static_cast<std::size_t>(k)];
            std::copy(row.begin() + 1, row.begin() + 720, row.begin());
            row[719] = static_cast<std::int16_t>(ticks * 10 + k);
        }
        std::copy(time.begin() + 1, time.begin() + 720, time.begin());
        time[719] = tickTime(ticks);
        ++ticks;
    }
    LiveBufferRefs refs() const { return makeLiveBufferRefs(data, time); }
};

std::vector<HistoryRow> allRows(const std::string& path) {
    return loadHistory(path, std::nullopt, 1 << 30).rows;
}

struct RecorderFixture : ::testing::Test {
    ScratchDir dir;
    std::string path = dir.file("rec.mdb");
    ScriptedDialogHost dialogs;
    std::vector<std::string> countLabels;
    SampleRecorder recorder{dialogs, [this](const std::string& t) { countLabels.push_back(t); }};
    LiveBuffers live;

    void ticks(int n) {
        for (int i = 0; i < n; ++i) live.tick();
    }
};

TEST_F(RecorderFixture, BatchHoldsThe45SamplesBeforeTheNewestOne) {
    ASSERT_TRUE(CreateSampleDatabase(path));
    ticks(800);
    recorder.AppendSampleBatch(path, live.refs());
    auto rows = allRows(path);
    ASSERT_EQ(rows.size(), 45u);
    // Position 719 (tick 799) is the newest; the batch is ticks 754..798.
    for (int j = 0; j < 45; ++j) {
        const auto& r = rows[static_cast<std::size_t>(j)];
        EXPECT_EQ(r.time, tickTime(754 + j));
        EXPECT_EQ(r.values[0], static_cast<std::int16_t>((754 + j) * 10));
        EXPECT_EQ(r.values[49], static_cast<std::int16_t>((754 + j) * 10 + 49));
    }
    EXPECT_EQ(countLabels, std::vector<std::string>{"DataBaseCount:45"});
    // 45 ticks later the next batch follows on without gap or overlap.
    ticks(45);
    recorder.AppendSampleBatch(path, live.refs());
    rows = allRows(path);
    ASSERT_EQ(rows.size(), 90u);
    for (int j = 0; j < 90; ++j) EXPECT_EQ(rows[static_cast<std::size_t>(j)].time, tickTime(754 + j));
    EXPECT_EQ(countLabels.back(), "DataBaseCount:90");
    EXPECT_TRUE(dialogs.messages().empty());
}

TEST_F(RecorderFixture, PositionsNoTickFilledAreNotStored) {
    ASSERT_TRUE(CreateSampleDatabase(path));
    ticks(10);  // positions 710..719 hold samples; 674..709 are still empty
    recorder.AppendSampleBatch(path, live.refs());
    const auto rows = allRows(path);
    ASSERT_EQ(rows.size(), 9u);
    EXPECT_EQ(rows.front().time, tickTime(0));
    EXPECT_EQ(rows.back().time, tickTime(8));
    EXPECT_EQ(countLabels.back(), "DataBaseCount:9");

    // Recording switched on before the first tick: nothing to store, and
    // the file is not even written.
    const auto stamp = std::filesystem::last_write_time(path);
    LiveBuffers empty;
    empty.time[700] = std::numeric_limits<double>::quiet_NaN();
    recorder.AppendSampleBatch(path, empty.refs());
    EXPECT_EQ(countRecords(path), 9);
    EXPECT_EQ(std::filesystem::last_write_time(path), stamp);
    EXPECT_EQ(countLabels.back(), "DataBaseCount:9");
    EXPECT_TRUE(dialogs.messages().empty());
}

TEST_F(RecorderFixture, FailedBatchIsKeptAndStoredBeforeTheNextOne) {
    // No file yet: the first batch cannot be opened.
    ticks(800);
    recorder.AppendSampleBatch(path, live.refs());
    EXPECT_EQ(dialogs.messages(), std::vector<std::string>{"pls make sure the database is ok."});
    EXPECT_EQ(recorder.pendingCount(), 45u);
    EXPECT_TRUE(countLabels.empty());

    // The file exists but another writer holds it: stored fails.
    ASSERT_TRUE(CreateSampleDatabase(path));
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    ticks(45);
    recorder.AppendSampleBatch(path, live.refs());
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(recorder.pendingCount(), 90u);
    ASSERT_EQ(dialogs.messages().size(), 2u);

    ticks(45);
    recorder.AppendSampleBatch(path, live.refs());
    EXPECT_EQ(recorder.pendingCount(), 0u);
    const auto rows = allRows(path);
    ASSERT_EQ(rows.size(), 135u);
    for (int j = 0; j < 135; ++j) ASSERT_EQ(rows[static_cast<std::size_t>(j)].time, tickTime(754 + j)) << j;
    EXPECT_EQ(countLabels.back(), "DataBaseCount:135");
    EXPECT_EQ(dialogs.messages().size(), 2u);
}

TEST_F(RecorderFixture, StoreFailureWithOpenFileShowsSaveError) {
    ASSERT_TRUE(CreateSampleDatabase(path));
    ticks(100);
    // A reader-blocking lock held through the batch makes the insert fail
    // after the file was opened fine.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    recorder.AppendSampleBatch(path, live.refs());
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(dialogs.messages(), std::vector<std::string>{"Save data Err.pls check the database is ok."});
    EXPECT_EQ(countLabels, std::vector<std::string>{"DataBaseCount:0"});
    EXPECT_EQ(recorder.pendingCount(), 45u);
    EXPECT_EQ(countRecords(path), 0);
}

TEST_F(RecorderFixture, PendingSamplesAreCappedAtOneDayDroppingTheOldest) {
    // Fill the batch positions directly: batch b holds samples 45b..45b+44.
    auto fillBatch = [&](int b) {
        for (int j = 0; j < 45; ++j) {
            live.time[static_cast<std::size_t>(674 + j)] = tickTime(45 * b + j);
            live.data[0][static_cast<std::size_t>(674 + j)] = static_cast<std::int16_t>(b);
        }
    };
    const int batches = static_cast<int>(kMaxPendingSamples / 45) + 3;
    for (int b = 0; b < batches; ++b) {
        fillBatch(b);
        recorder.AppendSampleBatch(path, live.refs());
    }
    EXPECT_EQ(recorder.pendingCount(), kMaxPendingSamples);
    ASSERT_TRUE(CreateSampleDatabase(path));
    fillBatch(batches);
    recorder.AppendSampleBatch(path, live.refs());
    const auto rows = allRows(path);
    ASSERT_EQ(rows.size(), kMaxPendingSamples);
    // The newest batch is last; the four oldest batches were dropped.
    EXPECT_EQ(rows.back().time, tickTime(45 * batches + 44));
    EXPECT_EQ(rows.front().time, tickTime(4 * 45));
    EXPECT_EQ(rows.front().values[0], 4);
}

// A host whose message box lets a tick run while it is open, as the modal
// box does in the window.
class ReentrantHost : public DialogHost {
public:
    ScriptedDialogHost inner;
    std::function<void()> whileOpen;
    MsgResult message(const std::string& text, MsgButtons b, const std::string& title) override {
        if (whileOpen) {
            auto f = std::move(whileOpen);
            whileOpen = nullptr;
            f();
        }
        return inner.message(text, b, title);
    }
    std::optional<FontChoice> chooseFont(int l, int t, int f) override { return inner.chooseFont(l, t, f); }
    std::optional<Rgb> chooseColor(int l, int t, int f) override { return inner.chooseColor(l, t, f); }
    std::optional<std::string> chooseOpenFile(int l, int t, const std::string& title, const std::string& dir,
                                              const std::string& filter) override {
        return inner.chooseOpenFile(l, t, title, dir, filter);
    }
    std::vector<std::string> messages() const { return inner.messages(); }
};

TEST(SampleRecorder, NoSecondMessageWhileOneIsOpen) {
    ScratchDir dir;
    const std::string path = dir.file("absent.mdb");
    ReentrantHost host;
    SampleRecorder recorder(host, {});
    LiveBuffers live;
    for (int i = 0; i < 800; ++i) live.tick();
    host.whileOpen = [&] {
        for (int i = 0; i < 45; ++i) live.tick();
        recorder.AppendSampleBatch(path, live.refs());
    };
    recorder.AppendSampleBatch(path, live.refs());
    EXPECT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(recorder.pendingCount(), 90u);
    // Once the box is closed the next failure shows it again.
    recorder.AppendSampleBatch(path, live.refs());
    EXPECT_EQ(host.messages().size(), 2u);
}

TEST(SampleRecorder, TickUnderTheMessageStoresTheKeptSamplesOnce) {
    ScratchDir dir;
    const std::string path = dir.file("late.mdb");
    ReentrantHost host;
    SampleRecorder recorder(host, {});
    LiveBuffers live;
    for (int i = 0; i < 800; ++i) live.tick();
    // The file appears while the first failure's message is open.
    host.whileOpen = [&] {
        ASSERT_TRUE(CreateSampleDatabase(path));
        for (int i = 0; i < 45; ++i) live.tick();
        recorder.AppendSampleBatch(path, live.refs());
    };
    recorder.AppendSampleBatch(path, live.refs());
    EXPECT_EQ(recorder.pendingCount(), 0u);
    const auto rows = allRows(path);
    ASSERT_EQ(rows.size(), 90u);
    for (int j = 0; j < 90; ++j) EXPECT_EQ(rows[static_cast<std::size_t>(j)].time, tickTime(754 + j));
}

}  // namespace
}  // namespace orlix
