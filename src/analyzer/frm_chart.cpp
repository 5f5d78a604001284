#include "analyzer/frm_chart.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cmath>
#include <exception>

#include "analyzer/analyzer_layout.h"
#include "analyzer/curve_offsets.h"
#include "analyzer/flex_grid.h"
#include "analyzer/pic_chart.h"
#include "analyzer/tab_control.h"
#include "chart/chart_drawing.h"
#include "chart/cursors.h"
#include "chart/history_drawing.h"
#include "platform/guarded.h"
#include "platform/qt_colour.h"

namespace orlix {

using namespace analyzer;

namespace {

QString qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

void place(QWidget* w, const ControlRow& r) {
    w->setObjectName(qs(r.name));
    w->setGeometry(px(r.left), px(r.top), px(r.width), px(r.height));
}

constexpr Rgb kStatusGrey{128, 128, 128};

}  // namespace

FrmChart::FrmChart(LiveStore& store, const Clock& clock, DialogHost& dialogs, QWidget* parent)
    : QMainWindow(parent), store_(store), clock_(clock), dialogs_(dialogs), state_(std::make_unique<ChartState>()) {
    setObjectName(QStringLiteral("frmChart"));
    cycle_ = std::make_unique<SamplingCycle>(*state_, store_.LiveValues, clock_, static_cast<AnalyzerView&>(*this));
    cursors_ = std::make_unique<ChartCursors>(*state_, static_cast<AnalyzerView&>(*this));
    db_ = std::make_unique<DatabaseCommands>(static_cast<DatabaseView&>(*this), dialogs_);
    buildControls();
    buildMenus();
    load();
    // The window's status bar, below the status labels: the export commands
    // say there where their files went.
    statusBar()->setObjectName(QStringLiteral("stbExport"));
}

FrmChart::~FrmChart() = default;

// ---------------------------------------------------------------- building

void FrmChart::buildControls() {
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("frmChartClient"));
    QFont f = central->font();
    f.setPixelSize(11);
    central->setFont(f);
    // Frames are drawn as bordered boxes with their caption in the top edge.
    central->setStyleSheet(QStringLiteral(
        "QGroupBox { border: 1px solid #a0a0a0; margin-top: 6px; }"
        "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 6px; padding: 0 2px; }"
        "QPushButton { padding: 0px; }"
        "QTableWidget { font-size: 10px; }"));
    setCentralWidget(central);

    // In creation order, which is also the stacking order.
    buildChartTabs(central);
    buildValueTabs(central);
    buildSelection(central);
    buildZoom(central);
    buildCurveGridAndArrows(central);
    buildHistoryFrame(central);
    buildCursorFrame(central);
    buildErrorMemory(central);
    buildStatusLine(central);

    cmdUp_->raise();
    cmdDown_->raise();
    fraHistory_->raise();

    timer1_ = new ProgramTimer(clock_, kTimer1IntervalMs, this);
    timer1_->setObjectName(QStringLiteral("Timer1"));
    connect(timer1_, &QTimer::timeout, this, &FrmChart::onTick);
}

// Chart tabs with one picture per page.
void FrmChart::buildChartTabs(QWidget* central) {
    QStringList tabs1;
    for (auto c : kSSTab1Captions) tabs1 << qs(c);
    ssTab1_ = new TabControl(tabs1, central);
    place(ssTab1_, kSSTab1);
    for (int k = 0; k < kChartCount; ++k) {
        auto* pic = new PicChart(k, ssTab1_->page(k));
        pic->move(px(kPicChart.left), px(kPicChart.top));
        const auto idx = static_cast<size_t>(k);
        pic->setImageSource([this, idx] { return &state_->charts[idx].image(); },
                            [this, idx] { return state_->charts[idx].generation(); });
        connect(pic, &PicChart::pressed, this, &FrmChart::onChartPress);
        connect(pic, &PicChart::moved, this, &FrmChart::onChartMove);
        connect(pic, &PicChart::released, this, &FrmChart::onChartRelease);
        pic_[idx] = pic;
    }
    connect(ssTab1_, &TabControl::tabChanged, this, &FrmChart::onChartTabChanged);
}

// Value grids, one per unit.
void FrmChart::buildValueTabs(QWidget* central) {
    QStringList tabs2;
    for (auto c : kSSTab2Captions) tabs2 << qs(c);
    ssTab2_ = new TabControl(tabs2, central);
    place(ssTab2_, kSSTab2);
    for (int k = 0; k < 4; ++k) {
        auto* g = new FlexGrid(kValueGridRows, 3, ssTab2_->page(k));
        g->setObjectName(QStringLiteral("MSHFlexGrid1(%1)").arg(k));
        g->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        g->setGeometry(px(kMSHFlexGrid1.left), px(kMSHFlexGrid1.top), px(kMSHFlexGrid1.width),
                       px(kMSHFlexGrid1.height));
        grid1_[static_cast<size_t>(k)] = g;
    }
}

// Curve selection: SelAll, the ten curve boxes in their colours, SelNone.
void FrmChart::buildSelection(QWidget* central) {
    auto* sel = new QGroupBox(qs(kFraSelection.caption), central);
    place(sel, kFraSelection);
    auto boxAt = [&](int i, const QString& name, const QString& caption) {
        auto* b = new QCheckBox(caption, sel);
        b->setObjectName(name);
        b->setGeometry(px(kSelectionBoxLeft), px(kSelectionFirstTop + i * kSelectionPitch), px(kSelectionBoxWidth),
                       px(kSelectionBoxHeight));
        return b;
    };
    chkOptAll_ = boxAt(0, QStringLiteral("chkOptAll"), QStringLiteral("SelAll"));
    for (int s = 0; s < 10; ++s) {
        const auto& row = kCurveBoxes[static_cast<size_t>(s)];
        auto* b = boxAt(s + 1, QStringLiteral("chkOptCurve(%1)").arg(s), qs(row.caption));
        QFont bf = b->font();
        bf.setBold(true);
        b->setFont(bf);
        setTextColour(b, row.color);
        connect(b, &QCheckBox::toggled, this, [this, s](bool on) { onCurveBox(s, on); });
        chkOptCurve_[static_cast<size_t>(s)] = b;
    }
    chkClearAll_ = boxAt(11, QStringLiteral("chkClearAll"), QStringLiteral("SelNone"));
    connect(chkOptAll_, &QCheckBox::toggled, this, &FrmChart::onSelAll);
    connect(chkClearAll_, &QCheckBox::toggled, this, &FrmChart::onSelNone);
}

void FrmChart::buildZoom(QWidget* central) {
    auto* zoom = new QGroupBox(qs(kFraZoom.caption), central);
    place(zoom, kFraZoom);
    for (int i = 0; i < 5; ++i) {
        const auto& row = kZoomButtons[static_cast<size_t>(i)];
        auto* b = new QPushButton(qs(row.caption), zoom);
        place(b, row);
        b->setCursor(Qt::SizeHorCursor);  // the charts' custom pointer, shared with the zoom buttons
        connect(b, &QPushButton::clicked, this, [this, i] { onZoom(i); });
        cmdAxesScale_[static_cast<size_t>(i)] = b;
    }
    cmdAxesScale_[0]->setEnabled(false);
    cmdAxesScale_[1]->setEnabled(false);
}

// Curve grid and its offset arrows.
void FrmChart::buildCurveGridAndArrows(QWidget* central) {
    grid2_ = new FlexGrid(kCurveGridRows, kCurveGridCols, central);
    place(grid2_, kMSHFlexGrid2);
    connect(grid2_, &QTableWidget::cellClicked, this, [this](int, int) { onCurveGridClicked(); });
    cmdUp_ = new QToolButton(central);
    place(cmdUp_, kCmdUp);
    cmdUp_->setArrowType(Qt::UpArrow);
    cmdDown_ = new QToolButton(central);
    place(cmdDown_, kCmdDown);
    cmdDown_->setArrowType(Qt::DownArrow);
    connect(cmdUp_, &QToolButton::clicked, this, [this] { onOffsetButton(kOffsetStep); });
    connect(cmdDown_, &QToolButton::clicked, this, [this] { onOffsetButton(-kOffsetStep); });
}

// History buttons, over the bottom edge of the chart tabs: an earlier, a
// back-to-start and a later symbol, beside the rows of kHistoryButtons.
void FrmChart::buildHistoryFrame(QWidget* central) {
    struct Look {
        Qt::ArrowType arrow;  // NoArrow: the back-to-start icon
        void (DatabaseCommands::*click)();
    };
    static constexpr std::array<Look, 3> kLooks = {{
        {Qt::LeftArrow, &DatabaseCommands::cmdCurveMoveLClick},
        {Qt::NoArrow, &DatabaseCommands::cmdDataBaseClick},
        {Qt::RightArrow, &DatabaseCommands::cmdCurveMoveRClick},
    }};
    static_assert(kLooks.size() == kHistoryButtons.size());
    fraHistory_ = new QGroupBox(central);
    place(fraHistory_, kFraHistory);
    for (size_t i = 0; i < kHistoryButtons.size(); ++i) {
        const auto& row = kHistoryButtons[i];
        auto* b = new QToolButton(fraHistory_);
        place(b, row);
        b->setToolTip(qs(row.caption));
        b->setAutoRaise(false);
        if (kLooks[i].arrow == Qt::NoArrow) b->setIcon(style()->standardIcon(QStyle::SP_MediaSkipBackward));
        else b->setArrowType(kLooks[i].arrow);
        const auto click = kLooks[i].click;
        connect(b, &QToolButton::clicked, this, [this, click] { runDatabaseCommand([&] { (db_.get()->*click)(); }); });
    }
}

// Cursor boxes and the time difference.
void FrmChart::buildCursorFrame(QWidget* central) {
    auto* cur = new QGroupBox(central);
    place(cur, kFraCursor);
    for (int c = 0; c < 2; ++c) {
        const auto& row = kCursorBoxes[static_cast<size_t>(c)];
        auto* b = new QCheckBox(qs(row.caption), cur);
        place(b, row);
        connect(b, &QCheckBox::toggled, this, [this, c](bool on) { onCursorBox(c, on); });
        chkCursor_[static_cast<size_t>(c)] = b;
    }
    lblTimeError_ = new QLabel(qs(kLblTimeError.caption), cur);
    place(lblTimeError_, kLblTimeError);
    lblTimeError_->setAlignment(Qt::AlignCenter);
}

void FrmChart::buildErrorMemory(QWidget* central) {
    auto* err = new QGroupBox(qs(kFraError.caption), central);
    place(err, kFraError);
    for (int i = 0; i < 3; ++i) {
        const auto& lr = kFailureLabels[static_cast<size_t>(i)];
        auto* l = new QLabel(qs(lr.caption), err);
        place(l, lr);
        const auto& cr = kFailureLists[static_cast<size_t>(i)];
        auto* cb = new QComboBox(err);
        place(cb, cr);
        cb->addItem(qs(cr.caption));
        cmbFailure_[static_cast<size_t>(i)] = cb;
    }
}

void FrmChart::buildStatusLine(QWidget* central) {
    for (size_t i = 0; i < kStatusLabels.size(); ++i) {
        const auto& row = kStatusLabels[i];
        auto* l = new QLabel(qs(row.c.caption), central);
        place(l, row.c);
        if (row.grey) setTextColour(l, kStatusGrey);
        // A label that sizes to its text does so from the start, so that its
        // design width does not cut off its design caption.
        if (row.autoSize) l->resize(l->sizeHint().width(), l->height());
        lblStatus_[i] = l;
    }
}

void FrmChart::buildMenus() {
    std::array<QMenu*, 3> menus{};
    for (size_t i = 0; i < kMenuNames.size(); ++i) {
        menus[i] = menuBar()->addMenu(qs(kMenuCaptions[i]));
        menus[i]->setObjectName(qs(kMenuNames[i]));
        menus[i]->menuAction()->setObjectName(qs(kMenuNames[i]));
        menus[i]->menuAction()->setVisible(kMenuVisible[i]);
    }
    auto menuOf = [&](std::string_view name) {
        for (size_t i = 0; i < kMenuNames.size(); ++i)
            if (kMenuNames[i] == name) return menus[i];
        return menus[0];
    };
    for (const auto& row : kMenuItems) {
        QMenu* m = menuOf(row.menu);
        if (row.name.empty()) {
            m->addSeparator();
        } else if (row.name == "mnuOptionSample") {
            buildIntervalMenu(m, row);
        } else {
            QAction* a = m->addAction(qs(row.caption));
            a->setObjectName(qs(row.name));
            a->setCheckable(row.checkable);
            a->setChecked(row.checked);
            a->setEnabled(row.enabled);
        }
    }
    connectMenuHandlers();
}

// The sample-interval submenu.
void FrmChart::buildIntervalMenu(QMenu* parent, const MenuRow& row) {
    QMenu* sub = parent->addMenu(qs(row.caption));
    sub->setObjectName(qs(row.name));
    sub->menuAction()->setObjectName(qs(row.name));
    for (size_t i = 0; i < kIntervalItems.size(); ++i) {
        const auto& it = kIntervalItems[i];
        QAction* a = sub->addAction(qs(it.caption));
        a->setObjectName(QStringLiteral("mnuOptSampleSec(%1)").arg(it.seconds));
        a->setCheckable(true);
        a->setChecked(it.checked);
        a->setEnabled(it.enabled);
        const int secs = it.seconds;
        connect(a, &QAction::triggered, this, [this, secs] { onSampleInterval(secs); });
        mnuOptSampleSec_[i] = a;
    }
}

void FrmChart::connectMenuHandlers() {
    // Menu item -> click handler.
    const std::pair<const char*, std::function<void()>> handlers[] = {
        {"mnuOptionNewDB", [this] { runDatabaseCommand([&] { db_->newDatabase(); }); }},
        {"mnuOptionLoadDB", [this] { runDatabaseCommand([&] { db_->loadDatabase(); }); }},
        {"mnuOptionClearDB", [this] { runDatabaseCommand([&] { db_->clearDatabase(); }); }},
        {"mnuOptionCurveSaving",
         [this] {
             // The command ticks "Save&Enabled" itself: undo the click's own toggle first.
             {
                 const QSignalBlocker block(mnuOptionCurveSaving_);
                 mnuOptionCurveSaving_->setChecked(!mnuOptionCurveSaving_->isChecked());
             }
             runDatabaseCommand([&] { db_->toggleRecording(); });
         }},
        {"mnuOptionSaveCurve", [this] { guarded([&] { onCurveSave(); }); }},
        {"mnuOptionSaveAs", [this] { guarded([&] { onCurveSaveAs(); }); }},
        {"mnuOptionOnTop", [this] { onOnTop(mnuOptionOnTop_->isChecked()); }},
        {"mnuOptionClose", [this] { onExit(); }},
        {"mnuSystemCalc", [this] { onCalculator(); }},
    };
    mnuOptionCurveSaving_ = findChild<QAction*>(QStringLiteral("mnuOptionCurveSaving"));
    mnuOptionOnTop_ = findChild<QAction*>(QStringLiteral("mnuOptionOnTop"));
    for (const auto& [name, handler] : handlers) {
        QAction* a = findChild<QAction*>(QString::fromLatin1(name));
        if (!a) continue;
        connect(a, &QAction::triggered, this, handler);
    }
}

void FrmChart::buildValueGrids() {
    for (int k = 0; k < 4; ++k) {
        FlexGrid* g = grid1_[static_cast<size_t>(k)];
        g->applyFormatString(kValueGridColumnFormat);
        g->applyFormatString(k == 0 ? kMasterRowFormat : kSlaveRowFormat);
        for (int c = 0; c < 3; ++c) g->setColWidthTwips(c, kValueGridColTwips[static_cast<size_t>(c)]);
        if (k == 0) {
            for (size_t r = 0; r < kMasterUnits.size(); ++r)
                g->setTextMatrix(static_cast<int>(r) + 1, 2, qs(kMasterUnits[r]));
            g->setCellEmphasis(kMasterEmphasis.row, 0, true, &kMasterEmphasis.color);
        } else {
            for (size_t r = 0; r < kSlaveUnits.size(); ++r)
                g->setTextMatrix(static_cast<int>(r) + 1, 2, qs(kSlaveUnits[r]));
            g->setCellEmphasis(kSlaveEmphasis.row, 0, true, &kSlaveEmphasis.color);
        }
    }
}

void FrmChart::buildCurveGrid() {
    grid2_->applyFormatString(kCurveGridRowFormat);
    grid2_->applyFormatString(kCurveGridColumnFormat);
    grid2_->setColWidthTwips(0, kCurveGridTitleTwips);
    for (int c = 1; c < kCurveGridCols; ++c) {
        grid2_->setColWidthTwips(c, kCurveGridColTwips);
        grid2_->setCellEmphasis(kReferenceRow, c, true, nullptr);
    }
    grid2_->setCurrentCell(kReferenceRow, 1);
}

// The load sequence.
void FrmChart::load() {
    setWindowTitle(qs(kWindowTitle));

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
    timer1_->start();
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

bool FrmChart::topmost() const { return windowFlags().testFlag(Qt::WindowStaysOnTopHint); }

void FrmChart::setTimer1Interval(int ms) {
    timer1Interval_ = ms;
    state_->intervalMs = ms;
    timer1_->setProgramInterval(ms);
}

// ---------------------------------------------------------------- window behaviour

void FrmChart::closeEvent(QCloseEvent* e) {
    if (mnuOptionOnTop_) mnuOptionOnTop_->setChecked(false);
    setTopmost(false);
    if (store_.AppClosing) {
        timer1_->stop();
        e->accept();
        return;
    }
    e->ignore();
    hide();
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

void FrmChart::onTick() {
    guarded([&] { cycle_->Timer1_Timer(); });
    refreshCharts();
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
    db_->AppendSampleBatch(makeLiveBufferRefs(state_->buf.LiveCurveData, state_->buf.LiveSampleTime));
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
    cycle_->setRecording(on);
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
    return makeHistoryBufferRefs(state_->buf.HistCurveData, state_->buf.HistSampleTime, state_->buf.HistSampleCount);
}

void FrmChart::redrawHistoryCharts() {
    drawHistoryCharts(*state_);
    refreshCharts();
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
