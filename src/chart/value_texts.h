#pragma once
// The value texts of the value grids: for a value index and its raw value,
// the cells (grid, row, column) to write and their texts. Used by the
// sampling tick (newest values) and by the cursor readout (values under a
// cursor). Texts are built without the process locale and without allocating.
#include <array>
#include <cstdint>
#include <string_view>

namespace orlix {

enum class ValueRule : std::uint8_t {
    Hundredths,     // v / 100 as "###0.00"
    Integer,        // v in decimal
    Tenths,         // fraction text of v / 10
    UnitState,      // 0 / 8 "Off", 4 "60% On", 12 "100% On", else unchanged; also the slave grid's row 10
    FanSpeed,       // "Off" for 0 and 1, else v followed by the fan-speed unit
    MasterValves,   // rows 17, 18, 19 and the SV2 text in row 22
    SlavePressure,  // slave pressure text of (160 v - 4083) / 25 to the nearest integer
    OilFlag,        // OilFlagText of v as a byte; outside 0..255 unchanged
    SlaveValves,    // rows 7, 8, 9, 11 from bits 0x08, 0x04, 0x02, 0x01
};

struct ValueTextRow {
    int valueIndex;
    int grid;  // MSHFlexGrid1(grid)
    int row;   // first row written
    ValueRule rule;
};

// Every value index that has a text, ascending; 17, 27..29, 37..39 and 47..49
// have none.
extern const std::array<ValueTextRow, 40> kValueTextRows;
const ValueTextRow* valueTextRow(int valueIndex);

// Which of the two texts the fan speed gets: the tick's (v + "风速") or the
// cursor readout's ("Fan " + v).
enum class TextMode : std::uint8_t { Tick, Readout };

struct ValueCell {
    int grid = 0, row = 0, col = 1;
    std::array<char, 32> buf{};
    std::uint8_t len = 0;
    std::string_view text() const { return {buf.data(), len}; }
};

struct ValueCells {
    std::array<ValueCell, 4> cells{};
    int count = 0;  // 0 when the value leaves its cells unchanged
};

// The cells to write for value index k holding v.
ValueCells valueTexts(int k, std::int32_t v, TextMode mode = TextMode::Tick);

}  // namespace orlix
