#include "chart/chart_export.h"

#include <QImageReader>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

#include "chart/chart_drawing.h"
#include "chart/sampling_cycle.h"
#include "csv_text.h"
#include "fake_view.h"
#include "base/iso_date_time.h"

namespace orlix {
namespace {

using test::FakeView;

constexpr std::string_view kBom = "\xEF\xBB\xBF";

std::vector<CurveTitle> numberedTitles(int tab) {
    std::vector<CurveTitle> t;
    for (const Curve* c : chartCurves(tab)) t.push_back({"v" + std::to_string(c->valueIndex), "u"});
    return t;
}

// The real sampling tick writing into a recording view: what the value
// grids show at every tick is the oracle for the CSV's values.
struct Ticking {
    std::array<std::int32_t, 52> live{};
    Sampler sampler{live};
    std::unique_ptr<ChartState> s = std::make_unique<ChartState>(sampler.buffers());
    ManualClock clock{makeDateTime({2026, 3, 14, 9, 0, 0})};
    FakeView view;
    SamplingCycle cycle{*s, clock, view};
    Ticking() {
        loadCharts(*s);
        sampler.addListener(&cycle);
    }
    void tick() {
        clock.advanceSeconds(4);
        sampler.tick(clock.now());
    }
};

TEST(ChartExport, ChartsHaveTheirUnitsCurvesInSlotOrder) {
    std::vector<int> master, slave2;
    for (const Curve* c : chartCurves(4)) master.push_back(c->valueIndex);
    for (const Curve* c : chartCurves(2)) slave2.push_back(c->valueIndex);
    EXPECT_EQ(master, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(slave2, (std::vector<int>{30, 31, 32, 33, 35}));
}

TEST(ChartExport, CsvRowsHoldWhatTheValueGridsShowedAtEachTick) {
    Ticking r;
    // Values that exercise every conversion of the curves' cells.
    const std::int32_t pd[] = {1234, 5, 0, 2999};
    const std::int32_t ac[] = {123, 120, 7, 0};
    const std::int32_t slavePs[] = {30, 20, 26, 255};  // 20: below zero, shown as "0"
    std::vector<std::vector<std::string>> shown;         // per tick: master Pd, Ps, AC; slave 1 Ps
    for (int t = 0; t < 4; ++t) {
        r.live[0] = pd[t];
        r.live[1] = -5 - t;
        r.live[8] = ac[t];
        r.live[9] = -10 + t;
        r.live[23] = slavePs[t];
        r.tick();
        shown.push_back({r.view.cell(0, 1), r.view.cell(0, 2), r.view.cell(0, 9), r.view.cell(0, 10), r.view.cell(1, 4)});
    }

    const std::string csv = chartCsv(*r.s, 0, numberedTitles(0));
    ASSERT_EQ(csv.substr(0, 3), kBom);
    const auto ls = test::csvLines(csv.substr(3));
    ASSERT_EQ(ls.size(), 5u);  // four ticks filled four positions
    EXPECT_EQ(ls[0], "time,v0 (u),v1 (u),v2 (u),v3 (u),v4 (u),v5 (u),v6 (u),v7 (u),v8 (u),v9 (u)");
    for (int t = 0; t < 4; ++t) {
        const auto f = test::csvFields(ls[static_cast<std::size_t>(t) + 1]);
        ASSERT_EQ(f.size(), 11u);
        EXPECT_EQ(f[0], isoDateTimeText(makeDateTime({2026, 3, 14, 9, 0, 4 * (t + 1)})));
        EXPECT_EQ(f[1], shown[static_cast<std::size_t>(t)][0]);
        EXPECT_EQ(f[2], shown[static_cast<std::size_t>(t)][1]);
        EXPECT_EQ(f[9], shown[static_cast<std::size_t>(t)][2]);
        EXPECT_EQ(f[10], shown[static_cast<std::size_t>(t)][3]);
    }
    // The texts themselves, so that the oracle is not blank.
    EXPECT_EQ(test::csvFields(ls[1])[1], "12.34");
    EXPECT_EQ(test::csvFields(ls[2])[1], "0.05");
    EXPECT_EQ(test::csvFields(ls[1])[2], "-0.05");
    EXPECT_EQ(test::csvFields(ls[1])[9], "12.3");
    EXPECT_EQ(test::csvFields(ls[2])[9], "12");

    const auto slave = test::csvLines(chartCsv(*r.s, 1, numberedTitles(1)).substr(3));
    ASSERT_EQ(slave.size(), 5u);
    EXPECT_EQ(slave[0], "time,v20 (u),v21 (u),v22 (u),v23 (u),v25 (u)");
    for (int t = 0; t < 4; ++t)
        EXPECT_EQ(test::csvFields(slave[static_cast<std::size_t>(t) + 1])[4], shown[static_cast<std::size_t>(t)][4]) << t;
    EXPECT_EQ(test::csvFields(slave[1])[4], "0.29");
    EXPECT_EQ(test::csvFields(slave[2])[4], "0");
}

TEST(ChartExport, HistoryRowsAreTheLoadedOnesAndASpanKeepsItsEnds) {
    auto s = std::make_unique<ChartState>();
    for (int x = 0; x <= kNewestPosition; ++x) {
        s->hist.HistCurveData[2][static_cast<std::size_t>(x)] = static_cast<std::int16_t>(x);
        s->hist.HistSampleTime[static_cast<std::size_t>(x)] = 46000.0 + secondsToDays(4.0 * x);
    }
    s->hist.HistSampleCount = 300;  // positions 300.. hold an earlier load
    auto all = test::csvLines(chartCsv(*s, 4, numberedTitles(4)).substr(3));
    ASSERT_EQ(all.size(), 301u);
    EXPECT_EQ(test::csvFields(all[1])[3], "0");
    EXPECT_EQ(test::csvFields(all[300])[3], "299");

    auto span = test::csvLines(chartCsv(*s, 4, numberedTitles(4), spanBetween(250, 120)).substr(3));
    ASSERT_EQ(span.size(), 1u + 131u);
    EXPECT_EQ(test::csvFields(span[1])[3], "120");
    EXPECT_EQ(test::csvFields(span.back())[3], "250");
    EXPECT_EQ(test::csvFields(span[1])[0], isoDateTimeText(46000.0 + secondsToDays(480)));
    // Past the loaded records a span holds no rows.
    EXPECT_EQ(test::csvLines(chartCsv(*s, 4, numberedTitles(4), spanBetween(400, 500)).substr(3)).size(), 1u);
}

TEST(ChartExport, SpanStaysWithinTheBuffer) {
    EXPECT_EQ(spanBetween(400, 320).first, 320);
    EXPECT_EQ(spanBetween(400, 320).last, 400);
    EXPECT_EQ(spanBetween(-3, 725).first, 0);
    EXPECT_EQ(spanBetween(-3, 725).last, 719);
    EXPECT_EQ(spanBetween(7, 7).last, 7);
}

TEST(ChartExport, LivePositionsCountOnceTheTickFilledThem) {
    Ticking r;
    EXPECT_EQ(test::csvLines(chartCsv(*r.s, 3, numberedTitles(3)).substr(3)).size(), 1u);  // heading only
    for (int t = 0; t < 725; ++t) r.tick();
    EXPECT_EQ(test::csvLines(chartCsv(*r.s, 3, numberedTitles(3)).substr(3)).size(), 721u);
}

TEST(ChartExport, HeadingsAreQuotedWhenTheyMustBe) {
    auto s = std::make_unique<ChartState>();
    std::vector<CurveTitle> t = numberedTitles(1);
    t[0] = {"①Td, temp.", "℃"};
    t[1] = {"say \"x\"", ""};
    const auto head = test::csvLines(chartCsv(*s, 1, t).substr(3))[0];
    EXPECT_EQ(head, "time,\"①Td, temp. (℃)\",\"say \"\"x\"\"\",v22 (u),v23 (u),v25 (u)");
}

TEST(ChartExport, ImageAsShownAddsTheVisibleCursorLines) {
    ChartSurface chart;
    chart.line(0, 100, 726, 100, {255, 0, 0});
    const QImage plain = chart.image().copy();
    const QImage shown = chartImageAsShown(chart, {{{320, true}, {400, false}}});
    ASSERT_EQ(shown.size(), QSize(727, 400));
    EXPECT_EQ(chart.image(), plain);  // the chart itself is untouched
    for (int x = 0; x < 727; ++x)
        for (int y : {0, 100, 399}) {
            const bool onLine = x == 319 || x == 320;
            EXPECT_EQ(shown.pixel(x, y), onLine ? qRgb(0, 255, 0) : plain.pixel(x, y)) << x << "," << y;
        }
}

TEST(ChartExport, FileNameCarriesCaptionAndTime) {
    EXPECT_EQ(chartImageFileName("MasterLive", makeDateTime({2026, 3, 14, 9, 5, 7})),
              "chart-MasterLive-20260314-090507.png");
    EXPECT_EQ(chartImageFileName("a/b:c", makeDateTime({2026, 3, 14, 9, 5, 7})), "chart-a_b_c-20260314-090507.png");
}

class ChartFiles : public ::testing::Test {
protected:
    std::filesystem::path dir = std::filesystem::temp_directory_path() / ("orlix_chart_export_" + std::to_string(::getpid()));
    void SetUp() override { std::filesystem::create_directories(dir); }
    void TearDown() override { std::filesystem::remove_all(dir); }
};

TEST_F(ChartFiles, PngReadsBackPixelForPixel) {
    ChartSurface chart;
    for (int x = 0; x < 727; ++x) chart.line(x, 0, x, x % 400, {static_cast<std::uint8_t>(x), 128, 255});
    const QImage shown = chartImageAsShown(chart, {{{10, true}, {700, true}}});
    const std::string path = (dir / "c.png").string();
    ASSERT_EQ(saveChartPng(shown, path), "");
    QImageReader reader(QString::fromStdString(path));
    EXPECT_EQ(reader.format(), "png");
    const QImage back = reader.read().convertToFormat(shown.format());
    EXPECT_EQ(back, shown);
}

TEST_F(ChartFiles, AFolderThatCannotBeWrittenIsAFailure) {
    // Nobody, root included, creates files in /proc.
    EXPECT_NE(saveChartPng(ChartSurface().image(), "/proc/orlix-chart.png"), "");
    EXPECT_NE(saveBytes("/proc/orlix-chart.csv", "x"), "");
    EXPECT_FALSE(std::filesystem::exists("/proc/orlix-chart.png"));
}

TEST_F(ChartFiles, AMissingFolderIsAFailure) {
    EXPECT_NE(saveChartPng(ChartSurface().image(), (dir / "none" / "c.png").string()), "");
    EXPECT_NE(saveBytes((dir / "none" / "c.csv").string(), "x"), "");
    EXPECT_EQ(saveBytes((dir / "c.csv").string(), "a,b\n"), "");
    std::ifstream in(dir / "c.csv");
    std::string content((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(content, "a,b\n");
}

}  // namespace
}  // namespace orlix
