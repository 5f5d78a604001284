#pragma once
// The database commands of the analyzer window's "&Option" menu
// ("&NewDatabase...", "&LoadDatabase...", "&ClearDatabase...",
// "Save&Enabled"), the history buttons (cmdDataBase, cmdCurveMoveL,
// cmdCurveMoveR), `DrawHistory` and the batch recording hook. The window
// implements DatabaseView and wires its menu clicks, button clicks and the
// sampling cycle's recording hook to the methods here; all messages go
// through the DialogHost.
#include <cstdint>
#include <optional>
#include <string>

#include "database/converted_copy.h"
#include "database/sample_database.h"
#include "database/sample_recorder.h"
#include "base/date_time.h"
#include "base/dialogs.h"

namespace orlix {

// What the commands need of the analyzer window.
class DatabaseView {
public:
    virtual ~DatabaseView() = default;

    // lblStatus(3), the path label.
    virtual std::string pathLabelText() const = 0;
    virtual void setPathLabelText(const std::string& text) = 0;
    // Moves lblStatus(4) so that its left edge is lblStatus(3)'s left plus
    // lblStatus(3)'s width (the path label sizes to its text).
    virtual void placeCountLabel() = 0;
    // lblStatus(4), the count label.
    virtual void setCountLabelText(const std::string& text) = 0;

    // The tick of "Save&Enabled".
    virtual bool recordingEnabled() const = 0;
    // Sets the tick of "Save&Enabled"; when switching on, the sampling cycle
    // sets SavePhase to SampleCount mod 45.
    virtual void setRecording(bool on) = 0;

    // The tick of "AlwaysOn&Top".
    virtual bool alwaysOnTop() const = 0;
    // Clears that tick and takes the window out of the topmost band, without
    // moving or sizing it.
    virtual void releaseAlwaysOnTop() = 0;

    // Selects page `page` of the chart tabs (4 = "MasterHis").
    virtual void selectChartTab(int page) = 0;
    // Lets pending window events run (timer ticks included).
    virtual void processPendingEvents() = 0;

    // Timer1's interval in milliseconds.
    virtual int sampleIntervalMs() const = 0;
    // The history buffers that DrawHistory fills.
    virtual HistoryBufferRefs historyBuffers() = 0;
    // Clears and redraws the four history charts (pictures 4..7) from the
    // history buffers: grid, curves of the checked slots, time labels.
    virtual void redrawHistoryCharts() = 0;

    // A Jet 4.0 file of the earlier tool was chosen for loading: the sample
    // database to load instead, its copy reused or converted now. This
    // default converts on the calling thread; the window converts in a
    // separate process behind a progress dialog.
    virtual SampleFile openOlderRecording(const ConversionPlan& plan) { return convertByPlan(plan); }
};

// Fixed texts of the commands.
namespace dbtext {
inline constexpr const char* kNone = "none";
inline constexpr const char* kPathPrefix = "DataBase Path:";
inline constexpr const char* kLoadSuffix = ";Data save disabled...";
inline constexpr const char* kSaveOnSuffix = ";DataSave enabled...";
inline constexpr const char* kSaveOffSuffix = ";DataSave disabled...";
inline constexpr const char* kDataBaseCount = "DataBaseCount:";
inline constexpr const char* kRecordCount = "RecordCount:";
inline constexpr const char* kNewTitle = "Cread database...";
inline constexpr const char* kLoadTitle = "Load Database...";
inline constexpr const char* kFilter = "*.mdb|*.mdb";
inline constexpr int kDialogLeft = 3400;
inline constexpr int kDialogTop = 2000;
inline constexpr const char* kRename = "Rename the database please...";
inline constexpr const char* kCreateFailed = "Creat database failed...";
inline constexpr const char* kCreateOrLoadPrompt =
    "pls creat or load Database first... \n\n Yes - Creat   No - Load";
inline constexpr const char* kNotExist = "The database not exisit...";
inline constexpr const char* kClearQuestion = "Delete all the record in the database?";
inline constexpr const char* kClearTitle = "Clear database...";
inline constexpr const char* kClearErr = "Clear database Err...";
inline constexpr const char* kBlank = "DataBase is blank.";
inline constexpr const char* kNotLoaded = "pls check whether the database has been loaded...";
inline constexpr const char* kHistoryNotOk = "Please make sure that the database is ok";
}  // namespace dbtext

// The time bound of a history page that starts at `start`: records count
// from the first whose time, to the nearest second, is at or after the
// start's second.
DateTime pageStartBound(DateTime start);

inline constexpr int kMaxHistoryRecords = 720;
inline constexpr int kMinPagingRecords = 500;
inline constexpr int kHistoryChartPage = 4;

class DatabaseCommands {
public:
    DatabaseCommands(DatabaseView& view, DialogHost& dialogs);

    // Part of the window's load: DatabasePath "none", the path label
    // "DataBase Path:none;Data save disabled..." and the count label placed.
    void onWindowLoad();

    // Menu clicks.
    void newDatabase();     // mnuOptionNewDB
    void loadDatabase();    // mnuOptionLoadDB
    void clearDatabase();   // mnuOptionClearDB
    void toggleRecording(); // mnuOptionCurveSaving

    // History buttons.
    void cmdDataBaseClick();
    void cmdCurveMoveLClick();
    void cmdCurveMoveRClick();

    // The sampling cycle's recording hook (every 45 ticks while recording).
    void AppendSampleBatch(const LiveBufferRefs& live);
    // The program closes while recording: the samples of the `newest`
    // newest positions (those since the last batch) and any held back are
    // stored, so that closing loses no sample taken.
    void storeLastSamples(const LiveBufferRefs& live, int newest);

    // Loads the whole table (start empty) or the records from `start` on
    // into the history buffers and redraws the history charts.
    void DrawHistory(std::optional<DateTime> start, bool paging);
    // Empties the current database with the window kept responsive.
    void ClearSampleDatabase();

    const std::string& databasePath() const { return databasePath_; }
    std::size_t pendingSamples() const { return recorder_.pendingCount(); }

private:
    std::optional<std::string> runFileDialog(const char* title);
    void setPathAfterChoice(const std::string& path);
    void page(int direction);

    DatabaseView& view_;
    DialogHost& dialogs_;
    std::string databasePath_ = dbtext::kNone;
    SampleRecorder recorder_;
};

}  // namespace orlix
