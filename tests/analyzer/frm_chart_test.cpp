#include "analyzer/frm_chart.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include "analyzer/curve_offsets.h"
#include "analyzer_test_util.h"

namespace orlix {
namespace {

using testing::AnalyzerFixture;

class FrmChartTest : public ::testing::Test, public AnalyzerFixture {
protected:
    void clickCell(int row, int col) {
        auto* g = grid2();
        g->scrollToItem(g->item(row, col));
        const QRect r = g->visualItemRect(g->item(row, col));
        QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, r.center());
    }
    QToolButton* up() const { return find<QToolButton>("cmdUp"); }
    QToolButton* down() const { return find<QToolButton>("cmdDown"); }
    QString reference(int col) const { return grid2()->textMatrix(2, col); }
};

TEST_F(FrmChartTest, LoadBuildsTheWindowHiddenWithItsDesignState) {
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Orlix Monitor Data Analyzer(V4.0 Build 5.1010)"));
    EXPECT_EQ(w->x(), 0);

    for (int k = 0; k < 8; ++k) {
        ASSERT_NE(pic(k), nullptr) << k;
        EXPECT_EQ(pic(k)->size(), QSize(727, 400));
        EXPECT_FALSE(pic(k)->cursorVisible(0));
        EXPECT_FALSE(pic(k)->cursorVisible(1));
        EXPECT_EQ(pic(k)->cursorX(0), 320);
        EXPECT_EQ(pic(k)->cursorX(1), 400);
    }
    const char* names[] = {"chkOptAll", "chkClearAll", "cmdCurveMoveL", "cmdDataBase", "cmdCurveMoveR",
                           "lblTimeError", "lblFailure(2)", "cmbFailure(0)", "chkCursor(1)"};
    for (const char* n : names) EXPECT_NE(w->findChild<QObject*>(QString::fromLatin1(n)), nullptr) << n;
    // The sampling timer is the pipeline's, which the window shows.
    EXPECT_EQ(w->timer1()->objectName(), QStringLiteral("Timer1"));

    const char* curveCaptions[] = {"Curve1", "Curve2", "Curve3", "Curve4", "Curve5",
                                   "Curve6", "Curve7", "Curve8", "Curve9", "Curv10"};
    for (int s = 0; s < 10; ++s) {
        ASSERT_NE(curveBox(s), nullptr);
        EXPECT_EQ(curveBox(s)->text(), QString::fromLatin1(curveCaptions[s]));
        EXPECT_TRUE(curveBox(s)->font().bold());
        EXPECT_FALSE(curveBox(s)->isChecked());
    }
    EXPECT_EQ(curveBox(1)->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(curveBox(9)->palette().color(QPalette::WindowText), QColor(0, 128, 0));

    const char* zoomCaptions[] = {"X_ZoomIn", "X_ZoomoUT", "Y_ZoomIn", "Y_ZoomOut", "Default"};
    for (int i = 0; i < 5; ++i) {
        auto* b = w->findChild<QPushButton*>(QStringLiteral("cmdAxesScale(%1)").arg(i));
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->text(), QString::fromLatin1(zoomCaptions[i]));
        EXPECT_EQ(b->isEnabled(), i >= 2) << i;
        EXPECT_EQ(b->geometry(), QRect(8, 16 + 22 * i, 73, 17)) << i;
    }

    for (int i = 0; i < 3; ++i) {
        auto* cb = w->findChild<QComboBox*>(QStringLiteral("cmbFailure(%1)").arg(i));
        ASSERT_EQ(cb->count(), 1);
        EXPECT_EQ(cb->currentText(), QStringLiteral("Normal"));
    }
    EXPECT_FALSE(find<QGroupBox>("fraHistory")->isVisibleTo(w.get()));
    EXPECT_FALSE(up()->isVisibleTo(w.get()));
    EXPECT_FALSE(down()->isVisibleTo(w.get()));
    EXPECT_EQ(up()->geometry(), QRect(225, 480, 13, 12));

    EXPECT_EQ(status(0)->text(), QStringLiteral("RunTime：00:00:00"));
    EXPECT_EQ(status(1)->text(), QStringLiteral("SampleTimes:"));
    EXPECT_EQ(status(2)->text(), QStringLiteral("CurvePos:320"));
    EXPECT_EQ(status(3)->text(), QStringLiteral("DataBase Path:none;Data save disabled..."));
    EXPECT_EQ(status(4)->x(), status(3)->x() + status(3)->width());
    // The count label sizes to its text from the start.
    EXPECT_EQ(status(4)->text(), QStringLiteral("DabaBase Count:"));
    EXPECT_GE(status(4)->width(), QFontMetrics(status(4)->font()).horizontalAdvance(status(4)->text()));
    EXPECT_EQ(find<QLabel>("lblTimeError")->text(), QStringLiteral("Time Diff"));

    EXPECT_EQ(ssTab1()->tab(), 0);
    EXPECT_EQ(ssTab2()->tab(), 0);
    EXPECT_EQ(ssTab1()->tabBar()->tabText(7), QStringLiteral("Slave3His"));
    EXPECT_EQ(ssTab2()->tabBar()->tabText(3), QStringLiteral("SLV3"));

    EXPECT_EQ(w->timer1Interval(), 4000);
    EXPECT_TRUE(w->timer1()->isActive());
    EXPECT_EQ(w->timer1()->interval(), 4000);
    EXPECT_EQ(w->chartState().ChartYScale, 1.0f);
    EXPECT_EQ(w->chartState().LastLiveY[49], 200);
    EXPECT_EQ(w->redrawCount(), 0);
}

TEST_F(FrmChartTest, MenusHaveTheirCaptionsAndStates) {
    struct Row {
        const char* name;
        const char* caption;
        bool enabled, checkable, checked;
    };
    const Row rows[] = {
        {"mnuOptionNewDB", "&NewDatabase...", true, false, false},
        {"mnuOptionLoadDB", "&LoadDatabase...", true, false, false},
        {"mnuOptionClearDB", "&ClearDatabase...", true, false, false},
        {"mnuOptionSaveCurve", "Curve&Save", true, false, false},
        {"mnuOptionSaveAs", "CurveSave&As...", true, false, false},
        {"mnuOptionCurveSaving", "Save&Enabled", true, true, false},
        {"mnuOptionOnTop", "AlwaysOn&Top", true, true, false},
        {"mnuOptionClose", "&Exit", true, false, false},
        {"mnuOptSampleSec(1)", "1 sec", false, true, false},
        {"mnuOptSampleSec(2)", "2 sec", false, true, false},
        {"mnuOptSampleSec(4)", "4 sec", true, true, true},
        {"mnuOptSampleSec(10)", "10 sec", false, true, false},
        {"mnuSystemCalc", "集成计算器(&C)...", true, false, false},
        {"mnuHelpHelp(1)", "关于Monitor(&A)...", true, false, false},
    };
    for (const auto& r : rows) {
        QAction* a = action(r.name);
        ASSERT_NE(a, nullptr) << r.name;
        EXPECT_EQ(a->text(), QString::fromUtf8(r.caption)) << r.name;
        EXPECT_EQ(a->isEnabled(), r.enabled) << r.name;
        EXPECT_EQ(a->isCheckable(), r.checkable) << r.name;
        EXPECT_EQ(a->isChecked(), r.checked) << r.name;
    }
    QList<QAction*> top = w->menuBar()->actions();
    ASSERT_EQ(top.size(), 4);
    EXPECT_EQ(top[0]->text(), QStringLiteral("&Option"));
    EXPECT_TRUE(top[0]->isVisible());
    EXPECT_EQ(top[1]->text(), QStringLiteral("&Tools"));  // frm_chart_tools_test.cpp
    EXPECT_TRUE(top[1]->isVisible());
    EXPECT_FALSE(top[2]->isVisible());
    EXPECT_FALSE(top[3]->isVisible());
    // Order of the "&Option" menu, separators included.
    QStringList order;
    for (QAction* a : top[0]->menu()->actions()) order << (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(order.join(QLatin1Char(',')),
              QStringLiteral("&SampleInterval,-,&NewDatabase...,&LoadDatabase...,&ClearDatabase...,-,Curve&Save,"
                             "CurveSave&As...,-,Save&Enabled,AlwaysOn&Top,-,&Exit"));
}

TEST_F(FrmChartTest, ValueGridsCarryTheirTextsWidthsAndEmphasis) {
    auto* m = grid1(0);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->rowCount(), 23);
    EXPECT_EQ(m->columnCount(), 3);
    EXPECT_EQ(m->textMatrix(0, 0), QStringLiteral("SourceName"));
    EXPECT_EQ(m->textMatrix(0, 1), QStringLiteral("Value"));
    EXPECT_EQ(m->textMatrix(0, 2), QStringLiteral("Unit"));
    EXPECT_EQ(m->textMatrix(1, 0), QStringLiteral("①Pd Sensor"));
    EXPECT_EQ(m->textMatrix(10, 0), QStringLiteral("⑩INV_Hz"));
    EXPECT_EQ(m->textMatrix(11, 0), QStringLiteral("⑾Total_Hz"));
    EXPECT_EQ(m->textMatrix(19, 0), QStringLiteral("⒆4WV & SV7"));
    EXPECT_EQ(m->textMatrix(21, 0), QStringLiteral("Ps_Temp"));
    EXPECT_EQ(m->textMatrix(22, 0), QString());
    EXPECT_EQ(m->textMatrix(1, 2), QStringLiteral("Kg"));
    EXPECT_EQ(m->textMatrix(3, 2), QStringLiteral("℃"));
    EXPECT_EQ(m->textMatrix(8, 2), QStringLiteral("Step"));
    EXPECT_EQ(m->textMatrix(9, 2), QStringLiteral("A"));
    EXPECT_EQ(m->textMatrix(18, 2), QStringLiteral("---"));
    EXPECT_EQ(m->textMatrix(21, 2), QStringLiteral("℃"));
    EXPECT_EQ(m->textMatrix(1, 1), QString());
    EXPECT_EQ(m->columnWidth(0), 83);
    EXPECT_EQ(m->columnWidth(1), 48);
    EXPECT_EQ(m->columnWidth(2), 30);
    EXPECT_TRUE(m->cellBold(10, 0));
    EXPECT_FALSE(m->cellBold(9, 0));
    EXPECT_EQ(m->item(10, 0)->foreground().color(), QColor(0, 128, 0));
    EXPECT_TRUE(m->item(2, 1)->textAlignment() & Qt::AlignLeft);

    for (int k = 1; k <= 3; ++k) {
        auto* s = grid1(k);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->textMatrix(0, 0), QStringLiteral("SourceName"));
        EXPECT_EQ(s->textMatrix(4, 0), QStringLiteral("④Ps Sensor"));
        EXPECT_EQ(s->textMatrix(9, 0), QStringLiteral("⑨4 Way Valve"));
        EXPECT_EQ(s->textMatrix(11, 0), QStringLiteral("⑾OilbalValve"));
        EXPECT_EQ(s->textMatrix(12, 0), QString());
        EXPECT_EQ(s->textMatrix(4, 2), QStringLiteral("Kg"));
        EXPECT_EQ(s->textMatrix(6, 2), QStringLiteral("Step"));
        EXPECT_EQ(s->textMatrix(10, 2), QStringLiteral("---"));
        EXPECT_EQ(s->textMatrix(11, 2), QString());
        EXPECT_TRUE(s->cellBold(4, 0));
        EXPECT_EQ(s->item(4, 0)->foreground().color(), QColor(192, 192, 0));
    }
}

TEST_F(FrmChartTest, CurveGridHasHeadingsTitlesWidthsAndABoldReferenceRow) {
    auto* g = grid2();
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->rowCount(), 23);
    EXPECT_EQ(g->columnCount(), 11);
    EXPECT_EQ(g->textMatrix(0, 0), QStringLiteral("SourceName"));
    EXPECT_EQ(g->textMatrix(0, 1), QStringLiteral("Curve1"));
    EXPECT_EQ(g->textMatrix(0, 10), QStringLiteral("Curve10"));
    EXPECT_EQ(g->textMatrix(1, 0), QStringLiteral("Current"));
    EXPECT_EQ(g->textMatrix(2, 0), QStringLiteral("Reference"));
    EXPECT_EQ(g->textMatrix(4, 0), QStringLiteral("Minimum"));
    EXPECT_EQ(g->columnWidth(0), 68);
    EXPECT_EQ(g->columnWidth(5), 67);
    for (int c = 1; c <= 10; ++c) {
        EXPECT_EQ(reference(c), QStringLiteral("0")) << c;
        EXPECT_TRUE(g->cellBold(2, c));
        EXPECT_EQ(g->textMatrix(1, c), QString());
    }
    EXPECT_EQ(g->row(), 2);
}

TEST(FlexGridFormat, SplitsColumnAndRowPartsAndDropsAlignmentMarks) {
    testing::app();
    analyzer::FlexGrid g(4, 3);
    g.applyFormatString("^A|>B|C;R0|R1");
    EXPECT_EQ(g.textMatrix(0, 0), QStringLiteral("R0"));  // the row part titles row 0 last
    EXPECT_EQ(g.textMatrix(0, 1), QStringLiteral("B"));
    EXPECT_EQ(g.textMatrix(0, 2), QStringLiteral("C"));
    EXPECT_EQ(g.textMatrix(1, 0), QStringLiteral("R1"));
    g.applyFormatString(";|x|y|z|too many");  // items past the last row are dropped
    EXPECT_EQ(g.textMatrix(0, 0), QString());
    EXPECT_EQ(g.textMatrix(3, 0), QStringLiteral("z"));
    g.setTextMatrix(9, 9, QStringLiteral("outside"));  // a cell that does not exist is not written
    EXPECT_EQ(g.textMatrix(9, 9), QString());
}

TEST_F(FrmChartTest, TabChangeFollowsTheUnitFillsTheReferenceRowAndShowsHistoryButtons) {
    auto& s = w->chartState();
    s.LiveCurveOffset[3] = 40;    // master curve 4
    s.LiveCurveOffset[10] = -20;  // slave 1 curve 1
    s.LiveCurveOffset[27] = 60;   // slave 3 curve 6
    s.HistCurveOffset[16] = 80;   // slave 2 curve 1 on its history chart
    const int redraws = w->redrawCount();
    auto* fra = find<QGroupBox>("fraHistory");

    ssTab1()->setTab(1);
    EXPECT_EQ(ssTab2()->tab(), 1);
    EXPECT_EQ(reference(1), QStringLiteral("-20"));
    EXPECT_EQ(reference(4), QStringLiteral("0"));
    EXPECT_FALSE(fra->isVisibleTo(w.get()));

    ssTab1()->setTab(6);
    EXPECT_EQ(ssTab2()->tab(), 2);
    EXPECT_EQ(reference(1), QStringLiteral("80"));
    EXPECT_TRUE(fra->isVisibleTo(w.get()));

    s.LiveCurveOffset[26] = 7;  // slave 3 slot 4: column 5
    ssTab1()->setTab(3);
    EXPECT_EQ(ssTab2()->tab(), 3);
    EXPECT_EQ(reference(5), QStringLiteral("7"));
    EXPECT_EQ(reference(6), QStringLiteral("60"));
    for (int c = 7; c <= 10; ++c) EXPECT_EQ(reference(c), QStringLiteral("0")) << c;

    ssTab1()->setTab(0);
    EXPECT_EQ(reference(4), QStringLiteral("40"));
    EXPECT_FALSE(fra->isVisibleTo(w.get()));
    EXPECT_EQ(w->redrawCount(), redraws);  // a tab change never redraws
}

TEST_F(FrmChartTest, ArrowsFollowTheClickedReferenceCellAndHideElsewhere) {
    w->show();
    clickCell(2, 4);
    EXPECT_TRUE(up()->isVisible());
    EXPECT_TRUE(down()->isVisible());
    EXPECT_EQ(up()->x(), 220 + 67 * 3);
    EXPECT_EQ(down()->x(), 220 + 67 * 3);
    EXPECT_EQ(up()->y(), 480);
    EXPECT_EQ(down()->y(), 491);
    clickCell(2, 1);
    EXPECT_EQ(up()->x(), 220);
    clickCell(3, 1);
    EXPECT_FALSE(up()->isVisible());
    EXPECT_FALSE(down()->isVisible());
    clickCell(2, 10);
    EXPECT_EQ(up()->x(), 220 + 67 * 9);
    clickCell(1, 10);
    EXPECT_FALSE(up()->isVisible());
    // The row title is a fixed cell: clicking "Reference" itself picks column 1.
    clickCell(2, 0);
    EXPECT_EQ(grid2()->col(), 1);
    EXPECT_TRUE(up()->isVisible());
    EXPECT_EQ(up()->x(), 220);
    clickCell(0, 5);  // a heading: row 1 becomes current, the arrows go
    EXPECT_EQ(grid2()->row(), 1);
    EXPECT_FALSE(up()->isVisible());
}

TEST_F(FrmChartTest, OffsetArrowsActOnTheShownChartAndAlwaysRedraw) {
    w->show();
    auto& s = w->chartState();
    clickCell(2, 3);
    int redraws = w->redrawCount();
    QTest::mouseClick(up(), Qt::LeftButton);
    EXPECT_EQ(s.LiveCurveOffset[2], 20);
    EXPECT_EQ(reference(3), QStringLiteral("20"));
    EXPECT_EQ(w->redrawCount(), ++redraws);
    QTest::mouseClick(down(), Qt::LeftButton);
    QTest::mouseClick(down(), Qt::LeftButton);
    EXPECT_EQ(s.LiveCurveOffset[2], -20);
    EXPECT_EQ(reference(3), QStringLiteral("-20"));
    redraws += 2;

    // The master history chart keeps offsets of its own.
    ssTab1()->setTab(4);
    EXPECT_EQ(reference(3), QStringLiteral("0"));
    clickCell(2, 3);
    QTest::mouseClick(up(), Qt::LeftButton);
    EXPECT_EQ(s.HistCurveOffset[2], 20);
    EXPECT_EQ(s.LiveCurveOffset[2], -20);
    ++redraws;

    // Slave 2 live chart: column 6 is slot 21; column 7 has no curve.
    ssTab1()->setTab(2);
    EXPECT_EQ(ssTab2()->tab(), 2);
    clickCell(2, 6);
    QTest::mouseClick(up(), Qt::LeftButton);
    EXPECT_EQ(s.LiveCurveOffset[21], 20);
    ++redraws;
    const auto before = s.LiveCurveOffset;
    const auto beforeHist = s.HistCurveOffset;
    clickCell(2, 7);
    QTest::mouseClick(up(), Qt::LeftButton);
    QTest::mouseClick(down(), Qt::LeftButton);
    redraws += 2;
    EXPECT_EQ(s.LiveCurveOffset, before);
    EXPECT_EQ(s.HistCurveOffset, beforeHist);
    EXPECT_EQ(reference(7), QStringLiteral("0"));
    EXPECT_EQ(w->redrawCount(), redraws);

    // The value page shown does not matter, only the chart tab.
    ssTab1()->setTab(0);
    ssTab2()->setTab(3);
    clickCell(2, 1);
    QTest::mouseClick(up(), Qt::LeftButton);
    EXPECT_EQ(s.LiveCurveOffset[0], 20);
    EXPECT_EQ(s.LiveCurveOffset[22], 0);
}

TEST_F(FrmChartTest, OffsetsStopAtTheSixteenBitLimits) {
    w->show();
    auto& s = w->chartState();
    s.LiveCurveOffset[0] = 32760;
    s.LiveCurveOffset[1] = -32750;
    clickCell(2, 1);
    QTest::mouseClick(up(), Qt::LeftButton);
    QTest::mouseClick(up(), Qt::LeftButton);
    EXPECT_EQ(s.LiveCurveOffset[0], 32767);
    EXPECT_EQ(reference(1), QStringLiteral("32767"));
    clickCell(2, 2);
    QTest::mouseClick(down(), Qt::LeftButton);
    EXPECT_EQ(s.LiveCurveOffset[1], -32768);
    EXPECT_EQ(reference(2), QStringLiteral("-32768"));
}

TEST(CurveOffsets, SlotsPerUnitAndColumn) {
    EXPECT_EQ(analyzer::offsetSlot(0, 1), 0);
    EXPECT_EQ(analyzer::offsetSlot(4, 10), 9);
    EXPECT_EQ(analyzer::offsetSlot(1, 1), 10);
    EXPECT_EQ(analyzer::offsetSlot(5, 6), 15);
    EXPECT_EQ(analyzer::offsetSlot(2, 1), 16);
    EXPECT_EQ(analyzer::offsetSlot(7, 6), 27);
    EXPECT_FALSE(analyzer::offsetSlot(3, 7).has_value());
    EXPECT_FALSE(analyzer::offsetSlot(6, 10).has_value());
    EXPECT_FALSE(analyzer::offsetSlot(0, 0).has_value());
    EXPECT_FALSE(analyzer::offsetSlot(8, 1).has_value());
}

TEST_F(FrmChartTest, SelAllAndSelNoneRedrawOncePerChangedBox) {
    int redraws = w->redrawCount();
    curveBox(2)->setChecked(true);
    curveBox(5)->setChecked(true);
    redraws += 2;
    EXPECT_EQ(w->redrawCount(), redraws);

    box("chkOptAll")->setChecked(true);
    EXPECT_EQ(w->redrawCount(), redraws + 8);
    redraws += 8;
    for (int s = 0; s < 10; ++s) EXPECT_TRUE(w->chartState().curveChecked[static_cast<size_t>(s)]) << s;
    EXPECT_FALSE(box("chkClearAll")->isChecked());

    curveBox(7)->setChecked(false);  // one box off clears SelAll
    EXPECT_FALSE(box("chkOptAll")->isChecked());
    EXPECT_EQ(w->redrawCount(), ++redraws);

    box("chkClearAll")->setChecked(true);
    EXPECT_EQ(w->redrawCount(), redraws + 9);
    redraws += 9;
    for (int s = 0; s < 10; ++s) EXPECT_FALSE(curveBox(s)->isChecked()) << s;

    box("chkClearAll")->setChecked(false);  // unchecking does nothing else
    EXPECT_EQ(w->redrawCount(), redraws);

    box("chkClearAll")->setChecked(true);
    curveBox(0)->setChecked(true);  // one box on clears SelNone
    EXPECT_FALSE(box("chkClearAll")->isChecked());
    EXPECT_EQ(w->redrawCount(), redraws + 1);
}

TEST_F(FrmChartTest, ZoomButtonsClampAndRedrawTheShownChart) {
    w->show();
    auto* in = w->findChild<QPushButton*>(QStringLiteral("cmdAxesScale(2)"));
    auto* out = w->findChild<QPushButton*>(QStringLiteral("cmdAxesScale(3)"));
    auto* def = w->findChild<QPushButton*>(QStringLiteral("cmdAxesScale(4)"));
    const int redraws = w->redrawCount();
    for (int i = 0; i < 7; ++i) QTest::mouseClick(in, Qt::LeftButton);
    EXPECT_EQ(w->chartState().ChartYScale, 1.0f / 32);
    EXPECT_EQ(w->redrawCount(), redraws + 4);  // the fifth press and later hit the limit
    QTest::mouseClick(out, Qt::LeftButton);
    EXPECT_EQ(w->chartState().ChartYScale, 1.0f / 16);
    EXPECT_EQ(w->redrawCount(), redraws + 5);
    QTest::mouseClick(def, Qt::LeftButton);
    EXPECT_EQ(w->chartState().ChartYScale, 1.0f);
    EXPECT_EQ(w->redrawCount(), redraws + 6);
}

TEST_F(FrmChartTest, CloseAndMinimiseOnlyHide) {
    w->show();
    ASSERT_TRUE(w->isVisible());
    EXPECT_FALSE(w->close());
    EXPECT_FALSE(w->isVisible());
    EXPECT_TRUE(w->timer1()->isActive());  // sampling goes on while hidden

    w->show();
    w->setWindowState(Qt::WindowMinimized);
    QCoreApplication::processEvents();
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(w->windowState() & Qt::WindowMinimized);
    w->show();
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->windowState(), Qt::WindowNoState);

    store.AppClosing = true;
    EXPECT_TRUE(w->close());
}

TEST_F(FrmChartTest, AlwaysOnTopKeepsGeometryAndIsClearedByCloseAndExit) {
    w->show();
    const QRect g = w->geometry();
    QAction* onTop = action("mnuOptionOnTop");
    onTop->trigger();
    EXPECT_TRUE(w->alwaysOnTopChecked());
    EXPECT_TRUE(w->topmost());
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->geometry(), g);

    w->close();
    EXPECT_FALSE(w->alwaysOnTopChecked());
    EXPECT_FALSE(w->topmost());

    w->show();
    onTop->trigger();
    ASSERT_TRUE(w->topmost());
    action("mnuOptionClose")->trigger();
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(w->alwaysOnTopChecked());
    EXPECT_FALSE(w->topmost());

    w->show();
    onTop->trigger();
    onTop->trigger();  // unchecking takes it out of the topmost band again
    EXPECT_FALSE(w->topmost());
    EXPECT_EQ(w->geometry(), g);
}

TEST_F(FrmChartTest, EveryIntervalItemKeepsFourSecondsAndMovesTheCheck) {
    QAction* one = action("mnuOptSampleSec(1)");
    QAction* four = action("mnuOptSampleSec(4)");
    one->setEnabled(true);  // the design disables it; the handler still holds the rule
    one->trigger();
    EXPECT_EQ(w->timer1Interval(), 4000);
    EXPECT_EQ(w->chartState().intervalMs, 4000);
    EXPECT_TRUE(one->isChecked());
    EXPECT_FALSE(four->isChecked());
    four->trigger();
    EXPECT_TRUE(four->isChecked());
    EXPECT_FALSE(one->isChecked());
    EXPECT_FALSE(action("mnuOptSampleSec(10)")->isChecked());
    EXPECT_EQ(w->timer1Interval(), 4000);
}

TEST_F(FrmChartTest, ErrorEntriesGoOnTopAndAreShown) {
    w->addErrorEntry(1, QStringLiteral("10:00:01E1"));
    w->addErrorEntry(1, QStringLiteral("10:00:05E2"));
    w->addErrorEntry(3, QStringLiteral("ignored"));
    w->addErrorEntry(-1, QStringLiteral("ignored"));
    auto* cb = w->findChild<QComboBox*>(QStringLiteral("cmbFailure(1)"));
    ASSERT_EQ(cb->count(), 3);
    EXPECT_EQ(cb->currentIndex(), 0);
    EXPECT_EQ(cb->currentText(), QStringLiteral("10:00:05E2"));
    EXPECT_EQ(cb->itemText(2), QStringLiteral("Normal"));
    EXPECT_EQ(w->findChild<QComboBox*>(QStringLiteral("cmbFailure(0)"))->count(), 1);
}

}  // namespace
}  // namespace orlix

namespace orlix {
namespace {

class FastClock final : public Clock {
public:
    DateTime now() const override { return t; }
    double timeScale() const override { return 60.0; }
    DateTime t = 46000.5;
};

TEST(FrmChartTimeScale, TheTimerRunsFasterWhileTheProgramStillSeesFourSeconds) {
    testing::app();
    FastClock clock;
    testing::TestPipeline rig(clock);
    LiveStore& store = rig.store;
    ScriptedDialogHost dialogs;
    FrmChart w(*rig.pipeline, dialogs);
    EXPECT_EQ(w.timer1Interval(), 4000);
    EXPECT_EQ(w.chartState().intervalMs, 4000);
    EXPECT_EQ(w.timer1()->interval(), 67);
    EXPECT_EQ(w.timer1()->timerType(), Qt::PreciseTimer);
    // A tick that came early is made up for by the next wait.
    clock.t += secondsToDays(3.84);
    QMetaObject::invokeMethod(w.timer1(), "timeout", Qt::DirectConnection);
    EXPECT_EQ(w.timer1()->interval(), 69);  // (8 - 3.84) s at 60 times
    EXPECT_EQ(w.chartState().live.SampleCount, 1);
    store.AppClosing = true;
}

// On the real timer: the sample times keep 4 s of program time, measured
// from the start to the last tick (which can only be late, never early).
TEST(FrmChartTimeScale, SampleTimesKeepFourSecondsOnTheRealTimer) {
    testing::app();
    ScaledClock clock(60);
    testing::TestPipeline rig(clock);
    LiveStore& store = rig.store;
    ScriptedDialogHost dialogs;
    const DateTime start = clock.now();
    FrmChart w(*rig.pipeline, dialogs);
    QTest::qWait(3000);
    const LiveBuffers& b = w.chartState().live;
    ASSERT_GE(b.SampleCount, 10);
    const double perTick = (b.LiveSampleTime[kNewestPosition] - start) * kSecondsPerDay / b.SampleCount;
    EXPECT_GE(perTick, 3.98);
    EXPECT_LE(perTick, 6.0);  // a loaded machine delays ticks; it never brings them early
    store.AppClosing = true;
}

}  // namespace
}  // namespace orlix
