// Capture throughput, each measured against a baseline in the same run:
//
//  - `orlix-decode --csv` of a raw byte file with its output to a file (the
//    program as users run it; the CPU time of its process), against the
//    receiver and decoders over the same bytes in this process, no output;
//  - a 7-day capture (1.15 M frames, read as a monitor reads them at 1200
//    baud, 151,200 samples) turned into a sample database (wall time: the
//    database's syncs count), against reading and decoding the same capture
//    without sampling.
//
// Files go to the temporary folder. ORLIX_BENCH_RAW_FRAMES sets the raw
// file's frames (default 1,600,000, about 100 MB; 16,000,000 make 1 GB).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_work_dir.h"
#include "comm/frame_receiver.h"
#include "sim/plant_capture.h"
#include "sim/plant_model.h"
#include "capture/capture_reader.h"
#include "sampling/capture_database.h"

extern char** environ;

namespace orlix {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kWeekFrames = 1'152'000;  // 7 days at 0.525 s a frame
constexpr std::size_t kReadBytes = 16;             // bytes per read of the week's capture
constexpr std::int64_t kWeekStartUs = 1'780'000'000'000'000;

const fs::path& workDir() {
    static const bench::WorkDir dir("capture");
    return dir.path();
}

std::uint64_t rawFrames() {
    const char* v = std::getenv("ORLIX_BENCH_RAW_FRAMES");
    const std::uint64_t n = v ? std::strtoull(v, nullptr, 10) : 0;
    return n > 0 ? n : 1'600'000;
}

struct RawFile {
    std::string path;
    std::uint64_t frames = 0;
    std::uintmax_t size = 0;
};
const RawFile& rawFile() {
    static const RawFile f = [] {
        RawFile f{(workDir() / "plant.raw").string(), rawFrames(), 0};
        PlantModel plant(1);
        std::ofstream out(f.path, std::ios::binary);
        std::vector<std::uint8_t> bytes;
        for (std::uint64_t i = 0; i < f.frames; ++i) {
            plant.appendNextFrame(bytes);
            if (bytes.size() > (1u << 20) || i + 1 == f.frames) {
                out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
                bytes.clear();
            }
        }
        out.close();
        f.size = fs::file_size(f.path);
        return f;
    }();
    return f;
}

const std::string& weekCapture() {
    static const std::string path = [] {
        const std::string p = (workDir() / "week.pcap").string();
        writePlantCapture(p, 7, kWeekFrames, kWeekStartUs, kReadBytes);
        return p;
    }();
    return path;
}

struct Decoding {
    FieldBoard board;
    LiveStore store;
    SystemClock clock;
    FrameDecoder decoder{board, store, clock};
    FrameReceiver receiver{decoder};
};

// Baseline: the receiver and decoders over the raw file's bytes, read in
// 4096-byte pieces as the tool reads them, no output.
void BM_RawDecodeNoOutput(benchmark::State& st) {
    const RawFile& f = rawFile();
    std::vector<std::uint8_t> buf(4096);
    for (auto _ : st) {
        auto d = std::make_unique<Decoding>();
        std::FILE* in = std::fopen(f.path.c_str(), "rb");
        std::size_t n;
        while ((n = std::fread(buf.data(), 1, buf.size(), in)) > 0) d->receiver.onReceive(std::span(buf.data(), n));
        std::fclose(in);
        benchmark::DoNotOptimize(d->store.LiveValues);
    }
    st.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(f.frames), benchmark::Counter::kIsIterationInvariantRate);
    st.counters["MB"] = static_cast<double>(f.size) / 1e6;
}

// orlix-decode --csv FILE > file, timed by its process's CPU time.
void BM_RawCsvToFileTool(benchmark::State& st) {
    const RawFile& f = rawFile();
    const std::string outPath = (workDir() / "out.csv").string();
    double wall = 0;
    for (auto _ : st) {
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<std::string> args{ORLIX_DECODE_BIN, "--csv", f.path};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        const auto start = std::chrono::steady_clock::now();
        pid_t pid = -1;
        if (posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ) != 0) {
            st.SkipWithError("cannot start orlix-decode");
            break;
        }
        int status = 0;
        rusage ru{};
        ::wait4(pid, &status, 0, &ru);
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        posix_spawn_file_actions_destroy(&fa);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            st.SkipWithError("orlix-decode failed");
            break;
        }
        const double cpu = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
                           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
        st.SetIterationTime(cpu);
    }
    st.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(f.frames), benchmark::Counter::kIsIterationInvariantRate);
    st.counters["wall s"] = wall / static_cast<double>(st.iterations());
    st.counters["out MB"] = static_cast<double>(fs::file_size(outPath)) / 1e6;
    fs::remove(outPath);
}

// Baseline: the week's capture read and decoded, nothing sampled.
void BM_WeekCaptureDecodeOnly(benchmark::State& st) {
    const std::string& path = weekCapture();
    std::uint64_t records = 0;
    for (auto _ : st) {
        auto d = std::make_unique<Decoding>();
        CaptureReader reader;
        reader.open(path);
        CaptureRecord r;
        while (reader.next(r) == CaptureReader::Next::Record) {
            if (r.portEvent()) d->receiver.onPortEvent();
            else d->receiver.onReceive(r.bytes);
        }
        records = reader.recordCount();
        benchmark::DoNotOptimize(d->store.LiveValues);
    }
    st.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(kWeekFrames), benchmark::Counter::kIsIterationInvariantRate);
    st.counters["records"] = static_cast<double>(records);
}

// The week's capture into a new sample database.
void BM_WeekCaptureToDatabase(benchmark::State& st) {
    const std::string& path = weekCapture();
    const std::string db = (workDir() / "week.mdb").string();
    CaptureDatabaseResult r;
    for (auto _ : st) {
        st.PauseTiming();
        fs::remove(db);
        st.ResumeTiming();
        CaptureReader reader;
        reader.open(path);
        r = captureToDatabase(reader, db);
        if (!r.ok) {
            st.SkipWithError(r.error.c_str());
            break;
        }
    }
    st.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(kWeekFrames), benchmark::Counter::kIsIterationInvariantRate);
    st.counters["samples"] = static_cast<double>(r.samples);
    st.counters["stored"] = static_cast<double>(r.storedRecords);
    fs::remove(db);
}

BENCHMARK(BM_RawDecodeNoOutput)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RawCsvToFileTool)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_WeekCaptureDecodeOnly)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_WeekCaptureToDatabase)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace
}  // namespace orlix

BENCHMARK_MAIN();
