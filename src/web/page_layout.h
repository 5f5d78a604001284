#pragma once
// What the pages draw that the desktop programs define: the monitor
// window's five panels and 160 fields (comm/monitor_layout.h) and the four
// live charts' curves (chart/curve_table.h), as one JSON document the pages
// load once. Geometry in pixels, as the monitor window places it.
//
// A chart's curve is drawn as the desktop chart draws it: at the height
// f(v) of the 400-pixel chart (curveY at scale 1, no offset). Every curve's
// f is a straight line, sent as "a" and "b" (height = a * v + b), taken
// from the curve table itself. Values under a cursor are shown as the
// analyzer's readout writes them (chart/value_texts.h).
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "chart/curve_table.h"

namespace orlix::web {

inline constexpr int kChartCount = 4;  // master, slaves 1..3
inline constexpr std::array<const char*, kChartCount> kChartNames = {"Master", "Slave1", "Slave2", "Slave3"};
inline constexpr std::array<const char*, 3> kErrorListNames = {"Error", "Com Error", "ProtectErr"};

// The curves of chart c (0..3), in the curve table's order.
std::vector<const Curve*> chartCurves(int chart);
// Every value index some chart draws, ascending.
const std::vector<int>& chartedValues();

struct CurveLine {
    double a = 0, b = 0;
};
CurveLine curveLine(const Curve& c);

// The readout text of value index k holding v ("12.34", "60% On" ...).
std::string readoutText(int k, std::int32_t v);

// "#rrggbb".
std::string colourText(Rgb c);

// The whole layout document (built once).
const std::string& layoutJson();

}  // namespace orlix::web
