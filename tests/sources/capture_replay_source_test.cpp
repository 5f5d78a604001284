// A bus capture played as a byte source on the program clock: real files,
// the real event loop.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "scratch_dir.h"
#include "capture/capture_reader.h"
#include "capture/capture_writer.h"
#include "sources/capture_replay_source.h"
#include "sources/replay_clock.h"

namespace orlix {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

void ensureApp() {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "sources_tests";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
}

bool waitUntil(const std::function<bool()>& done, int ms) {
    for (int waited = 0; waited < ms; waited += 5) {
        if (done()) return true;
        QTest::qWait(5);
    }
    return done();
}

struct Scratch : test::ScratchDir {
    Scratch() : ScratchDir("orlix_replay") {}
};

// The normal program clock: a fixed time (far from any capture's), running
// at scale K.
class FixedClock final : public Clock {
public:
    explicit FixedClock(double k) : k_(k) {}
    DateTime now() const override { return 1000.0; }
    double timeScale() const override { return k_; }

private:
    double k_;
};

constexpr std::int64_t kT0 = 1'780'000'000'000'000;  // a capture's start, Unix microseconds
constexpr std::int64_t kMs = 1000;

struct Rec {
    std::int64_t us;
    Bytes bytes;  // empty: a port event
};

void writeCapture(const std::string& path, const std::vector<Rec>& recs) {
    CaptureWriter w(path);
    for (const Rec& r : recs) {
        if (r.bytes.empty()) ASSERT_TRUE(w.writeEvent(r.us));
        else ASSERT_TRUE(w.write(r.us, r.bytes));
    }
    w.close();
}

// What a replay delivered, in order, each with the capture time it came at.
struct Seen {
    enum Kind { Read, Other, Lost, Tick };
    Kind kind;
    std::int64_t us;
    Bytes bytes;
    bool operator==(const Seen&) const = default;
};

struct ReplayRig final : ReadListener {
    explicit ReplayRig(double k) : normal(k), clock(normal), scale(k) {
        ensureApp();
        clock.setSampleTick([this] { seen.push_back({Seen::Tick, clock.captureNowUs(), {}}); });
    }
    // The source that plays `path`, listened to by the rig.
    CaptureReplaySource& play(const std::string& path, int endQuietMs) {
        port = std::make_unique<CaptureReplaySource>(path, &clock, scale);
        port->setEndQuietMs(endQuietMs);
        port->addListener(this);
        return *port;
    }
    void onRead(std::span<const std::uint8_t> bytes) override {
        seen.push_back({Seen::Read, clock.captureNowUs(), {bytes.begin(), bytes.end()}});
    }
    void onPortEvent(PortTrouble t) override {
        seen.push_back({t == PortTrouble::Lost ? Seen::Lost : Seen::Other, clock.captureNowUs(), {}});
        if (t == PortTrouble::Lost) port->close();
    }
    bool ended() const { return !seen.empty() && seen.back().kind == Seen::Lost; }
    std::size_t reads() const {
        return static_cast<std::size_t>(std::count_if(seen.begin(), seen.end(), [](const Seen& s) { return s.kind == Seen::Read; }));
    }
    FixedClock normal;
    ReplayClock clock;
    double scale;
    std::unique_ptr<CaptureReplaySource> port;
    std::vector<Seen> seen;
};

TEST(CaptureReplaySource, ReleasesRecordsAtTheirTimesWithEventsAndTicksOnTheCaptureClock) {
    Scratch dir;
    const std::string cap = dir.file("bus.pcap");
    writeCapture(cap, {{kT0, {1, 2}},
                       {kT0 + 100 * kMs, {3}},
                       {kT0 + 200 * kMs, {}},
                       {kT0 + 4000 * kMs, {4, 5}},  // at a tick instant: the record comes first
                       {kT0 + 9000 * kMs, {6}}});
    ReplayRig rig(100.0);
    rig.play(cap, 300);
    EXPECT_FALSE(rig.clock.replaying());
    EXPECT_EQ(rig.clock.now(), 1000.0);  // the normal clock while nothing replays
    EXPECT_FALSE(rig.clock.ticksElsewhere());

    QElapsedTimer real;
    real.start();
    ASSERT_EQ(rig.port->open(), OpenResult::Ok);
    EXPECT_EQ(rig.port->open(), OpenResult::AlreadyOpen);
    ASSERT_TRUE(waitUntil([&] { return rig.clock.replaying(); }, 2000));
    EXPECT_TRUE(rig.clock.ticksElsewhere());
    ASSERT_TRUE(waitUntil([&] { return rig.ended(); }, 10000));
    // 9 s of capture at scale 100: 90 ms at least, not all at once.
    EXPECT_GE(real.elapsed(), 85);

    const std::vector<Seen> expected = {
        {Seen::Read, kT0, {1, 2}},
        {Seen::Read, kT0 + 100 * kMs, {3}},
        {Seen::Other, kT0 + 200 * kMs, {}},
        {Seen::Read, kT0 + 4000 * kMs, {4, 5}},
        {Seen::Tick, kT0 + 4000 * kMs, {}},
        {Seen::Tick, kT0 + 8000 * kMs, {}},
        {Seen::Read, kT0 + 9000 * kMs, {6}},
    };
    ASSERT_EQ(rig.seen.size(), expected.size() + 1);
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(rig.seen[i], expected[i]) << i;
    EXPECT_EQ(rig.seen.back().kind, Seen::Lost);
    EXPECT_TRUE(rig.port->atEnd());
    EXPECT_EQ(rig.port->recordsPlayed(), 5u);
    // Over: the normal clock again, and the windows take their ticks.
    EXPECT_FALSE(rig.clock.replaying());
    EXPECT_EQ(rig.clock.now(), 1000.0);
    EXPECT_FALSE(rig.clock.ticksElsewhere());
}

TEST(CaptureReplaySource, StopPausesStartResumesAndAfterTheEndStartPlaysItAgain) {
    Scratch dir;
    const std::string cap = dir.file("day.pcap");
    std::vector<Rec> recs;
    for (int i = 0; i < 30; ++i) recs.push_back({kT0 + i * 1000 * kMs, {static_cast<std::uint8_t>(i)}});
    writeCapture(cap, recs);
    ReplayRig rig(20.0);  // a record every 50 ms
    rig.play(cap, 200);
    ASSERT_EQ(rig.port->open(), OpenResult::Ok);
    ASSERT_TRUE(waitUntil([&] { return rig.reads() >= 8; }, 5000));
    ASSERT_TRUE(rig.port->close());
    const std::size_t readsAtPause = rig.reads();
    const std::int64_t heldAt = rig.clock.captureNowUs();
    QTest::qWait(300);  // six records' time
    EXPECT_EQ(rig.reads(), readsAtPause);
    EXPECT_EQ(rig.clock.captureNowUs(), heldAt);  // the time stands while paused
    EXPECT_TRUE(rig.clock.replaying());
    EXPECT_TRUE(rig.clock.ticksElsewhere());  // no ticks of the windows' own either

    ASSERT_EQ(rig.port->open(), OpenResult::Ok);
    ASSERT_TRUE(waitUntil([&] { return rig.ended(); }, 10000));
    // Every record once, in order, at its own time; the clock never went back.
    std::vector<std::uint8_t> order;
    std::int64_t last = 0;
    for (const Seen& s : rig.seen) {
        EXPECT_GE(s.us, last);
        last = s.us;
        if (s.kind != Seen::Read) continue;
        ASSERT_EQ(s.bytes.size(), 1u);
        EXPECT_EQ(s.us, kT0 + s.bytes[0] * 1000 * kMs);
        order.push_back(s.bytes[0]);
    }
    ASSERT_EQ(order.size(), 30u);
    for (std::size_t i = 0; i < order.size(); ++i) EXPECT_EQ(order[i], i);

    // Start after the end plays the capture from the top.
    rig.seen.clear();
    ASSERT_EQ(rig.port->open(), OpenResult::Ok);
    EXPECT_FALSE(rig.port->atEnd());
    ASSERT_TRUE(waitUntil([&] { return rig.reads() >= 1; }, 5000));
    EXPECT_EQ(rig.seen.front(), (Seen{Seen::Read, kT0, {0}}));
    rig.port->close();
}

TEST(CaptureReplaySource, FollowsAFileThatGrowsAndRefusesWhatIsNoCapture) {
    Scratch dir;
    const std::string cap = dir.file("growing.pcap");
    ReplayRig rig(1000.0);
    {
        CaptureWriter w(cap);
        ASSERT_TRUE(w.write(kT0, {{1}}));
        ASSERT_TRUE(w.flush());
        rig.play(cap, 1500);
        ASSERT_EQ(rig.port->open(), OpenResult::Ok);
        ASSERT_TRUE(waitUntil([&] { return rig.reads() == 1; }, 3000));
        // Written while the replay waits at the end of what is there.
        QTest::qWait(200);
        ASSERT_TRUE(w.write(kT0 + 1000 * kMs, {{2}}));
        ASSERT_TRUE(w.writeEvent(kT0 + 1500 * kMs));
        ASSERT_TRUE(w.flush());
        ASSERT_TRUE(waitUntil([&] { return rig.reads() == 2; }, 3000));
        EXPECT_FALSE(rig.ended());
    }
    // Half a record more, as a killed writer leaves it: ignored at the end.
    const std::uint8_t cut[] = {0, 0, 0, 0, 0, 0, 0, 0, 10, 0, 0, 0, 10, 0, 0, 0, 1, 2, 3, 4};
    std::ofstream(cap, std::ios::binary | std::ios::app).write(reinterpret_cast<const char*>(cut), sizeof cut);
    ASSERT_TRUE(waitUntil([&] { return rig.ended(); }, 5000));
    ASSERT_EQ(rig.seen.size(), 4u);
    EXPECT_EQ(rig.seen[1], (Seen{Seen::Read, kT0 + 1000 * kMs, {2}}));
    EXPECT_EQ(rig.seen[2], (Seen{Seen::Other, kT0 + 1500 * kMs, {}}));

    const std::string text = dir.file("notes.pcap");
    std::ofstream(text) << "these are no bus records at all, just text";
    for (const std::string& path : {text, dir.file("missing.pcap"), dir.folder()}) {
        CaptureReplaySource other(path, nullptr, 1.0);
        EXPECT_EQ(other.open(), OpenResult::Failed) << path;
        EXPECT_FALSE(other.openError().empty()) << path;
        EXPECT_FALSE(other.isOpen());
    }
}

}  // namespace
}  // namespace orlix
