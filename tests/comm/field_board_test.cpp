#include "comm/field_board.h"

#include <gtest/gtest.h>

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
