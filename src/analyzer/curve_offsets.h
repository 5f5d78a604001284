#pragma once
// The vertical curve offsets behind the curve grid's "Reference" row: which
// offset slot a column of the curve grid addresses on a given chart tab, and
// the step of the up/down arrows.
#include <array>
#include <cstdint>
#include <optional>

namespace orlix::analyzer {

inline constexpr int kOffsetStep = 20;
inline constexpr int kCurveColumns = 10;  // curve grid columns 1..10

// Offset slot of curve-grid column `col` (1..10) on chart tab `tab` (0..7):
// col - 1 on the master charts; col + 9, col + 15, col + 21 on the slave
// charts for columns up to 6. Empty for slave columns 7..10 (no curve there)
// and for anything out of range.
std::optional<int> offsetSlot(int tab, int col);

// True for the history tabs 4..7, whose offsets are kept apart from the live
// charts' offsets.
constexpr bool isHistoryTab(int tab) { return tab >= 4; }

// cur + delta, held within the signed 16-bit range so that many clicks one
// way stop at the limit instead of wrapping to the other end.
std::int16_t steppedOffset(std::int16_t cur, int delta);

// The "Reference" row texts for columns 1..10 on chart `tab`.
std::array<std::int16_t, kCurveColumns> referenceRow(int tab, const std::array<std::int16_t, 29>& live,
                                                     const std::array<std::int16_t, 29>& hist);

}  // namespace orlix::analyzer
