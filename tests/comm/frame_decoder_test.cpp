#include "comm/frame_decoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <set>
#include <stdexcept>
#include <vector>

#include "base/log.h"
#include "test_frames.h"

namespace orlix {
namespace {

using test::buffer;
using test::data;

struct ListSink : ErrorMemorySink {
    std::vector<std::pair<int, std::string>> entries;
    void addErrorEntry(int list, const std::string& entry) override { entries.emplace_back(list, entry); }
};

class DecoderTest : public ::testing::Test {
protected:
    FieldBoard board;
    LiveStore store;
    ManualClock clock{makeDateTime({2026, 12, 8, 10, 23, 45})};
    ListSink sink;
    FrameDecoder dec{board, store, clock, &sink};

    void SetUp() override {
        for (int n = 0; n < 3; ++n) store.FaultStatus[static_cast<std::size_t>(n)] = "Normal";
    }
    void a5(const test::Data& d) { dec.decodeA5(buffer(d)); }
    void x5a(const test::Data& d) { dec.decode5A(buffer(d)); }
    std::string text(int i) const { return board[i].text; }
    std::optional<Rgb> colour(int i) const { return board[i].colour; }
};

constexpr Rgb kOn{0, 0, 255};

TEST_F(DecoderTest, SensorFaultChain) {
    a5(data({{1, 0x80}}));
    EXPECT_EQ(text(0), "Tk3");
    EXPECT_EQ(colour(0), kRed);
    a5(data({{1, 0x81}}));
    EXPECT_EQ(text(0), "Te...");
    a5(data({{1, 0x0C}}));
    EXPECT_EQ(text(0), "Td...");
    a5(data({{1, 0x10}}));
    EXPECT_EQ(text(0), "Toil");
    a5(data({{1, 0}}));
    EXPECT_EQ(text(0), "Normal");
    EXPECT_EQ(colour(0), kBlack);
}

TEST_F(DecoderTest, ErrorAndComErrorShareOneByte) {
    a5(data({{2, 0x31}}));
    EXPECT_EQ(text(1), "EEPROM");
    EXPECT_EQ(colour(1), kRed);
    EXPECT_EQ(text(2), "Normal");
    EXPECT_EQ(colour(2), kBlack);
    a5(data({{2, 0x0E}}));
    EXPECT_EQ(text(1), "Normal");
    EXPECT_EQ(colour(1), kBlack);
    EXPECT_EQ(text(2), "To 840");
    EXPECT_EQ(colour(2), kRed);
    a5(data({{2, 0x38}}));
    EXPECT_EQ(text(1), "4WV");
    EXPECT_EQ(text(2), "To out807");
}

TEST_F(DecoderTest, ProtectionChainOverTwoBytes) {
    struct Case { int d3, d5; const char* text; };
    for (const Case& c : {Case{0, 0, "Normal"}, Case{0, 0x08, "Others"}, Case{0x02, 0xFF, "AC_err"},
                          Case{0x80, 0, "CompCoil"}, Case{0, 0x01, "MisMatch"}, Case{0, 0x40, "HPS"},
                          Case{0, 0x02, "HPS"}, Case{0, 0x80, "LPS"}, Case{0, 0x38, "Others"},
                          Case{0, 0x84, "LPS"}}) {
        a5(data({{3, c.d3}, {5, c.d5}}));
        EXPECT_EQ(text(3), c.text) << c.d3 << "/" << c.d5;
        EXPECT_EQ(colour(3), std::string(c.text) == "Normal" ? kBlack : kRed);
    }
}

TEST_F(DecoderTest, ModesFlagsAndColours) {
    a5(data({{6, 0x5A}, {7, 2}, {8, 0}, {12, 0x04}, {22, 1}, {23, 0x1C}, {25, 0x40}, {26, 0x09}}));
    EXPECT_EQ(text(4), "On");   // bit 1
    EXPECT_EQ(text(5), "On");   // bit 3
    EXPECT_EQ(text(6), "On");   // bit 4
    EXPECT_EQ(text(7), "On");   // bit 6
    EXPECT_EQ(colour(7), kOn);
    EXPECT_EQ(text(8), "Cool");
    EXPECT_EQ(colour(8), kBlue);
    EXPECT_EQ(text(9), "Off");
    EXPECT_EQ(colour(9), kBlue);  // RecvMode is blue whatever it shows
    EXPECT_EQ(text(13), "8");
    EXPECT_EQ(text(43), "On");
    EXPECT_EQ(colour(43), kOn);
    EXPECT_EQ(text(44), "Yes");
    EXPECT_EQ(text(45), "Yes");
    EXPECT_EQ(colour(45), kRed);
    EXPECT_EQ(text(46), "Yes");
    EXPECT_FALSE(colour(46).has_value());
    EXPECT_EQ(text(48), "Yes");
    EXPECT_EQ(text(49), "Yes");
    EXPECT_EQ(text(50), "Yes");
    EXPECT_EQ(colour(50), kRed);

    a5(data({{6, 0xA5}, {7, 5}, {12, 0x0C}}));
    EXPECT_EQ(text(4), "Off");
    EXPECT_EQ(colour(4), kBlack);
    EXPECT_EQ(text(8), "Off");
    EXPECT_EQ(colour(8), kBlack);
    EXPECT_EQ(text(13), "10");
    EXPECT_EQ(text(43), "Off");
    EXPECT_EQ(colour(43), kRed);
    EXPECT_EQ(text(44), "No");
    EXPECT_EQ(text(45), "Off");  // CoolRecycle's clear text is "Off"
    EXPECT_EQ(colour(45), kBlack);
}

TEST_F(DecoderTest, NumbersPressuresCurrentAndTimes) {
    a5(data({{9, 255}, {27, 0x01}, {28, 0x02}, {31, 0x04}, {32, 0xB0}, {33, 0x00}, {34, 0x05},
             {35, 12}, {36, 5}, {37, 0}, {38, 200}, {39, 0x0E}, {40, 0x8D}, {46, 0xFF}, {47, 0xFF},
             {48, 200}, {49, 127}, {50, 0xFF}, {51, 0xFF}}));
    EXPECT_EQ(text(10), "255");
    EXPECT_EQ(text(51), "258");
    EXPECT_EQ(text(53), "12kg");
    EXPECT_EQ(text(54), "0.05kg");
    EXPECT_EQ(text(55), "0.5A/1.2A");
    EXPECT_EQ(text(56), "-64");
    EXPECT_EQ(text(57), "136");
    EXPECT_EQ(text(58), "01:02:05");
    EXPECT_EQ(text(62), "65535");
    EXPECT_EQ(text(63), "-56");
    EXPECT_EQ(text(64), "127");
    EXPECT_EQ(text(151), "18:12:15");
    EXPECT_EQ(text(152), "00:00:00");
    EXPECT_FALSE(colour(10).has_value());
    EXPECT_EQ(store.LiveValues[8], 12 * 256 + 5);
    EXPECT_EQ(store.LiveValues[18], -64);
    EXPECT_EQ(store.LiveValues[1], 1200);
    a5(data({{31, 0x04}, {32, 0xD2}, {35, 0}, {36, 100}}));
    EXPECT_EQ(text(53), "12.34kg");
    EXPECT_EQ(text(55), "10A/0A");
}

// Over every input value the number fields read as the text rules give them,
// here formed by the C library.
TEST_F(DecoderTest, NumberFieldsOverEveryValue) {
    auto printed = [](const char* format, auto... v) {
        char buf[64];
        std::snprintf(buf, sizeof buf, format, v...);
        return std::string(buf);
    };
    for (unsigned v = 0; v < 65536; ++v) {
        const int hi = static_cast<int>(v >> 8), lo = static_cast<int>(v & 0xFF);
        a5(data({{27, hi}, {28, lo}, {31, hi}, {32, lo}, {39, hi}, {40, lo}, {35, hi}, {36, lo},
                 {9, lo}, {37, lo}, {48, lo}}));
        ASSERT_EQ(text(51), printed("%u", v)) << v;
        ASSERT_EQ(text(53), printed("%.15gkg", v / 100.0)) << v;
        ASSERT_EQ(text(58), printed("%02u:%02u:%02u", v / 3600, v % 3600 / 60, v % 60)) << v;
        ASSERT_EQ(text(55), printed("%.15gA/%.15gA", lo / 10.0, hi / 10.0)) << v;
        if (hi != 0) continue;
        ASSERT_EQ(text(10), printed("%d", lo)) << v;
        ASSERT_EQ(text(56), printed("%d", lo - 64)) << v;
        ASSERT_EQ(text(63), printed("%d", static_cast<std::int8_t>(lo))) << v;
        x5a(data({{27, lo}, {30, lo}}));
        const long p = std::lround((160.0 * lo - 4083.0) / 25.0);
        ASSERT_EQ(text(127), p < 0 ? "0kg" : printed("%.15gkg", p / 100.0)) << v;
        ASSERT_EQ(text(130), std::string((lo & 0x80) ? ">Ps" : "Nl") + ((lo & 0x40) ? "/Qt" : "/Nl")) << v;
    }
}

TEST_F(DecoderTest, FanClasses) {
    a5(data({{43, 0}, {44, 0}}));
    EXPECT_EQ(text(59), "No");
    EXPECT_EQ(colour(59), kBlack);
    EXPECT_EQ(text(60), "Stop");
    a5(data({{43, 1}, {44, 1}}));
    EXPECT_EQ(text(59), "Stop");
    EXPECT_EQ(text(60), "Stop");
    a5(data({{43, 7}, {44, 255}}));
    EXPECT_EQ(text(59), "Class_7");
    EXPECT_EQ(colour(59), kOn);
    EXPECT_EQ(text(60), "Class_255");
    EXPECT_EQ(store.LiveValues[15], 255);
    x5a(data({{47, 1}}));
    EXPECT_EQ(text(147), "Stop");
    EXPECT_EQ(colour(147), kBlack);
    x5a(data({{47, 3}}));
    EXPECT_EQ(text(147), "Class3");
    EXPECT_EQ(colour(147), kOn);
}

TEST_F(DecoderTest, HzProtect) {
    struct Case { int v; const char* text; };
    for (const Case& c : {Case{0, "None"}, Case{0x20, "None"}, Case{0xA0, "None"}, Case{0x40, "F_Ps3"},
                          Case{0x06, "F_Ps"}, Case{0x18, "F_AC"}, Case{0x10, "F_Spit"}}) {
        a5(data({{21, c.v}}));
        EXPECT_EQ(text(42), c.text) << c.v;
        EXPECT_EQ(colour(42), std::string(c.text) == "None" ? kBlack : kRed);
    }
}

TEST_F(DecoderTest, SlaveStatusAndAcknowledgeBytes) {
    // Slave 1 status 0xC6: Cap 2, STS 4, CMD 0, COM bit 6, LST bit 7.
    a5(data({{13, 0xC6}, {14, 0x84}, {15, 0x3D}, {16, 0x30}, {17, 0x0B}, {18, 0x20}, {19, 0xC6}}));
    EXPECT_EQ(text(14), "100%");
    EXPECT_EQ(text(15), "60% On");
    EXPECT_EQ(text(16), "Off");
    EXPECT_EQ(text(17), "No");
    EXPECT_EQ(colour(17), kRed);
    EXPECT_EQ(text(18), "On");
    EXPECT_EQ(text(19), "100% On_ack");
    EXPECT_EQ(text(20), "Yes");
    // Slave 2 status 0x3D: Cap 1, STS 12, CMD 0x30, COM clear, LST clear.
    EXPECT_EQ(text(21), "0%");
    EXPECT_EQ(text(22), "100% On");
    EXPECT_EQ(text(23), "100% On");
    EXPECT_EQ(text(24), "Yes");
    EXPECT_EQ(colour(24), kOn);
    EXPECT_EQ(text(25), "Off");
    EXPECT_EQ(text(26), "50% On_ack");
    EXPECT_EQ(text(27), "No");
    // Slave 3 status 0x0B: Cap 3, STS 8.
    EXPECT_EQ(text(28), "0%");
    EXPECT_EQ(text(29), "Off");
    EXPECT_EQ(text(33), "50% Off_ack");
    // Slave 4 is shown like the others but not stored.
    EXPECT_EQ(text(35), "100%");
    EXPECT_EQ(text(38), "No");
    EXPECT_EQ(text(40), "none");
    EXPECT_EQ(store.LiveValues[11], 4);
    EXPECT_EQ(store.LiveValues[12], 12);
    EXPECT_EQ(store.LiveValues[13], 8);

    a5(data({}));
    EXPECT_EQ(text(19), "0%");    // slave 1's fallback
    EXPECT_EQ(text(26), "none");  // the other slaves'
    EXPECT_EQ(text(16), "Off");
    EXPECT_EQ(text(14), "60%");
}

TEST_F(DecoderTest, OutputBytesOfTheFiveAFrame) {
    x5a(data({{0, 0x81}, {1, 0x80}, {2, 0x02}, {8, 0xFF}}));
    for (int f = 65; f <= 72; ++f) {
        const bool on = f == 65 || f == 72;
        EXPECT_EQ(text(f), on ? "On" : "Off") << f;
        EXPECT_EQ(colour(f), on ? kOn : kBlack) << f;
    }
    EXPECT_EQ(text(80), "On");
    EXPECT_EQ(text(82), "On");
    EXPECT_EQ(text(81), "Off");
    EXPECT_EQ(text(112), "On");
    EXPECT_EQ(store.LiveValues[16], 129);
    EXPECT_EQ(store.LiveValues[26], 2);
}

TEST_F(DecoderTest, TemperaturesPressuresAndFlagsOfTheFiveAFrame) {
    x5a(data({{10, 1}, {11, 44}, {14, 0xFF}, {15, 0xFF}, {19, 0}, {20, 64}, {21, 255}, {27, 100},
              {30, 0xC0}, {32, 26}, {35, 0x80}, {37, 25}, {40, 0x40}, {42, 205}, {48, 128}, {49, 0xA0},
              {52, 0x0E}, {53, 0x8D}, {56, 1}, {57, 0}}));
    EXPECT_EQ(text(113), "300");
    EXPECT_EQ(text(115), "65535");
    EXPECT_EQ(text(119), "-64");
    EXPECT_EQ(text(120), "0");
    EXPECT_EQ(text(121), "191");
    EXPECT_EQ(text(127), "4.77kg");
    EXPECT_EQ(text(130), ">Ps/Qt");
    EXPECT_EQ(text(132), "0.03kg");
    EXPECT_EQ(text(135), ">Ps/Nl");
    EXPECT_EQ(text(137), "0kg");
    EXPECT_EQ(text(140), "Nl/Qt");
    EXPECT_EQ(text(142), "11.49kg");
    EXPECT_EQ(text(145), "Nl/Nl");
    EXPECT_EQ(text(148), "-128");
    EXPECT_EQ(text(149), "On");
    EXPECT_EQ(colour(149), kBlue);
    EXPECT_EQ(text(150), "60HZ");
    EXPECT_EQ(colour(150), kPurple);
    EXPECT_EQ(text(154), "01:02:05");
    EXPECT_EQ(text(158), "256");
    EXPECT_EQ(store.LiveValues[2], -64);
    EXPECT_EQ(store.LiveValues[10], 65535);
    EXPECT_EQ(store.LiveValues[14], 300);
    EXPECT_EQ(store.LiveValues[23], 100);  // the raw byte, not the pressure
    EXPECT_EQ(store.LiveValues[33], 26);
    EXPECT_EQ(store.LiveValues[45], 256);
    x5a(data({{27, 255}, {49, 0}}));
    EXPECT_EQ(text(127), "14.69kg");
    EXPECT_EQ(text(149), "Off");
    EXPECT_EQ(colour(149), kBlack);
    EXPECT_EQ(text(150), "50HZ");
    EXPECT_EQ(colour(150), kPurple);
}

TEST_F(DecoderTest, OnColorIsReadAtDecodeTime) {
    dec.OnColor = Rgb{1, 2, 3};
    a5(data({{22, 1}}));
    EXPECT_EQ(colour(43), (Rgb{1, 2, 3}));
    dec.OnColor = Rgb{9, 9, 9};
    a5(data({{22, 1}}));  // same bytes: the new colour must still reach the field
    EXPECT_EQ(colour(43), (Rgb{9, 9, 9}));
}

// Each frame kind writes exactly its own live entries; the rest stay put.
TEST_F(DecoderTest, LiveStoreIsolationBetweenKinds) {
    EXPECT_EQ(store.LiveValues, (std::array<std::int32_t, 52>{}));
    const std::set<int> a5Slots{0, 1, 7, 8, 9, 11, 12, 13, 15, 18, 19, 25, 35};
    const std::set<int> x5aSlots{2,  3,  4,  5,  6,  10, 14, 16, 20, 21, 22, 23, 24, 26,
                                 30, 31, 32, 33, 34, 36, 40, 41, 42, 43, 44, 45, 46};
    std::mt19937 rng(11);
    for (int round = 0; round < 50; ++round) {
        const bool isA5 = round % 2 == 0;
        store.LiveValues.fill(-12345);
        test::Data d{};
        for (auto& b : d) b = static_cast<std::uint8_t>(rng());
        isA5 ? a5(d) : x5a(d);
        const auto& slots = isA5 ? a5Slots : x5aSlots;
        for (int i = 0; i < 52; ++i) {
            const bool written = store.LiveValues[static_cast<std::size_t>(i)] != -12345;
            EXPECT_EQ(written, slots.count(i) == 1) << "slot " << i << (isA5 ? " A5" : " 5A");
        }
    }
}

TEST_F(DecoderTest, ErrorMemoryRecordsEveryChangeOnce) {
    a5(data({}));  // still "Normal": nothing recorded
    EXPECT_TRUE(sink.entries.empty());
    EXPECT_EQ(store.PrevFaultStatus[0], "Normal");

    a5(data({{2, 0x01}}));
    a5(data({{2, 0x01}}));  // a repeat adds nothing
    clock.advanceSeconds(75);
    a5(data({{2, 0x02}, {3, 0x04}}));  // EEPROM -> Normal, Com and Protect change
    a5(data({{2, 0x02}, {3, 0x04}, {1, 0xFF}}));
    const std::vector<std::pair<int, std::string>> want{
        {0, "10:23:45EEPROM"}, {0, "10:25:00Normal"}, {1, "10:25:00To 840"}, {2, "10:25:00TD110_err"}};
    EXPECT_EQ(sink.entries, want);
    EXPECT_EQ(store.FaultStatus[0], "Normal");
    EXPECT_EQ(store.PrevFaultStatus[1], "To 840");
    EXPECT_EQ(store.FaultStatus[2], "TD110_err");
    EXPECT_EQ(store.FaultStatus[3], "");

    x5a(data({{0, 0xFF}}));  // 5A frames never touch the error memory
    EXPECT_EQ(sink.entries.size(), 4u);
}

// The time text follows the clock to the nearest second, forwards and back.
TEST_F(DecoderTest, ErrorMemoryTimeFollowsTheClockBetweenFrames) {
    const auto fault = data({{2, 0x01}});
    const auto normal = data({});
    a5(fault);                    // 10:23:45.0
    clock.advanceSeconds(0.4);    // 10:23:45.4: still second 45
    a5(normal);
    clock.advanceSeconds(0.2);    // 10:23:45.6: rounds to 46
    a5(fault);
    clock.advanceSeconds(-1.2);   // 10:23:44.4: back to 44
    a5(normal);
    clock.advanceSeconds(86400);  // the next day, the same time of day
    a5(fault);
    clock.set(makeDateTime({2026, 12, 8, 23, 59, 59}) + secondsToDays(0.7));  // rounds into the next day
    a5(normal);
    const std::vector<std::pair<int, std::string>> want{
        {0, "10:23:45EEPROM"}, {0, "10:23:45Normal"}, {0, "10:23:46EEPROM"},
        {0, "10:23:44Normal"}, {0, "10:23:44EEPROM"}, {0, "00:00:00Normal"}};
    EXPECT_EQ(sink.entries, want);
}

TEST_F(DecoderTest, ErrorMemoryWithoutSinkStillTracksStatus) {
    dec.setErrorSink(nullptr);
    a5(data({{2, 0x20}}));
    EXPECT_EQ(store.FaultStatus[0], "SlaveLost");
    EXPECT_EQ(store.PrevFaultStatus[0], "Normal");
    EXPECT_TRUE(sink.entries.empty());
}

// Each frame writes every field of its kind, changed or not: a field the
// window emptied ("Cls") or the user typed over gets its decoded text back.
TEST_F(DecoderTest, EveryFrameWritesEveryFieldOfItsKind) {
    EXPECT_TRUE(board.takeWritten().none());
    const auto d = data({{9, 5}, {2, 1}});
    const auto e = data({{19, 70}});
    a5(d);
    const auto a5Fields = board.takeWritten();
    EXPECT_TRUE(board.takeWritten().none());  // taking resets the record
    x5a(e);
    const auto x5aFields = board.takeWritten();
    EXPECT_EQ(a5Fields.count(), 70u);
    EXPECT_EQ(x5aFields.count(), 90u);
    EXPECT_TRUE((a5Fields & x5aFields).none());
    EXPECT_TRUE((a5Fields | x5aFields).all());

    a5(d);  // the same bytes again
    EXPECT_EQ(board.takeWritten(), a5Fields);
    EXPECT_EQ(text(10), "5");
    EXPECT_EQ(text(1), "EEPROM");
    EXPECT_EQ(colour(1), kRed);
    x5a(e);
    EXPECT_EQ(board.takeWritten(), x5aFields);
    EXPECT_EQ(text(119), "6");
    EXPECT_EQ(sink.entries.size(), 1u);  // EEPROM once
}

TEST_F(DecoderTest, FieldsOutsideTheBoardReadEmpty) {
    a5(data({{1, 0x80}}));
    EXPECT_EQ(board[-1].text, "");
    EXPECT_EQ(board[160].text, "");
    EXPECT_FALSE(board[160].colour.has_value());
    EXPECT_EQ(board[0].text, "Tk3");
}

struct ThrowingSink : ErrorMemorySink {
    int calls = 0;
    bool fail = true;
    std::vector<std::string> taken;
    void addErrorEntry(int, const std::string& entry) override {
        ++calls;
        if (fail) throw std::runtime_error("decoder test list is gone");
        taken.push_back(entry);
    }
};

std::vector<std::string> gLogLines;
void captureLog(std::string_view category, log::Level, std::string_view message) {
    gLogLines.push_back(std::string(category) + ": " + std::string(message));
}

// A list that throws loses its entries but not the frame: fields, status and
// the later entries go on. The failure is logged with its cause, once; the
// repeats are only counted.
TEST_F(DecoderTest, FailingErrorListIsLoggedOnceAndSkipped) {
    ThrowingSink failing;
    dec.setErrorSink(&failing);
    gLogLines.clear();
    log::setSink(captureLog);
    a5(data({{2, 0x01}, {3, 0x01}}));  // Error and ProtectErr change
    a5(data({{2, 0x10}, {3, 0x02}}));
    EXPECT_EQ(failing.calls, 4);
    EXPECT_EQ(text(1), "4WV");
    EXPECT_EQ(store.FaultStatus[0], "4WV");
    EXPECT_EQ(store.FaultStatus[2], "AC_err");
    failing.fail = false;
    a5(data({{2, 0x20}}));
    EXPECT_EQ(failing.taken, (std::vector<std::string>{"10:23:45SlaveLost", "10:23:45Normal"}));
    log::setSink(nullptr);
    ASSERT_EQ(gLogLines.size(), 1u);
    EXPECT_EQ(gLogLines[0].rfind("orlix.comm: error-memory entry failed: decoder test list is gone", 0), 0u)
        << gLogLines[0];
}

// A decoder that keeps going skips the rows whose bytes did not change; it
// must give exactly what a decoder seeing each frame first gives: the same
// texts, colours, written marks, live values and error entries.
TEST(DecoderSkip, SkippingUnchangedRowsMatchesFormingEveryRow) {
    ManualClock clock(46000.25);
    FieldBoard keptBoard;
    LiveStore keptStore, freshStore;
    ListSink keptSink, freshSink;
    for (auto* s : {&keptStore, &freshStore})
        for (int n = 0; n < 3; ++n) s->FaultStatus[static_cast<std::size_t>(n)] = "Normal";
    FrameDecoder kept(keptBoard, keptStore, clock, &keptSink);

    std::mt19937 rng(2024);
    test::Data a{}, b{};
    for (int n = 0; n < 4000; ++n) {
        const bool isA5 = rng() % 2 == 0;
        test::Data& d = isA5 ? a : b;
        const int changes = rng() % 8 == 0 ? 60 : static_cast<int>(rng() % 4);
        for (int c = 0; c < changes; ++c) {
            // Mostly single bits, so the chains and flags flip back and forth.
            auto& byte = d[rng() % 60];
            byte = rng() % 3 ? static_cast<std::uint8_t>(byte ^ (1u << (rng() % 8)))
                             : static_cast<std::uint8_t>(rng());
        }
        const Rgb on = rng() % 53 == 0 ? Rgb{10, 20, 30} : Rgb{0, 0, 255};
        kept.OnColor = on;
        FieldBoard freshBoard;
        FrameDecoder fresh(freshBoard, freshStore, clock, &freshSink);
        fresh.OnColor = on;
        const auto buf = buffer(d);
        if (isA5) {
            kept.decodeA5(buf);
            fresh.decodeA5(buf);
        } else {
            kept.decode5A(buf);
            fresh.decode5A(buf);
        }
        clock.advanceSeconds(1);
        const auto written = freshBoard.takeWritten();
        ASSERT_EQ(keptBoard.takeWritten(), written) << "frame " << n;
        for (int i = 0; i < FieldBoard::kFieldCount; ++i) {
            if (!written.test(static_cast<std::size_t>(i))) continue;
            ASSERT_EQ(keptBoard[i].text, freshBoard[i].text) << "frame " << n << " field " << i;
            ASSERT_EQ(keptBoard[i].colour, freshBoard[i].colour) << "frame " << n << " field " << i;
        }
        ASSERT_EQ(keptStore.LiveValues, freshStore.LiveValues);
        ASSERT_EQ(keptStore.FaultStatus, freshStore.FaultStatus);
        ASSERT_EQ(keptStore.PrevFaultStatus, freshStore.PrevFaultStatus);
    }
    EXPECT_EQ(keptSink.entries, freshSink.entries);
    EXPECT_GT(keptSink.entries.size(), 20u);
}

TEST(DecoderInput, OutOfRangeBufferEntriesAreTakenModulo256) {
    FieldBoard board;
    LiveStore store;
    ManualClock clock;
    FrameDecoder dec(board, store, clock);
    std::array<std::int16_t, 81> buf{};
    buf[9] = 256 + 7;
    buf[19] = -1;
    dec.decodeA5(buf);
    dec.decode5A(buf);
    EXPECT_EQ(board[10].text, "7");
    EXPECT_EQ(board[119].text, "191");
}

}  // namespace
}  // namespace orlix
