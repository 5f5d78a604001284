#include "chart/sampling_cycle.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "chart/chart_drawing.h"
#include "fake_view.h"
#include "log_capture.h"

namespace orlix {
namespace {

using test::FakeView;

constexpr Rgb kOrange{255, 128, 0};

struct Rig {
    std::array<std::int32_t, 52> live{};
    Sampler sampler{live};
    std::unique_ptr<ChartState> s = std::make_unique<ChartState>(sampler.buffers());
    ManualClock clock{makeDateTime({2026, 12, 8, 10, 0, 0})};
    FakeView view;
    SamplingCycle cycle{*s, clock, view};

    Rig() {
        loadCharts(*s);
        view.state = s.get();
        sampler.addListener(&cycle);
    }
    void tick(int n = 1) {
        for (int i = 0; i < n; ++i) {
            clock.advanceSeconds(4);
            sampler.tick(clock.now());
        }
    }
};

TEST(SamplingCycle, OneTickFillsOnlyTheNewestPosition) {
    Rig r;
    for (int k = 0; k < 52; ++k) r.live[k] = k + 1;
    r.tick();
    const auto& b = r.s->live;
    for (int k = 0; k < 51; ++k) {
        EXPECT_EQ(b.LiveCurveData[k][719], k < 50 ? k + 1 : 0) << k;
        for (int x = 0; x < 719; ++x) ASSERT_EQ(b.LiveCurveData[k][x], 0);
        EXPECT_EQ(b.LiveCurveData[k][720], 0);
    }
    EXPECT_EQ(b.LiveSampleTime[719], r.clock.now());
    EXPECT_EQ(b.LiveSampleTime[718], 0);
    EXPECT_EQ(b.SampleCount, 1);
    EXPECT_EQ(r.view.status[1], "SampleTimes:1");
    EXPECT_EQ(r.view.status[0], "RunTime\uFF1A00:00:04");
    EXPECT_EQ(r.view.cell(0, 22, 0), "2026-12-08 10:00:04");
    EXPECT_EQ(r.view.cell(3, 22, 0), "2026-12-08 10:00:04");
    EXPECT_EQ(r.view.cell(0, 1), "0.01");
    EXPECT_EQ(r.view.cell(2, 1), "31");
}

TEST(SamplingCycle, CheckedCursorBoxKeepsTheGridsWhileChartsAndBuffersRun) {
    Rig r;
    r.s->curveChecked[2] = true;
    r.live[2] = 100;
    r.tick();
    r.s->cursorChecked[1] = true;
    const auto writes = r.view.cellWrites;
    const auto cellsBefore = r.view.cells;
    r.live[2] = 50;
    r.tick(3);
    EXPECT_EQ(r.view.cellWrites, writes);
    EXPECT_EQ(r.view.cells, cellsBefore);
    EXPECT_EQ(r.s->live.LiveCurveData[2][719], 50);
    EXPECT_EQ(r.s->live.LiveCurveData[2][716], 100);
    EXPECT_TRUE(r.s->charts[0].isColour(719, 250, kOrange));
    EXPECT_EQ(r.view.status[1], "SampleTimes:4");
    r.s->cursorChecked[1] = false;
    r.tick();
    EXPECT_EQ(r.view.cell(0, 3), "50");
}

TEST(SamplingCycle, GridTextsFromLiveValues) {
    Rig r;
    r.live[11] = 4;
    r.live[15] = 3;
    r.live[16] = 0xA4;
    r.live[23] = 100;
    r.live[33] = 20;
    r.live[44] = 0x80;
    r.tick();
    EXPECT_EQ(r.view.cell(0, 12), "60% On");
    EXPECT_EQ(r.view.cell(1, 10), "60% On");
    EXPECT_EQ(r.view.cell(0, 16), "3\u98ce\u901f");
    EXPECT_EQ(r.view.cell(0, 17), "On");
    EXPECT_EQ(r.view.cell(0, 18), "Off");
    EXPECT_EQ(r.view.cell(0, 19), "On/On");
    EXPECT_EQ(r.view.cell(0, 22), "SV2 Off");
    EXPECT_EQ(r.view.cell(1, 4), "4.77");
    EXPECT_EQ(r.view.cell(2, 4), "0");
    EXPECT_EQ(r.view.cell(3, 5), ">Ps/Nl");
    // Unit state 2 leaves the earlier text; 8 shows "Off"; fan 1 shows "Off".
    r.live[11] = 2;
    r.live[15] = 1;
    r.tick();
    EXPECT_EQ(r.view.cell(0, 12), "60% On");
    EXPECT_EQ(r.view.cell(1, 10), "60% On");
    EXPECT_EQ(r.view.cell(0, 16), "Off");
    r.live[11] = 8;
    r.tick();
    EXPECT_EQ(r.view.cell(0, 12), "Off");
    EXPECT_EQ(r.view.cell(1, 10), "Off");
}

TEST(SamplingCycle, RunTimeCountsFourSecondsPerTickPast24HoursAndResetsAfter3000Hours) {
    Rig r;
    r.tick(15);
    EXPECT_EQ(r.view.status[0], "RunTime\uFF1A00:01:00");
    EXPECT_EQ(r.cycle.RunMinutes, 1);
    EXPECT_EQ(r.cycle.RunSeconds, 0);
    r.cycle.RunHours = 25;
    r.cycle.RunMinutes = 3;
    r.cycle.RunSeconds = 3;
    r.tick();
    EXPECT_EQ(r.view.status[0], "RunTime\uFF1A25:03:07");
    r.cycle.RunHours = 2999;
    r.cycle.RunMinutes = 59;
    r.cycle.RunSeconds = 56;
    r.tick();
    EXPECT_EQ(r.view.status[0], "RunTime\uFF1A3000:00:00");
    r.cycle.RunMinutes = 59;
    r.cycle.RunSeconds = 56;
    r.tick();
    EXPECT_EQ(r.cycle.RunHours, 0);
    EXPECT_EQ(r.view.status[0], "RunTime\uFF1A00:00:00");
}

TEST(SamplingCycle, BatchesEvery45TicksFromSwitchingOn) {
    Rig r;
    r.s->live.SampleCount = 100;
    r.sampler.core().setRecording(true);
    EXPECT_EQ(r.sampler.core().SavePhase, 10);
    r.tick(135);
    EXPECT_EQ(r.view.batchCounts, (std::vector<int>{145, 190, 235}));
    r.sampler.core().setRecording(false);
    r.tick(100);
    EXPECT_EQ(r.view.batchCounts.size(), 3u);
}

// A view whose status labels and batch store fail on every call.
struct FailingView : test::FakeView {
    void setStatusText(int index, const std::string&) override {
        throw std::runtime_error("label " + std::to_string(index) + " gone");
    }
    void appendSampleBatch() override { throw 7; }
};

TEST(SamplingCycle, StepsFailingOnEveryTickAreLoggedOnceEachAndTheTickGoesOn) {
    std::array<std::int32_t, 52> live{};
    Sampler sampler(live);
    auto s = std::make_unique<ChartState>(sampler.buffers());
    loadCharts(*s);
    ManualClock clock{makeDateTime({2026, 12, 8, 10, 0, 0})};
    FailingView view;
    SamplingCycle cycle(*s, clock, view);
    sampler.addListener(&cycle);
    sampler.core().setRecording(true);
    test::LogCapture capture;
    for (int i = 0; i < 200; ++i) {
        clock.advanceSeconds(4);
        sampler.tick(clock.now());
    }
    // The steps after the failing ones still ran on every tick.
    EXPECT_EQ(s->live.SampleCount, 200);
    EXPECT_EQ(view.cell(0, 22, 0), "2026-12-08 10:13:20");
    const auto lines = capture.of(log::kChart);
    ASSERT_EQ(lines.size(), 3u) << ::testing::PrintToString(lines);
    EXPECT_EQ(lines[0].rfind("orlix.chart|warning|sampling tick: sample count text failed: label 1 gone (", 0), 0u)
        << lines[0];
    EXPECT_EQ(lines[1].rfind("orlix.chart|warning|sampling tick: run time text failed: label 0 gone (", 0), 0u)
        << lines[1];
    EXPECT_EQ(lines[2].rfind("orlix.chart|warning|sampling tick: recording batch failed: unknown exception (", 0), 0u)
        << lines[2];
}

TEST(SamplingCycle, ConstantCurveIsAHorizontalRunEndingAtTheRightEdge) {
    Rig r;
    r.s->curveChecked[2] = true;
    r.live[2] = 100;  // 3 v -> row 100
    r.tick(50);
    const ChartSurface& pic = r.s->charts[0];
    for (int x = 671; x <= 719; ++x) EXPECT_TRUE(pic.isColour(x, 100, kOrange)) << x;
    // Column 670 holds the first piece, since overdrawn by the grid line the
    // tick at count 5 drew at 715 (the phase puts a grid line at 720 - 50).
    EXPECT_TRUE(pic.isColour(670, 100, kGridColour));
    EXPECT_TRUE(pic.isColour(669, 200, kOrange));  // the first piece came from row 200
    EXPECT_TRUE(pic.isColour(669, 151, kOrange));
    EXPECT_TRUE(pic.isColour(669, 100, kBlack));
    EXPECT_EQ(r.s->LastLiveY[2], 100);
}

TEST(SamplingCycle, RedrawPutsGridLinesAndTimeLabelsWhereTheTicksScrolledThem) {
    Rig r;
    r.tick(200);
    const QImage ticked = r.s->charts[0].image().copy();
    RedrawChart(*r.s, 0);
    const ChartSurface& redrawn = r.s->charts[0];
    // Vertical grid columns (at rows free of labels and horizontal lines):
    // the load grid scrolled 200 pixels plus the lines the ticks drew.
    std::set<int> tickedCols, redrawnCols;
    const QRgb grid = toQRgb(kGridColour) | 0xFF000000u;
    for (int x = 0; x < 727; ++x) {
        bool t = false;
        for (int y = 0; y < 30; ++y) t = t || ((ticked.pixel(x, y) | 0xFF000000u) == grid);
        if (t) tickedCols.insert(x);
        bool d = false;
        for (int y = 0; y < 30; ++y) d = d || redrawn.isColour(x, y, kGridColour);
        if (d) redrawnCols.insert(x);
    }
    EXPECT_EQ(redrawnCols, (std::set<int>{70, 160, 250, 340, 430, 520, 610, 700}));
    EXPECT_EQ(tickedCols, redrawnCols);
    // The time labels printed by the ticks at counts 30 and 120 are where the
    // redraw prints GridLineTime: compare every text pixel in that range.
    const QRgb yellow = toQRgb(kTextColour) | 0xFF000000u;
    int textPixels = 0;
    for (int y = 380; y < 400; ++y)
        for (int x = 480; x < 650; ++x) {
            const bool t = (ticked.pixel(x, y) | 0xFF000000u) == yellow;
            ASSERT_EQ(t, redrawn.isColour(x, y, kTextColour)) << x << "," << y;
            textPixels += t;
        }
    EXPECT_GT(textPixels, 50);
}

TEST(SamplingCycle, RedrawShowsTheTickedTimeLabelsInEveryPhase) {
    // Every label the ticks printed must appear unchanged after a redraw,
    // whatever the phase (including 0..4, just before the next grid line).
    for (int ticks : {900, 902, 904, 905, 929, 931, 989}) {
        Rig r;
        r.tick(ticks);
        const QImage ticked = r.s->charts[0].image().copy();
        RedrawChart(*r.s, 0);
        const QRgb yellow = toQRgb(kTextColour) | 0xFF000000u;
        // The redraw labels the lines from x = 90 - phase on; the label of a
        // line scrolled out further left is not redrawn.
        const int firstLabelX = 90 - r.s->live.SampleCount % 90 - 23;
        int textPixels = 0;
        for (int y = 385; y < 400; ++y)
            for (int x = std::max(0, firstLabelX); x < 727; ++x)
                if ((ticked.pixel(x, y) | 0xFF000000u) == yellow) {
                    ++textPixels;
                    ASSERT_TRUE(r.s->charts[0].isColour(x, y, kTextColour)) << ticks << ": " << x << "," << y;
                }
        EXPECT_GT(textPixels, 300) << ticks;
    }
}

}  // namespace
}  // namespace orlix
