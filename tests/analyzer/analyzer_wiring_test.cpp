// The window's wiring to the sampling tick, the cursors and the database
// commands, driven through its controls and mouse events.
#include <QComboBox>
#include <cmath>
#include <QDir>
#include <QFontMetrics>
#include <QGroupBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include "analyzer_test_util.h"
#include "database/sample_database.h"

namespace orlix {
namespace {

using testing::AnalyzerFixture;

class AnalyzerWiringTest : public ::testing::Test, public AnalyzerFixture {
protected:
    void press(int k, Qt::MouseButton b, int x, int y = 200) {
        QTest::mousePress(pic(k), b, {}, QPoint(x, y));
    }
    void moveTo(int k, int x, int y = 200) {
        // A move with no button held: QTest::mouseMove keeps the buttons of
        // the last press, so send the event by hand.
        QMouseEvent e(QEvent::MouseMove, QPointF(x, y), pic(k)->mapToGlobal(QPointF(x, y)), Qt::NoButton, held_, {});
        QCoreApplication::sendEvent(pic(k), &e);
    }
    void drag(int k, Qt::MouseButton b, int x, int y = 200) {
        QMouseEvent e(QEvent::MouseMove, QPointF(x, y), pic(k)->mapToGlobal(QPointF(x, y)), Qt::NoButton, b, {});
        QCoreApplication::sendEvent(pic(k), &e);
    }
    // A drag as the mouse delivers it: small steps from `from` to `to`.
    void dragSteps(int k, Qt::MouseButton b, int from, int to) {
        const int step = to > from ? 3 : -3;
        for (int x = from; (step > 0 ? x < to : x > to); x += step) drag(k, b, x);
        drag(k, b, to);
    }
    void release(int k, Qt::MouseButton b, int x, int y = 200) {
        QTest::mouseRelease(pic(k), b, {}, QPoint(x, y));
    }
    QString gridText(int g, int r, int c) const { return grid1(g)->textMatrix(r, c); }
    QLabel* timeDiff() const { return find<QLabel>("lblTimeError"); }

    Qt::MouseButtons held_ = Qt::NoButton;
};

TEST_F(AnalyzerWiringTest, TickFillsGridsStatusLineAndTheLiveChart) {
    store.LiveValues[2] = 55;        // master Td
    store.LiveValues[20] = 61;       // slave 1 Td
    store.LiveValues[15] = 3;        // fan speed
    curveBox(2)->setChecked(true);
    const auto gen = w->chartState().charts[0].generation();
    tick();
    EXPECT_EQ(status(1)->text(), QStringLiteral("SampleTimes:1"));
    EXPECT_EQ(status(0)->text(), QStringLiteral("RunTime：00:00:04"));
    EXPECT_EQ(gridText(0, 3, 1), QStringLiteral("55"));
    EXPECT_EQ(gridText(1, 1, 1), QStringLiteral("61"));
    EXPECT_EQ(gridText(0, 16, 1), QStringLiteral("3风速"));
    EXPECT_EQ(gridText(0, 22, 0), QStringLiteral("2026-03-14 09:00:04"));
    EXPECT_EQ(gridText(3, 22, 0), QStringLiteral("2026-03-14 09:00:04"));
    EXPECT_EQ(w->chartState().live.LiveCurveData[2][719], 55);
    EXPECT_NE(w->chartState().charts[0].generation(), gen);
    // Td 55 on curve slot 2 at scale 1 ends at row 400 - 3 * 55 = 235, column 719.
    EXPECT_TRUE(w->chartState().charts[0].isColour(719, 235, Rgb{255, 128, 0}));
    for (int i = 0; i < 14; ++i) tick();
    EXPECT_EQ(status(0)->text(), QStringLiteral("RunTime：00:01:00"));
    EXPECT_EQ(status(1)->text(), QStringLiteral("SampleTimes:15"));
}

TEST_F(AnalyzerWiringTest, LongStatusTextsAreShownWholeInTheirDesignedPlace) {
    w->chartState().live.SampleCount = 59999;
    tick();
    QLabel* count = status(1);
    EXPECT_EQ(count->text(), QStringLiteral("SampleTimes:60000"));
    const QRect before = count->geometry();
    EXPECT_LE(QFontMetrics(count->font()).horizontalAdvance(count->text()), count->width());
    tick();
    EXPECT_EQ(count->text(), QStringLiteral("SampleTimes:0"));
    EXPECT_EQ(count->geometry(), before);
}

TEST_F(AnalyzerWiringTest, CursorBoxesShowTheLinesOnEveryChartOverTheImage) {
    box(QStringLiteral("chkCursor(0)"))->setChecked(true);
    for (int k = 0; k < 8; ++k) {
        EXPECT_TRUE(pic(k)->cursorVisible(0)) << k;
        EXPECT_FALSE(pic(k)->cursorVisible(1)) << k;
    }
    EXPECT_EQ(timeDiff()->text(), QStringLiteral("Time Diff"));
    // The line is painted over the chart, not into its image.
    const QImage shot = pic(0)->grab().toImage();
    EXPECT_EQ(shot.pixelColor(320, 100), QColor(0, 255, 0));
    EXPECT_EQ(shot.pixelColor(319, 100), QColor(0, 255, 0));
    EXPECT_NE(shot.pixelColor(330, 100), QColor(0, 255, 0));
    EXPECT_FALSE(w->chartState().charts[0].isColour(320, 100, Rgb{0, 255, 0}));

    box(QStringLiteral("chkCursor(0)"))->setChecked(false);
    EXPECT_FALSE(pic(5)->cursorVisible(0));
    const QImage after = pic(0)->grab().toImage();
    EXPECT_NE(after.pixelColor(320, 100), QColor(0, 255, 0));
}

TEST_F(AnalyzerWiringTest, PressWithinSevenPixelsGrabsAndDragMovesTheLine) {
    w->show();
    box(QStringLiteral("chkCursor(0)"))->setChecked(true);
    auto& live = w->chartState().live;
    live.LiveCurveData[2][500] = 77;
    live.LiveSampleTime[500] = makeDateTime({2026, 3, 14, 8, 30, 0});

    // 8 pixels away: no grab.
    press(0, Qt::LeftButton, 328);
    drag(0, Qt::LeftButton, 450);
    release(0, Qt::LeftButton, 450);
    EXPECT_EQ(pic(0)->cursorX(0), 320);
    EXPECT_EQ(status(2)->text(), QStringLiteral("CurvePos:320"));

    // 7 pixels away: grabbed, dragged, read out.
    press(0, Qt::LeftButton, 327);
    drag(0, Qt::LeftButton, 500);
    EXPECT_EQ(pic(0)->cursorX(0), 500);
    EXPECT_EQ(status(2)->text(), QStringLiteral("CurvePos:500"));
    EXPECT_EQ(gridText(0, 3, 1), QStringLiteral("77"));
    EXPECT_EQ(gridText(2, 22, 0), QStringLiteral("2026-03-14 08:30:00"));
    drag(0, Qt::LeftButton, 800);  // outside 0..719: stays
    EXPECT_EQ(pic(0)->cursorX(0), 500);
    release(0, Qt::LeftButton, 800);
}

TEST_F(AnalyzerWiringTest, ReleaseOverAnActiveCursorCopiesItToAllCharts) {
    w->show();
    box(QStringLiteral("chkCursor(1)"))->setChecked(true);
    press(2, Qt::LeftButton, 401);
    dragSteps(2, Qt::LeftButton, 401, 600);
    EXPECT_EQ(status(2)->text(), QStringLiteral("CursePos:600"));
    EXPECT_TRUE(pic(2)->customPointer());
    EXPECT_EQ(pic(2)->cursor().shape(), Qt::SizeHorCursor);
    release(2, Qt::LeftButton, 600);
    for (int k = 0; k < 8; ++k) EXPECT_EQ(pic(k)->cursorX(1), 600) << k;

    // Away from every cursor the pointer goes back to the default.
    moveTo(2, 100);
    EXPECT_FALSE(pic(2)->customPointer());
    EXPECT_EQ(pic(2)->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(AnalyzerWiringTest, DragOnAHistoryChartReadsTheHistoryBuffersIntoAllGrids) {
    w->show();
    ssTab1()->setTab(5);
    auto& b = w->chartState().hist;
    b.HistCurveData[20][100] = 33;      // slave 1 Td
    b.HistCurveData[40][100] = -4;      // slave 3 Td
    b.HistCurveData[15][100] = 2;       // fan speed reads "Fan 2"
    w->chartState().live.LiveCurveData[20][100] = 99;      // not read on a history chart
    b.HistSampleTime[100] = makeDateTime({2026, 2, 1, 7, 6, 5});
    box(QStringLiteral("chkCursor(0)"))->setChecked(true);
    press(5, Qt::LeftButton, 322);
    dragSteps(5, Qt::LeftButton, 322, 100);
    release(5, Qt::LeftButton, 100);
    EXPECT_EQ(gridText(1, 1, 1), QStringLiteral("33"));
    EXPECT_EQ(gridText(3, 1, 1), QStringLiteral("-4"));
    EXPECT_EQ(gridText(0, 16, 1), QStringLiteral("Fan 2"));
    for (int g = 0; g < 4; ++g) EXPECT_EQ(gridText(g, 22, 0), QStringLiteral("2026-02-01 07:06:05")) << g;
    // Released over the cursor: every chart's cursor 1 moves there.
    for (int k = 0; k < 8; ++k) EXPECT_EQ(pic(k)->cursorX(0), 100) << k;
}

TEST_F(AnalyzerWiringTest, RightClickMovesCursorOneOfThatChartAndTogglesItsBox) {
    w->show();
    auto* c1 = box(QStringLiteral("chkCursor(0)"));
    press(1, Qt::RightButton, 150);
    release(1, Qt::RightButton, 150);
    EXPECT_TRUE(c1->isChecked());
    EXPECT_TRUE(w->chartState().cursorChecked[0]);
    EXPECT_EQ(pic(1)->cursorX(0), 150);
    EXPECT_TRUE(pic(1)->cursorVisible(0));
    EXPECT_TRUE(pic(6)->cursorVisible(0));
    EXPECT_EQ(pic(6)->cursorX(0), 320);  // other charts keep their place
    press(1, Qt::RightButton, 90);
    release(1, Qt::RightButton, 90);
    EXPECT_FALSE(c1->isChecked());
    EXPECT_FALSE(pic(6)->cursorVisible(0));
}

TEST_F(AnalyzerWiringTest, TimeDifferenceFollowsEveryMoveWhileBothBoxesAreChecked) {
    w->show();
    box(QStringLiteral("chkCursor(0)"))->setChecked(true);
    moveTo(0, 10);
    EXPECT_EQ(timeDiff()->text(), QStringLiteral("Time Diff"));  // one box: unchanged
    box(QStringLiteral("chkCursor(1)"))->setChecked(true);
    EXPECT_EQ(timeDiff()->text(), QStringLiteral("Time Diff"));
    moveTo(0, 10);
    EXPECT_EQ(timeDiff()->text(), QStringLiteral("05:20"));  // 80 px at 4 s
    press(0, Qt::LeftButton, 320);
    drag(0, Qt::LeftButton, 300);
    release(0, Qt::LeftButton, 300);
    EXPECT_EQ(timeDiff()->text(), QStringLiteral("06:40"));
}

TEST_F(AnalyzerWiringTest, GridsStayWhileACursorBoxIsChecked) {
    store.LiveValues[2] = 10;
    tick();
    EXPECT_EQ(gridText(0, 3, 1), QStringLiteral("10"));
    box(QStringLiteral("chkCursor(1)"))->setChecked(true);
    store.LiveValues[2] = 11;
    tick();
    EXPECT_EQ(gridText(0, 3, 1), QStringLiteral("10"));
    EXPECT_EQ(w->chartState().live.LiveCurveData[2][719], 11);
    EXPECT_EQ(status(1)->text(), QStringLiteral("SampleTimes:2"));
}

TEST_F(AnalyzerWiringTest, ScribbleDrawsIntoTheChartOnlyWhileOnTop) {
    w->show();
    press(0, Qt::LeftButton, 100, 100);
    drag(0, Qt::LeftButton, 110, 100);
    EXPECT_FALSE(w->chartState().charts[0].isColour(105, 100, Rgb{0, 255, 0}));
    release(0, Qt::LeftButton, 110, 100);

    action("mnuOptionOnTop")->trigger();
    press(0, Qt::LeftButton, 100, 100);
    drag(0, Qt::LeftButton, 110, 100);
    EXPECT_TRUE(w->chartState().charts[0].isColour(105, 100, Rgb{0, 255, 0}));
    release(0, Qt::LeftButton, 110, 100);
    QCoreApplication::processEvents();
    EXPECT_EQ(pic(0)->grab().toImage().pixelColor(105, 100), QColor(0, 255, 0));
}

class AnalyzerDatabaseTest : public AnalyzerWiringTest {
protected:
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QTemporaryDir dir;
};

TEST_F(AnalyzerDatabaseTest, NewDatabaseThenRecordingWritesBatchesFromTheTick) {
    const QString file = path("rec.mdb");
    dialogs.fileAnswers.push_back(file.toStdString());
    action("mnuOptionNewDB")->trigger();
    ASSERT_TRUE(QFile::exists(file));
    EXPECT_EQ(status(3)->text(), QStringLiteral("DataBase Path:") + file + QStringLiteral("disabled..."));
    EXPECT_EQ(status(4)->x(), status(3)->x() + status(3)->width());
    EXPECT_EQ(dialogs.requests.back().left, 3400);

    QAction* saving = action("mnuOptionCurveSaving");
    saving->trigger();
    EXPECT_TRUE(saving->isChecked());
    EXPECT_EQ(status(3)->text(), QStringLiteral("DataBase Path:") + file + QStringLiteral(";DataSave enabled..."));
    EXPECT_EQ(status(4)->x(), status(3)->x() + status(3)->width());  // the longer text pushes it along

    store.LiveValues[0] = 1234;
    for (int i = 0; i < 45; ++i) tick();
    const auto stored = countRecords(file.toStdString());
    EXPECT_GT(stored, 0);
    EXPECT_EQ(status(4)->text(), QStringLiteral("DataBaseCount:%1").arg(stored));
    EXPECT_TRUE(dialogs.messages().empty());

    saving->trigger();
    EXPECT_FALSE(saving->isChecked());
    EXPECT_EQ(status(3)->text(), QStringLiteral("DataBase Path:") + file + QStringLiteral(";DataSave disabled..."));
}

TEST_F(AnalyzerDatabaseTest, ClosingTheProgramWhileRecordingStoresEverySampleTaken) {
    const QString file = path("close.mdb");
    dialogs.fileAnswers.push_back(file.toStdString());
    action("mnuOptionNewDB")->trigger();
    action("mnuOptionCurveSaving")->trigger();
    // One whole batch, then ten ticks more: the batch holds the ticks before
    // its own, the close stores its tick and the ten after it.
    for (int i = 0; i < 55; ++i) {
        store.LiveValues[0] = 100 + i;
        tick();
    }
    ASSERT_EQ(countRecords(file.toStdString()), 44);
    store.AppClosing = true;
    EXPECT_TRUE(w->close());
    EXPECT_EQ(countRecords(file.toStdString()), 55);
    EXPECT_TRUE(dialogs.messages().empty());
    const HistoryResult h = loadHistory(file.toStdString(), std::nullopt, 100);
    ASSERT_EQ(h.rows.size(), 55u);
    EXPECT_EQ(h.rows.back().values[0], 154);
    EXPECT_EQ(h.rows[44].values[0], 144);
}

TEST_F(AnalyzerDatabaseTest, ClosingTheProgramWithoutRecordingStoresNothing) {
    const QString file = path("off.mdb");
    dialogs.fileAnswers.push_back(file.toStdString());
    action("mnuOptionNewDB")->trigger();
    for (int i = 0; i < 10; ++i) tick();
    store.AppClosing = true;
    EXPECT_TRUE(w->close());
    EXPECT_EQ(countRecords(file.toStdString()), 0);
}

TEST_F(AnalyzerDatabaseTest, RecordingWithoutADatabaseAsksAndCancelChangesNothing) {
    QAction* saving = action("mnuOptionCurveSaving");
    const QString before = status(3)->text();
    saving->trigger();  // the scripted host answers Cancel
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0], "pls creat or load Database first... \n\n Yes - Creat   No - Load");
    EXPECT_FALSE(saving->isChecked());
    EXPECT_EQ(status(3)->text(), before);

    dialogs.messageAnswers.push_back(MsgResult::Yes);  // create, but the dialog is cancelled
    saving->trigger();
    EXPECT_FALSE(saving->isChecked());
    EXPECT_EQ(status(3)->text(), before);
}

TEST_F(AnalyzerDatabaseTest, LoadSwitchesRecordingOffDrawsHistoryAndShowsTheMasterHistoryTab) {
    const QString file = path("hist.mdb");
    ASSERT_TRUE(CreateSampleDatabase(file.toStdString()));
    std::vector<SampleRow> rows(300);
    for (int i = 0; i < 300; ++i) {
        rows[static_cast<size_t>(i)].values[2] = static_cast<std::int16_t>(i % 100);
        rows[static_cast<size_t>(i)].time = makeDateTime({2026, 3, 1, 10, 0, 0}) + secondsToDays(4.0 * i);
    }
    ASSERT_TRUE(appendSamples(file.toStdString(), rows).stored);

    dialogs.fileAnswers.push_back(file.toStdString());
    action("mnuOptionNewDB")->trigger();  // exists: refused
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0], "Rename the database please...");
    EXPECT_EQ(status(3)->text(), QStringLiteral("DataBase Path:none;Data save disabled..."));

    dialogs.messageAnswers.push_back(MsgResult::No);  // load from the prompt
    dialogs.fileAnswers.push_back(file.toStdString());
    action("mnuOptionCurveSaving")->trigger();
    EXPECT_TRUE(action("mnuOptionCurveSaving")->isChecked());
    EXPECT_EQ(ssTab1()->tab(), 4);

    curveBox(2)->setChecked(true);
    dialogs.fileAnswers.push_back(file.toStdString());
    action("mnuOptionLoadDB")->trigger();
    EXPECT_FALSE(action("mnuOptionCurveSaving")->isChecked());
    EXPECT_EQ(status(3)->text(), QStringLiteral("DataBase Path:") + file + QStringLiteral(";DataSave disabled..."));
    EXPECT_EQ(status(4)->text(), QStringLiteral("DataBaseCount:300"));
    EXPECT_EQ(w->chartState().hist.HistSampleCount, 300);
    EXPECT_EQ(ssTab1()->tab(), 4);
    EXPECT_TRUE(find<QGroupBox>("fraHistory")->isVisibleTo(w.get()));
    // Record 150 holds Td 50: 400 - 150 = row 250 at column 151 of picChart(4).
    EXPECT_TRUE(w->chartState().charts[4].isColour(151, 250, Rgb{255, 128, 0}));
    const QImage shot = pic(4)->grab().toImage();
    EXPECT_EQ(shot.pixelColor(151, 250), QColor(255, 128, 0));

    // Too few records to page: the buttons change nothing.
    const auto firstTime = w->chartState().hist.HistSampleTime[0];
    QTest::mouseClick(find<QToolButton>("cmdCurveMoveR"), Qt::LeftButton);
    EXPECT_EQ(w->chartState().hist.HistSampleTime[0], firstTime);
    EXPECT_EQ(status(4)->text(), QStringLiteral("DataBaseCount:300"));
}

TEST_F(AnalyzerDatabaseTest, HistoryButtonsAndClearWithoutADatabaseShowTheirMessages) {
    w->show();
    ssTab1()->setTab(5);
    QTest::mouseClick(find<QToolButton>("cmdDataBase"), Qt::LeftButton);
    QTest::mouseClick(find<QToolButton>("cmdCurveMoveL"), Qt::LeftButton);
    action("mnuOptionClearDB")->trigger();
    const auto msgs = dialogs.messages();
    ASSERT_EQ(msgs.size(), 3u);
    EXPECT_EQ(msgs[0], "pls check whether the database has been loaded...");
    EXPECT_EQ(msgs[1], "pls check whether the database has been loaded...");
    EXPECT_EQ(msgs[2], "The database not exisit...");
    EXPECT_EQ(find<QToolButton>("cmdCurveMoveL")->toolTip(), QStringLiteral("前移2个时间格"));
    EXPECT_EQ(find<QToolButton>("cmdDataBase")->toolTip(), QStringLiteral("回到开始"));
    EXPECT_EQ(find<QToolButton>("cmdCurveMoveR")->toolTip(), QStringLiteral("后移2个时间格"));
}

TEST_F(AnalyzerDatabaseTest, ClearEmptiesTheFileAndReportsBlank) {
    const QString file = path("clear.mdb");
    dialogs.fileAnswers.push_back(file.toStdString());
    action("mnuOptionNewDB")->trigger();
    std::vector<SampleRow> rows(10);
    for (int i = 0; i < 10; ++i) rows[static_cast<size_t>(i)].time = 46000.0 + i;
    ASSERT_TRUE(appendSamples(file.toStdString(), rows).stored);
    dialogs.messageAnswers.push_back(MsgResult::Yes);
    // A load chosen while the clear lets events run is refused, not nested.
    QTimer::singleShot(0, w.get(), [this] { action("mnuOptionLoadDB")->trigger(); });
    action("mnuOptionClearDB")->trigger();
    EXPECT_EQ(countRecords(file.toStdString()), 0);
    int fileDialogs = 0;
    for (const auto& r : dialogs.requests) fileDialogs += r.kind == "file";
    EXPECT_EQ(fileDialogs, 1);
    ASSERT_FALSE(dialogs.messages().empty());
    EXPECT_EQ(dialogs.messages().back(), "DataBase is blank.");
    EXPECT_EQ(status(4)->text(), QStringLiteral("DataBaseCount:0"));
}

// Screenshots of a live and a history tab for looking at the layout; runs
// only when ORLIX_SCREENSHOT_DIR names a folder.
TEST_F(AnalyzerDatabaseTest, Screenshots) {
    const QByteArray out = qgetenv("ORLIX_SCREENSHOT_DIR");
    if (out.isEmpty()) GTEST_SKIP() << "ORLIX_SCREENSHOT_DIR not set";
    w->show();
    box(QStringLiteral("chkOptAll"))->setChecked(true);
    for (int i = 0; i < 400; ++i) {
        const double t = i / 40.0;
        store.LiveValues[0] = static_cast<int>(1500 + 800 * std::sin(t));
        store.LiveValues[1] = static_cast<int>(600 + 200 * std::cos(t));
        store.LiveValues[2] = 70 + i % 30;
        store.LiveValues[3] = 5 + (i / 20) % 10;
        store.LiveValues[5] = 25;
        store.LiveValues[7] = 1200 + (i % 90) * 5;
        store.LiveValues[8] = 150;
        store.LiveValues[9] = 60;
        store.LiveValues[11] = 12;
        store.LiveValues[16] = 0xA4;
        store.LiveValues[20] = 80;
        store.LiveValues[23] = 100;
        tick();
    }
    box(QStringLiteral("chkCursor(0)"))->setChecked(true);
    box(QStringLiteral("chkCursor(1)"))->setChecked(true);
    grid2()->setCurrentCell(2, 3);
    emit grid2()->cellClicked(2, 3);
    w->addErrorEntry(0, QStringLiteral("09:12:00EEPROM"));
    QCoreApplication::processEvents();
    w->grab().save(QDir(QString::fromLocal8Bit(out)).filePath(QStringLiteral("analyzer_live.png")));

    const QString file = path("shot.mdb");
    ASSERT_TRUE(CreateSampleDatabase(file.toStdString()));
    std::vector<SampleRow> rows(720);
    for (int i = 0; i < 720; ++i) {
        auto& r = rows[static_cast<size_t>(i)];
        r.values[0] = static_cast<std::int16_t>(1500 + 900 * std::sin(i / 60.0));
        r.values[2] = static_cast<std::int16_t>(60 + i % 50);
        r.values[5] = static_cast<std::int16_t>(20 + (i / 100));
        r.time = makeDateTime({2026, 3, 1, 10, 0, 0}) + secondsToDays(4.0 * i);
    }
    ASSERT_TRUE(appendSamples(file.toStdString(), rows).stored);
    dialogs.fileAnswers.push_back(file.toStdString());
    action("mnuOptionLoadDB")->trigger();
    press(4, Qt::LeftButton, 320);
    drag(4, Qt::LeftButton, 250);
    release(4, Qt::LeftButton, 250);
    QCoreApplication::processEvents();
    w->grab().save(QDir(QString::fromLocal8Bit(out)).filePath(QStringLiteral("analyzer_history.png")));
}

}  // namespace
}  // namespace orlix
