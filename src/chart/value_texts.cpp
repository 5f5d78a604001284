#include "chart/value_texts.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "chart/curve_table.h"
#include "comm/live_store.h"

namespace orlix {
namespace {

constexpr std::array<ValueTextRow, 7> slaveRows(int base, int grid) {
    return {{{base + 0, grid, 1, TextRule::Integer},
             {base + 1, grid, 2, TextRule::Integer},
             {base + 2, grid, 3, TextRule::Integer},
             {base + 3, grid, 4, TextRule::SlavePressure},
             {base + 4, grid, 5, TextRule::OilFlag},
             {base + 5, grid, 6, TextRule::Integer},
             {base + 6, grid, 7, TextRule::SlaveValves}}};
}

constexpr std::array<ValueTextRow, 40> buildRows() {
    std::array<ValueTextRow, 40> t{};
    const ValueTextRow master[19] = {
        {0, 0, 1, TextRule::Hundredths},    {1, 0, 2, TextRule::Hundredths},  {2, 0, 3, TextRule::Integer},
        {3, 0, 4, TextRule::Integer},       {4, 0, 5, TextRule::Integer},     {5, 0, 6, TextRule::Integer},
        {6, 0, 7, TextRule::Integer},       {7, 0, 8, TextRule::Integer},     {8, 0, 9, TextRule::Tenths},
        {9, 0, 10, TextRule::Integer},      {10, 0, 11, TextRule::Integer},   {11, 0, 12, TextRule::UnitState},
        {12, 0, 13, TextRule::UnitState},   {13, 0, 14, TextRule::UnitState}, {14, 0, 15, TextRule::Integer},
        {15, 0, 16, TextRule::FanSpeed},    {16, 0, 17, TextRule::MasterValves},
        {18, 0, 20, TextRule::Integer},     {19, 0, 21, TextRule::Integer},
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

int formatInteger(std::int64_t v, char* out) {
    const auto r = std::to_chars(out, out + 24, v);
    return static_cast<int>(r.ptr - out);
}

// Shortest decimal of v / 10^digits (digits 1 or 2): no trailing zeros, no
// decimal point when the quotient is whole.
int formatShortest(std::int32_t v, int digits, char* out) {
    const std::int64_t den = digits == 1 ? 10 : 100;
    const std::int64_t a = std::llabs(static_cast<std::int64_t>(v));
    int n = 0;
    if (v < 0) out[n++] = '-';
    n += formatInteger(a / den, out + n);
    std::int64_t frac = a % den;
    if (frac == 0) return n;
    out[n++] = '.';
    if (digits == 2) {
        out[n++] = static_cast<char>('0' + frac / 10);
        frac %= 10;
        if (frac == 0) return n;
    }
    out[n++] = static_cast<char>('0' + frac);
    return n;
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

int formatHundredths(std::int32_t v, char* out) {
    const std::int64_t a = std::llabs(static_cast<std::int64_t>(v));
    int n = 0;
    if (v < 0) out[n++] = '-';
    n += formatInteger(a / 100, out + n);
    out[n++] = '.';
    out[n++] = static_cast<char>('0' + a % 100 / 10);
    out[n++] = static_cast<char>('0' + a % 10);
    return n;
}

int formatTenths(std::int32_t v, char* out) { return formatShortest(v, 1, out); }

ValueCells valueTexts(int k, std::int32_t v, TextMode mode) {
    ValueCells out;
    const ValueTextRow* r = valueTextRow(k);
    if (!r) return out;
    CellWriter w{out};
    char buf[32];
    switch (r->rule) {
        case TextRule::Hundredths: w.text(r->grid, r->row, {buf, static_cast<std::size_t>(formatHundredths(v, buf))}); break;
        case TextRule::Integer: w.text(r->grid, r->row, {buf, static_cast<std::size_t>(formatInteger(v, buf))}); break;
        case TextRule::Tenths: w.text(r->grid, r->row, {buf, static_cast<std::size_t>(formatTenths(v, buf))}); break;
        case TextRule::UnitState: {
            const char* t = nullptr;
            switch (v) {
                case 0:
                case 8: t = "Off"; break;
                case 4: t = "60% On"; break;
                case 12: t = "100% On"; break;
                default: return out;  // any other value leaves both cells as they are
            }
            w.text(0, r->row, t);
            w.text(k - 10, 10, t);
            break;
        }
        case TextRule::FanSpeed: {
            if (v == 0 || v == 1) {
                w.text(r->grid, r->row, "Off");
                break;
            }
            int n = 0;
            if (mode == TextMode::Readout) {
                std::memcpy(buf, "Fan ", 4);
                n = 4 + formatInteger(v, buf + 4);
            } else {
                n = formatInteger(v, buf);
                static constexpr std::string_view unit = "\u98ce\u901f";  // fan speed
                std::memcpy(buf + n, unit.data(), unit.size());
                n += static_cast<int>(unit.size());
            }
            w.text(r->grid, r->row, {buf, static_cast<std::size_t>(n)});
            break;
        }
        case TextRule::MasterValves: {
            w.text(0, 17, onOff(v, 0x20));
            w.text(0, 18, onOff(v, 0x40));
            const int n = std::snprintf(buf, sizeof buf, "%s/%s", onOff(v, 0x80), onOff(v, 0x04));
            w.text(0, 19, {buf, static_cast<std::size_t>(n)});
            w.text(0, 22, (v & 0x10) ? "SV2 On" : "SV2 Off");
            break;
        }
        case TextRule::SlavePressure: {
            const auto p = slavePressure(v);
            if (!p) return out;
            if (*p < 0)
                w.text(r->grid, r->row, "0");
            else
                w.text(r->grid, r->row, {buf, static_cast<std::size_t>(formatShortest(*p, 2, buf))});
            break;
        }
        case TextRule::OilFlag:
            if (v < 0 || v > 255) return out;  // not a byte: the cell keeps its text
            w.text(r->grid, r->row, OilFlagText(v));
            break;
        case TextRule::SlaveValves:
            w.text(r->grid, 7, onOff(v, 0x08));
            w.text(r->grid, 8, onOff(v, 0x04));
            w.text(r->grid, 9, onOff(v, 0x02));
            w.text(r->grid, 11, onOff(v, 0x01));
            break;
    }
    return out;
}

}  // namespace orlix
