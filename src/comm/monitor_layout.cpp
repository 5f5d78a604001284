#include "comm/monitor_layout.h"

namespace orlix {
namespace {

struct Cell {
    int index;
    std::string_view caption;
};

// Master panel: field index and caption by row (1..14) and column (1..7).
// Row 9, column 7 holds field 126 on top of field 80 (added separately).
constexpr Cell kMasterGrid[14][7] = {
    {{0, "Sensor"}, {1, "Error"}, {2, "Com Error"}, {3, "ProtectErr"}, {42, "Hz_protect"}, {8, "RunMode"}, {9, "RecvMode"}},
    {{13, "DefrostPar"}, {7, "ManualDef"}, {49, "Defrost"}, {50, "OilbalPsMin"}, {44, "HeatRecycle"}, {45, "CoolRecycle"}, {46, "IUTherOff"}},
    {{43, "CompOn/off"}, {150, "50HZ/60HZ"}, {12, "ErrorOut"}, {47, "inc4_6"}, {48, "OverCap"}, {5, "HzFixedRun"}, {6, "RateRun"}},
    {{52, "PMV_tar"}, {51, "PMV_cur"}, {54, "Pd Sensor"}, {53, "Ps Sensor"}, {56, "Pd_temp"}, {57, "Ps_temp"}, {55, "Current"}},
    {{113, "EPCODE_TAR"}, {114, "EPCODE_CUR"}, {115, "EPCODE_RUN"}, {116, "PCODE_FRECM"}, {118, "PCODE_INV"}, {117, "FRECM_FIX"}, {61, "FRECM_SEND"}},
    {{58, "OnOffTime"}, {4, "TimeShort"}, {63, "TSH"}, {148, "D_SH"}, {64, "XIU"}, {11, "FRECM"}, {10, "FREOUT"}},
    {{62, "Cpcty_per"}, {147, "RateFanSpd"}, {59, "ProtFanSpd"}, {60, "FanSpeed"}, {149, "PTC"}, {65, "FinFan"}, {66, "Oxygen"}},
    {{67, "SV7 Valve"}, {68, "CrankHeater"}, {69, "OilbalValve"}, {70, "SV1 Valve"}, {71, "SV2 Valve"}, {72, "4WayValve"}, {73, "BalanceVl"}},
    {{74, "Undefined1"}, {75, "Undefined2"}, {76, "Undefined3"}, {77, "Undefined4"}, {78, "Undefined5"}, {79, "Undefined6"}, {126, "Tk3 temp."}},
    {{119, "Td temp."}, {120, "Ts temp."}, {121, "Toil temp."}, {122, "Ta temp."}, {123, "Te temp."}, {124, "Tk1 temp."}, {125, "Tk2 temp."}},
    {{14, "Slave1Cap"}, {15, "Slave1STS"}, {16, "Slave1CMD"}, {17, "Slave1COM"}, {18, "Slave1LST"}, {19, "Salve1Ack"}, {20, "Slv1Oilbal"}},
    {{21, "Slave2Cap"}, {22, "Slave2STS"}, {23, "Slave2CMD"}, {24, "Slave2COM"}, {25, "Slave2LST"}, {26, "Salve2Ack"}, {27, "Slv2Oilbal"}},
    {{28, "Slave3Cap"}, {29, "Slave3STS"}, {30, "Slave3CMD"}, {31, "Slave3COM"}, {32, "Slave3LST"}, {33, "Salve3Ack"}, {34, "Slv3Oilbal"}},
    {{35, "Slave4Cap"}, {36, "Slave4STS"}, {37, "Slave4CMD"}, {38, "Slave4COM"}, {39, "Slave4LST"}, {40, "Salve4Ack"}, {41, "Slv4Oilbal"}},
};

// The four slave panels share one arrangement; indices per slave 1..4.
struct SlaveCell {
    int row, column;
    std::string_view caption;
    int index[4];
};

constexpr SlaveCell kSlaveGrid[15] = {
    {1, 1, "OilbalValve", {81, 89, 97, 105}},
    {1, 2, "4WayValve", {82, 90, 98, 106}},
    {1, 3, "SV2 Valve", {83, 91, 99, 107}},
    {2, 1, "SV1 Valve", {84, 92, 100, 108}},
    {2, 2, "SV4 Valve", {85, 93, 101, 109}},
    {2, 3, "SV5 Valve", {86, 94, 102, 110}},
    {3, 1, "CrankHeater", {87, 95, 103, 111}},
    {3, 2, "SV7 Valve", {88, 96, 104, 112}},
    {3, 3, "Ps Sensor", {127, 132, 137, 142}},
    {4, 1, "Td temp.", {128, 133, 138, 143}},
    {4, 2, "Ts temp.", {129, 134, 139, 144}},
    {4, 3, "Oilbal_FG", {130, 135, 140, 145}},
    {5, 1, "Toil temp.", {131, 136, 141, 146}},
    {5, 2, "OnOffTime", {151, 152, 153, 154}},
    {5, 3, "PMV_cur", {156, 157, 158, 159}},
};

constexpr int kRowHeight = 255;
constexpr int kMasterRowPitch = 360;
constexpr int kMasterColumnPitch = 2040;
constexpr int kMasterLabelLeft = 120;
constexpr int kMasterFieldLeft = 1200;
constexpr int kFieldWidth = 735;
constexpr int kWideFieldWidth = 975;
constexpr int kLabelWidth = 975;

constexpr int kSlaveLabelLeft[3] = {120, 2400, 4440};
constexpr int kSlaveFieldLeft[3] = {1440, 3480, 5520};

FieldLayout masterField(const Cell& cell, int row, int column) {
    FieldLayout f;
    f.index = cell.index;
    f.caption = cell.caption;
    f.panel = 0;
    f.row = row;
    f.column = column;
    const int top = kMasterRowPitch * row;
    int labelLeft = kMasterLabelLeft + kMasterColumnPitch * (column - 1);
    int labelWidth = kLabelWidth;
    // Longer captions start one step further left so that they fit.
    if (cell.caption.size() >= 11) {
        labelLeft -= 120;
        labelWidth += 120;
    }
    f.caption_rect = {labelLeft, top, labelWidth, kRowHeight};
    int fieldLeft = kMasterFieldLeft + kMasterColumnPitch * (column - 1);
    int fieldWidth = (row == 1 && column <= 4) ? 855 : kFieldWidth;
    if (cell.index == 58) {
        fieldLeft = 1080;
        fieldWidth = kWideFieldWidth;
    } else if (cell.index == 55) {
        fieldLeft = 13200;
        fieldWidth = kWideFieldWidth;
    }
    f.field_rect = {fieldLeft, top, fieldWidth, kRowHeight};
    return f;
}

FieldLayout slaveField(const SlaveCell& cell, int slave) {
    FieldLayout f;
    f.index = cell.index[slave];
    f.caption = cell.caption;
    f.panel = slave + 1;
    f.row = cell.row;
    f.column = cell.column;
    const int top = 360 * cell.row;
    const int c = cell.column - 1;
    int labelLeft = kSlaveLabelLeft[c];
    if (cell.row == 5 && cell.column == 3) labelLeft = 4560;
    const int labelWidth = kSlaveFieldLeft[c] - labelLeft - 105;
    f.caption_rect = {labelLeft, top, labelWidth, kRowHeight};
    const int fieldWidth = cell.caption == "OnOffTime" ? kWideFieldWidth : kFieldWidth;
    f.field_rect = {kSlaveFieldLeft[c], top, fieldWidth, kRowHeight};
    return f;
}

std::array<FieldLayout, kFieldCount> buildFields() {
    std::array<FieldLayout, kFieldCount> out{};
    for (int r = 0; r < 14; ++r)
        for (int c = 0; c < 7; ++c) {
            const Cell& cell = kMasterGrid[r][c];
            out[cell.index] = masterField(cell, r + 1, c + 1);
        }
    // Field 80 shares the rectangles of field 126.
    FieldLayout hidden = out[kHiddenOverField];
    hidden.index = kHiddenUnderField;
    hidden.caption = "未定义输出";
    out[kHiddenUnderField] = hidden;

    for (int s = 0; s < 4; ++s)
        for (const SlaveCell& cell : kSlaveGrid) out[cell.index[s]] = slaveField(cell, s);

    FieldLayout inv;
    inv.index = 155;
    inv.caption = "INV86";
    inv.panel = 4;
    inv.row = 6;
    inv.column = 2;
    inv.caption_rect = {2760, 2100, 690, kRowHeight};
    inv.field_rect = {3480, 2070, kWideFieldWidth, kRowHeight};
    out[155] = inv;
    return out;
}

}  // namespace

const std::array<PanelLayout, kPanelCount>& panelLayouts() {
    static constexpr std::array<PanelLayout, kPanelCount> kPanels = {{
        {"Master info.", {480, 600, 14295, 5415}, {192, 64, 0}},
        {"Slave1 info.", {480, 6120, 6735, 2175}, {0, 0, 192}},
        {"Slave2 info.", {8040, 6120, 6735, 2175}, {0, 0, 192}},
        {"Slave3 info.", {480, 8340, 6735, 2175}, {0, 0, 192}},
        {"Slave4 info.", {8040, 8340, 6735, 2415}, {0, 0, 192}},
    }};
    return kPanels;
}

const std::array<FieldLayout, kFieldCount>& fieldLayouts() {
    static const std::array<FieldLayout, kFieldCount> kFields = buildFields();
    return kFields;
}

const std::array<TopControl, 17>& topControls() {
    using K = TopKind;
    static constexpr std::array<TopControl, 17> kTop = {{
        {"StartCmd", K::Button, "Start", {120, 60, 855, 375}, "", 9},
        {"StopCmd", K::Button, "Stop", {1080, 60, 975, 375}, "", 9},
        {"FontSet", K::Button, "Font", {2160, 60, 735, 375}, "", 9},
        {"ColorSet", K::Button, "Color", {3000, 60, 615, 375}, "", 9},
        {"cmdRealChart", K::Button, "DataAnalyzer", {3720, 60, 1215, 375}, "", 9},
        {"baudsel", K::Frame, "Baud select", {5040, -30, 2355, 465}, "", 9},
        {"b600", K::Option, "600", {180, 180, 825, 255}, "baudsel", 9},
        {"b1200", K::Option, "1200", {840, 180, 825, 255}, "baudsel", 9},
        {"b2400", K::Option, "2400", {1560, 180, 705, 255}, "baudsel", 9},
        {"CommPortSel", K::List, "", {7500, 90, 975, 300}, "", 9},
        {"TimeTxt", K::ValueLabel, "", {8550, 60, 1215, 375}, "", 12},
        {"Status", K::CaptionLabel, "Status", {9810, 60, 900, 345}, "", 12},
        {"StatusTxt", K::ValueLabel, "Stop", {10740, 60, 855, 375}, "", 12},
        {"NumTxt", K::ValueLabel, "0", {11640, 60, 495, 375}, "", 12},
        {"Check", K::CaptionLabel, "Verify", {12180, 60, 900, 345}, "", 12},
        {"CheckTxt", K::ValueLabel, "", {13140, 60, 855, 375}, "", 12},
        {"cmdClrAll", K::Button, "Cls", {14070, 60, 735, 375}, "", 9},
    }};
    return kTop;
}

}  // namespace orlix
