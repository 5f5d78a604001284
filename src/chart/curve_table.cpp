#include "chart/curve_table.h"

#include <cmath>
#include <limits>

namespace orlix {
namespace {

constexpr const char* kKg = "Kg";
constexpr const char* kDeg = "\u2103";
constexpr const char* kStep = "Step";

constexpr Curve slaveCurve(int base, int firstOffset, int s) {
    constexpr Rgb colours[6] = {{0, 255, 0}, {255, 0, 0}, {255, 128, 0}, {255, 255, 0}, {0, 0, 0}, {0, 0, 255}};
    constexpr CurveScale scales[6] = {CurveScale::Times3, CurveScale::Times5Plus30, CurveScale::Times3Plus30,
                                      CurveScale::SlavePressure, CurveScale::Plain, CurveScale::Per2400};
    constexpr const char* units[6] = {kDeg, kDeg, kDeg, kKg, "", kStep};
    return Curve{base + s, s, colours[s], scales[s], firstOffset + s, units[s]};
}

bool fits32(long long v) {
    return v >= std::numeric_limits<std::int32_t>::min() && v <= std::numeric_limits<std::int32_t>::max();
}

}  // namespace

const std::array<Curve, 25> kCurves = {{
    {0, 0, {0, 255, 0}, CurveScale::Per3000, 0, kKg},
    {1, 1, {255, 0, 0}, CurveScale::Per1500, 1, kKg},
    {2, 2, {255, 128, 0}, CurveScale::Times3, 2, kDeg},
    {3, 3, {255, 255, 0}, CurveScale::Times5Plus30, 3, kDeg},
    {4, 4, {255, 0, 255}, CurveScale::Times3Plus30, 4, kDeg},
    {5, 5, {0, 0, 255}, CurveScale::Times4Plus30, 5, kDeg},
    {6, 6, {0, 255, 255}, CurveScale::Times3Plus30, 6, kDeg},
    {7, 7, {255, 255, 255}, CurveScale::Per2400, 7, kStep},
    {8, 8, {128, 128, 255}, CurveScale::Plain, 8, "A"},
    {9, 9, {0, 255, 0}, CurveScale::Times3Plus10, 9, "Hz"},
    slaveCurve(20, 10, 0), slaveCurve(20, 10, 1), slaveCurve(20, 10, 2), slaveCurve(20, 10, 3), slaveCurve(20, 10, 5),
    slaveCurve(30, 16, 0), slaveCurve(30, 16, 1), slaveCurve(30, 16, 2), slaveCurve(30, 16, 3), slaveCurve(30, 16, 5),
    slaveCurve(40, 22, 0), slaveCurve(40, 22, 1), slaveCurve(40, 22, 2), slaveCurve(40, 22, 3), slaveCurve(40, 22, 5),
}};

int unitOfValue(int k) {
    if (k < 20) return 0;
    if (k < 30) return 1;
    if (k < 40) return 2;
    return 3;
}

const Curve* curveForValue(int k) {
    // Indexed once: value index -> row of kCurves.
    static const auto index = [] {
        std::array<const Curve*, 51> t{};
        for (const Curve& c : kCurves) t[c.valueIndex] = &c;
        return t;
    }();
    if (k < 0 || k >= static_cast<int>(index.size())) return nullptr;
    return index[k];
}

std::optional<std::int32_t> slavePressure(std::int32_t v) {
    const long long scaled = 160LL * v;
    if (!fits32(scaled) || !fits32(scaled - 4083)) return std::nullopt;
    const double p = std::nearbyint(static_cast<double>(scaled - 4083) / 25.0);
    return static_cast<std::int32_t>(p);
}

std::optional<double> curveY(const Curve& c, std::int32_t v, float scale, int offset) {
    // 400 - f(v): integer forms stay integers (32-bit), the divisions by 3000,
    // 1500 and 2400 are floating point.
    double top;
    auto integerForm = [&](long long f) -> bool {
        if (!fits32(f) || !fits32(400 - f)) return false;
        top = static_cast<double>(400 - f);
        return true;
    };
    auto dividedForm = [&](long long product, double divisor) -> bool {
        if (!fits32(product)) return false;
        top = 400.0 - static_cast<double>(product) / divisor;
        return true;
    };
    const long long w = v;
    bool ok = false;
    switch (c.scale) {
        case CurveScale::Per3000: ok = dividedForm(w * 400, 3000.0); break;
        case CurveScale::Per1500: ok = dividedForm(w * 400, 1500.0); break;
        case CurveScale::Per2400: ok = dividedForm(w * 400, 2400.0); break;
        case CurveScale::Times3: ok = integerForm(3 * w); break;
        case CurveScale::Times5Plus30: ok = fits32(w + 30) && integerForm(5 * (w + 30)); break;
        case CurveScale::Times3Plus30: ok = fits32(w + 30) && integerForm(3 * (w + 30)); break;
        case CurveScale::Times4Plus30: ok = fits32(w + 30) && integerForm(4 * (w + 30)); break;
        case CurveScale::Plain: ok = integerForm(w); break;
        case CurveScale::Times3Plus10: ok = fits32(w + 10) && integerForm(3 * (w + 10)); break;
        case CurveScale::SlavePressure: {
            const auto p = slavePressure(v);
            ok = p && dividedForm(static_cast<long long>(*p) * 400, 1500.0);
            break;
        }
    }
    if (!ok) return std::nullopt;
    return top / static_cast<double>(scale) - offset;
}

std::optional<std::int32_t> curveRow(const Curve& c, std::int32_t v, float scale, int offset) {
    const auto exact = curveY(c, v, scale, offset);
    if (!exact) return std::nullopt;
    const double y = std::nearbyint(*exact);
    if (!(y >= std::numeric_limits<std::int32_t>::min() && y <= std::numeric_limits<std::int32_t>::max()))
        return std::nullopt;
    return static_cast<std::int32_t>(y);
}

const char* slotLabel(int slot) {
    static constexpr const char* labels[10] = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"};
    return slot >= 0 && slot < 10 ? labels[slot] : "";
}

}  // namespace orlix
