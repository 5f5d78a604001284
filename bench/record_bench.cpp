// (a) The recorder's work for one sampling interval of line traffic (4 s at
// 1200 baud: 480 bytes in reads of 8, each decoded and published raw, then a
// sample taken, recorded and published), with a real broker connection,
// against the same without a broker. The counter core_percent is the
// process CPU time (the client's network thread included) per 4 s of line
// time, in per cent of one core; the goal is below 0.5.
//
// (b) Publish-to-receive latency of one sample JSON (QoS 1) through a real
// mosquitto on 127.0.0.1 to a subscriber, against a 1-byte QoS 0 message;
// counters p50_ms and p99_ms (goal: p99 at most 50 ms).
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <vector>

#include "bench_work_dir.h"
#include "comm/receive_path.h"
#include "database/sample_database.h"
#include "mosquitto_broker.h"
#include "sim/plant_model.h"
#include "base/clock.h"
#include "mqtt/mqtt_client.h"
#include "sampling/headless_recording.h"
#include "sampling/sampler.h"
#include "sampling/site_payloads.h"
#include "recorder/site_publisher.h"

namespace orlix {
namespace {

constexpr int kBytesPerInterval = 480;  // 4 s at 120 bytes/s
constexpr int kReadSize = 8;

double processCpuSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

test::MosquittoBroker& broker() {
    static test::MosquittoBroker b;
    return b;
}

std::unique_ptr<MqttClient> connectedClient() {
    MqttClientSettings s;
    s.url = *parseMqttUrl(broker().url("bench")).url;
    s.statusTopic = "bench/site/status";
    auto c = std::make_unique<MqttClient>(s, MqttClient::Events{});
    std::string error;
    c->start(error);
    for (int i = 0; i < 500 && !c->connected(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return c;
}

void recorderAtLineRate(benchmark::State& state, bool withBroker) {
    std::vector<std::uint8_t> line;
    PlantModel plant(3);
    while (line.size() < 4000 * kBytesPerInterval / 10) plant.appendNextFrame(line);
    static bench::WorkDir dir("record");
    const auto db = dir.path() / (withBroker ? "with.mdb" : "without.mdb");
    std::filesystem::remove(db);
    CreateSampleDatabase(db.string());

    ManualClock clock(makeDateTime({2025, 3, 1, 0, 0, 0}));
    auto path = std::make_unique<ReceivePath>(clock);
    Sampler sampler(path->store().LiveValues);
    HeadlessRecording recording(sampler, db.string(), [](const char*) {});
    std::unique_ptr<MqttClient> client = withBroker ? connectedClient() : nullptr;
    std::unique_ptr<SitePublisher> publisher;
    if (client) {
        publisher = std::make_unique<SitePublisher>(
            "bench/site", clock, [&](const std::string& t, std::span<const std::uint8_t> p, int qos, bool retain) {
                client->publish(t, p, qos, retain);
            });
        path->addErrorSink(publisher.get());
        sampler.addListener(publisher.get());
    }
    std::size_t at = 0;
    const double cpu0 = processCpuSeconds();
    for (auto _ : state) {
        for (int n = 0; n < kBytesPerInterval; n += kReadSize) {
            if (at + kReadSize > line.size()) at = 0;
            const std::span<const std::uint8_t> read(line.data() + at, kReadSize);
            at += kReadSize;
            path->onRead(read);
            if (publisher) publisher->onRead(read);
        }
        clock.advanceSeconds(4);
        sampler.tick(clock.now());
    }
    if (client)
        for (int i = 0; i < 1000 && client->counters().queued > 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const double cpu = processCpuSeconds() - cpu0;
    state.counters["core_percent"] = cpu / (static_cast<double>(state.iterations()) * 4.0) * 100.0;
    if (client) state.counters["dropped"] = static_cast<double>(client->counters().dropped);
    recording.finish();
    client.reset();
    std::filesystem::remove(db);
}

void BM_RecorderLineRate_NoBroker(benchmark::State& state) { recorderAtLineRate(state, false); }
void BM_RecorderLineRate_WithBroker(benchmark::State& state) { recorderAtLineRate(state, true); }
BENCHMARK(BM_RecorderLineRate_NoBroker)->MeasureProcessCPUTime()->UseRealTime()->Iterations(2000);
BENCHMARK(BM_RecorderLineRate_WithBroker)->MeasureProcessCPUTime()->UseRealTime()->Iterations(2000);

void latency(benchmark::State& state, bool sample) {
    std::atomic<int> received{0};
    MqttClientSettings s;
    s.url = *parseMqttUrl(broker().url("bench")).url;
    MqttClient::Events events;
    events.onMessage = [&](const std::string&, std::span<const std::uint8_t>) { received.fetch_add(1); };
    MqttClient sub(s, events);
    sub.subscribe("bench/lat/#", 1);
    std::string error;
    sub.start(error);
    auto pub = connectedClient();
    for (int i = 0; i < 500 && !sub.connected(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    std::array<std::int16_t, kSampleValueColumns> values{};
    const DateTime t = makeDateTime({2025, 3, 1, 12, 0, 0});
    const std::string payload =
        sample ? sampleJson(values, t, utcOffsetSecondsAt(unixMicrosOfLocalDateTime(t))) : std::string("x");
    std::vector<double> ms;
    for (auto _ : state) {
        const int before = received.load();
        const auto t0 = std::chrono::steady_clock::now();
        pub->publish(sample ? "bench/lat/sample" : "bench/lat/raw", payload, sample ? 1 : 0);
        while (received.load() == before) std::this_thread::yield();
        const double d = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        state.SetIterationTime(d);
        ms.push_back(d * 1000);
    }
    std::sort(ms.begin(), ms.end());
    if (!ms.empty()) {
        state.counters["p50_ms"] = ms[ms.size() / 2];
        state.counters["p99_ms"] = ms[std::min(ms.size() - 1, ms.size() * 99 / 100)];
    }
    pub->stop(500);
    sub.stop(0);
}

void BM_Latency_Qos0Byte(benchmark::State& state) { latency(state, false); }
void BM_Latency_SampleJsonQos1(benchmark::State& state) { latency(state, true); }
BENCHMARK(BM_Latency_Qos0Byte)->UseManualTime()->Iterations(2000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Latency_SampleJsonQos1)->UseManualTime()->Iterations(2000)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace orlix

BENCHMARK_MAIN();
