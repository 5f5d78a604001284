#pragma once
// The curve table: which value index is drawn on which chart, by which curve
// check box, in which colour and at which vertical scale.
#include <array>
#include <cstdint>
#include <optional>

#include "base/rgb.h"

namespace orlix {

// How a raw value becomes a height f(v) in pixels above the bottom edge.
enum class CurveScale : std::uint8_t {
    Per3000,        // v * 400 / 3000
    Per1500,        // v * 400 / 1500
    Per2400,        // v * 400 / 2400
    Times3,         // 3 * v
    Times5Plus30,   // 5 * (v + 30)
    Times3Plus30,   // 3 * (v + 30)
    Times4Plus30,   // 4 * (v + 30)
    Plain,          // v
    Times3Plus10,   // 3 * (v + 10)
    SlavePressure,  // p * 400 / 1500, p = (160 * v - 4083) / 25 to the nearest integer
};

struct Curve {
    int valueIndex;   // 0..49
    int slot;         // curve check box chkOptCurve(slot), 0..9
    Rgb colour;
    CurveScale scale;
    int offsetSlot;   // index into LiveCurveOffset / HistCurveOffset, 0..27
    const char* unit; // unit text of the value grid
};

// Unit of a value index: 0 master (0..19), 1..3 slaves (20.., 30.., 40..).
int unitOfValue(int valueIndex);

extern const std::array<Curve, 25> kCurves;

// The curve of value index k, nullptr when k has none.
const Curve* curveForValue(int k);

// Pixel row of value v: (400 - f(v)) / scale - offset, to the nearest 32-bit
// integer (ties to even). The integer forms are 32-bit, the divisions floating
// point. Empty when a 32-bit form overflows or the row is out of 32-bit range
// (the drawing step is then skipped).
std::optional<std::int32_t> curveRow(const Curve& c, std::int32_t v, float scale, int offset);

// The same row before rounding (the curve labels are placed from it).
std::optional<double> curveY(const Curve& c, std::int32_t v, float scale, int offset);

// Slave pressure in hundredths: (160 * v - 4083) / 25 to the nearest integer;
// empty on 32-bit overflow.
std::optional<std::int32_t> slavePressure(std::int32_t v);

// Label text of a curve slot: "1" .. "10".
const char* slotLabel(int slot);

}  // namespace orlix
