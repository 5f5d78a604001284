// The analyzer window's construction: its controls, grids and menus, built
// from the layout tables of analyzer_layout.h.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QToolButton>
#include <functional>

#include "analyzer/analyzer_layout.h"
#include "analyzer/curve_offsets.h"
#include "analyzer/flex_grid.h"
#include "analyzer/frm_chart.h"
#include "analyzer/pic_chart.h"
#include "analyzer/tab_control.h"
#include "base/guarded.h"
#include "chart/qt_convert.h"

namespace orlix {

using namespace analyzer;

namespace {

void place(QWidget* w, const ControlRow& r) {
    w->setObjectName(qtText(r.name));
    w->setGeometry(px(r.left), px(r.top), px(r.width), px(r.height));
}

template <std::size_t N>
TabControl* makeTabs(const std::array<std::string_view, N>& captions, const ControlRow& row, QWidget* parent) {
    QStringList list;
    for (auto c : captions) list << qtText(c);
    auto* tabs = new TabControl(list, parent);
    place(tabs, row);
    return tabs;
}

constexpr Rgb kStatusGrey{128, 128, 128};

}  // namespace

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
}

// Chart tabs with one picture per page.
void FrmChart::buildChartTabs(QWidget* central) {
    ssTab1_ = makeTabs(kSSTab1Captions, kSSTab1, central);
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
    ssTab2_ = makeTabs(kSSTab2Captions, kSSTab2, central);
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
    auto* sel = new QGroupBox(qtText(kFraSelection.caption), central);
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
        auto* b = boxAt(s + 1, QStringLiteral("chkOptCurve(%1)").arg(s), qtText(row.caption));
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
    auto* zoom = new QGroupBox(qtText(kFraZoom.caption), central);
    place(zoom, kFraZoom);
    for (int i = 0; i < 5; ++i) {
        const auto& row = kZoomButtons[static_cast<size_t>(i)];
        auto* b = new QPushButton(qtText(row.caption), zoom);
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
        b->setToolTip(qtText(row.caption));
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
        auto* b = new QCheckBox(qtText(row.caption), cur);
        place(b, row);
        connect(b, &QCheckBox::toggled, this, [this, c](bool on) { onCursorBox(c, on); });
        chkCursor_[static_cast<size_t>(c)] = b;
    }
    lblTimeError_ = new QLabel(qtText(kLblTimeError.caption), cur);
    place(lblTimeError_, kLblTimeError);
    lblTimeError_->setAlignment(Qt::AlignCenter);
}

void FrmChart::buildErrorMemory(QWidget* central) {
    auto* err = new QGroupBox(qtText(kFraError.caption), central);
    place(err, kFraError);
    for (int i = 0; i < 3; ++i) {
        const auto& lr = kFailureLabels[static_cast<size_t>(i)];
        auto* l = new QLabel(qtText(lr.caption), err);
        place(l, lr);
        const auto& cr = kFailureLists[static_cast<size_t>(i)];
        auto* cb = new QComboBox(err);
        place(cb, cr);
        cb->addItem(qtText(cr.caption));
        cmbFailure_[static_cast<size_t>(i)] = cb;
    }
}

void FrmChart::buildStatusLine(QWidget* central) {
    for (size_t i = 0; i < kStatusLabels.size(); ++i) {
        const auto& row = kStatusLabels[i];
        auto* l = new QLabel(qtText(row.c.caption), central);
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
        menus[i] = menuBar()->addMenu(qtText(kMenuCaptions[i]));
        menus[i]->setObjectName(qtText(kMenuNames[i]));
        menus[i]->menuAction()->setObjectName(qtText(kMenuNames[i]));
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
            QAction* a = m->addAction(qtText(row.caption));
            a->setObjectName(qtText(row.name));
            a->setCheckable(row.checkable);
            a->setChecked(row.checked);
            a->setEnabled(row.enabled);
        }
    }
    connectMenuHandlers();
    buildToolsMenu();
}

// The sample-interval submenu.
void FrmChart::buildIntervalMenu(QMenu* parent, const MenuRow& row) {
    QMenu* sub = parent->addMenu(qtText(row.caption));
    sub->setObjectName(qtText(row.name));
    sub->menuAction()->setObjectName(qtText(row.name));
    for (size_t i = 0; i < kIntervalItems.size(); ++i) {
        const auto& it = kIntervalItems[i];
        QAction* a = sub->addAction(qtText(it.caption));
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
                g->setTextMatrix(static_cast<int>(r) + 1, 2, qtText(kMasterUnits[r]));
            g->setCellEmphasis(kMasterEmphasis.row, 0, true, &kMasterEmphasis.color);
        } else {
            for (size_t r = 0; r < kSlaveUnits.size(); ++r)
                g->setTextMatrix(static_cast<int>(r) + 1, 2, qtText(kSlaveUnits[r]));
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

}  // namespace orlix
