// The load command with a Jet 4.0 file of the earlier tool: its copy is
// loaded, reused on the next load, and a file that cannot be converted fails
// as any unreadable file does, leaving nothing behind.
#include <filesystem>

#include <gtest/gtest.h>

#include "database/database_commands.h"
#include "db_test_util.h"
#include "jet_test_util.h"
#include "scripted_dialog_host.h"

namespace orlix {
namespace {

namespace fs = std::filesystem;
using testing::makeJetFile;
using testing::ScratchDir;

class JetView : public DatabaseView {
public:
    std::string pathLabel = "DataBase Path:", countLabel;
    bool recording = false;
    int conversions = 0, redraws = 0;
    std::optional<ImportStatus> answer;  // set: the window's conversion reports this

    std::array<std::array<std::int16_t, kChartPositions>, kChartRows> histData{};
    std::array<DateTime, kChartPositions> histTime{};
    std::int32_t histCount = 0;

    std::string pathLabelText() const override { return pathLabel; }
    void setPathLabelText(const std::string& t) override { pathLabel = t; }
    void placeCountLabel() override {}
    void setCountLabelText(const std::string& t) override { countLabel = t; }
    bool recordingEnabled() const override { return recording; }
    void setRecording(bool on) override { recording = on; }
    bool alwaysOnTop() const override { return false; }
    void releaseAlwaysOnTop() override {}
    void selectChartTab(int) override {}
    void processPendingEvents() override {}
    int sampleIntervalMs() const override { return 4000; }
    HistoryBufferRefs historyBuffers() override { return makeHistoryBufferRefs(histData, histTime, histCount); }
    void redrawHistoryCharts() override { ++redraws; }
    SampleFile openOlderRecording(const ConversionPlan& plan) override {
        ++conversions;
        if (answer) return {false, {}, *answer, {}};
        return DatabaseView::openOlderRecording(plan);
    }
};

struct JetLoad : ::testing::Test {
    ScratchDir dir;
    JetView view;
    ScriptedDialogHost dialogs;
    DatabaseCommands commands{view, dialogs};
    JetLoad() { commands.onWindowLoad(); }
    void load(const std::string& path) {
        dialogs.fileAnswers.push_back(path);
        commands.loadDatabase();
    }
};

TEST_F(JetLoad, LoadsTheCopyAndReusesItNextTime) {
    const auto rows = makeJetFile(dir.file("site.mdb"), 800);
    view.recording = true;
    load(dir.file("site.mdb"));
    const std::string copy = dir.file("site.sqlite.mdb");
    EXPECT_EQ(commands.databasePath(), copy);
    EXPECT_EQ(view.pathLabel.rfind("DataBase Path:" + copy, 0), 0u) << view.pathLabel;
    EXPECT_EQ(view.countLabel, "DataBaseCount:800");
    EXPECT_FALSE(view.recording);
    EXPECT_TRUE(dialogs.messages().empty());
    EXPECT_EQ(view.histCount, 720);
    EXPECT_EQ(view.histData[5][719], rows[719].values[5]);
    EXPECT_EQ(view.histTime[0], rows[0].time);

    const auto stamp = fs::last_write_time(copy);
    load(dir.file("site.mdb"));
    EXPECT_EQ(commands.databasePath(), copy);
    EXPECT_EQ(fs::last_write_time(copy), stamp) << "a copy newer than the Jet file is reused";
    EXPECT_EQ(view.countLabel, "DataBaseCount:800");
}

TEST_F(JetLoad, AFileThatCannotBeConvertedFailsAsBeforeAndLeavesNothing) {
    makeJetFile(dir.file("broken.mdb"), 1000, "damaged");
    load(dir.file("broken.mdb"));
    EXPECT_EQ(dialogs.messages(), std::vector<std::string>{dbtext::kHistoryNotOk});
    EXPECT_EQ(commands.databasePath(), dir.file("broken.mdb"));
    EXPECT_EQ(view.redraws, 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1);
}

TEST_F(JetLoad, CancelledConversionChangesNothing) {
    makeJetFile(dir.file("site.mdb"), 10);
    view.answer = ImportStatus::Cancelled;
    load(dir.file("site.mdb"));
    EXPECT_EQ(view.conversions, 1);
    EXPECT_EQ(commands.databasePath(), dbtext::kNone);
    EXPECT_EQ(view.pathLabel, "DataBase Path:none;Data save disabled...");
    EXPECT_TRUE(dialogs.messages().empty());
}

TEST_F(JetLoad, PlainDatabasesAreNotConverted) {
    ASSERT_TRUE(CreateSampleDatabase(dir.file("ours.mdb")));
    load(dir.file("ours.mdb"));
    EXPECT_EQ(view.conversions, 0);
    EXPECT_EQ(commands.databasePath(), dir.file("ours.mdb"));
}

}  // namespace
}  // namespace orlix
