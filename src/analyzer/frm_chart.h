#pragma once
// The data analyzer window: eight chart pictures on their tabs, the value and
// curve grids, curve selection, zoom, time cursors, history buttons, error
// memory, status line and the "&Option" menu. Created once, then only shown
// and hidden until the program ends. It shows the pipeline's samples: its
// load starts the pipeline's 4 s tick (Timer1), and at every tick it draws
// the live charts, writes the grids and, while recording, stores batches.
#include <QMainWindow>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "base/clock.h"
#include "base/dialogs.h"
#include "chart/chart_state.h"
#include "chart/sampling_cycle.h"
#include "comm/live_store.h"
#include "database/database_commands.h"
#include "platform/program_timer.h"
#include "base/read_listener.h"
#include "sampling/sampler.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QToolButton;

namespace orlix {

class BusTools;
class ChartCursors;
class Pipeline;
struct CursorAction;

namespace analyzer {
struct MenuRow;
class FlexGrid;
class PicChart;
class TabControl;
}  // namespace analyzer

class FrmChart : public QMainWindow,
                 private AnalyzerView,
                 private DatabaseView,
                 private SampleListener,
                 private ReadListener {
    Q_OBJECT
public:
    // Runs the load sequence; the window starts hidden.
    FrmChart(Pipeline& pipeline, DialogHost& dialogs, QWidget* parent = nullptr);
    ~FrmChart() override;

    // cmbFailure(list): inserts the entry at the top and shows it.
    void addErrorEntry(int list, const QString& entry);
    // The check mark of "AlwaysOn&Top".
    bool alwaysOnTopChecked() const;

    // State behind the charts (buffers, zoom, offsets, check boxes, images).
    ChartState& chartState() { return *state_; }
    // Timer1's interval as the program sees it (ms) and the real timer (the
    // pipeline's sampling timer).
    int timer1Interval() const;
    QTimer* timer1() const;
    // Full chart redraws since load (selection, offsets, zoom).
    int redrawCount() const { return redrawCount_; }
    // Whether the window asked the platform to keep it above other windows.
    bool topmost() const;

    // The "&Tools" menu's counterpart (frm_chart_tools.cpp); null disables
    // its items.
    void setBusTools(BusTools* tools);
    // Shows in the menu and the title whether the bus is captured now.
    void showCaptureState();

protected:
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    // The window's part of every sampling tick.
    void onSample(const SampleTick& tick) override;
    // The port: at the end of a replayed capture the samples since the last
    // batch are stored, as a capture turned into a database stores them.
    void onRead(std::span<const std::uint8_t>) override {}
    void onPortEvent(PortTrouble trouble) override;
    // Closing while recording: the samples since the last batch are stored.
    void storeLastSamples();
    // AnalyzerView
    void setGridCell(int grid, int row, int col, const std::string& text) override;
    void setStatusText(int index, const std::string& text) override;
    void setTimeDiffText(const std::string& text) override;
    void appendSampleBatch() override;
    // DatabaseView
    std::string pathLabelText() const override;
    void setPathLabelText(const std::string& text) override;
    void placeCountLabel() override;
    void setCountLabelText(const std::string& text) override;
    bool recordingEnabled() const override;
    void setRecording(bool on) override;
    bool alwaysOnTop() const override;
    void releaseAlwaysOnTop() override;
    void selectChartTab(int page) override;
    void processPendingEvents() override;
    int sampleIntervalMs() const override;
    HistoryBufferRefs historyBuffers() override;
    void redrawHistoryCharts() override;
    SampleFile openOlderRecording(const ConversionPlan& plan) override;

    void buildControls();
    void buildChartTabs(QWidget* central);
    void buildValueTabs(QWidget* central);
    void buildSelection(QWidget* central);
    void buildZoom(QWidget* central);
    void buildCurveGridAndArrows(QWidget* central);
    void buildHistoryFrame(QWidget* central);
    void buildCursorFrame(QWidget* central);
    void buildErrorMemory(QWidget* central);
    void buildStatusLine(QWidget* central);
    void buildMenus();
    void buildIntervalMenu(QMenu* parent, const analyzer::MenuRow& row);
    void buildToolsMenu();
    void onBusCapture();
    void onReplayCapture();
    void connectMenuHandlers();
    void buildValueGrids();
    void buildCurveGrid();
    void load();

    void onChartTabChanged(int t);
    void onCurveGridClicked();
    void onOffsetButton(int delta);
    void onCurveBox(int slot, bool checked);
    void onSelAll(bool checked);
    void onSelNone(bool checked);
    void onZoom(int index);
    void onSampleInterval(int seconds);
    void onOnTop(bool checked);
    void onExit();
    void onCalculator();
    void onCursorBox(int c, bool checked);
    void onChartPress(int chart, int button, int x, int y);
    void onChartMove(int chart, int buttons, int x, int y);
    void onChartRelease(int chart, int button, int x, int y);

    // "Curve&Save" and "CurveSave&As..." (frm_chart_export.cpp).
    void onCurveSave();
    void onCurveSaveAs();
    std::string exportFolder() const;
    void showExportResult(const std::string& what, const std::string& path, const std::string& error);

    void applyCursorAction(int chart, const CursorAction& a);
    void syncCursorLines();
    void setTopmost(bool on);
    void runDatabaseCommand(const std::function<void()>& command);
    void redraw(int tab);
    void refreshCharts();
    void setStatusLabel(int index, const QString& text);
    void setTimer1Interval(int ms);

    Pipeline& pipeline_;
    LiveStore& store_;
    const Clock& clock_;
    DialogHost& dialogs_;
    std::unique_ptr<ChartState> state_;
    std::unique_ptr<SamplingCycle> cycle_;
    std::unique_ptr<ChartCursors> cursors_;
    std::unique_ptr<DatabaseCommands> db_;

    analyzer::TabControl* ssTab1_ = nullptr;
    analyzer::TabControl* ssTab2_ = nullptr;
    std::array<analyzer::PicChart*, kChartCount> pic_{};
    std::array<analyzer::FlexGrid*, 4> grid1_{};
    analyzer::FlexGrid* grid2_ = nullptr;
    QCheckBox* chkOptAll_ = nullptr;
    QCheckBox* chkClearAll_ = nullptr;
    std::array<QCheckBox*, 10> chkOptCurve_{};
    std::array<QPushButton*, 5> cmdAxesScale_{};
    QToolButton* cmdUp_ = nullptr;
    QToolButton* cmdDown_ = nullptr;
    QGroupBox* fraHistory_ = nullptr;
    std::array<QCheckBox*, 2> chkCursor_{};
    QLabel* lblTimeError_ = nullptr;
    std::array<QComboBox*, 3> cmbFailure_{};
    std::array<QLabel*, 5> lblStatus_{};
    int timer1Interval_ = 0;
    std::array<QAction*, 4> mnuOptSampleSec_{};
    QAction* mnuOptionCurveSaving_ = nullptr;
    QAction* mnuOptionOnTop_ = nullptr;
    QAction* mnuToolsCapture_ = nullptr;
    QAction* mnuToolsReplay_ = nullptr;
    BusTools* tools_ = nullptr;
    int redrawCount_ = 0;
    bool databaseBusy_ = false;
};

}  // namespace orlix
