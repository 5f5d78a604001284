#include "chart/sampling_cycle.h"

#include <cstdio>

#include "chart/chart_drawing.h"
#include "chart/curve_table.h"
#include "chart/value_texts.h"
#include "base/log.h"

namespace orlix {

namespace {

// "RunTime：" and the elapsed time; hours are not wrapped at 24.
void formatRunTime(char (&buf)[48], int hours, int minutes, int seconds) {
    std::snprintf(buf, sizeof buf, "RunTime\uFF1A%02d:%02d:%02d", hours, minutes, seconds);
}

}  // namespace

void assignGeneralDateTime(std::string& out, DateTime t) {
    const DateTimeParts p = splitDateTime(t);
    const bool zeroDate = p.year == 1899 && p.month == 12 && p.day == 30;
    const bool midnight = p.hour == 0 && p.minute == 0 && p.second == 0;
    char buf[48];
    if (zeroDate)
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", p.hour, p.minute, p.second);
    else if (midnight)
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", p.year, p.month, p.day);
    else
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute,
                      p.second);
    out.assign(buf);
}

SamplingCycle::SamplingCycle(ChartState& s, const Clock& clock, AnalyzerView& view)
    : s_(s), clock_(clock), view_(view) {
    text_.reserve(64);
}

void SamplingCycle::UpdateRunTime() {
    RunSeconds = static_cast<std::int16_t>(RunSeconds + s_.intervalMs / 1000);
    if (RunSeconds >= 60) {
        RunSeconds = static_cast<std::int16_t>(RunSeconds - 60);
        ++RunMinutes;
        if (RunMinutes >= 60) {
            RunMinutes = static_cast<std::int16_t>(RunMinutes - 60);
            ++RunHours;
            if (RunHours > 3000) RunHours = 0;
        }
    }
    char buf[48];
    formatRunTime(buf, RunHours, RunMinutes, RunSeconds);
    text_.assign(buf);
    try {
        view_.setStatusText(0, text_);
    } catch (...) {
        log::caughtException(log::kChart, "sampling tick: run time text");
    }
}

void SamplingCycle::writeCells(int k, std::int32_t v) {
    const ValueCells cells = valueTexts(k, v, TextMode::Tick);
    for (int i = 0; i < cells.count; ++i) {
        const ValueCell& c = cells.cells[i];
        text_.assign(c.text());
        view_.setGridCell(c.grid, c.row, c.col, text_);
    }
}

void SamplingCycle::showCount(std::int32_t count) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "SampleTimes:%d", count);
    text_.assign(buf);
    try {
        view_.setStatusText(1, text_);
    } catch (...) {
        log::caughtException(log::kChart, "sampling tick: sample count text");
    }
}

void SamplingCycle::showSampleTime(DateTime time) {
    assignGeneralDateTime(text_, time);
    for (int g = 0; g < 4; ++g) {
        try {
            view_.setGridCell(g, 22, 0, text_);
        } catch (...) {
            log::caughtException(log::kChart, "sampling tick: sample time text");
        }
    }
}

void SamplingCycle::Timer1_Timer(const SampleTick& tick) {
    // Each step runs on its own: a failing step is skipped and the tick goes on.
    // The scroll step goes by the count before this tick.
    for (int c = 0; c < kLiveCharts; ++c) scrollStep(s_, c, clock_, tick.countBefore);
    showCount(tick.buffers.SampleCount);
    UpdateRunTime();

    // While a cursor is shown the grids show the values under it.
    const bool CursorActive = s_.cursorChecked[0] || s_.cursorChecked[1];
    for (int k = 0; k < 50; ++k) {
        const std::int32_t v = tick.live[static_cast<std::size_t>(k)];
        const Curve* curve = curveForValue(k);
        if (curve && s_.curveChecked[curve->slot]) segmentStep(s_, k, v);
        if (!CursorActive) {
            try {
                writeCells(k, v);
            } catch (...) {
                log::caughtException(log::kChart, "sampling tick: value texts");
            }
        }
    }
    if (!CursorActive) showSampleTime(tick.buffers.LiveSampleTime[kNewestPosition]);

    if (tick.batchDue) {
        try {
            view_.appendSampleBatch();
        } catch (...) {
            log::caughtException(log::kChart, "sampling tick: recording batch");
        }
    }
}

}  // namespace orlix
