#include "database/database_commands.h"

#include <fstream>

#include <gtest/gtest.h>

#include "db_test_util.h"
#include "scripted_dialog_host.h"

namespace orlix {
namespace {

using testing::makeRows;
using testing::ScratchDir;
using testing::tickTime;

// The window side, recording what the commands asked of it.
class FakeView : public DatabaseView {
public:
    std::string pathLabel = "DataBase Path:";
    std::string countLabel = "DabaBase Count:";
    int countLabelPlaced = 0;
    bool recording = false;
    std::vector<bool> recordingCalls;
    bool onTop = false;
    int topReleases = 0;
    int tab = 0;
    int eventRuns = 0;
    std::function<void()> onEvents;
    int intervalMs = 4000;
    int redraws = 0;
    std::vector<std::string> log;  // order of the calls that matter

    std::array<std::array<std::int16_t, kChartPositions>, kChartRows> histData{};
    std::array<DateTime, kChartPositions> histTime{};
    std::int32_t histCount = 0;

    std::string pathLabelText() const override { return pathLabel; }
    void setPathLabelText(const std::string& t) override {
        pathLabel = t;
        log.push_back("path:" + t);
    }
    void placeCountLabel() override { ++countLabelPlaced; }
    void setCountLabelText(const std::string& t) override { countLabel = t; }
    bool recordingEnabled() const override { return recording; }
    void setRecording(bool on) override {
        recording = on;
        recordingCalls.push_back(on);
        log.push_back(on ? "recording:on" : "recording:off");
    }
    bool alwaysOnTop() const override { return onTop; }
    void releaseAlwaysOnTop() override {
        onTop = false;
        ++topReleases;
    }
    void selectChartTab(int page) override {
        tab = page;
        log.push_back("tab:" + std::to_string(page));
    }
    void processPendingEvents() override {
        ++eventRuns;
        if (onEvents) onEvents();
    }
    int sampleIntervalMs() const override { return intervalMs; }
    HistoryBufferRefs historyBuffers() override { return makeHistoryBufferRefs(histData, histTime, histCount); }
    void redrawHistoryCharts() override {
        ++redraws;
        log.push_back("redraw");
    }
};

struct CommandsFixture : ::testing::Test {
    ScratchDir dir;
    FakeView view;
    ScriptedDialogHost dialogs;
    DatabaseCommands commands{view, dialogs};

    CommandsFixture() { commands.onWindowLoad(); }

    std::string filled(const std::string& name, int records) {
        const std::string path = dir.file(name);
        EXPECT_TRUE(CreateSampleDatabase(path));
        if (records > 0) appendSamples(path, makeRows(0, records));
        return path;
    }
};

TEST_F(CommandsFixture, WindowLoadSetsNoneAndTheStartText) {
    EXPECT_EQ(commands.databasePath(), "none");
    EXPECT_EQ(view.pathLabel, "DataBase Path:none;Data save disabled...");
    EXPECT_EQ(view.countLabelPlaced, 1);
}

TEST_F(CommandsFixture, NewDatabaseCreatesTheFileAndKeepsTheLabelNote) {
    view.onTop = true;
    const std::string path = dir.file("one.mdb");
    dialogs.fileAnswers.push_back(path);
    commands.newDatabase();
    ASSERT_EQ(dialogs.requests.size(), 1u);
    const auto& req = dialogs.requests[0];
    EXPECT_EQ(req.kind, "file");
    EXPECT_EQ(req.text, "Cread database...");
    EXPECT_EQ(req.left, 3400);
    EXPECT_EQ(req.top, 2000);
    EXPECT_EQ(req.title, defaultDatabaseFolder());
    EXPECT_EQ(dialogs.lastFilter, "*.mdb|*.mdb");
    EXPECT_EQ(view.topReleases, 1);
    EXPECT_FALSE(view.onTop);
    EXPECT_EQ(commands.databasePath(), path);
    EXPECT_EQ(view.pathLabel, "DataBase Path:" + path + "disabled...");
    EXPECT_EQ(view.countLabelPlaced, 2);
    EXPECT_TRUE(isSampleDatabase(path));
    EXPECT_TRUE(dialogs.messages().empty());
    EXPECT_TRUE(view.recordingCalls.empty());  // recording is left alone

    // With recording on, the note carried over is " enabled...".
    view.recording = true;
    view.pathLabel = "DataBase Path:" + path + ";DataSave enabled...";
    const std::string second = dir.file("two.mdb");
    dialogs.fileAnswers.push_back(second);
    commands.newDatabase();
    EXPECT_EQ(view.pathLabel, "DataBase Path:" + second + " enabled...");
    EXPECT_EQ(view.topReleases, 1);  // not on top any more: nothing to release
}

TEST_F(CommandsFixture, NewDatabaseWithExistingNameChangesNothing) {
    const std::string path = dir.file("taken.mdb");
    std::ofstream(path) << "x";
    dialogs.fileAnswers.push_back(path);
    commands.newDatabase();
    EXPECT_EQ(dialogs.messages(), std::vector<std::string>{"Rename the database please..."});
    EXPECT_EQ(commands.databasePath(), "none");
    EXPECT_EQ(view.pathLabel, "DataBase Path:none;Data save disabled...");
    EXPECT_EQ(std::filesystem::file_size(path), 1u);
}

TEST_F(CommandsFixture, NewDatabaseThatCannotBeCreatedKeepsThePath) {
    const std::string path = dir.file("no/such/folder.mdb");
    dialogs.fileAnswers.push_back(path);
    commands.newDatabase();
    EXPECT_EQ(dialogs.messages(), std::vector<std::string>{"Creat database failed..."});
    EXPECT_EQ(commands.databasePath(), path);
}

TEST_F(CommandsFixture, CancelledDialogsChangeNothing) {
    commands.newDatabase();
    commands.loadDatabase();
    EXPECT_EQ(dialogs.requests.size(), 2u);
    EXPECT_TRUE(dialogs.messages().empty());
    EXPECT_EQ(commands.databasePath(), "none");
    EXPECT_EQ(view.tab, 0);
    EXPECT_EQ(view.redraws, 0);
}

TEST_F(CommandsFixture, RecordingSwitchWithoutDatabaseAsksFirst) {
    const std::string prompt = "pls creat or load Database first... \n\n Yes - Creat   No - Load";
    // Cancel: nothing happens.
    dialogs.messageAnswers.push_back(MsgResult::Cancel);
    commands.toggleRecording();
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].text, prompt);
    EXPECT_EQ(dialogs.requests[0].buttons, MsgButtons::YesNoCancel);
    EXPECT_FALSE(view.recording);
    EXPECT_EQ(view.pathLabel, "DataBase Path:none;Data save disabled...");

    // Yes, then the file dialog is cancelled: still off.
    dialogs.messageAnswers.push_back(MsgResult::Yes);
    commands.toggleRecording();
    EXPECT_EQ(dialogs.requests.back().text, "Cread database...");
    EXPECT_FALSE(view.recording);
    EXPECT_TRUE(view.recordingCalls.empty());

    // No, then a file is loaded: recording goes on with the new file.
    const std::string path = filled("loaded.mdb", 10);
    dialogs.messageAnswers.push_back(MsgResult::No);
    dialogs.fileAnswers.push_back(path);
    commands.toggleRecording();
    EXPECT_EQ(dialogs.requests.back().text, "Load Database...");
    EXPECT_TRUE(view.recording);
    EXPECT_EQ(view.pathLabel, "DataBase Path:" + path + ";DataSave enabled...");
    EXPECT_EQ(view.tab, 4);

    // Off again, without any prompt.
    const auto asked = dialogs.requests.size();
    commands.toggleRecording();
    EXPECT_FALSE(view.recording);
    EXPECT_EQ(view.pathLabel, "DataBase Path:" + path + ";DataSave disabled...");
    EXPECT_EQ(dialogs.requests.size(), asked);
}

TEST_F(CommandsFixture, RecordingSwitchYesCreatesThenSwitchesOn) {
    const std::string path = dir.file("yes.mdb");
    dialogs.messageAnswers.push_back(MsgResult::Yes);
    dialogs.fileAnswers.push_back(path);
    commands.toggleRecording();
    EXPECT_TRUE(isSampleDatabase(path));
    EXPECT_EQ(view.recordingCalls, std::vector<bool>{true});
    EXPECT_EQ(view.pathLabel, "DataBase Path:" + path + ";DataSave enabled...");
}

TEST_F(CommandsFixture, LoadSwitchesRecordingOffBeforeDrawing) {
    const std::string first = filled("first.mdb", 10);
    dialogs.fileAnswers.push_back(first);
    commands.loadDatabase();
    commands.toggleRecording();
    ASSERT_TRUE(view.recording);

    const std::string second = filled("second.mdb", 20);
    dialogs.fileAnswers.push_back(second);
    view.log.clear();
    commands.loadDatabase();
    EXPECT_FALSE(view.recording);
    const std::vector<std::string> expected = {
        "path:DataBase Path:" + second + " enabled...",
        "recording:off",
        "path:DataBase Path:" + second + ";DataSave disabled...",
        "redraw",
        "tab:4",
    };
    EXPECT_EQ(view.log, expected);
    EXPECT_EQ(view.countLabel, "DataBaseCount:20");
    EXPECT_EQ(view.histCount, 20);
}

TEST_F(CommandsFixture, LoadOfABadFileKeepsTheChartsAndSays) {
    const std::string path = dir.file("junk.mdb");
    std::ofstream(path) << "not a database at all";
    view.histCount = 7;
    view.histTime[0] = 123;
    dialogs.fileAnswers.push_back(path);
    commands.loadDatabase();
    EXPECT_EQ(dialogs.messages(), std::vector<std::string>{"Please make sure that the database is ok"});
    EXPECT_EQ(commands.databasePath(), path);
    EXPECT_EQ(view.histCount, 7);
    EXPECT_EQ(view.histTime[0], 123);
    EXPECT_EQ(view.redraws, 0);
    EXPECT_EQ(view.tab, 4);

    // An empty database says the same.
    const std::string empty = filled("empty.mdb", 0);
    dialogs.fileAnswers.push_back(empty);
    commands.loadDatabase();
    EXPECT_EQ(dialogs.messages().size(), 2u);
}

TEST_F(CommandsFixture, HistoryButtonsWithoutDatabase) {
    commands.cmdDataBaseClick();
    commands.cmdCurveMoveLClick();
    commands.cmdCurveMoveRClick();
    EXPECT_EQ(dialogs.messages(), std::vector<std::string>(3, "pls check whether the database has been loaded..."));
    EXPECT_EQ(view.redraws, 0);
}

TEST_F(CommandsFixture, ShortLoadLeavesTheRestOfTheBuffersAlone) {
    for (auto& row : view.histData) row.fill(-7);
    view.histTime.fill(99.0);
    dialogs.fileAnswers.push_back(filled("short.mdb", 300));
    commands.loadDatabase();
    EXPECT_EQ(view.histCount, 300);
    const auto expected = makeRows(0, 300);
    for (int n = 0; n < 300; ++n) {
        const auto pos = static_cast<std::size_t>(n);
        ASSERT_EQ(view.histTime[pos], expected[pos].time);
        for (int i = 0; i < 50; ++i)
            ASSERT_EQ(view.histData[static_cast<std::size_t>(i)][pos], expected[pos].values[static_cast<std::size_t>(i)]);
    }
    for (int n = 300; n <= 720; ++n) {
        const auto pos = static_cast<std::size_t>(n);
        ASSERT_EQ(view.histTime[pos], 99.0);
        for (int i = 0; i < 51; ++i) ASSERT_EQ(view.histData[static_cast<std::size_t>(i)][pos], -7);
    }
    for (int n = 0; n < 300; ++n) ASSERT_EQ(view.histData[50][static_cast<std::size_t>(n)], -7);  // row 50 never written
    EXPECT_EQ(view.countLabel, "DataBaseCount:300");
}

TEST_F(CommandsFixture, UnreadableCellsKeepTheirEarlierValues) {
    const std::string path = filled("cells.mdb", 5);
    testing::rawSql(path, "UPDATE emp1 SET Td=NULL, Ts=70000 WHERE Number=2");
    view.histData[2].fill(11);
    view.histData[3].fill(12);
    dialogs.fileAnswers.push_back(path);
    commands.loadDatabase();
    const auto rows = makeRows(0, 5);
    EXPECT_EQ(view.histData[2][2], 11);
    EXPECT_EQ(view.histData[3][2], 12);
    EXPECT_EQ(view.histData[2][1], rows[1].values[2]);
    EXPECT_EQ(view.histData[4][2], rows[2].values[4]);
    EXPECT_EQ(view.histCount, 5);
}

TEST_F(CommandsFixture, PagingMovesTwoGridCellsAndRefusesShortOrStillWindows) {
    // 2000 samples 4 s apart; one page is 180 samples at 4000 ms.
    dialogs.fileAnswers.push_back(filled("page.mdb", 2000));
    commands.loadDatabase();
    ASSERT_EQ(view.histTime[0], tickTime(0));
    EXPECT_EQ(view.histCount, 720);

    // Already at the first record: paging earlier does nothing.
    view.redraws = 0;
    commands.cmdCurveMoveLClick();
    EXPECT_EQ(view.redraws, 0);
    EXPECT_EQ(view.countLabel, "DataBaseCount:2000");

    commands.cmdCurveMoveRClick();
    EXPECT_NEAR(view.histTime[0], tickTime(180), 1e-9);
    EXPECT_NEAR(view.histTime[719], tickTime(899), 1e-9);
    EXPECT_EQ(view.countLabel, "RecordCount:1820");
    EXPECT_EQ(view.redraws, 1);

    // The step follows the interval at the click: 10 s gives 1800 s.
    view.intervalMs = 10999;
    commands.cmdCurveMoveRClick();
    EXPECT_NEAR(view.histTime[0], tickTime(180 + 450), 1e-9);
    view.intervalMs = 4000;

    // Later pages stop where fewer than 500 records would remain.
    for (int i = 0; i < 20; ++i) commands.cmdCurveMoveRClick();
    EXPECT_NEAR(view.histTime[0], tickTime(1350), 1e-9);  // 650 left; the next page would leave 470
    EXPECT_EQ(view.histCount, 650);
    EXPECT_NEAR(view.histTime[649], tickTime(1999), 1e-9);
    EXPECT_NEAR(view.histTime[650], tickTime(1170 + 650), 1e-9);  // left by the window before
    EXPECT_EQ(view.countLabel, "RecordCount:650");
    EXPECT_TRUE(dialogs.messages().empty());

    commands.cmdCurveMoveLClick();
    EXPECT_NEAR(view.histTime[0], tickTime(1170), 1e-9);
    EXPECT_EQ(view.histCount, 720);
    commands.cmdDataBaseClick();
    EXPECT_EQ(view.histTime[0], tickTime(0));
    EXPECT_EQ(view.countLabel, "DataBaseCount:2000");
}

// Stored whole seconds and the page start (a sum of day fractions) differ in
// the last bits; pages compare them to the second.
TEST_F(CommandsFixture, PagingLaterThenEarlierComesBackToTheSameWindow) {
    const auto walk = [&](const std::string& name, double fractionSeconds) {
        SCOPED_TRACE(name);
        const std::string path = dir.file(name);
        ASSERT_TRUE(CreateSampleDatabase(path));
        std::vector<SampleRow> rows = makeRows(0, 2000);
        for (SampleRow& r : rows) r.time += secondsToDays(fractionSeconds);
        ASSERT_TRUE(appendSamples(path, rows).stored);
        // The record shown first, by its index (-1: none has that time).
        const auto first = [&] {
            for (std::size_t i = 0; i < rows.size(); ++i)
                if (rows[i].time == view.histTime[0]) return static_cast<int>(i);
            return -1;
        };
        dialogs.fileAnswers.push_back(path);
        commands.loadDatabase();

        commands.cmdCurveMoveRClick();
        commands.cmdCurveMoveRClick();
        commands.cmdCurveMoveLClick();
        EXPECT_EQ(first(), 180);
        EXPECT_EQ(view.countLabel, "RecordCount:1820");

        // All the way later and back: each page starts 180 records on.
        std::vector<int> starts{first()};
        for (;;) {
            commands.cmdCurveMoveRClick();
            if (first() == starts.back()) break;
            starts.push_back(first());
        }
        EXPECT_EQ(starts, (std::vector<int>{180, 360, 540, 720, 900, 1080, 1260, 1440}));  // 1620 leaves 380
        for (std::size_t i = starts.size() - 1; i-- > 0;) {
            commands.cmdCurveMoveLClick();
            EXPECT_EQ(first(), starts[i]);
        }
        commands.cmdCurveMoveLClick();
        EXPECT_EQ(first(), 0);
        EXPECT_EQ(view.countLabel, "RecordCount:2000");
    };
    walk("whole.mdb", 0.0);
    // Times read from a clock with milliseconds.
    walk("fraction.mdb", 0.6);
    walk("fraction2.mdb", 0.3);
}

TEST_F(CommandsFixture, PagingBeforeAnyLoadStartsFromTheZeroTime) {
    const std::string small = filled("small.mdb", 499);
    dialogs.fileAnswers.push_back(small);
    commands.loadDatabase();
    view.histTime[0] = 0;
    view.redraws = 0;
    commands.cmdCurveMoveRClick();  // fewer than 500 records: silence
    EXPECT_EQ(view.redraws, 0);
    EXPECT_EQ(view.histTime[0], 0);

    const std::string big = filled("big.mdb", 600);
    dialogs.fileAnswers.push_back(big);
    commands.loadDatabase();
    view.histTime[0] = 0;
    commands.cmdCurveMoveLClick();
    EXPECT_EQ(view.histTime[0], tickTime(0));
    EXPECT_EQ(view.countLabel, "RecordCount:600");
    EXPECT_TRUE(dialogs.messages().empty());
}

TEST_F(CommandsFixture, PagingAFileThatWentAwayIsSilent) {
    const std::string path = filled("away.mdb", 600);
    dialogs.fileAnswers.push_back(path);
    commands.loadDatabase();
    std::filesystem::remove(path);
    view.redraws = 0;
    commands.cmdCurveMoveRClick();
    EXPECT_TRUE(dialogs.messages().empty());
    EXPECT_EQ(view.redraws, 0);
    commands.cmdDataBaseClick();
    EXPECT_EQ(dialogs.messages(), std::vector<std::string>{"Please make sure that the database is ok"});
}

TEST_F(CommandsFixture, ClearAsksAndAlwaysEndsBlank) {
    commands.clearDatabase();
    EXPECT_EQ(dialogs.messages(), std::vector<std::string>{"The database not exisit..."});

    const std::string path = filled("clear.mdb", 90);
    dialogs.fileAnswers.push_back(path);
    commands.loadDatabase();
    dialogs.requests.clear();

    dialogs.messageAnswers.push_back(MsgResult::No);
    commands.clearDatabase();
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].text, "Delete all the record in the database?");
    EXPECT_EQ(dialogs.requests[0].title, "Clear database...");
    EXPECT_EQ(dialogs.requests[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(countRecords(path), 90);

    dialogs.requests.clear();
    dialogs.messageAnswers.push_back(MsgResult::Yes);
    commands.clearDatabase();
    EXPECT_EQ(dialogs.messages(),
              (std::vector<std::string>{"Delete all the record in the database?", "DataBase is blank."}));
    EXPECT_EQ(countRecords(path), 0);
    EXPECT_EQ(view.countLabel, "DataBaseCount:0");
    EXPECT_GE(view.eventRuns, 1);
}

TEST_F(CommandsFixture, ClearOfAMissingOrLockedFileReportsTheError) {
    const std::string path = filled("gone.mdb", 10);
    dialogs.fileAnswers.push_back(path);
    commands.loadDatabase();
    std::filesystem::remove(path);
    dialogs.requests.clear();
    dialogs.messageAnswers.push_back(MsgResult::Yes);
    commands.clearDatabase();
    EXPECT_EQ(dialogs.messages(), (std::vector<std::string>{"Delete all the record in the database?",
                                                            "Clear database Err...", "DataBase is blank."}));
    EXPECT_FALSE(std::filesystem::exists(path));

    // Deletion that keeps failing ends the loop with the same two messages.
    const std::string locked = filled("locked.mdb", 10);
    dialogs.fileAnswers.push_back(locked);
    commands.loadDatabase();
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(locked.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    dialogs.requests.clear();
    dialogs.messageAnswers.push_back(MsgResult::Yes);
    commands.clearDatabase();
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(dialogs.messages(), (std::vector<std::string>{"Delete all the record in the database?",
                                                            "Clear database Err...", "DataBase is blank."}));
    EXPECT_EQ(countRecords(locked), 10);
    EXPECT_EQ(view.countLabel, "DataBaseCount:10");
}

TEST_F(CommandsFixture, RecordingDuringAClearIsClearedToo) {
    const std::string path = filled("busy.mdb", 45);
    dialogs.fileAnswers.push_back(path);
    commands.loadDatabase();
    commands.toggleRecording();
    // A tick that stores a batch while the clear lets events run.
    std::array<std::array<std::int16_t, kChartPositions>, kChartRows> live{};
    std::array<DateTime, kChartPositions> times{};
    for (int p = 0; p < 720; ++p) times[static_cast<std::size_t>(p)] = tickTime(1000 + p);
    bool once = true;
    view.onEvents = [&] {
        if (once) commands.AppendSampleBatch(makeLiveBufferRefs(live, times));
        once = false;
    };
    dialogs.messageAnswers.push_back(MsgResult::Yes);
    commands.clearDatabase();
    EXPECT_EQ(countRecords(path), 0);
    EXPECT_EQ(dialogs.messages().back(), "DataBase is blank.");
    EXPECT_EQ(dialogs.messages().size(), 2u);
}

TEST_F(CommandsFixture, BatchGoesToTheCurrentDatabase) {
    std::array<std::array<std::int16_t, kChartPositions>, kChartRows> live{};
    std::array<DateTime, kChartPositions> times{};
    for (int p = 0; p < 720; ++p) times[static_cast<std::size_t>(p)] = tickTime(p);
    // No database chosen yet: the batch is kept.
    commands.AppendSampleBatch(makeLiveBufferRefs(live, times));
    EXPECT_EQ(dialogs.messages(), std::vector<std::string>{"pls make sure the database is ok."});
    EXPECT_EQ(commands.pendingSamples(), 45u);
    const std::string path = filled("rec.mdb", 0);
    dialogs.fileAnswers.push_back(path);
    commands.loadDatabase();  // empty: says so, but the path is set
    commands.AppendSampleBatch(makeLiveBufferRefs(live, times));
    EXPECT_EQ(countRecords(path), 90);
    EXPECT_EQ(view.countLabel, "DataBaseCount:90");
}

}  // namespace
}  // namespace orlix
