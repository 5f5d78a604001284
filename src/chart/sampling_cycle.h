#pragma once
// The analyzer's part of the sampling tick: once the sampler
// (sampling/sampler.h) has shifted the new sample into the live buffers, it
// scrolls the live charts, draws the newest curve pieces, writes the value
// texts, counts run time and, when a batch is due, has it stored.
#include <array>
#include <cstdint>
#include <string>

#include "chart/chart_state.h"
#include "base/clock.h"
#include "sampling/sampler.h"

namespace orlix {

// What the tick and the cursors write that the window shows. The window
// implements it; tests use a recording fake.
class AnalyzerView {
public:
    virtual ~AnalyzerView() = default;
    // MSHFlexGrid1(grid).TextMatrix(row, col)
    virtual void setGridCell(int grid, int row, int col, const std::string& text) = 0;
    // lblStatus(index)
    virtual void setStatusText(int index, const std::string& text) = 0;
    // lblTimeError
    virtual void setTimeDiffText(const std::string& text) = 0;
    // Stores the batch of the 45 samples before the newest one.
    virtual void appendSampleBatch() = 0;
};

class SamplingCycle final : public SampleListener {
public:
    // `s` draws the sampler's live buffers (ChartState(sampler.buffers())).
    SamplingCycle(ChartState& s, const Clock& clock, AnalyzerView& view);

    void onSample(const SampleTick& tick) override { Timer1_Timer(tick); }
    // The window's steps of one tick.
    void Timer1_Timer(const SampleTick& tick);
    // Advances the run-time counter by one tick and shows it in lblStatus(0).
    void UpdateRunTime();

    std::int16_t RunSeconds = 0, RunMinutes = 0, RunHours = 0;

private:
    void writeCells(int k, std::int32_t v);
    void showCount(std::int32_t count);
    void showSampleTime(DateTime time);

    ChartState& s_;
    const Clock& clock_;
    AnalyzerView& view_;
    std::string text_;  // reused for every cell, so a tick does not allocate
};

// General date-time text into `out` (no allocation once out has capacity).
void assignGeneralDateTime(std::string& out, DateTime t);

}  // namespace orlix
