#pragma once
// The text rules shared by the decoders (and by readers of the live values
// that show them the same way). All of them are independent of the process
// locale: '.' is always the decimal separator.
#include <cstdint>
#include <string>

namespace orlix {

// Decimal digits, "-" for negative values.
std::string integerText(std::int64_t v);
// Shortest decimal form with at most 15 significant digits, no trailing
// zeros, "0" before the point for values below 1 ("12.34", "12", "0.5").
std::string fractionText(double v);
// "hh:mm:ss" of a seconds counter, each part at least two digits.
std::string timeText(std::uint16_t seconds);
// b for b <= 127, b - 256 above.
constexpr int toSignedByte(std::uint8_t b) { return b <= 127 ? b : b - 256; }
// Tenths of an ampere: "0.5A".
std::string currentText(std::uint8_t b);
// Slave suction pressure byte: p = round((160 b - 4083) / 25); "0kg" when
// p < 0, otherwise the fraction text of p / 100 followed by "kg".
std::string slavePressureText(std::uint8_t b);
int slavePressureHundredths(std::uint8_t b);

}  // namespace orlix
