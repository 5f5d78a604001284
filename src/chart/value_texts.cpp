#include "chart/value_texts.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "chart/curve_table.h"
#include "comm/field_text.h"

namespace orlix {
namespace {

constexpr std::array<ValueTextRow, 7> slaveRows(int base, int grid) {
    return {{{base + 0, grid, 1, ValueRule::Integer},
             {base + 1, grid, 2, ValueRule::Integer},
             {base + 2, grid, 3, ValueRule::Integer},
             {base + 3, grid, 4, ValueRule::SlavePressure},
             {base + 4, grid, 5, ValueRule::OilFlag},
             {base + 5, grid, 6, ValueRule::Integer},
             {base + 6, grid, 7, ValueRule::SlaveValves}}};
}

constexpr std::array<ValueTextRow, 40> buildRows() {
    std::array<ValueTextRow, 40> t{};
    const ValueTextRow master[19] = {
        {0, 0, 1, ValueRule::Hundredths},    {1, 0, 2, ValueRule::Hundredths},  {2, 0, 3, ValueRule::Integer},
        {3, 0, 4, ValueRule::Integer},       {4, 0, 5, ValueRule::Integer},     {5, 0, 6, ValueRule::Integer},
        {6, 0, 7, ValueRule::Integer},       {7, 0, 8, ValueRule::Integer},     {8, 0, 9, ValueRule::Tenths},
        {9, 0, 10, ValueRule::Integer},      {10, 0, 11, ValueRule::Integer},   {11, 0, 12, ValueRule::UnitState},
        {12, 0, 13, ValueRule::UnitState},   {13, 0, 14, ValueRule::UnitState}, {14, 0, 15, ValueRule::Integer},
        {15, 0, 16, ValueRule::FanSpeed},    {16, 0, 17, ValueRule::MasterValves},
        {18, 0, 20, ValueRule::Integer},     {19, 0, 21, ValueRule::Integer},
    };
    int n = 0;
    for (const auto& r : master) t[n++] = r;
    for (int unit = 1; unit <= 3; ++unit)
        for (const auto& r : slaveRows(10 + 10 * unit, unit)) t[n++] = r;
    return t;
}

struct CellWriter {
    ValueCells& out;
    ValueCell& add(int grid, int row, int col = 1) {
        ValueCell& c = out.cells[out.count++];
        c.grid = grid;
        c.row = row;
        c.col = col;
        c.len = 0;
        return c;
    }
    void text(int grid, int row, std::string_view t, int col = 1) {
        ValueCell& c = add(grid, row, col);
        const std::size_t n = std::min(t.size(), c.buf.size());
        std::memcpy(c.buf.data(), t.data(), n);
        c.len = static_cast<std::uint8_t>(n);
    }
};

// "###0.00" of v / 100: always two decimals ("12.00", "0.05", "-0.05").
void appendHundredths(ShortText& t, std::int32_t v) {
    const std::int64_t a = std::llabs(static_cast<std::int64_t>(v));
    if (v < 0) t += '-';
    appendInteger(t, a / 100);
    t += '.';
    t += static_cast<char>('0' + a % 100 / 10);
    t += static_cast<char>('0' + a % 10);
}

const char* onOff(std::int32_t v, std::int32_t bit) { return (v & bit) ? "On" : "Off"; }

}  // namespace

const std::array<ValueTextRow, 40> kValueTextRows = buildRows();

const ValueTextRow* valueTextRow(int k) {
    static const auto index = [] {
        std::array<const ValueTextRow*, 50> t{};
        for (const ValueTextRow& r : kValueTextRows) t[r.valueIndex] = &r;
        return t;
    }();
    return k >= 0 && k < static_cast<int>(index.size()) ? index[k] : nullptr;
}

ValueCells valueTexts(int k, std::int32_t v, TextMode mode) {
    ValueCells out;
    const ValueTextRow* r = valueTextRow(k);
    if (!r) return out;
    CellWriter w{out};
    ShortText t;  // the text of the rules that write one cell
    switch (r->rule) {
        case ValueRule::Hundredths: appendHundredths(t, v); break;
        case ValueRule::Integer: appendInteger(t, v); break;
        case ValueRule::Tenths: appendFraction(t, v, 1); break;
        case ValueRule::UnitState: {
            const char* s = nullptr;
            switch (v) {
                case 0:
                case 8: s = "Off"; break;
                case 4: s = "60% On"; break;
                case 12: s = "100% On"; break;
                default: return out;  // any other value leaves both cells as they are
            }
            w.text(0, r->row, s);
            w.text(k - 10, 10, s);
            return out;
        }
        case ValueRule::FanSpeed:
            if (v == 0 || v == 1) {
                t += "Off";
            } else if (mode == TextMode::Readout) {
                t += "Fan ";
                appendInteger(t, v);
            } else {
                appendInteger(t, v);
                t += "\u98ce\u901f";  // fan speed
            }
            break;
        case ValueRule::MasterValves:
            w.text(0, 17, onOff(v, 0x20));
            w.text(0, 18, onOff(v, 0x40));
            t += onOff(v, 0x80);
            t += '/';
            t += onOff(v, 0x04);
            w.text(0, 19, t.view());
            w.text(0, 22, (v & 0x10) ? "SV2 On" : "SV2 Off");
            return out;
        case ValueRule::SlavePressure: {
            const auto p = slavePressure(v);
            if (!p) return out;
            appendSlavePressure(t, *p);
            break;
        }
        case ValueRule::OilFlag:
            if (v < 0 || v > 255) return out;  // not a byte: the cell keeps its text
            t += OilFlagText(v);
            break;
        case ValueRule::SlaveValves:
            w.text(r->grid, 7, onOff(v, 0x08));
            w.text(r->grid, 8, onOff(v, 0x04));
            w.text(r->grid, 9, onOff(v, 0x02));
            w.text(r->grid, 11, onOff(v, 0x01));
            return out;
    }
    w.text(r->grid, r->row, t.view());
    return out;
}

}  // namespace orlix
