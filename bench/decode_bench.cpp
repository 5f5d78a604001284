// Offline decode throughput: the receiver plus both decoders over (a) a
// realistic capture from the plant model, where only a few bytes change from
// frame to frame, and (b) frames whose data bytes are all random. Each is
// measured against a checksum-only pass over the same bytes (framing and
// checksum, nothing decoded) in the same run; compare the frames/s counters.
//
// The bus carries about two frames a second. The decode is kept at or above
// 1 M frames/s on the realistic capture and 0.3 M frames/s on random data,
// on one core, so that replaying days of capture stays quick.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "comm/frame_receiver.h"
#include "sim/plant_model.h"

namespace orlix {
namespace {

constexpr int kFrames = 20000;

struct Capture {
    std::vector<std::uint8_t> bytes;
    std::int64_t frames = 0;
};

const Capture& realistic() {
    static const Capture c = [] {
        Capture c;
        PlantModel plant(1);
        for (int i = 0; i < kFrames; ++i) plant.appendNextFrame(c.bytes);
        c.frames = kFrames;
        return c;
    }();
    return c;
}

const Capture& randomData() {
    static const Capture c = [] {
        Capture c;
        std::mt19937 rng(1);
        FrameData d{};
        for (int i = 0; i < kFrames; ++i) {
            for (auto& b : d) b = static_cast<std::uint8_t>(rng());
            const auto f = buildFrame(i % 2 ? 0x5A : 0xA5, d);
            c.bytes.insert(c.bytes.end(), f.begin(), f.end());
        }
        c.frames = kFrames;
        return c;
    }();
    return c;
}

// The baseline: find each frame, sum it and compare the checksum, as the
// receiver does, but decode nothing.
std::uint64_t checksumPass(std::span<const std::uint8_t> bytes, int& state, unsigned& sum, int& kind) {
    std::uint64_t good = 0;
    for (const std::uint8_t b : bytes) {
        if (state == 0) {
            if (b == 0x55) state = 1;
        } else if (state == 1) {
            if (b == 0xA5 || b == 0x5A) {
                kind = b;
                sum = b;
                state = 2;
            } else {
                state = 0;
            }
        } else if (state < 62) {
            sum += b;
            ++state;
        } else {
            good += (sum & 0xFF) == b;
            state = 0;
        }
    }
    return good;
}

void runChecksumOnly(benchmark::State& st, const Capture& c) {
    int state = 0, kind = 0;
    unsigned sum = 0;
    for (auto _ : st) {
        for (std::size_t at = 0; at < c.bytes.size(); at += 4096) {
            const std::size_t n = std::min<std::size_t>(4096, c.bytes.size() - at);
            benchmark::DoNotOptimize(checksumPass(std::span(c.bytes).subspan(at, n), state, sum, kind));
        }
    }
    st.counters["frames/s"] = benchmark::Counter(static_cast<double>(c.frames), benchmark::Counter::kIsIterationInvariantRate);
}

// Takes the error-memory entries as the analyzer's lists do, but keeps only
// the latest few, so a long run does not measure a growing container.
struct RecentEntries final : ErrorMemorySink {
    std::array<std::string, 64> ring;
    std::size_t count = 0;
    void addErrorEntry(int list, const std::string& entry) override {
        ring[count++ % ring.size()] = entry;
        benchmark::DoNotOptimize(list);
    }
};

// The whole decode as the monitor runs it: receiver, both decoders, the field
// board and the error memory with the wall clock and a sink.
void runDecode(benchmark::State& st, const Capture& c) {
    FieldBoard board;
    LiveStore store;
    for (int n = 0; n < 3; ++n) store.FaultStatus[static_cast<std::size_t>(n)] = "Normal";
    SystemClock clock;
    RecentEntries entries;
    FrameDecoder decoder(board, store, clock, &entries);
    FrameReceiver rx(decoder);
    for (auto _ : st) {
        for (std::size_t at = 0; at < c.bytes.size(); at += 4096) {
            const std::size_t n = std::min<std::size_t>(4096, c.bytes.size() - at);
            rx.onReceive(std::span(c.bytes).subspan(at, n));
        }
        benchmark::DoNotOptimize(board.takeWritten());
    }
    st.counters["entries/frame"] = static_cast<double>(entries.count) / static_cast<double>(c.frames * st.iterations());
    st.counters["frames/s"] = benchmark::Counter(static_cast<double>(c.frames), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_RealisticChecksumOnly(benchmark::State& st) { runChecksumOnly(st, realistic()); }
void BM_RealisticDecode(benchmark::State& st) { runDecode(st, realistic()); }
void BM_RandomChecksumOnly(benchmark::State& st) { runChecksumOnly(st, randomData()); }
void BM_RandomDecode(benchmark::State& st) { runDecode(st, randomData()); }

BENCHMARK(BM_RealisticChecksumOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RealisticDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RandomChecksumOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RandomDecode)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace orlix

BENCHMARK_MAIN();
