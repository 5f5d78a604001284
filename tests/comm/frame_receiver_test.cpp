#include "comm/frame_receiver.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <vector>

#include "base/log.h"
#include "test_frames.h"

namespace orlix {
namespace {

using test::data;
using test::frame;

struct Recorder : FrameObserver {
    std::vector<std::pair<int, bool>> seen;
    void onChecksum(int kind, bool good) override { seen.emplace_back(kind, good); }
};

class ReceiverTest : public ::testing::Test {
protected:
    FieldBoard board;
    LiveStore store;
    ManualClock clock{45000.5};
    FrameDecoder decoder{board, store, clock};
    FrameReceiver rx{decoder};
    Recorder rec;

    void feed(const std::vector<std::uint8_t>& bytes) { rx.onReceive(bytes, &rec); }
};

TEST_F(ReceiverTest, FrameInReadsOfTenBytesDecodesOnceAndCountsBytes) {
    const auto f = frame(0xA5, data({{9, 77}}));
    ASSERT_EQ(f.size(), 63u);
    std::vector<std::string> nums;
    for (std::size_t i = 0; i < f.size(); i += 10) {
        std::vector<std::uint8_t> part(f.begin() + static_cast<long>(i),
                                       f.begin() + static_cast<long>(std::min(f.size(), i + 10)));
        feed(part);
        nums.push_back(rx.numText());
    }
    EXPECT_EQ(rec.seen, (std::vector<std::pair<int, bool>>{{0, true}}));
    EXPECT_EQ(rx.checkText(), "Right");
    EXPECT_EQ(rx.checkColour(), (Rgb{80, 183, 80}));
    EXPECT_EQ(board[10].text, "77");
    // 8 data bytes after the first read, ten more per read, 61 at the end.
    EXPECT_EQ(nums, (std::vector<std::string>{"8", "18", "28", "38", "48", "58", "61"}));
    EXPECT_EQ(rx.RxState, 0);
    EXPECT_EQ(rx.RxChecksum, test::checksum(0xA5, data({{9, 77}})));
}

TEST_F(ReceiverTest, NothingShownBeforeTheFirstChecksum) {
    EXPECT_EQ(rx.checkText(), "");
    EXPECT_EQ(rx.numText(), "0");
    EXPECT_EQ(rx.FrameLength, 61);
    feed({0x00, 0x12, 0x55});
    EXPECT_EQ(rx.checkText(), "");
    EXPECT_EQ(rx.numText(), "0");
    EXPECT_EQ(rx.RxState, 1);
    EXPECT_EQ(rx.checksumCount(), 0u);
}

TEST_F(ReceiverTest, SecondStartByteOrWrongKindReturnsToHunting) {
    // 55 55 A5 ...: the second 0x55 is not a kind byte, so the A5 after it is
    // ignored and the whole frame is lost.
    std::vector<std::uint8_t> s{0x55};
    test::append(s, frame(0xA5, data({{9, 5}})));
    feed(s);
    EXPECT_TRUE(rec.seen.empty());
    EXPECT_EQ(board[10].text, "");
    EXPECT_EQ(rx.RxState, 0);

    feed({0x55, 0x00});
    EXPECT_EQ(rx.RxState, 0);
    feed(frame(0x5A, data({{16, 3}})));
    EXPECT_EQ(rec.seen, (std::vector<std::pair<int, bool>>{{1, true}}));
    EXPECT_EQ(board[116].text, "3");
}

TEST_F(ReceiverTest, WrongChecksumsAreRejectedAndChangeNothing) {
    const auto good = data({{9, 10}, {33, 0x04}, {34, 0xD2}});
    feed(frame(0xA5, good));
    ASSERT_EQ(board[54].text, "12.34kg");
    const auto before = store.LiveValues;
    board.takeWritten();

    // Sum without the kind byte.
    auto d = data({{9, 99}, {33, 1}});
    auto f = frame(0xA5, d);
    f.back() = static_cast<std::uint8_t>(f.back() - 0xA5);
    feed(f);
    // A 5A frame summed as if it were an A5 frame.
    d = data({{19, 100}});
    f = frame(0x5A, d);
    f.back() = test::checksum(0xA5, d);
    feed(f);

    EXPECT_EQ(rec.seen, (std::vector<std::pair<int, bool>>{{0, true}, {0, false}, {1, false}}));
    EXPECT_EQ(rx.checkText(), "Error");
    EXPECT_EQ(rx.checkColour(), (Rgb{255, 0, 0}));
    EXPECT_EQ(rx.numText(), "61");
    EXPECT_EQ(store.LiveValues, before);
    EXPECT_EQ(board[10].text, "10");
    EXPECT_TRUE(board.takeWritten().none());
}

TEST_F(ReceiverTest, BackToBackFramesInOneReadAreDecodedInOrder) {
    std::vector<std::uint8_t> s = frame(0x5A, data({{19, 64}}));
    test::append(s, frame(0xA5, data({{9, 1}})));
    test::append(s, frame(0xA5, data({{9, 2}})));
    feed(s);
    EXPECT_EQ(rec.seen, (std::vector<std::pair<int, bool>>{{1, true}, {0, true}, {0, true}}));
    EXPECT_EQ(board[119].text, "0");
    EXPECT_EQ(board[10].text, "2");
    EXPECT_EQ(rx.numText(), "61");
    EXPECT_EQ(rx.checksumCount(), 3u);
}

TEST_F(ReceiverTest, OtherPortEventMidFrameDiscardsTheFrame) {
    const auto f = frame(0xA5, data({{9, 42}}));
    feed(std::vector<std::uint8_t>(f.begin(), f.begin() + 30));
    EXPECT_EQ(rx.numText(), "28");
    rx.onPortEvent();
    EXPECT_EQ(rx.numText(), "0");
    EXPECT_EQ(rx.RxState, 0);
    // The rest of the interrupted frame is hunted through (all zero bytes).
    feed(std::vector<std::uint8_t>(f.begin() + 30, f.end() - 1));
    EXPECT_TRUE(rec.seen.empty());
    EXPECT_EQ(board[10].text, "");
    feed(f);
    EXPECT_EQ(rec.seen.size(), 1u);
    EXPECT_EQ(board[10].text, "42");
}

TEST_F(ReceiverTest, LostByteCostsThisFrameAndResyncsOnALaterOne) {
    auto shortFrame = frame(0xA5, data({{9, 1}}));
    shortFrame.erase(shortFrame.begin() + 20);  // one data byte lost on the line
    std::vector<std::uint8_t> s = shortFrame;
    // Its checksum lands as the last data byte and the next frame's 0x55 as
    // its checksum: Error. That next frame is lost too; the one after syncs.
    test::append(s, frame(0xA5, data({{9, 2}})));
    test::append(s, frame(0xA5, data({{9, 3}})));
    feed(s);
    ASSERT_EQ(rec.seen.size(), 2u);
    EXPECT_FALSE(rec.seen[0].second);
    EXPECT_TRUE(rec.seen[1].second);
    EXPECT_EQ(board[10].text, "3");
}

TEST_F(ReceiverTest, EmptyReadReportsTheCurrentCount) {
    const auto f = frame(0x5A, data({}));
    feed(std::vector<std::uint8_t>(f.begin(), f.begin() + 7));
    feed({});
    EXPECT_EQ(rx.numText(), "5");
}

// However a stream is cut into reads, the receiver sees the same frames and
// ends in the same state.
TEST(ReceiverSplits, AnySplitGivesTheSameResult) {
    std::mt19937 rng(7);
    std::vector<std::uint8_t> stream;
    for (int n = 0; n < 200; ++n) {
        test::Data d{};
        for (auto& b : d) b = static_cast<std::uint8_t>(rng());
        auto f = frame(n % 2 ? 0x5A : 0xA5, d);
        if (rng() % 7 == 0) f[5 + rng() % 50] ^= 0x10;   // corrupt
        if (rng() % 11 == 0) f.erase(f.begin() + 30);   // lose a byte
        test::append(stream, f);
        if (rng() % 5 == 0) stream.push_back(static_cast<std::uint8_t>(rng()));  // noise
    }

    auto run = [&](auto&& split) {
        FieldBoard board;
        LiveStore store;
        ManualClock clock;
        FrameDecoder dec(board, store, clock);
        FrameReceiver rx(dec);
        Recorder rec;
        std::size_t at = 0;
        while (at < stream.size()) {
            std::size_t n = std::min(stream.size() - at, split());
            rx.onReceive(std::span(stream).subspan(at, n), &rec);
            at += n;
        }
        std::vector<std::string> texts;
        for (int i = 0; i < FieldBoard::kFieldCount; ++i) texts.push_back(board[i].text);
        return std::tuple(rec.seen, texts, store.LiveValues, rx.RxState, rx.RxByteCount, rx.FrameBuffer);
    };
    const auto whole = run([] { return std::size_t{1} << 30; });
    EXPECT_GT(std::get<0>(whole).size(), 150u);
    EXPECT_EQ(run([] { return std::size_t{1}; }), whole);
    EXPECT_EQ(run([] { return std::size_t{10}; }), whole);
    std::mt19937 cut(3);
    EXPECT_EQ(run([&] { return std::size_t{cut() % 140}; }), whole);
}

TEST_F(ReceiverTest, StateOutsideTheMachineRestartsTheHunt) {
    rx.RxState = 500;
    rx.FrameLength = 1000;  // would overrun the buffer; the bus length is used
    feed(frame(0xA5, data({{9, 8}})));
    EXPECT_EQ(board[10].text, "8");
}

struct ThrowingObserver : FrameObserver {
    std::vector<bool> seen;
    void onChecksum(int, bool good) override {
        seen.push_back(good);
        if (seen.size() % 3 != 0) throw std::runtime_error("receiver test observer broke");
    }
};

std::vector<std::string> gLogLines;
void captureLog(std::string_view, log::Level, std::string_view message) { gLogLines.emplace_back(message); }

// An observer that throws does not stop the read: every later frame is still
// taken and decoded. Its failure is logged with its cause, once.
TEST_F(ReceiverTest, ThrowingObserverIsLoggedOnceAndTheReadGoesOn) {
    ThrowingObserver obs;
    std::vector<std::uint8_t> s;
    for (int n = 1; n <= 5; ++n) test::append(s, frame(0xA5, data({{9, n}})));
    gLogLines.clear();
    log::setSink(captureLog);
    rx.onReceive(s, &obs);
    log::setSink(nullptr);
    EXPECT_EQ(obs.seen, (std::vector<bool>{true, true, true, true, true}));
    EXPECT_EQ(board[10].text, "5");
    EXPECT_EQ(rx.checksumCount(), 5u);
    ASSERT_EQ(gLogLines.size(), 1u);
    EXPECT_EQ(gLogLines[0].rfind("frame observer failed: receiver test observer broke", 0), 0u) << gLogLines[0];
}

}  // namespace
}  // namespace orlix
