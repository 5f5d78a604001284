#include "comm/monitor_layout.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QFontMetrics>
#include <QScreen>
#include <set>

#include "monitor_test_support.h"

namespace orlix {
namespace {

using test::Rig;

template <class T>
QList<T*> named(QWidget& w, const QString& name) {
    return w.findChildren<T*>(name);
}

TEST(MonitorLayout, EveryIndexHasOneFieldAndOneCaptionOnTheSameRowOfOnePanel) {
    Rig rig;
    int perPanel[kPanelCount] = {};
    for (int i = 0; i < kFieldCount; ++i) {
        const auto fields = named<QLineEdit>(rig.window, QStringLiteral("Text1(%1)").arg(i));
        const auto labels = named<QLabel>(rig.window, QStringLiteral("Label1(%1)").arg(i));
        ASSERT_EQ(fields.size(), 1) << i;
        ASSERT_EQ(labels.size(), 1) << i;
        QWidget* panel = fields.front()->parentWidget();
        EXPECT_EQ(labels.front()->parentWidget(), panel) << i;
        EXPECT_TRUE(panel->objectName().startsWith("Information(")) << i;
        // Same row: the caption's band overlaps the field's; caption to the left.
        const QRect f = fields.front()->geometry(), l = labels.front()->geometry();
        EXPECT_LE(std::abs(f.center().y() - l.center().y()), 3) << i;
        EXPECT_LT(l.left(), f.left()) << i;
        const FieldLayout& row = fieldLayouts()[static_cast<std::size_t>(i)];
        EXPECT_EQ(row.index, i);
        EXPECT_EQ(panel, rig.window.Information(row.panel)) << i;
        ++perPanel[row.panel];
    }
    EXPECT_EQ(perPanel[0], 99);
    EXPECT_EQ(perPanel[1], 15);
    EXPECT_EQ(perPanel[2], 15);
    EXPECT_EQ(perPanel[3], 15);
    EXPECT_EQ(perPanel[4], 16);
}

TEST(MonitorLayout, NoTwoFieldsShareACellExceptTheHiddenField) {
    std::set<std::tuple<int, int, int>> cells;
    for (const FieldLayout& f : fieldLayouts()) {
        if (f.index == kHiddenUnderField) continue;
        EXPECT_TRUE(cells.insert({f.panel, f.row, f.column}).second) << f.index;
    }
    // Same cell and same rectangles as 126.
    const FieldLayout& under = fieldLayouts()[kHiddenUnderField];
    const FieldLayout& over = fieldLayouts()[kHiddenOverField];
    EXPECT_EQ(std::tie(under.panel, under.row, under.column), std::tie(over.panel, over.row, over.column));
}

TEST(MonitorLayout, CaptionsStandAsDesigned) {
    Rig rig;
    const std::pair<int, const char*> expected[] = {
        {0, "Sensor"},       {2, "Com Error"},    {19, "Salve1Ack"},  {40, "Salve4Ack"},
        {41, "Slv4Oilbal"},  {43, "CompOn/off"},  {55, "Current"},    {58, "OnOffTime"},
        {80, "未定义输出"},  {126, "Tk3 temp."},  {150, "50HZ/60HZ"}, {148, "D_SH"},
        {81, "OilbalValve"}, {105, "OilbalValve"}, {127, "Ps Sensor"}, {142, "Ps Sensor"},
        {130, "Oilbal_FG"},  {154, "OnOffTime"},  {155, "INV86"},     {159, "PMV_cur"},
        {113, "EPCODE_TAR"}, {61, "FRECM_SEND"},  {125, "Tk2 temp."}, {13, "DefrostPar"},
    };
    for (const auto& [i, caption] : expected)
        EXPECT_EQ(rig.window.Label1(i)->text(), QString::fromUtf8(caption)) << i;

    const char* panels[] = {"Master info.", "Slave1 info.", "Slave2 info.", "Slave3 info.", "Slave4 info."};
    for (int k = 0; k < kPanelCount; ++k) {
        EXPECT_EQ(rig.window.Information(k)->title(), QString::fromLatin1(panels[k]));
        EXPECT_EQ(rig.window.Information(k)->objectName(), QStringLiteral("Information(%1)").arg(k));
        const QColor want = k == 0 ? QColor(192, 64, 0) : QColor(0, 0, 192);
        EXPECT_EQ(rig.window.Information(k)->palette().color(QPalette::WindowText), want) << k;
    }
}

TEST(MonitorLayout, SlavePanelsAreAlikeAndOnlySlave4HasInv86) {
    Rig rig;
    for (int k = 1; k <= 4; ++k) {
        const auto fields = rig.window.Information(k)->findChildren<QLineEdit*>();
        EXPECT_EQ(fields.size(), k == 4 ? 16 : 15) << k;
    }
    EXPECT_EQ(rig.window.Text1(155)->parentWidget(), rig.window.Information(4));
    // Slave n's field in a cell sits where slave 1's field of the same cell sits.
    const int slave1[] = {81, 88, 127, 131, 151, 156};
    for (int s = 1; s < 4; ++s)
        for (int first : slave1) {
            const FieldLayout& a = fieldLayouts()[static_cast<std::size_t>(first)];
            const int other = first >= 151 ? first + s : first >= 127 ? first + 5 * s : first + 8 * s;
            const FieldLayout& b = fieldLayouts()[static_cast<std::size_t>(other)];
            EXPECT_EQ(b.panel, s + 1) << other;
            EXPECT_EQ(rig.window.Text1(other)->geometry(), rig.window.Text1(first)->geometry()) << other;
            EXPECT_EQ(b.caption, a.caption) << other;
        }
}

TEST(MonitorLayout, EveryCaptionFitsBesideItsField) {
    Rig rig;
    for (int i = 0; i < kFieldCount; ++i) {
        QLabel* l = rig.window.Label1(i);
        EXPECT_LE(QFontMetrics(l->font()).horizontalAdvance(l->text()), l->width()) << i;
        EXPECT_LE(l->geometry().right(), rig.window.Text1(i)->x()) << i;
        EXPECT_TRUE(l->autoFillBackground()) << i;
    }
}

TEST(MonitorLayout, Field126LiesOnTopOfField80) {
    Rig rig;
    QLineEdit* under = rig.window.Text1(kHiddenUnderField);
    QLineEdit* over = rig.window.Text1(kHiddenOverField);
    EXPECT_EQ(under->geometry(), over->geometry());
    EXPECT_EQ(rig.window.Label1(80)->geometry(), rig.window.Label1(126)->geometry());
    QWidget* panel = rig.window.Information(0);
    EXPECT_EQ(panel->childAt(over->geometry().center()), over);
    EXPECT_EQ(panel->childAt(rig.window.Label1(126)->geometry().center()), rig.window.Label1(126));
    // Pixel geometry of the design rectangle (label 12360, field 13440 twips).
    EXPECT_EQ(over->x(), twipsToPixels(13440));
    EXPECT_EQ(rig.window.Label1(126)->x(), twipsToPixels(12360));
}

TEST(MonitorLayout, TopRowControlsAndWindow) {
    Rig rig;
    const std::pair<const char*, const char*> buttons[] = {
        {"StartCmd", "Start"}, {"StopCmd", "Stop"}, {"FontSet", "Font"},
        {"ColorSet", "Color"}, {"cmdRealChart", "DataAnalyzer"}, {"cmdClrAll", "Cls"}};
    for (const auto& [name, caption] : buttons) {
        const auto found = named<QPushButton>(rig.window, name);
        ASSERT_EQ(found.size(), 1) << name;
        EXPECT_EQ(found.front()->text(), caption);
    }
    const auto baud = named<QGroupBox>(rig.window, "baudsel");
    ASSERT_EQ(baud.size(), 1);
    EXPECT_EQ(baud.front()->title(), "Baud select");
    for (const char* b : {"b600", "b1200", "b2400"}) {
        const auto found = named<QRadioButton>(rig.window, b);
        ASSERT_EQ(found.size(), 1) << b;
        EXPECT_EQ(found.front()->parentWidget(), baud.front());
        EXPECT_EQ(found.front()->isChecked(), std::string(b) == "b1200");
    }
    for (const char* l : {"TimeTxt", "Status", "StatusTxt", "NumTxt", "Check", "CheckTxt"})
        EXPECT_EQ(named<QLabel>(rig.window, l).size(), 1) << l;
    EXPECT_EQ(named<QFrame>(rig.window, "Line1").size(), 1);
    EXPECT_EQ(named<QComboBox>(rig.window, "CommPortSel").size(), 1);
    EXPECT_EQ(rig.window.objectName(), "frmMain");
    EXPECT_EQ(rig.window.windowTitle(), "Orlix Monitor---Stopping...");
    EXPECT_EQ(rig.window.StatusTxt()->text(), "Stop");
    EXPECT_EQ(rig.window.NumTxt()->text(), "0");
    EXPECT_EQ(rig.window.StatusTxt()->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(rig.window.NumTxt()->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    for (int i = 0; i < kFieldCount; ++i) ASSERT_TRUE(rig.window.Text1(i)->text().isEmpty()) << i;
}

TEST(MonitorLayout, WindowTakesTheScreenWidthAndControlsKeepTheirPlaces) {
    Rig rig;
    ASSERT_NE(rig.window.screen(), nullptr);
    EXPECT_EQ(rig.window.width(), rig.window.screen()->geometry().width());
    const QRect start = rig.window.StartCmd()->geometry();
    const QRect panel = rig.window.Information(4)->geometry();
    rig.window.resize(rig.window.width() + 400, rig.window.height());
    EXPECT_EQ(rig.window.StartCmd()->geometry(), start);
    EXPECT_EQ(rig.window.Information(4)->geometry(), panel);
    EXPECT_EQ(start, QRect(8, 4, 57, 25));  // 120, 60, 855, 375 twips
}

}  // namespace
}  // namespace orlix
