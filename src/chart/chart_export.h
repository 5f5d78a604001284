#pragma once
// What leaves the program of one chart: its picture exactly as the window
// shows it (the chart image with the shown time-cursor lines over it) as a
// PNG, and the samples behind it as CSV in the units of the value grids.
// QtGui only.
#include <QImage>
#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "chart/chart_state.h"
#include "chart/curve_table.h"

class QPainter;

namespace orlix {

// A cursor line is two pixels wide: columns x - 1 and x, full height.
inline constexpr int kCursorLineWidth = 2;

struct CursorLine {
    int x = 0;
    bool visible = false;
};
// Cursor 1 and cursor 2 of one chart.
using ChartCursorLines = std::array<CursorLine, 2>;

// Paints the visible cursor lines over a chart picture `height` pixels high.
// The window paints its pictures with this too, so a saved image and the
// screen cannot differ.
void paintCursorLines(QPainter& p, int height, const ChartCursorLines& lines);

// The chart as shown: a copy of its image with the visible cursor lines.
QImage chartImageAsShown(const ChartSurface& chart, const ChartCursorLines& lines);

// "chart-<caption>-YYYYMMDD-HHMMSS.png"; characters a file name cannot hold
// become '_'.
std::string chartImageFileName(std::string_view caption, DateTime now);

// Writes `image` as a PNG to `path`, beside it first and renamed into place,
// so a failed write leaves no half file. Returns "" or why it failed.
std::string saveChartPng(const QImage& image, const std::string& path);
// Writes `bytes` to `path` the same way.
std::string saveBytes(const std::string& path, std::string_view bytes);

// The curves of chart `tab` (0..7) in slot order: ten on the master charts,
// five on a slave's (slot 4 has none).
std::vector<const Curve*> chartCurves(int tab);

// Heading of one curve column: the value grid's source name and unit.
struct CurveTitle {
    std::string name;
    std::string unit;
};

// Buffer positions first..last, both included.
struct PositionSpan {
    int first = 0, last = 0;
};
// The positions between two cursor positions, both included, within the
// buffer positions 0..719.
PositionSpan spanBetween(int x1, int x2);

// The CSV of chart `tab`: a UTF-8 byte-order mark (so spreadsheet programs
// read the headings as UTF-8), the heading row "time" and one
// "<name> (<unit>)" per curve, then one row per buffer position that holds a
// sample, oldest first, with the sample time as ISO 8601 local time and each
// curve's value as the value grid writes it. `titles` has one entry per
// curve of chartCurves(tab). With a span only its positions are written.
std::string chartCsv(const ChartState& s, int tab, std::span<const CurveTitle> titles,
                     std::optional<PositionSpan> span = std::nullopt);

// Whether buffer position x of chart `tab` holds a sample: a live position
// once a tick has filled it (unfilled ones hold the zero time), a history
// position below HistSampleCount.
bool holdsSample(const ChartState& s, int tab, int x);

}  // namespace orlix
