#include "comm/field_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "comm/live_store.h"
#include "comm/text_buffer.h"

namespace orlix {
namespace {

TEST(FieldText, FractionText) {
    EXPECT_EQ(fractionText(1234 / 100.0), "12.34");
    EXPECT_EQ(fractionText(1200 / 100.0), "12");
    EXPECT_EQ(fractionText(25 / 10.0), "2.5");
    EXPECT_EQ(fractionText(0.5), "0.5");
    EXPECT_EQ(fractionText(-0.0), "0");
    EXPECT_EQ(fractionText(-3.25), "-3.25");
    EXPECT_EQ(fractionText(0.1 + 0.2), "0.3");  // 15 significant digits at most
    EXPECT_EQ(fractionText(123456.789), "123456.789");
}

// The decoders format scaled integers without floating point; that must give
// exactly the fraction text of the quotient for every value that can occur.
TEST(FieldText, ScaledIntegersMatchFractionText) {
    for (std::uint32_t v = 0; v <= 65535; ++v) {
        TextBuffer t;
        t.appendScaled(v, 2);
        ASSERT_EQ(t.view(), fractionText(v / 100.0)) << v;
    }
    for (std::uint32_t v = 0; v <= 255; ++v) {
        TextBuffer t;
        t.appendScaled(v, 1);
        ASSERT_EQ(t.view(), fractionText(v / 10.0)) << v;
    }
}

TEST(FieldText, IntegerAndTimeTexts) {
    EXPECT_EQ(integerText(0), "0");
    EXPECT_EQ(integerText(-64), "-64");
    EXPECT_EQ(integerText(INT64_MIN), "-9223372036854775808");
    EXPECT_EQ(timeText(0), "00:00:00");
    EXPECT_EQ(timeText(3725), "01:02:05");
    EXPECT_EQ(timeText(65535), "18:12:15");
    EXPECT_EQ(timeText(36000), "10:00:00");
}

TEST(FieldText, CurrentAndSlavePressure) {
    EXPECT_EQ(currentText(5), "0.5A");
    EXPECT_EQ(currentText(12), "1.2A");
    EXPECT_EQ(currentText(0), "0A");
    EXPECT_EQ(slavePressureText(100), "4.77kg");
    EXPECT_EQ(slavePressureText(26), "0.03kg");
    EXPECT_EQ(slavePressureText(25), "0kg");
    EXPECT_EQ(slavePressureText(0), "0kg");
    EXPECT_EQ(slavePressureText(205), "11.49kg");
    EXPECT_EQ(slavePressureText(255), "14.69kg");
    // Rounding to nearest agrees with the floating-point quotient everywhere.
    for (int b = 0; b < 256; ++b) {
        const double q = (160.0 * b - 4083.0) / 25.0;
        EXPECT_EQ(slavePressureHundredths(static_cast<std::uint8_t>(b)), static_cast<int>(std::lround(q))) << b;
    }
}

TEST(FieldText, OilFlagText) {
    EXPECT_EQ(OilFlagText(0x00), "Nl/Nl");
    EXPECT_EQ(OilFlagText(0x40), "Nl/Qt");
    EXPECT_EQ(OilFlagText(0x80), ">Ps/Nl");
    EXPECT_EQ(OilFlagText(0xC0), ">Ps/Qt");
    EXPECT_EQ(OilFlagText(0x3F), "Nl/Nl");
}

TEST(FieldText, BufferNeverOverruns) {
    TextBuffer t;
    for (int i = 0; i < 100; ++i) t.append("abc");
    EXPECT_EQ(t.view().size(), TextBuffer::kCapacity);
    t.insertFront('x');
    EXPECT_EQ(t.view().size(), TextBuffer::kCapacity);
}

}  // namespace
}  // namespace orlix
