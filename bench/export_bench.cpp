// Exporting 1,000,000 records to CSV: orlix-export against the sqlite3 shell
// writing the same records ('SELECT * FROM emp1 ORDER BY Time' as CSV with a
// header), both as separate processes writing to a file in the same folder,
// in one run. Each is measured by wall time and by the CPU time of the
// process; the ratios are printed at the end (the goal: at most 1.5).
// Run: export_bench [--benchmark_filter=...]. Needs about 1 GB of space in
// the temporary folder.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench_work_dir.h"
#include "big_sample_file.h"

extern char** environ;

namespace orlix {
namespace {

namespace fs = std::filesystem;

constexpr long long kRecords = 1'000'000;

const fs::path& workDir() {
    static const bench::WorkDir dir("export");
    return dir.path();
}

const std::string& bigFile() {
    static const std::string path = [] {
        const std::string p = (workDir() / "big.mdb").string();
        if (!test::makeBigSampleFile(p, kRecords)) std::fprintf(stderr, "could not make %s\n", p.c_str());
        return p;
    }();
    return path;
}

// Runs a program with its standard output in `outPath`; the CPU seconds it
// used, or -1 when it failed.
double runTo(const std::vector<std::string>& args, const std::string& outPath) {
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    double cpu = -1;
    if (posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        rusage ru{};
        if (::wait4(pid, &status, 0, &ru) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0)
            cpu = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
                  1e-6 * static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec);
    }
    posix_spawn_file_actions_destroy(&fa);
    return cpu;
}

void runExport(benchmark::State& state, const std::vector<std::string>& args, const char* out) {
    const std::string outPath = (workDir() / out).string();
    double cpu = 0;
    for (auto _ : state) {
        const double c = runTo(args, outPath);
        if (c < 0) {
            state.SkipWithError("the program failed");
            return;
        }
        cpu += c;
    }
    state.counters["cpu_s"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
    state.counters["MB"] = static_cast<double>(fs::file_size(outPath)) / 1e6;
}

void BM_Csv1M_SqliteShell(benchmark::State& state) {
    runExport(state, {"sqlite3", "-csv", "-header", bigFile(), "SELECT * FROM emp1 ORDER BY Time"}, "shell.csv");
}
void BM_Csv1M_OrlixExport(benchmark::State& state) {
    runExport(state, {ORLIX_EXPORT_BIN, bigFile()}, "ours.csv");
}
void BM_Json1M_OrlixExport(benchmark::State& state) {
    runExport(state, {ORLIX_EXPORT_BIN, bigFile(), "--format", "json"}, "ours.jsonl");
}
BENCHMARK(BM_Csv1M_SqliteShell)->Iterations(1)->Repetitions(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Csv1M_OrlixExport)->Iterations(1)->Repetitions(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Json1M_OrlixExport)->Iterations(1)->Repetitions(3)->UseRealTime()->Unit(benchmark::kMillisecond);

// Keeps the median wall time and CPU time of every benchmark for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.aggregate_name != "median") continue;
            auto& m = medians[r.run_name.function_name];
            m.first = r.GetAdjustedRealTime();
            const auto cpu = r.counters.find("cpu_s");
            if (cpu != r.counters.end()) m.second = cpu->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, std::pair<double, double>> medians;  // name -> (wall ms, cpu s)
};

}  // namespace
}  // namespace orlix

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    orlix::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto& m = reporter.medians;
    const auto shell = m.find("BM_Csv1M_SqliteShell");
    const auto ours = m.find("BM_Csv1M_OrlixExport");
    if (shell != m.end() && ours != m.end() && shell->second.first > 0 && shell->second.second > 0) {
        std::printf("\nCSV of 1,000,000 records, orlix-export / sqlite3 shell (medians; goal <= 1.5):\n"
                    "  wall time %.0f ms / %.0f ms = %.2f\n  CPU time  %.2f s / %.2f s = %.2f\n",
                    ours->second.first, shell->second.first, ours->second.first / shell->second.first,
                    ours->second.second, shell->second.second, ours->second.second / shell->second.second);
    }
    benchmark::Shutdown();
    return 0;
}
