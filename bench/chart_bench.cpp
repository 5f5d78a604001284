// Chart drawing costs, each next to a baseline measured in the same run:
//  - RedrawChart with ten curves of 720 points vs QPainter::drawPolyline of
//    the same points on a cleared image;
//  - the scroll step of the four live charts vs a memmove of the same bytes;
//  - one sampling tick (four live charts, ten curves, grids to a no-op view)
//    vs the bare scroll of the four images.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPolygon>

#include <cmath>
#include <cstring>
#include <memory>

#include "chart/chart_drawing.h"
#include "chart/curve_table.h"
#include "chart/sampling_cycle.h"
#include "sampling/sampler.h"

namespace orlix {
namespace {

struct NullView final : AnalyzerView {
    void setGridCell(int, int, int, const std::string& t) override { benchmark::DoNotOptimize(t.data()); }
    void setStatusText(int, const std::string& t) override { benchmark::DoNotOptimize(t.data()); }
    void setTimeDiffText(const std::string&) override {}
    void appendSampleBatch() override {}
};

// Master values that keep every curve inside the picture and moving.
std::int16_t sampleValue(int k, int x) {
    const double w = std::sin(x * 0.05 + k);
    switch (k) {
        case 0: return static_cast<std::int16_t>(1500 + 1200 * w);
        case 1: return static_cast<std::int16_t>(750 + 600 * w);
        case 7: return static_cast<std::int16_t>(1200 + 1000 * w);
        case 8: return static_cast<std::int16_t>(200 + 150 * w);
        default: return static_cast<std::int16_t>(40 + 30 * w);
    }
}

void fill(ChartState& s) {
    loadCharts(s);
    s.curveChecked.fill(true);
    for (int k = 0; k < 50; ++k)
        for (int x = 0; x < 720; ++x) s.live.LiveCurveData[k][x] = sampleValue(k, x);
    s.live.SampleCount = 1234;
}

std::unique_ptr<ChartState> filledState(LiveBuffers& live) {
    auto s = std::make_unique<ChartState>(live);
    fill(*s);
    return s;
}

std::unique_ptr<ChartState> filledState() {
    auto s = std::make_unique<ChartState>();
    fill(*s);
    return s;
}

void BM_RedrawChartTenCurves(benchmark::State& st) {
    auto s = filledState();
    for (auto _ : st) {
        RedrawChart(*s, 0);
        benchmark::DoNotOptimize(s->charts[0].image().constBits());
    }
}
BENCHMARK(BM_RedrawChartTenCurves);

void BM_BaselinePolylineTenCurves(benchmark::State& st) {
    auto s = filledState();
    std::array<QPolygon, 10> curves;
    std::array<QColor, 10> colours;
    for (int k = 0; k < 10; ++k) {
        const Curve& c = *curveForValue(k);
        colours[k] = QColor(c.colour.r, c.colour.g, c.colour.b);
        curves[k].resize(721);
        curves[k][0] = QPoint(0, 0);
        for (int x = 0; x < 720; ++x)
            curves[k][x + 1] = QPoint(x + 1, *curveRow(c, s->live.LiveCurveData[k][x], 1.0f, 0));
    }
    QImage img(727, 400, QImage::Format_RGB32);
    for (auto _ : st) {
        img.fill(Qt::black);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing, false);
        for (int k = 0; k < 10; ++k) {
            p.setPen(QPen(colours[k], 0));
            p.drawPolyline(curves[k]);
        }
        p.end();
        benchmark::DoNotOptimize(img.constBits());
    }
}
BENCHMARK(BM_BaselinePolylineTenCurves);

void BM_ScrollStepFourCharts(benchmark::State& st) {
    auto s = filledState();
    ManualClock clock(46000.5);
    s->live.SampleCount = 7;  // neither a grid line nor a label
    for (auto _ : st) {
        for (int c = 0; c < 4; ++c) scrollStep(*s, c, clock, s->live.SampleCount);
        benchmark::DoNotOptimize(s->charts[3].image().constBits());
    }
}
BENCHMARK(BM_ScrollStepFourCharts);

// The bare scroll: each of the four images moved one pixel left in one memmove.
void bareScroll(std::array<QImage, 4>& imgs) {
    for (QImage& img : imgs) {
        uchar* b = img.bits();
        std::memmove(b, b + 4, static_cast<std::size_t>(img.sizeInBytes()) - 4);
    }
}

void BM_BaselineMemmoveFourImages(benchmark::State& st) {
    std::array<QImage, 4> imgs;
    for (QImage& i : imgs) {
        i = QImage(727, 400, QImage::Format_RGB32);
        i.fill(Qt::black);
    }
    for (auto _ : st) {
        bareScroll(imgs);
        benchmark::DoNotOptimize(imgs[3].constBits());
    }
}
BENCHMARK(BM_BaselineMemmoveFourImages);

void BM_TickFourChartsTenCurves(benchmark::State& st) {
    std::array<std::int32_t, 52> live{};
    for (int k = 0; k < 50; ++k) live[k] = sampleValue(k % 10, k);
    Sampler sampler(live);
    auto s = filledState(sampler.buffers());
    s->live.SampleCount = 0;
    ManualClock clock(46000.5);
    NullView view;
    SamplingCycle cycle(*s, clock, view);
    sampler.addListener(&cycle);
    int i = 0;
    for (auto _ : st) {
        live[2] = 30 + (i++ & 31);
        clock.advanceSeconds(4);
        sampler.tick(clock.now());
    }
}
BENCHMARK(BM_TickFourChartsTenCurves);

}  // namespace
}  // namespace orlix

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
