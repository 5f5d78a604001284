#include "analyzer/curve_offsets.h"

#include <algorithm>
#include <limits>

namespace orlix::analyzer {

namespace {
// First offset slot of each unit: master, slave 1, 2, 3.
constexpr std::array<int, 4> kUnitFirstSlot = {0, 10, 16, 22};
constexpr std::array<int, 4> kUnitCurveColumns = {10, 6, 6, 6};
}  // namespace

std::optional<int> offsetSlot(int tab, int col) {
    if (tab < 0 || tab > 7 || col < 1 || col > kCurveColumns) return std::nullopt;
    const auto unit = static_cast<size_t>(tab % 4);
    if (col > kUnitCurveColumns[unit]) return std::nullopt;
    return kUnitFirstSlot[unit] + col - 1;
}

std::int16_t steppedOffset(std::int16_t cur, int delta) {
    const int v = std::clamp(static_cast<int>(cur) + delta, static_cast<int>(std::numeric_limits<std::int16_t>::min()),
                             static_cast<int>(std::numeric_limits<std::int16_t>::max()));
    return static_cast<std::int16_t>(v);
}

std::array<std::int16_t, kCurveColumns> referenceRow(int tab, const std::array<std::int16_t, 29>& live,
                                                     const std::array<std::int16_t, 29>& hist) {
    std::array<std::int16_t, kCurveColumns> out{};
    const auto& offsets = isHistoryTab(tab) ? hist : live;
    for (int c = 1; c <= kCurveColumns; ++c)
        if (const auto slot = offsetSlot(tab, c)) out[static_cast<size_t>(c - 1)] = offsets[static_cast<size_t>(*slot)];
    return out;
}

}  // namespace orlix::analyzer
