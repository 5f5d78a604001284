#include "sim/plant_model.h"

#include <gtest/gtest.h>

#include <set>

#include "comm/frame_receiver.h"

namespace orlix {
namespace {

TEST(PlantModel, BuildFrameCarriesTheChecksum) {
    FrameData d{};
    d[0] = 0xFF;
    d[59] = 0x02;
    const auto f = buildFrame(0x5A, d);
    ASSERT_EQ(f.size(), 63u);
    EXPECT_EQ(f[0], 0x55);
    EXPECT_EQ(f[1], 0x5A);
    EXPECT_EQ(f[2], 0xFF);
    EXPECT_EQ(f[61], 0x02);
    EXPECT_EQ(f[62], (0x5A + 0xFF + 0x02) & 0xFF);
}

TEST(PlantModel, SameSeedSameStreamOtherSeedOtherStream) {
    PlantModel a(42), b(42), c(43);
    std::vector<std::uint8_t> sa, sb, sc;
    for (int i = 0; i < 2000; ++i) {
        a.appendNextFrame(sa);
        b.appendNextFrame(sb);
        c.appendNextFrame(sc);
    }
    EXPECT_EQ(sa, sb);
    EXPECT_NE(sa, sc);
}

struct Counter : FrameObserver, ErrorMemorySink {
    int good[2] = {0, 0}, bad = 0;
    int lastKind = -1, alternations = 0;
    std::vector<std::pair<int, std::string>> entries;
    void onChecksum(int kind, bool ok) override {
        if (!ok) {
            ++bad;
            return;
        }
        ++good[kind];
        if (lastKind >= 0 && kind != lastKind) ++alternations;
        lastKind = kind;
    }
    void addErrorEntry(int list, const std::string& e) override { entries.emplace_back(list, e); }
};

// A simulated day through the real receiver: alternating kinds, a few
// damaged frames, plausible values, and faults that come and go.
TEST(PlantModel, ADayOfPlantDecodesPlausibly) {
    PlantModel plant(3);
    FieldBoard board;
    LiveStore store;
    for (int n = 0; n < 3; ++n) store.FaultStatus[static_cast<std::size_t>(n)] = "Normal";
    ManualClock clock;
    Counter count;
    FrameDecoder dec(board, store, clock, &count);
    FrameReceiver rx(dec);
    const int frames = static_cast<int>(86400 / kFrameSeconds);
    std::vector<std::uint8_t> bytes;
    std::set<std::string> runModes, compressor, slaveSts;
    int minTd = 1000, maxTd = -1000, minPd = 100000, maxPd = -1;
    for (int i = 0; i < frames; ++i) {
        bytes.clear();
        plant.appendNextFrame(bytes);
        rx.onReceive(bytes, &count);
        if (i > 1000 && i % 50 == 0) {
            minTd = std::min(minTd, store.LiveValues[2]);
            maxTd = std::max(maxTd, store.LiveValues[2]);
            minPd = std::min(minPd, store.LiveValues[0]);
            maxPd = std::max(maxPd, store.LiveValues[0]);
            runModes.insert(board[8].text);
            compressor.insert(board[43].text);
            slaveSts.insert(board[15].text);
        }
    }
    EXPECT_EQ(plant.framesMade(), static_cast<std::uint64_t>(frames));
    const int total = count.good[0] + count.good[1] + count.bad;
    EXPECT_GT(total, frames * 97 / 100);
    EXPECT_GT(count.bad, 0);
    EXPECT_LT(count.bad, frames / 50);
    EXPECT_GT(count.alternations, (count.good[0] + count.good[1]) * 9 / 10);
    EXPECT_NEAR(plant.plantSeconds(), 86400, 1);
    // Temperatures in degrees Celsius and pressures in hundredths of kg/cm2
    // stay in a plausible band, but do move.
    EXPECT_GE(minTd, -20);
    EXPECT_LE(maxTd, 130);
    EXPECT_GT(maxTd - minTd, 10);
    EXPECT_GT(minPd, 300);
    EXPECT_LT(maxPd, 4000);
    EXPECT_GT(maxPd - minPd, 300);
    // The compressor and the slaves cycle.
    EXPECT_EQ(compressor, (std::set<std::string>{"On", "Off"}));
    EXPECT_GE(slaveSts.size(), 2u);
    EXPECT_GE(runModes.size(), 2u);
    // Faults come and go: entries for a fault and for the return to Normal.
    int toNormal = 0, toFault = 0;
    for (const auto& [list, e] : count.entries) (e.ends_with("Normal") ? toNormal : toFault)++;
    EXPECT_GE(toFault, 3);
    EXPECT_GE(toNormal, 3);
}

}  // namespace
}  // namespace orlix
