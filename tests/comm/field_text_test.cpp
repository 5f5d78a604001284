#include "comm/field_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

namespace orlix {
namespace {

template <class F>
std::string textOf(F form) {
    ShortText t;
    form(t);
    return std::string(t.view());
}

std::string fraction(std::int64_t v, int decimals) {
    return textOf([&](ShortText& t) { appendFraction(t, v, decimals); });
}

// The fraction text as the C library forms it: %.15g in the C locale.
std::string printedFraction(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

TEST(FieldText, FractionTextOfEveryScaledValueMatchesTheCLibrary) {
    for (std::int64_t v = -70000; v <= 70000; ++v) {
        ASSERT_EQ(fraction(v, 2), printedFraction(static_cast<double>(v) / 100.0)) << v;
        ASSERT_EQ(fraction(v, 1), printedFraction(static_cast<double>(v) / 10.0)) << v;
    }
    EXPECT_EQ(fraction(1234, 2), "12.34");
    EXPECT_EQ(fraction(1200, 2), "12");
    EXPECT_EQ(fraction(5, 2), "0.05");
    EXPECT_EQ(fraction(-7, 1), "-0.7");
    EXPECT_EQ(fraction(2147483647, 1), "214748364.7");
    EXPECT_EQ(fraction(123456789, 9), "0.123456789");
    EXPECT_EQ(fraction(-9223372036854775807 - 1, 0), "-9223372036854775808");
}

TEST(FieldText, IntegerText) {
    auto integer = [](std::int64_t v) { return textOf([&](ShortText& t) { appendInteger(t, v); }); };
    EXPECT_EQ(integer(0), "0");
    EXPECT_EQ(integer(-64), "-64");
    EXPECT_EQ(integer(65535), "65535");
    EXPECT_EQ(integer(INT64_MIN), "-9223372036854775808");
    EXPECT_EQ(integer(INT64_MAX), "9223372036854775807");
}

TEST(FieldText, TimeTextOfEveryCounterValue) {
    for (unsigned s = 0; s <= 65535; ++s) {
        char want[16];
        std::snprintf(want, sizeof want, "%02u:%02u:%02u", s / 3600, s % 3600 / 60, s % 60);
        ASSERT_EQ(textOf([&](ShortText& t) { appendTime(t, s); }), want) << s;
    }
    EXPECT_EQ(textOf([](ShortText& t) { appendTime(t, 3725); }), "01:02:05");
    // Hours past 99 keep all their digits.
    EXPECT_EQ(textOf([](ShortText& t) { appendTime(t, 360000 + 61); }), "100:01:01");
}

TEST(FieldText, CurrentText) {
    auto current = [](int b) { return textOf([&](ShortText& t) { appendCurrent(t, static_cast<std::uint8_t>(b)); }); };
    EXPECT_EQ(current(5), "0.5A");
    EXPECT_EQ(current(12), "1.2A");
    EXPECT_EQ(current(0), "0A");
    EXPECT_EQ(current(100), "10A");
    EXPECT_EQ(current(255), "25.5A");
}

TEST(FieldText, SlavePressure) {
    auto pressure = [](int b) {
        return textOf([&](ShortText& t) { appendSlavePressure(t, slavePressureHundredths(static_cast<std::uint8_t>(b))); });
    };
    EXPECT_EQ(pressure(100), "4.77");
    EXPECT_EQ(pressure(26), "0.03");
    EXPECT_EQ(pressure(25), "0");   // -83 / 25 rounds below 0
    EXPECT_EQ(pressure(0), "0");
    EXPECT_EQ(pressure(205), "11.49");
    EXPECT_EQ(pressure(255), "14.69");
    EXPECT_EQ(textOf([](ShortText& t) { appendSlavePressure(t, -1); }), "0");
    // Rounding to nearest agrees with the floating-point quotient everywhere.
    for (int b = 0; b < 256; ++b) {
        const double q = (160.0 * b - 4083.0) / 25.0;
        EXPECT_EQ(slavePressureHundredths(static_cast<std::uint8_t>(b)), static_cast<int>(std::lround(q))) << b;
    }
}

TEST(FieldText, OilFlagAndSignedByte) {
    EXPECT_EQ(OilFlagText(0x00), "Nl/Nl");
    EXPECT_EQ(OilFlagText(0x40), "Nl/Qt");
    EXPECT_EQ(OilFlagText(0x80), ">Ps/Nl");
    EXPECT_EQ(OilFlagText(0xC0), ">Ps/Qt");
    EXPECT_EQ(OilFlagText(0x3F), "Nl/Nl");
    EXPECT_EQ(OilFlagText(0x1C0), ">Ps/Qt");  // only the low eight bits count
    EXPECT_EQ(ToSignedByte(127), 127);
    EXPECT_EQ(ToSignedByte(128), -128);
    EXPECT_EQ(ToSignedByte(200), -56);
    EXPECT_EQ(ToSignedByte(255), -1);
}

TEST(FieldText, ShortTextCutsOffAtItsCapacity) {
    ShortText t;
    for (int i = 0; i < 20; ++i) t += "abc";
    EXPECT_EQ(t.view().size(), ShortText::kCapacity);
    EXPECT_EQ(t.view().substr(0, 6), "abcabc");
    t += 'x';
    appendInteger(t, -123);
    EXPECT_EQ(t.view().size(), ShortText::kCapacity);
    EXPECT_EQ(t.view().back(), 'b');
}

}  // namespace
}  // namespace orlix
