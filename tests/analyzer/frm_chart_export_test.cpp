// "Curve&Save" and "CurveSave&As...": the files they write, where, and what
// the window says.
#include <QImageReader>
#include <QStatusBar>
#include <QTest>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "analyzer_test_util.h"
#include "csv_text.h"
#include "log_capture.h"
#include "database/sample_database.h"
#include "base/iso_date_time.h"

namespace orlix {
namespace {

namespace fs = std::filesystem;
using testing::AnalyzerFixture;

std::string readFile(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

// The lines of a chart CSV, without its byte-order mark.
std::vector<std::string> csvLines(const std::string& csv) {
    return test::csvLines(csv.substr(csv.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0));
}

class FrmChartExportTest : public ::testing::Test, public AnalyzerFixture {
protected:
    void SetUp() override {
        home_ = fs::temp_directory_path() / ("orlix_home_" + std::to_string(::getpid()) + "_" + std::to_string(++serial_));
        fs::create_directories(home_);
        oldHome_ = qgetenv("HOME");
        qputenv("HOME", QByteArray::fromStdString(home_.string()));
        logged_ = std::make_unique<test::LogCapture>();
        w->show();
    }
    void TearDown() override {
        logged_.reset();
        qputenv("HOME", oldHome_);
        std::error_code ec;
        fs::remove_all(home_, ec);
    }

    void trigger(const char* name) { action(name)->trigger(); }
    QString statusLine() const { return w->statusBar()->currentMessage(); }
    QImage shown(int k) const { return pic(k)->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    static QImage png(const fs::path& p) {
        QImageReader r(QString::fromStdString(p.string()));
        EXPECT_EQ(r.format(), "png") << p;
        return r.read().convertToFormat(QImage::Format_RGB32);
    }
    // Ticks with values that change from tick to tick.
    void ticks(int n) {
        for (int i = 0; i < n; ++i) {
            store.LiveValues[0] = 1000 + 7 * i;  // Pd
            store.LiveValues[2] = 40 + i % 50;   // Td
            store.LiveValues[8] = 100 + i;       // AC, tenths
            store.LiveValues[23] = 30 + i % 5;   // slave 1 Ps byte
            tick();
        }
    }
    // Drags cursor c of chart k from where it is to x.
    void dragCursor(int k, int c, int x) {
        const int from = pic(k)->cursorX(c);
        QTest::mousePress(pic(k), Qt::LeftButton, {}, QPoint(from, 200));
        QMouseEvent move(QEvent::MouseMove, QPointF(x, 200), pic(k)->mapToGlobal(QPointF(x, 200)), Qt::NoButton,
                         Qt::LeftButton, {});
        QCoreApplication::sendEvent(pic(k), &move);
        QTest::mouseRelease(pic(k), Qt::LeftButton, {}, QPoint(x, 200));
    }
    fs::path defaultFolder() const { return home_ / "OrlixMonitorDB"; }
    std::string nowStamp() const { return compactDateTimeText(clock.now()); }

    fs::path home_;
    QByteArray oldHome_;
    std::unique_ptr<test::LogCapture> logged_;
    static inline int serial_ = 0;
};

TEST_F(FrmChartExportTest, CurveSaveWritesTheChartAsShownIntoTheDatabaseFolder) {
    EXPECT_TRUE(action("mnuOptionSaveCurve")->isEnabled());
    EXPECT_TRUE(action("mnuOptionSaveAs")->isEnabled());
    for (int s = 0; s < 10; ++s) curveBox(s)->setChecked(true);
    ticks(40);
    box(QStringLiteral("chkCursor(0)"))->setChecked(true);  // cursor 1 shown at 320

    trigger("mnuOptionSaveCurve");
    const fs::path file = defaultFolder() / ("chart-MasterLive-" + nowStamp() + ".png");
    ASSERT_TRUE(fs::exists(file)) << file;
    const QImage saved = png(file);
    EXPECT_EQ(saved.size(), QSize(727, 400));
    EXPECT_EQ(saved, shown(0));
    EXPECT_EQ(saved.pixel(319, 5), qRgb(0, 255, 0));  // the cursor line is in it
    EXPECT_NE(saved, w->chartState().charts[0].image().convertToFormat(QImage::Format_RGB32));
    EXPECT_EQ(statusLine(), QStringLiteral("Chart saved as ") + QString::fromStdString(file.string()));
    EXPECT_TRUE(dialogs.messages().empty());
    // The five status labels keep their texts.
    EXPECT_EQ(status(2)->text(), QStringLiteral("CurvePos:320"));
    EXPECT_EQ(status(3)->text(), QStringLiteral("DataBase Path:none;Data save disabled..."));

    // A second save within the same second keeps the first file.
    trigger("mnuOptionSaveCurve");
    const fs::path second = defaultFolder() / ("chart-MasterLive-" + nowStamp() + "-2.png");
    EXPECT_TRUE(fs::exists(second));
    EXPECT_TRUE(fs::exists(file));

    // The shown tab names the file.
    ssTab1()->setTab(6);
    clock.advanceSeconds(1);
    trigger("mnuOptionSaveCurve");
    const fs::path history = defaultFolder() / ("chart-Slave2His-" + nowStamp() + ".png");
    ASSERT_TRUE(fs::exists(history));
    EXPECT_EQ(png(history), shown(6));
    EXPECT_TRUE(logged_->of("orlix.export").empty());
}

TEST_F(FrmChartExportTest, CurveSaveGoesBesideTheChosenDatabaseAndReportsAFailure) {
    const fs::path folder = home_ / "site A";
    fs::create_directories(folder);
    const std::string db = (folder / "plant.mdb").string();
    ASSERT_TRUE(CreateSampleDatabase(db));
    dialogs.fileAnswers.push_back(db);
    trigger("mnuOptionLoadDB");
    const std::size_t messagesBefore = dialogs.messages().size();
    ssTab1()->setTab(0);

    trigger("mnuOptionSaveCurve");
    const fs::path file = folder / ("chart-MasterLive-" + nowStamp() + ".png");
    EXPECT_TRUE(fs::exists(file)) << file;
    EXPECT_FALSE(fs::exists(defaultFolder() / file.filename()));

    // The folder is gone: a message, one log line, nothing written.
    fs::remove_all(folder);
    clock.advanceSeconds(1);
    trigger("mnuOptionSaveCurve");
    const fs::path failed = folder / ("chart-MasterLive-" + nowStamp() + ".png");
    EXPECT_FALSE(fs::exists(folder));
    const auto msgs = dialogs.messages();
    ASSERT_EQ(msgs.size(), messagesBefore + 1);
    EXPECT_EQ(msgs.back().rfind("Chart could not be saved as " + failed.string() + ": ", 0), 0u) << msgs.back();
    const auto logged = logged_->of("orlix.export");
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0], "orlix.export|warning|" + msgs.back());
    EXPECT_EQ(statusLine(), QStringLiteral("Chart not saved"));
}

TEST_F(FrmChartExportTest, SaveAsCsvWritesTheChartsSamplesUnderTheGridHeadings) {
    ticks(25);
    const std::string out = (home_ / "master.csv").string();
    dialogs.fileAnswers.push_back(out);
    trigger("mnuOptionSaveAs");
    ASSERT_EQ(dialogs.requests.size(), 1u);
    const auto& ask = dialogs.requests[0];
    EXPECT_EQ(ask.kind, "save");
    EXPECT_EQ(ask.text, "CurveSave As...");
    EXPECT_EQ(ask.title, (defaultFolder() / ("chart-MasterLive-" + nowStamp() + ".png")).string());
    EXPECT_EQ(dialogs.lastFilter, "PNG image|*.png|CSV table|*.csv");

    const std::string csv = readFile(out);
    EXPECT_EQ(csv.rfind("\xEF\xBB\xBF", 0), 0u);
    const auto ls = csvLines(csv);
    ASSERT_EQ(ls.size(), 26u);
    EXPECT_EQ(ls[0], "time,①Pd Sensor (Kg),②Ps Sensor (Kg),③Td temp. (℃),④Ts temp. (℃),⑤Toil temp. (℃),"
                     "⑥Ta temp. (℃),⑦Te temp. (℃),⑧PMV_cur (Step),⑨AC current (A),⑩INV_Hz (Hz)");
    // The newest row holds what the value grid shows now.
    const std::string last = ls.back();
    std::string expected = isoDateTimeText(clock.now()) + ",";
    for (int row = 1; row <= 10; ++row) {
        expected += grid1(0)->textMatrix(row, 1).toStdString();
        if (row < 10) expected += ",";
    }
    EXPECT_EQ(last, expected);
    EXPECT_EQ(last.substr(20, 6), "11.68,");  // Pd 1168 in hundredths
    EXPECT_EQ(statusLine(), QStringLiteral("Chart data saved as ") + QString::fromStdString(out));

    // A slave chart: its five curves under the slave grid's headings.
    ssTab1()->setTab(1);
    const std::string slave = (home_ / "slave.csv").string();
    dialogs.fileAnswers.push_back(slave);
    trigger("mnuOptionSaveAs");
    const auto sl = csvLines(readFile(slave));
    ASSERT_EQ(sl.size(), 26u);
    EXPECT_EQ(sl[0], "time,①Td temp. (℃),②Ts temp. (℃),③Toil temp. (℃),④Ps Sensor (Kg),⑥PMV_cur (Step)");
    const auto f = test::csvFields(sl.back());
    ASSERT_EQ(f.size(), 6u);
    EXPECT_EQ(f[4], "0.54");  // Ps byte 34: (160 x 34 - 4083) / 25 = 54 hundredths
    EXPECT_EQ(f[5], "0");
}

TEST_F(FrmChartExportTest, SpanUnderTwoCursorsHasExactlyTheRowsBetweenThem) {
    ticks(60);  // positions 660..719 hold samples
    box(QStringLiteral("chkCursor(0)"))->setChecked(true);
    box(QStringLiteral("chkCursor(1)"))->setChecked(true);
    dragCursor(0, 1, 712);
    dragCursor(0, 0, 650);  // left of the first sample
    ASSERT_EQ(pic(0)->cursorX(0), 650);
    ASSERT_EQ(pic(0)->cursorX(1), 712);
    const std::string out = (home_ / "span.csv").string();
    dialogs.fileAnswers.push_back(out);
    trigger("mnuOptionSaveAs");
    const auto ls = csvLines(readFile(out));
    const auto& times = w->chartState().live.LiveSampleTime;
    ASSERT_EQ(ls.size(), 1u + (712 - 660 + 1));
    EXPECT_EQ(ls[1].substr(0, 19), isoDateTimeText(times[660]));
    EXPECT_EQ(ls.back().substr(0, 19), isoDateTimeText(times[712]));

    // Cursors the other way round, both within the samples.
    dragCursor(0, 1, 700);
    dragCursor(0, 0, 719);
    dialogs.fileAnswers.push_back(out);
    trigger("mnuOptionSaveAs");
    const auto again = csvLines(readFile(out));
    ASSERT_EQ(again.size(), 1u + 20u);
    EXPECT_EQ(again[1].substr(0, 19), isoDateTimeText(times[700]));

    // One cursor only: every sample.
    box(QStringLiteral("chkCursor(1)"))->setChecked(false);
    dialogs.fileAnswers.push_back(out);
    trigger("mnuOptionSaveAs");
    EXPECT_EQ(csvLines(readFile(out)).size(), 61u);
}

TEST_F(FrmChartExportTest, SaveAsPngOtherNamesAndCancel) {
    for (int s = 0; s < 10; ++s) curveBox(s)->setChecked(true);
    ticks(10);
    box(QStringLiteral("chkCursor(1)"))->setChecked(true);
    action("mnuOptionOnTop")->trigger();
    ASSERT_TRUE(w->alwaysOnTopChecked());

    const fs::path out = home_ / "Chart.PNG";
    dialogs.fileAnswers.push_back(out.string());
    trigger("mnuOptionSaveAs");
    EXPECT_FALSE(w->alwaysOnTopChecked());  // released so that the dialog is seen
    EXPECT_EQ(png(out), shown(0));

    dialogs.fileAnswers.push_back((home_ / "chart.txt").string());
    trigger("mnuOptionSaveAs");
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_NE(dialogs.messages()[0].find(".png"), std::string::npos);
    EXPECT_FALSE(fs::exists(home_ / "chart.txt"));

    const auto entries = std::distance(fs::directory_iterator(home_), fs::directory_iterator());
    trigger("mnuOptionSaveAs");  // cancelled
    EXPECT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(std::distance(fs::directory_iterator(home_), fs::directory_iterator()), entries);
}

}  // namespace
}  // namespace orlix
