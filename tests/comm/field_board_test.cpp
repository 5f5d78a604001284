#include "comm/field_board.h"

#include <gtest/gtest.h>

#include <string>

namespace orlix {
namespace {

TEST(FieldBoard, MarksOnlyRealChanges) {
    FieldBoard b;
    EXPECT_EQ(b[5].text, "");
    EXPECT_FALSE(b[5].colour.has_value());
    b.setText(5, "On");
    b.setColour(5, kBlue);
    b.setText(6, "");  // same as before: no change
    auto c = b.takeChanged();
    EXPECT_TRUE(c.test(5));
    EXPECT_EQ(c.count(), 1u);
    b.setText(5, "On");
    b.setColour(5, kBlue);
    EXPECT_TRUE(b.takeChanged().none());
    b.setColour(5, kRed);
    EXPECT_TRUE(b.takeChanged().test(5));
}

TEST(FieldBoard, ClearEmptiesTextsKeepsColours) {
    FieldBoard b;
    b.setText(80, "Off");
    b.setColour(80, kBlack);
    b.setText(159, "1");
    b.takeChanged();
    const auto gen = b.clearGeneration();
    b.clearTexts();
    EXPECT_EQ(b[80].text, "");
    EXPECT_EQ(b[80].colour, kBlack);
    auto c = b.takeChanged();
    EXPECT_EQ(c.count(), 2u);
    EXPECT_TRUE(c.test(159));
    EXPECT_EQ(b.clearGeneration(), gen + 1);
}

// Texts up to 16 characters live in fixed blocks, longer ones in the field's
// string; the field must read right across every switch between the two.
TEST(FieldBoard, ShortAndLongTextsReadBackExactly) {
    using namespace std::string_literals;
    FieldBoard b;
    const std::string sixteen = "0123456789abcdef", seventeen = sixteen + "g";
    b.setText(3, sixteen);
    EXPECT_EQ(b[3].text, sixteen);
    b.setText(3, seventeen);
    EXPECT_EQ(b[3].text, seventeen);
    b.takeChanged();
    b.setText(3, seventeen);  // the same long text: no change
    EXPECT_TRUE(b.takeChanged().none());
    b.setText(3, "On");
    EXPECT_TRUE(b.takeChanged().test(3));
    EXPECT_EQ(b[3].text, "On");
    b.setText(3, "On\0"s);  // a trailing zero byte is still a different text
    EXPECT_TRUE(b.takeChanged().test(3));
    EXPECT_EQ(b[3].text, "On\0"s);
    b.setText(3, BlockText("On"));
    EXPECT_TRUE(b.takeChanged().test(3));
    EXPECT_EQ(b[3].text, "On");

    // A reference taken earlier shows the new text once the field is read.
    const std::string& ref = b[4].text;
    b.setText(4, "Off");
    EXPECT_EQ(b[4].text, "Off");
    EXPECT_EQ(ref, "Off");

    b.setText(5, seventeen);
    b.clearTexts();
    EXPECT_EQ(b[3].text, "");
    EXPECT_EQ(b[5].text, "");
    b.takeChanged();
    b.setText(5, seventeen);  // after clearing, the same long text is a change
    EXPECT_TRUE(b.takeChanged().test(5));
    EXPECT_EQ(b[5].text, seventeen);
}

TEST(FieldBoard, OutOfRangeIndicesAreHarmless) {
    FieldBoard b;
    b.setText(-1, "x");
    b.setText(160, "x");
    b.setColour(1000, kRed);
    EXPECT_TRUE(b.takeChanged().none());
    EXPECT_EQ(b[160].text, "");
    EXPECT_EQ(b[-5].text, "");
}

}  // namespace
}  // namespace orlix
