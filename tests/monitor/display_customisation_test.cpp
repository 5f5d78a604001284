#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "monitor_test_support.h"

namespace orlix {
namespace {

using test::busFrame;
using test::Rig;
using test::sampleData;

QColor backgroundOf(QLineEdit* f) { return f->palette().color(QPalette::Base); }

TEST(FieldFontAndColour, InertWhileTheAnalyzerIsOnTop) {
    Rig rig;
    rig.analyzer.onTop = true;
    rig.dialogs.fontAnswers.push_back(FontChoice{"Serif", 20});
    rig.dialogs.colorAnswers.push_back(Rgb{1, 2, 3});
    rig.window.findChild<QPushButton*>("FontSet")->click();
    rig.window.findChild<QPushButton*>("ColorSet")->click();
    EXPECT_TRUE(rig.dialogs.requests.empty());
    EXPECT_EQ(rig.analyzer.onTopQueries, 2);
    // The single-field double-click does not look at the on-top option.
    rig.window.text1DblClick(5);
    ASSERT_EQ(rig.dialogs.requests.size(), 1u);
    EXPECT_EQ(backgroundOf(rig.window.Text1(5)), QColor(1, 2, 3));
    EXPECT_EQ(rig.analyzer.onTopQueries, 2);
}

TEST(FieldFontAndColour, FontAppliesToEveryFieldAndAnEmptyNameKeepsTheFamily) {
    Rig rig;
    const QString family = rig.window.Text1(0)->font().family();
    FontChoice sized;
    sized.name = "";
    sized.pointSize = 14;
    sized.bold = true;
    sized.underline = true;
    rig.dialogs.fontAnswers.push_back(sized);
    rig.window.findChild<QPushButton*>("FontSet")->click();
    ASSERT_EQ(rig.dialogs.requests.size(), 1u);
    const auto& r = rig.dialogs.requests.front();
    EXPECT_EQ(r.kind, "font");
    EXPECT_EQ(r.left, 4000);
    EXPECT_EQ(r.top, 2700);
    EXPECT_EQ(r.flags, 3);
    for (int i = 0; i < 160; ++i) {
        const QFont f = rig.window.Text1(i)->font();
        ASSERT_EQ(f.family(), family) << i;
        ASSERT_DOUBLE_EQ(f.pointSizeF(), 14) << i;
        ASSERT_TRUE(f.bold() && f.underline() && !f.italic() && !f.strikeOut()) << i;
    }
    // Captions keep their own font.
    EXPECT_DOUBLE_EQ(rig.window.Label1(0)->font().pointSizeF(), 9.75);

    FontChoice named{"Monospace", 8, false, true, true, false};
    rig.dialogs.fontAnswers.push_back(named);
    rig.window.fontSetClick();
    for (int i : {0, 80, 159}) {
        const QFont f = rig.window.Text1(i)->font();
        EXPECT_EQ(f.family(), "Monospace");
        EXPECT_TRUE(f.italic() && f.strikeOut() && !f.bold() && !f.underline());
    }
}

TEST(FieldFontAndColour, ColourForAllFieldsAndCancelChangesNothing) {
    Rig rig;
    const QColor original = backgroundOf(rig.window.Text1(3));
    rig.window.colorSetClick();  // cancelled: the script has no answer
    rig.window.fontSetClick();   // cancelled too
    rig.window.text1DblClick(3);
    rig.window.label1DblClick(3);
    EXPECT_EQ(rig.dialogs.requests.size(), 4u);
    EXPECT_EQ(backgroundOf(rig.window.Text1(3)), original);
    EXPECT_EQ(rig.window.Label1(3)->palette().color(QPalette::WindowText), QColor(0, 0, 0));
    EXPECT_DOUBLE_EQ(rig.window.Text1(3)->font().pointSizeF(), 9.0);

    rig.dialogs.colorAnswers.push_back(Rgb{200, 220, 240});
    rig.window.colorSetClick();
    const auto& r = rig.dialogs.requests.back();
    EXPECT_EQ(r.kind, "color");
    EXPECT_EQ(std::tie(r.left, r.top, r.flags), std::make_tuple(6200, 3200, 1));
    for (int i = 0; i < 160; ++i) ASSERT_EQ(backgroundOf(rig.window.Text1(i)), QColor(200, 220, 240)) << i;
}

TEST(FieldFontAndColour, DoubleClicksColourOneFieldOrOneCaption) {
    Rig rig;
    rig.window.show();
    QLineEdit* field = rig.window.Text1(42);
    field->setText("Hz_value");
    field->setSelection(0, 3);
    rig.dialogs.colorAnswers.push_back(Rgb{10, 20, 30});
    QTest::mouseDClick(field, Qt::LeftButton, {}, QPoint(5, 5));
    ASSERT_EQ(rig.dialogs.requests.size(), 1u);
    EXPECT_EQ(rig.dialogs.requests[0].left, 6200);
    EXPECT_EQ(rig.dialogs.requests[0].top, 3200);
    EXPECT_EQ(backgroundOf(field), QColor(10, 20, 30));
    EXPECT_NE(backgroundOf(rig.window.Text1(43)), QColor(10, 20, 30));
    EXPECT_FALSE(field->hasSelectedText());
    EXPECT_EQ(field->cursorPosition(), 8);

    rig.dialogs.colorAnswers.push_back(Rgb{0, 128, 0});
    QTest::mouseDClick(rig.window.Label1(7), Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(rig.window.Label1(7)->palette().color(QPalette::WindowText), QColor(0, 128, 0));
    EXPECT_EQ(rig.window.Label1(8)->palette().color(QPalette::WindowText), QColor(0, 0, 0));
    EXPECT_EQ(rig.window.focusWidget(), rig.window.StartCmd());
}

TEST(FieldFontAndColour, ClicksOnBackgroundPanelOrCaptionMoveFocusToStart) {
    Rig rig;
    rig.window.show();
    QWidget* targets[] = {rig.window.Information(2), rig.window.Label1(100), &rig.window};
    for (QWidget* t : targets) {
        rig.window.Text1(10)->setFocus();
        ASSERT_EQ(rig.window.focusWidget(), rig.window.Text1(10));
        QPoint at(2, 2);
        if (t == &rig.window) at = QPoint(rig.window.width() - 3, rig.window.height() - 3);
        if (t == rig.window.Information(2)) at = QPoint(t->width() - 3, t->height() - 3);
        QTest::mouseClick(t, Qt::LeftButton, {}, at);
        EXPECT_EQ(rig.window.focusWidget(), rig.window.StartCmd()) << t->objectName().toStdString();
    }
    EXPECT_TRUE(rig.dialogs.requests.empty());
}

TEST(ClearAll, EmptiesAllFieldsAndVerifyAndTheNextFramesWriteEveryFieldAgain) {
    Rig rig;
    rig.window.startCmdClick();
    const auto a5 = busFrame(0xA5, sampleData(11));
    const auto z5 = busFrame(0x5A, sampleData(12));
    rig.port.deliver(a5);
    rig.port.deliver(z5);
    std::vector<QString> before;
    for (int i = 0; i < 160; ++i) before.push_back(rig.window.Text1(i)->text());
    ASSERT_FALSE(rig.window.Text1(80)->text().isEmpty());
    const QString num = rig.window.NumTxt()->text();
    const QString time = rig.window.TimeTxt()->text();

    rig.window.stopCmdClick();  // Cls is enabled while stopped
    rig.window.findChild<QPushButton*>("cmdClrAll")->click();
    for (int i = 0; i < 160; ++i) ASSERT_TRUE(rig.window.Text1(i)->text().isEmpty()) << i;
    EXPECT_EQ(rig.window.CheckTxt()->text(), "");
    EXPECT_EQ(rig.window.NumTxt()->text(), num);
    EXPECT_EQ(rig.window.TimeTxt()->text(), time);
    EXPECT_EQ(rig.window.StatusTxt()->text(), "Stop");

    // The same two frames again: every field is written again, although
    // nothing in them changed.
    rig.window.startCmdClick();
    rig.port.deliver(a5);
    rig.port.deliver(z5);
    for (int i = 0; i < 160; ++i) EXPECT_EQ(rig.window.Text1(i)->text(), before[static_cast<std::size_t>(i)]) << i;
    EXPECT_EQ(rig.window.CheckTxt()->text(), "Right");
}

TEST(ClearAll, KeepsColoursAndFonts) {
    Rig rig;
    rig.dialogs.colorAnswers.push_back(Rgb{9, 9, 9});
    rig.window.colorSetClick();
    rig.window.cmdClrAllClick();
    EXPECT_EQ(backgroundOf(rig.window.Text1(0)), QColor(9, 9, 9));
}

}  // namespace
}  // namespace orlix
