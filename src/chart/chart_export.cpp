#include "chart/chart_export.h"

#include <QImageWriter>
#include <QPainter>
#include <QSaveFile>
#include <algorithm>

#include "chart/value_texts.h"
#include "base/iso_date_time.h"

namespace orlix {
namespace {

QString qs(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

std::string ss(const QString& s) { return s.toUtf8().toStdString(); }

// A CSV field, quoted when it holds a separator, a quote or a line end.
void appendField(std::string& out, std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        out += text;
        return;
    }
    out.push_back('"');
    for (const char c : text) {
        if (c == '"') out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
}

// The text the value grid shows for value index k holding v (the readout's
// text, as under a cursor); empty when the grid would leave its cell alone.
std::string_view gridText(const ValueCells& cells, int k) {
    const ValueTextRow* row = valueTextRow(k);
    if (!row) return {};
    for (int i = 0; i < cells.count; ++i) {
        const ValueCell& c = cells.cells[static_cast<std::size_t>(i)];
        if (c.grid == row->grid && c.row == row->row && c.col == 1) return c.text();
    }
    return {};
}

}  // namespace

void paintCursorLines(QPainter& p, int height, const ChartCursorLines& lines) {
    const QColor colour(kCursorColour.r, kCursorColour.g, kCursorColour.b);
    for (const CursorLine& l : lines)
        if (l.visible) p.fillRect(l.x - kCursorLineWidth / 2, 0, kCursorLineWidth, height, colour);
}

QImage chartImageAsShown(const ChartSurface& chart, const ChartCursorLines& lines) {
    QImage out = chart.image().copy();
    QPainter p(&out);
    p.setRenderHint(QPainter::Antialiasing, false);
    paintCursorLines(p, out.height(), lines);
    return out;
}

std::string chartImageFileName(std::string_view caption, DateTime now) {
    std::string name = "chart-";
    for (const char c : caption) {
        const bool bad = c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' ||
                         c == '>' || c == '|' || static_cast<unsigned char>(c) < 0x20;
        name.push_back(bad ? '_' : c);
    }
    name += '-';
    name += compactDateTimeText(now);
    name += ".png";
    return name;
}

std::string saveChartPng(const QImage& image, const std::string& path) {
    QSaveFile file(qs(path));
    if (!file.open(QIODevice::WriteOnly)) return ss(file.errorString());
    QImageWriter writer(&file, "png");
    if (!writer.write(image)) {
        file.cancelWriting();
        return ss(writer.errorString());
    }
    if (!file.commit()) return ss(file.errorString());
    return {};
}

std::string saveBytes(const std::string& path, std::string_view bytes) {
    QSaveFile file(qs(path));
    if (!file.open(QIODevice::WriteOnly)) return ss(file.errorString());
    if (file.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size())) {
        const std::string why = ss(file.errorString());
        file.cancelWriting();
        return why;
    }
    if (!file.commit()) return ss(file.errorString());
    return {};
}

std::vector<const Curve*> chartCurves(int tab) {
    std::vector<const Curve*> out;
    const int unit = tab % kLiveCharts;
    for (const Curve& c : kCurves)
        if (unitOfValue(c.valueIndex) == unit) out.push_back(&c);
    std::sort(out.begin(), out.end(), [](const Curve* a, const Curve* b) { return a->slot < b->slot; });
    return out;
}

PositionSpan spanBetween(int x1, int x2) {
    const auto clamp = [](int x) { return std::clamp(x, 0, kNewestPosition); };
    return {clamp(std::min(x1, x2)), clamp(std::max(x1, x2))};
}

bool holdsSample(const ChartState& s, int tab, int x) {
    if (x < 0 || x > kNewestPosition) return false;
    if (tab < kLiveCharts) return s.live.LiveSampleTime[static_cast<std::size_t>(x)] != 0.0;
    return x < s.hist.HistSampleCount;
}

std::string chartCsv(const ChartState& s, int tab, std::span<const CurveTitle> titles,
                     std::optional<PositionSpan> span) {
    const std::vector<const Curve*> curves = chartCurves(tab);
    const bool live = tab < kLiveCharts;
    const auto& data = live ? s.live.LiveCurveData : s.hist.HistCurveData;
    const auto& times = live ? s.live.LiveSampleTime : s.hist.HistSampleTime;

    std::string out = "\xEF\xBB\xBF" "time";
    for (std::size_t i = 0; i < curves.size(); ++i) {
        out.push_back(',');
        const CurveTitle t = i < titles.size() ? titles[i] : CurveTitle{};
        appendField(out, t.unit.empty() ? t.name : t.name + " (" + t.unit + ")");
    }
    out.push_back('\n');

    const PositionSpan all{0, kNewestPosition};
    const PositionSpan range = span.value_or(all);
    char iso[kIsoDateTimeLength];
    for (int x = range.first; x <= range.last; ++x) {
        if (!holdsSample(s, tab, x)) continue;
        const auto pos = static_cast<std::size_t>(x);
        out.append(iso, static_cast<std::size_t>(formatIsoDateTime(times[pos], iso)));
        for (const Curve* c : curves) {
            out.push_back(',');
            const auto k = static_cast<std::size_t>(c->valueIndex);
            appendField(out, gridText(valueTexts(c->valueIndex, data[k][pos], TextMode::Readout), c->valueIndex));
        }
        out.push_back('\n');
    }
    return out;
}

}  // namespace orlix
