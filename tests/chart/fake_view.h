#pragma once
// A view that records what the tick and the cursors write.
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "chart/chart_state.h"
#include "chart/sampling_cycle.h"

namespace orlix::test {

struct FakeView : AnalyzerView {
    std::map<std::tuple<int, int, int>, std::string> cells;
    std::map<int, std::string> status;
    std::string timeDiff;
    int cellWrites = 0;
    std::vector<int> batchCounts;  // SampleCount at each batch
    const ChartState* state = nullptr;

    void setGridCell(int grid, int row, int col, const std::string& text) override {
        cells[{grid, row, col}] = text;
        ++cellWrites;
    }
    void setStatusText(int index, const std::string& text) override { status[index] = text; }
    void setTimeDiffText(const std::string& text) override { timeDiff = text; }
    void appendSampleBatch() override { batchCounts.push_back(state ? state->live.SampleCount : -1); }

    std::string cell(int grid, int row, int col = 1) const {
        auto it = cells.find({grid, row, col});
        return it == cells.end() ? std::string("<unset>") : it->second;
    }
};

}  // namespace orlix::test
