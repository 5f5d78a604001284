#pragma once
// The analyzer window's design as data: control geometry in twips, captions,
// grid texts and the menu. The window builds itself from these tables.
#include <array>
#include <string_view>

#include "base/rgb.h"

namespace orlix::analyzer {

inline constexpr int kTwipsPerPixel = 15;
// Twips to pixels, to the nearest pixel.
constexpr int px(int twips) { return (2 * twips + kTwipsPerPixel) / (2 * kTwipsPerPixel); }

// One control placed at a design position, relative to its container.
struct ControlRow {
    std::string_view name;     // objectName
    std::string_view caption;  // text, if any
    int left, top, width, height;  // twips
};

inline constexpr std::string_view kWindowTitle = "Orlix Monitor Data Analyzer(V4.0 Build 5.1010)";
// Outer height of the window; the client area is that less the title bar.
inline constexpr int kWindowHeightTwips = 10100;
inline constexpr int kTitleBarTwips = 390;

// Containers placed in the window's client area.
inline constexpr ControlRow kSSTab1{"SSTab1", "", 1440, 0, 11100, 6450};
inline constexpr ControlRow kSSTab2{"SSTab2", "", 12600, 0, 2490, 6450};
inline constexpr ControlRow kFraSelection{"fraSelection", "Selection", 120, 0, 1320, 6480};
inline constexpr ControlRow kFraZoom{"fraZoom", "ZOOM", 120, 6600, 1335, 1935};
inline constexpr ControlRow kMSHFlexGrid2{"MSHFlexGrid2", "", 1470, 6720, 11085, 1785};
inline constexpr ControlRow kCmdUp{"cmdUp", "", 3375, 7200, 200, 180};
inline constexpr ControlRow kCmdDown{"cmdDown", "", 3375, 7365, 200, 180};
inline constexpr ControlRow kFraHistory{"fraHistory", "", 6360, 6360, 1215, 615};
inline constexpr ControlRow kFraCursor{"fraCursor", "", 12600, 6630, 2550, 690};
inline constexpr ControlRow kFraError{"fraError", "Error Memory", 12600, 7320, 2535, 1215};

inline constexpr std::array<std::string_view, 8> kSSTab1Captions = {
    "MasterLive", "Slave1Live", "Slave2Live", "Slave3Live",
    "MasterHis",  "Slave1His",  "Slave2His",  "Slave3His"};
inline constexpr std::array<std::string_view, 4> kSSTab2Captions = {"MST", "SLV1", "SLV2", "SLV3"};

// Within a page of SSTab1 / SSTab2.
inline constexpr ControlRow kPicChart{"picChart", "", 90, 360, 10905, 6000};
inline constexpr ControlRow kMSHFlexGrid1{"MSHFlexGrid1", "", 15, 375, 2445, 6000};

// Cursor lines: cursor 1 and cursor 2 of every chart start here (pixels).
inline constexpr std::array<int, 2> kCursorStartX = {320, 400};

// Zoom frame.
inline constexpr std::array<ControlRow, 5> kZoomButtons = {{
    {"cmdAxesScale(0)", "X_ZoomIn", 120, 240, 1095, 255},
    {"cmdAxesScale(1)", "X_ZoomoUT", 120, 570, 1095, 255},
    {"cmdAxesScale(2)", "Y_ZoomIn", 120, 900, 1095, 255},
    {"cmdAxesScale(3)", "Y_ZoomOut", 120, 1230, 1095, 255},
    {"cmdAxesScale(4)", "Default", 120, 1560, 1095, 255},
}};

// History frame.
inline constexpr std::array<ControlRow, 3> kHistoryButtons = {{
    {"cmdCurveMoveL", "前移2个时间格", 0, 120, 360, 360},
    {"cmdDataBase", "回到开始", 360, 120, 480, 360},
    {"cmdCurveMoveR", "后移2个时间格", 840, 120, 360, 360},
}};  // caption column holds the tool tips

// Cursor frame.
inline constexpr std::array<ControlRow, 2> kCursorBoxes = {{
    {"chkCursor(0)", "TimeCursor1", 60, 120, 1380, 240},
    {"chkCursor(1)", "TimeCursor2", 60, 360, 1380, 240},
}};
inline constexpr ControlRow kLblTimeError{"lblTimeError", "Time Diff", 1440, 240, 1060, 180};

// Error memory frame.
inline constexpr std::array<ControlRow, 3> kFailureLabels = {{
    {"lblFailure(0)", "Err", 60, 240, 750, 240},
    {"lblFailure(1)", "ComErr", 60, 540, 750, 240},
    {"lblFailure(2)", "ProtErr", 60, 840, 750, 240},
}};
inline constexpr std::array<ControlRow, 3> kFailureLists = {{
    {"cmbFailure(0)", "Normal", 820, 240, 1680, 300},
    {"cmbFailure(1)", "Normal", 820, 540, 1680, 300},
    {"cmbFailure(2)", "Normal", 820, 840, 1680, 300},
}};

// Status line.
struct StatusRow {
    ControlRow c;
    bool grey;
    bool autoSize;
};
inline constexpr std::array<StatusRow, 5> kStatusLabels = {{
    {{"lblStatus(0)", "RunTime：00:00:00", 120, 8880, 1860, 180}, false, false},
    {{"lblStatus(1)", "SampleTimes:", 2040, 8880, 1500, 180}, false, false},
    {{"lblStatus(2)", "CurvePos:320", 3600, 8880, 1260, 180}, true, false},
    {{"lblStatus(3)", "DataBase Path:", 4920, 8880, 1260, 180}, true, true},
    {{"lblStatus(4)", "DabaBase Count:", 9840, 8880, 1350, 180}, true, true},
}};

// Selection frame: SelAll, the ten curve boxes, SelNone from top to bottom.
struct CurveBoxRow {
    std::string_view caption;
    Rgb color;
};
inline constexpr std::array<CurveBoxRow, 10> kCurveBoxes = {{
    {"Curve1", {0, 192, 0}},     {"Curve2", {255, 0, 0}},   {"Curve3", {255, 128, 0}},
    {"Curve4", {192, 192, 0}},   {"Curve5", {255, 0, 255}}, {"Curve6", {0, 0, 255}},
    {"Curve7", {0, 192, 192}},   {"Curve8", {64, 64, 64}},  {"Curve9", {128, 128, 255}},
    {"Curv10", {0, 128, 0}},
}};
inline constexpr int kSelectionFirstTop = 300;  // twips, SelAll
inline constexpr int kSelectionPitch = 480;     // twips between boxes
inline constexpr int kSelectionBoxLeft = 120;
inline constexpr int kSelectionBoxWidth = 1100;
inline constexpr int kSelectionBoxHeight = 300;

// Value grids.
inline constexpr int kValueGridRows = 23;
inline constexpr std::array<int, 3> kValueGridColTwips = {1250, 720, 450};
inline constexpr std::string_view kValueGridColumnFormat = "< |<Value|>Unit";
inline constexpr std::string_view kMasterRowFormat =
    ";SourceName|①Pd Sensor|②Ps Sensor|③Td temp.|④Ts temp.|⑤Toil temp.|⑥Ta temp.|⑦Te temp.|⑧PMV_cur|⑨AC current"
    "|⑩INV_Hz|⑾Total_Hz|⑿Slave1STS|⒀Slave2STS|⒁Slave3STS|⒂EPCode_Tar|⒃FanSpeed|⒄SV1 Valve|⒅SV2 Valve|⒆4WV & SV7"
    "|Pd_Temp|Ps_Temp";
inline constexpr std::string_view kSlaveRowFormat =
    ";SourceName|①Td temp.|②Ts temp.|③Toil temp.|④Ps Sensor|⑤Oilbal_FG|⑥PMV_cur|⑦SV1 Valve|⑧SV2 Valve|⑨4 Way Valve"
    "|⑩SlaveSTS|⑾OilbalValve";
// Unit texts of column 2: the master's rows 1..21, the slaves' rows 1..10.
inline constexpr std::array<std::string_view, 21> kMasterUnits = {
    "Kg", "Kg", "℃", "℃", "℃", "℃", "℃", "Step", "A", "Hz", "Hz",
    "---", "---", "---", "---", "---", "---", "---", "---", "℃", "℃"};
inline constexpr std::array<std::string_view, 10> kSlaveUnits = {
    "℃", "℃", "℃", "Kg", "---", "Step", "---", "---", "---", "---"};
// The one emphasised source-name cell per grid.
struct EmphasisRow {
    int row;
    Rgb color;
};
inline constexpr EmphasisRow kMasterEmphasis{10, {0, 128, 0}};
inline constexpr EmphasisRow kSlaveEmphasis{4, {192, 192, 0}};

// Curve grid.
inline constexpr int kCurveGridRows = 23;
inline constexpr int kCurveGridCols = 11;
inline constexpr int kCurveGridTitleTwips = 1025;
inline constexpr int kCurveGridColTwips = 1000;
inline constexpr std::string_view kCurveGridRowFormat = ";|Current|Reference|Maximum|Minimum";
inline constexpr std::string_view kCurveGridColumnFormat =
    "<SourceName|Curve1|Curve2|Curve3|Curve4|Curve5|Curve6|Curve7|Curve8|Curve9|Curve10";
inline constexpr int kReferenceRow = 2;
inline constexpr int kGridRowTwips = 240;
// Offset arrows: left = base + pitch x (Col - 1), in window pixels.
inline constexpr int kArrowLeftBase = 220;
inline constexpr int kArrowLeftPitch = 67;

// Menus. Items of one menu in order; an empty name is a separator.
struct MenuRow {
    std::string_view menu;  // owning menu's name
    std::string_view name;
    std::string_view caption;
    bool checkable, checked, enabled;
};
inline constexpr std::array<std::string_view, 3> kMenuNames = {"mnuOption", "mnuSystem", "mnuHelp"};
inline constexpr std::array<std::string_view, 3> kMenuCaptions = {"&Option", "&System", "&Help"};
inline constexpr std::array<bool, 3> kMenuVisible = {true, false, false};
inline constexpr std::array<MenuRow, 19> kMenuItems = {{
    {"mnuOption", "mnuOptionSample", "&SampleInterval", false, false, true},
    {"mnuOption", "", "-", false, false, true},
    {"mnuOption", "mnuOptionNewDB", "&NewDatabase...", false, false, true},
    {"mnuOption", "mnuOptionLoadDB", "&LoadDatabase...", false, false, true},
    {"mnuOption", "mnuOptionClearDB", "&ClearDatabase...", false, false, true},
    {"mnuOption", "", "-", false, false, true},
    {"mnuOption", "mnuOptionSaveCurve", "Curve&Save", false, false, true},
    {"mnuOption", "mnuOptionSaveAs", "CurveSave&As...", false, false, true},
    {"mnuOption", "", "-", false, false, true},
    {"mnuOption", "mnuOptionCurveSaving", "Save&Enabled", true, false, true},
    {"mnuOption", "mnuOptionOnTop", "AlwaysOn&Top", true, false, true},
    {"mnuOption", "", "-", false, false, true},
    {"mnuOption", "mnuOptionClose", "&Exit", false, false, true},
    {"mnuSystem", "mnuSystemCalc", "集成计算器(&C)...", false, false, true},
    {"mnuSystem", "mnuSystemTimer", "集成定时器(&T)...", false, false, true},
    {"mnuSystem", "mnuSystemSv7", "系统性能评价(&E)...", false, false, true},
    {"mnuHelp", "mnuHelpHelp(0)", "帮助(&H)...", false, false, true},
    {"mnuHelp", "mnuHelpHelp(1)", "关于Monitor(&A)...", false, false, true},
    {"mnuHelp", "mnuHelpHelp(2)", "版本备忘录(&V)...", false, false, true},
}};
// The sample-interval submenu: index = seconds; only 4 s is enabled.
struct IntervalRow {
    int seconds;
    std::string_view caption;
    bool checked, enabled;
};
inline constexpr std::array<IntervalRow, 4> kIntervalItems = {{
    {1, "1 sec", false, false}, {2, "2 sec", false, false},
    {4, "4 sec", true, true},   {10, "10 sec", false, false},
}};
inline constexpr int kTimer1IntervalMs = 4000;

}  // namespace orlix::analyzer
