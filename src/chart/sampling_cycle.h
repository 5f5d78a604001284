#pragma once
// The sampling tick of the analyzer: scrolls the live charts, draws the newest
// curve pieces, writes the value texts and counts run time around the
// windowless core (sampling/sampling_core.h), which shifts the live buffers,
// counts ticks and paces the recording batches.
#include <array>
#include <cstdint>
#include <string>

#include "chart/chart_state.h"
#include "base/clock.h"
#include "sampling/sampling_core.h"

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

class SamplingCycle {
public:
    SamplingCycle(ChartState& s, const std::array<std::int32_t, 52>& LiveValues, const Clock& clock,
                  AnalyzerView& view);

    // One tick.
    void Timer1_Timer();
    // Advances the run-time counter by one tick and shows it in lblStatus(0).
    void UpdateRunTime();

    // "Save&Enabled" checked (true) or unchecked (false); see
    // SamplingCore::setRecording.
    void setRecording(bool on) { core_.setRecording(on); }
    bool recording() const { return core_.recording(); }
    const SamplingCore& core() const { return core_; }

    std::int16_t RunSeconds = 0, RunMinutes = 0, RunHours = 0;

private:
    void writeCells(int k, std::int32_t v);

    ChartState& s_;
    const std::array<std::int32_t, 52>& live_;
    const Clock& clock_;
    AnalyzerView& view_;
    SamplingCore core_;
    std::string text_;  // reused for every cell, so a tick does not allocate
};

// "RunTime：hh:mm:ss" with hours of at least two digits, not wrapped at 24.
std::string runTimeText(int hours, int minutes, int seconds);

// General date-time text into `out` (no allocation once out has capacity).
void assignGeneralDateTime(std::string& out, DateTime t);

}  // namespace orlix
