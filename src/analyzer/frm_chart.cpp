#include "analyzer/frm_chart.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QScreen>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <algorithm>

#include "analyzer/analyzer_layout.h"
#include "analyzer/curve_offsets.h"
#include "analyzer/flex_grid.h"
#include "analyzer/older_recording.h"
#include "analyzer/pic_chart.h"
#include "analyzer/tab_control.h"
#include "chart/chart_drawing.h"
#include "chart/cursors.h"
#include "chart/history_drawing.h"
#include "recorder/pipeline.h"
#include "base/guarded.h"
#include "chart/qt_convert.h"

namespace orlix {

using namespace analyzer;

FrmChart::FrmChart(Pipeline& pipeline, DialogHost& dialogs, QWidget* parent)
    : QMainWindow(parent),
      pipeline_(pipeline),
      store_(pipeline.receive().store()),
      clock_(pipeline.clock()),
      dialogs_(dialogs),
      state_(std::make_unique<ChartState>(pipeline.sampler().buffers())) {
    setObjectName(QStringLiteral("frmChart"));
    cycle_ = std::make_unique<SamplingCycle>(*state_, clock_, static_cast<AnalyzerView&>(*this));
    cursors_ = std::make_unique<ChartCursors>(*state_, static_cast<AnalyzerView&>(*this));
    db_ = std::make_unique<DatabaseCommands>(static_cast<DatabaseView&>(*this), dialogs_);
    buildControls();
    buildMenus();
    load();
    // The window's status bar, below the status labels: the export commands
    // say there where their files went.
    statusBar()->setObjectName(QStringLiteral("stbExport"));
}

FrmChart::~FrmChart() {
    pipeline_.sampler().removeListener(this);
    pipeline_.port().removeListener(this);
}

// The load sequence.
void FrmChart::load() {
    setWindowTitle(qtText(kWindowTitle));

    if (const QScreen* scr = QGuiApplication::primaryScreen()) {
        const QRect sg = scr->geometry();
        const int screenHeightTwips = sg.height() * kTwipsPerPixel;
        setGeometry(0, px(screenHeightTwips / 13), sg.width(), px(kWindowHeightTwips - kTitleBarTwips));
        move(0, px(screenHeightTwips / 13));
    }

    for (auto* cb : cmbFailure_) cb->setCurrentIndex(0);

    // Page 0 of both tab controls; the chart-tab change handling fills the
    // "Reference" row and hides the history buttons.
    ssTab1_->setTab(0);
    ssTab2_->setTab(0);

    guarded([&] { db_->onWindowLoad(); });

    // Scales, LastLiveY and the first grid on every picture.
    guarded([&] { loadCharts(*state_); });

    buildValueGrids();
    buildCurveGrid();

    cmdUp_->hide();
    cmdDown_->hide();
    syncCursorLines();
    refreshCharts();

    setTimer1Interval(kTimer1IntervalMs);
    pipeline_.sampler().addListener(this);
    pipeline_.port().addListener(this);
    pipeline_.startSampling();
}

// ---------------------------------------------------------------- public

void FrmChart::addErrorEntry(int list, const QString& entry) {
    if (list < 0 || list >= static_cast<int>(cmbFailure_.size())) return;
    QComboBox* cb = cmbFailure_[static_cast<size_t>(list)];
    cb->insertItem(0, entry);
    cb->setCurrentIndex(0);
}

bool FrmChart::alwaysOnTopChecked() const { return mnuOptionOnTop_ && mnuOptionOnTop_->isChecked(); }

int FrmChart::timer1Interval() const { return timer1Interval_; }

QTimer* FrmChart::timer1() const { return &pipeline_.sampleTimer(); }

bool FrmChart::topmost() const { return windowFlags().testFlag(Qt::WindowStaysOnTopHint); }

void FrmChart::setTimer1Interval(int ms) {
    timer1Interval_ = ms;
    state_->intervalMs = ms;
    pipeline_.sampleTimer().setProgramInterval(ms);
}

// ---------------------------------------------------------------- window behaviour

void FrmChart::closeEvent(QCloseEvent* e) {
    if (mnuOptionOnTop_) mnuOptionOnTop_->setChecked(false);
    setTopmost(false);
    if (store_.AppClosing) {
        pipeline_.sampleTimer().stop();
        storeLastSamples();
        e->accept();
        return;
    }
    e->ignore();
    hide();
}

void FrmChart::storeLastSamples() {
    const SamplingCore& core = pipeline_.sampler().core();
    if (!core.recording()) return;
    // A batch holds the 45 samples before its own tick; the samples from
    // the last batch's tick on are stored now, as a last partial batch.
    db_->storeLastSamples(makeLiveBufferRefs(state_->live.LiveCurveData, state_->live.LiveSampleTime),
                          core.ticksSinceBatch() + 1);
    setRecording(false);
}

void FrmChart::onPortEvent(PortTrouble trouble) {
    if (trouble != PortTrouble::Lost || !pipeline_.port().atEnd()) return;
    guarded([this] {
        SamplingCore& core = pipeline_.sampler().core();
        if (!core.recording()) return;
        db_->storeLastSamples(makeLiveBufferRefs(state_->live.LiveCurveData, state_->live.LiveSampleTime),
                              core.ticksSinceBatch() + 1);
        // Recording stays on; the next run of a capture starts its batches
        // afresh.
        core.setRecording(false);
        core.setRecording(true);
    });
}

void FrmChart::changeEvent(QEvent* e) {
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized)) {
        // Minimising only hides; the next show brings the window back normal-sized.
        setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
        hide();
    }
}

void FrmChart::setTopmost(bool on) {
    if (topmost() == on) return;
    const QRect g = geometry();
    const bool wasVisible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, on);  // hides a shown window
    setGeometry(g);
    if (wasVisible) show();
}

void FrmChart::onOnTop(bool checked) {
    guarded([&] { setTopmost(checked); });
}

void FrmChart::onExit() {
    if (mnuOptionOnTop_) mnuOptionOnTop_->setChecked(false);
    setTopmost(false);
    hide();
}

void FrmChart::onCalculator() {
    // Starts whichever calculator the platform has; none is no error.
#ifdef Q_OS_WIN
    QProcess::startDetached(QStringLiteral("calc.exe"), {});
#else
    for (const char* prog : {"gnome-calculator", "kcalc", "galculator", "xcalc"})
        if (QProcess::startDetached(QString::fromLatin1(prog), {})) break;
#endif
}

void FrmChart::onSampleInterval(int seconds) {
    for (size_t i = 0; i < kIntervalItems.size(); ++i)
        mnuOptSampleSec_[i]->setChecked(kIntervalItems[i].seconds == seconds);
    // Every item samples at the one supported interval.
    setTimer1Interval(kTimer1IntervalMs);
}

// ---------------------------------------------------------------- tabs, grids, selection

void FrmChart::onChartTabChanged(int t) {
    guarded([&] {
        ssTab2_->setTab(t % 4);
        const auto ref = referenceRow(t, state_->LiveCurveOffset, state_->HistCurveOffset);
        for (int c = 1; c <= kCurveColumns; ++c)
            grid2_->setTextMatrix(kReferenceRow, c, QString::number(ref[static_cast<size_t>(c - 1)]));
        fraHistory_->setVisible(isHistoryTab(t));
    });
}

void FrmChart::onCurveGridClicked() {
    if (grid2_->row() == kReferenceRow) {
        const int left = kArrowLeftBase + kArrowLeftPitch * (grid2_->col() - 1);
        cmdUp_->move(left, cmdUp_->y());
        cmdDown_->move(left, cmdDown_->y());
        cmdUp_->show();
        cmdDown_->show();
    } else {
        cmdUp_->hide();
        cmdDown_->hide();
    }
}

void FrmChart::onOffsetButton(int delta) {
    guarded([&] {
        const int c = grid2_->col();
        const int t = ssTab1_->tab();
        auto& offsets = isHistoryTab(t) ? state_->HistCurveOffset : state_->LiveCurveOffset;
        if (const auto slot = offsetSlot(t, c)) {
            auto& v = offsets[static_cast<size_t>(*slot)];
            v = steppedOffset(v, delta);
            grid2_->setTextMatrix(grid2_->row(), grid2_->col(), QString::number(v));
        }
        redraw(t);
    });
}

void FrmChart::onCurveBox(int slot, bool checked) {
    guarded([&] {
        state_->curveChecked[static_cast<size_t>(slot)] = checked;
        if (!checked && chkOptAll_->isChecked()) chkOptAll_->setChecked(false);
        if (checked && chkClearAll_->isChecked()) chkClearAll_->setChecked(false);
        redraw(ssTab1_->tab());
    });
}

void FrmChart::onSelAll(bool checked) {
    if (!checked) return;
    for (auto* b : chkOptCurve_) b->setChecked(true);
}

void FrmChart::onSelNone(bool checked) {
    if (!checked) return;
    for (auto* b : chkOptCurve_) b->setChecked(false);
}

void FrmChart::onZoom(int index) {
    guarded([&] {
        if (zoomClick(*state_, index, ssTab1_->tab())) ++redrawCount_;
        refreshCharts();
    });
}

void FrmChart::runDatabaseCommand(const std::function<void()>& command) {
    // A clear lets window events run between its deletions; a second database
    // command started from there would work on the file under the first one's
    // feet, so it is refused until the first has finished. Ticks go on.
    if (databaseBusy_) return;
    databaseBusy_ = true;
    guarded(command);
    databaseBusy_ = false;
    refreshCharts();
}

void FrmChart::redraw(int tab) {
    RedrawChart(*state_, tab);
    ++redrawCount_;
    refreshCharts();
}

void FrmChart::refreshCharts() {
    for (auto* p : pic_) p->refreshIfChanged();
}

// ---------------------------------------------------------------- sampling

void FrmChart::onSample(const SampleTick& tick) {
    guarded([&] { cycle_->Timer1_Timer(tick); });
    refreshCharts();
    // A capture that stopped reaching its file shows in the title.
    guarded([&] { showCaptureState(); });
}

void FrmChart::setGridCell(int grid, int row, int col, const std::string& text) {
    if (grid < 0 || grid >= static_cast<int>(grid1_.size())) return;
    grid1_[static_cast<size_t>(grid)]->setTextMatrix(row, col, QString::fromStdString(text));
}

void FrmChart::setStatusLabel(int index, const QString& text) {
    if (index < 0 || index >= static_cast<int>(lblStatus_.size())) return;
    QLabel* l = lblStatus_[static_cast<size_t>(index)];
    l->setText(text);
    if (kStatusLabels[static_cast<size_t>(index)].autoSize) {
        l->resize(l->sizeHint().width(), l->height());
    } else {
        // Fixed-width labels keep their place; a text longer than the label
        // ("SampleTimes:60000") is condensed rather than cut off.
        QFont f = l->font();
        f.setStretch(QFont::Unstretched);
        const int needed = QFontMetrics(f).horizontalAdvance(text) + 1;
        if (needed > l->width()) {
            // Stretch is only approximate once glyphs are hinted: narrow on
            // until the text fits.
            for (int stretch = std::max(50, 100 * l->width() / needed); stretch >= 50; stretch -= 2) {
                f.setStretch(stretch);
                if (QFontMetrics(f).horizontalAdvance(text) < l->width()) break;
            }
        }
        l->setFont(f);
    }
    // The count label stays directly right of the path label, whose width
    // follows its text; otherwise a longer path text would run under it.
    if (index == 3) placeCountLabel();
}

void FrmChart::setStatusText(int index, const std::string& text) {
    setStatusLabel(index, QString::fromStdString(text));
}

void FrmChart::setTimeDiffText(const std::string& text) { lblTimeError_->setText(QString::fromStdString(text)); }

void FrmChart::appendSampleBatch() {
    db_->AppendSampleBatch(makeLiveBufferRefs(state_->live.LiveCurveData, state_->live.LiveSampleTime));
}

// ---------------------------------------------------------------- database view

std::string FrmChart::pathLabelText() const { return lblStatus_[3]->text().toStdString(); }

void FrmChart::setPathLabelText(const std::string& text) { setStatusLabel(3, QString::fromStdString(text)); }

void FrmChart::placeCountLabel() {
    QLabel* path = lblStatus_[3];
    lblStatus_[4]->move(path->x() + path->width(), lblStatus_[4]->y());
}

void FrmChart::setCountLabelText(const std::string& text) { setStatusLabel(4, QString::fromStdString(text)); }

bool FrmChart::recordingEnabled() const { return mnuOptionCurveSaving_ && mnuOptionCurveSaving_->isChecked(); }

void FrmChart::setRecording(bool on) {
    if (mnuOptionCurveSaving_) {
        const QSignalBlocker block(mnuOptionCurveSaving_);
        mnuOptionCurveSaving_->setChecked(on);
    }
    pipeline_.sampler().core().setRecording(on);
}

bool FrmChart::alwaysOnTop() const { return alwaysOnTopChecked(); }

void FrmChart::releaseAlwaysOnTop() {
    if (mnuOptionOnTop_) mnuOptionOnTop_->setChecked(false);
    setTopmost(false);
}

void FrmChart::selectChartTab(int page) { ssTab1_->setTab(page); }

void FrmChart::processPendingEvents() {
    QCoreApplication::processEvents();
    refreshCharts();
}

int FrmChart::sampleIntervalMs() const { return timer1Interval_; }

HistoryBufferRefs FrmChart::historyBuffers() {
    return makeHistoryBufferRefs(state_->hist.HistCurveData, state_->hist.HistSampleTime, state_->hist.HistSampleCount);
}

void FrmChart::redrawHistoryCharts() {
    drawHistoryCharts(*state_);
    refreshCharts();
}

SampleFile FrmChart::openOlderRecording(const ConversionPlan& plan) {
    return analyzer::convertWithProgress(this, plan);
}

// ---------------------------------------------------------------- cursors

void FrmChart::syncCursorLines() {
    for (int k = 0; k < kChartCount; ++k)
        for (int c = 0; c < 2; ++c) {
            const int line = 2 * k + c;
            pic_[static_cast<size_t>(k)]->setCursorX(c, cursors_->X1(line));
            pic_[static_cast<size_t>(k)]->setCursorVisible(c, cursors_->visible(line));
        }
}

void FrmChart::applyCursorAction(int chart, const CursorAction& a) {
    if (a.cursor1Toggled) {
        const QSignalBlocker block(chkCursor_[0]);
        chkCursor_[0]->setChecked(state_->cursorChecked[0]);
    }
    if (a.pointerChanged) pic_[static_cast<size_t>(chart)]->setCustomPointer(a.customPointer);
    syncCursorLines();
    if (a.imageChanged) refreshCharts();
}

void FrmChart::onCursorBox(int c, bool checked) {
    guarded([&] {
        state_->cursorChecked[static_cast<size_t>(c)] = checked;
        applyCursorAction(0, cursors_->cursorBoxClicked(c));
    });
}

void FrmChart::onChartPress(int chart, int button, int x, int y) {
    guarded([&] { applyCursorAction(chart, cursors_->mouseDown(chart, button, x, y)); });
}

void FrmChart::onChartMove(int chart, int buttons, int x, int y) {
    guarded([&] { applyCursorAction(chart, cursors_->mouseMove(chart, buttons, x, y, alwaysOnTopChecked())); });
}

void FrmChart::onChartRelease(int chart, int button, int x, int y) {
    guarded([&] { applyCursorAction(chart, cursors_->mouseUp(chart, button, x, y)); });
}

}  // namespace orlix
