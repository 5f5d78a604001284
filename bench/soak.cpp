// orlix-soak [TICKS]: drives the analyzer's sampling tick TICKS times
// (default 151200, seven days at 4 s) with a hand-driven clock advanced 4 s
// per tick, feeding the simulated plant's frames for those 4 s through the
// frame receiver and decoder between ticks, with every curve selected and
// recording on. Prints the resident memory at the start, after a warm-up of
// 1000 ticks and at the end, and fails when the end exceeds the warm-up
// figure by more than 10 %.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <span>
#include <vector>

#include "chart/chart_drawing.h"
#include "chart/sampling_cycle.h"
#include "comm/receive_path.h"
#include "sampling/sampler.h"
#include "sim/plant_model.h"

namespace {

using namespace orlix;

long residentKiB() {
    std::ifstream f("/proc/self/statm");
    long size = 0, resident = 0;
    f >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Stands in for the window: keeps the latest cell texts in fixed slots, as
// the grids do, and counts the batches.
struct SoakView final : AnalyzerView {
    std::string cells[4][23][3];
    std::string status[5];
    std::string timeDiff;
    long batches = 0;
    void setGridCell(int g, int r, int c, const std::string& t) override {
        if (g >= 0 && g < 4 && r >= 0 && r < 23 && c >= 0 && c < 3) cells[g][r][c] = t;
    }
    void setStatusText(int i, const std::string& t) override {
        if (i >= 0 && i < 5) status[i] = t;
    }
    void setTimeDiffText(const std::string& t) override { timeDiff = t; }
    void appendSampleBatch() override { ++batches; }
};

}  // namespace

int main(int argc, char** argv) {
    const long ticks = argc > 1 ? std::atol(argv[1]) : 151200;
    if (ticks <= 0) {
        std::fprintf(stderr, "usage: orlix-soak [TICKS]\n");
        return 2;
    }
    const auto started = std::chrono::steady_clock::now();

    ManualClock clock(makeDateTime({2026, 12, 1, 0, 0, 0}));
    auto path = std::make_unique<ReceivePath>(clock);
    Sampler sampler(path->store().LiveValues);
    PlantModel plant(7);

    auto state = std::make_unique<ChartState>(sampler.buffers());
    loadCharts(*state);
    state->curveChecked.fill(true);
    SoakView view;
    SamplingCycle cycle(*state, clock, view);
    sampler.addListener(&cycle);
    sampler.core().setRecording(true);

    std::vector<std::uint8_t> bytes;
    bytes.reserve(4096);
    const long startKiB = residentKiB();
    long warmKiB = startKiB;
    double plantTarget = 0;
    for (long i = 1; i <= ticks; ++i) {
        plantTarget += 4.0;
        while (plant.plantSeconds() < plantTarget) {
            bytes.clear();
            plant.appendNextFrame(bytes);
            path->onRead(std::span<const std::uint8_t>(bytes.data(), bytes.size()));
        }
        path->board().takeWritten();
        clock.advanceSeconds(4);
        sampler.tick(clock.now());
        if (i % 5000 == 0) RedrawChart(*state, static_cast<int>(i / 5000 % 8));
        if (i == 1000) warmKiB = residentKiB();
    }
    const long endKiB = residentKiB();
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double growth = warmKiB > 0 ? 100.0 * (endKiB - warmKiB) / warmKiB : 0;
    std::printf("ticks %ld, frames %llu (%llu corrupted), batches %ld, %.1f s\n", ticks,
                static_cast<unsigned long long>(plant.framesMade()),
                static_cast<unsigned long long>(plant.framesCorrupted()), view.batches, secs);
    std::printf("resident memory: start %ld KiB, after 1000 ticks %ld KiB, end %ld KiB (%+.2f %% since warm-up)\n",
                startKiB, warmKiB, endKiB, growth);
    std::printf("last: %s %s %s\n", view.status[0].c_str(), view.status[1].c_str(), view.cells[0][22][0].c_str());
    return growth <= 10.0 ? 0 : 1;
}
