#include "fleet/fleet.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "base/iso_date_time.h"
#include "base/log.h"
#include "base/sample_schedule.h"

namespace orlix {
namespace {

// Unacknowledged messages a connection may hold before the fleet waits:
// enough to keep a fast broker busy, few enough to drain within a second.
constexpr std::size_t kWindow = 1000;
constexpr std::size_t kInFlight = 200;
// How often a fleet held up by a full window looks whether it should stop.
constexpr auto kStopCheck = std::chrono::milliseconds(200);
// A paced fleet sends what has come due on beats this far apart; a message
// is thus up to one beat late, far less than a recorder's own jitter.
constexpr std::chrono::steady_clock::duration kBeat = std::chrono::milliseconds(20);

// Each site's plant gets a seed of its own, the same for the same fleet seed.
std::uint32_t plantSeed(std::uint32_t seed, std::size_t site) {
    std::uint64_t z = (std::uint64_t{seed} << 32 | site) + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<std::uint32_t>(z ^ (z >> 31));
}

std::string programTimeText(std::int64_t us) {
    const std::string t = isoDateTimeText(localDateTimeOfUnixMicros(us));
    return t.empty() ? std::string("?") : t;
}

}  // namespace

Fleet::Fleet(FleetOptions options) : options_(std::move(options)), programUs_(options_.startUs) {
    options_.sites = std::max<std::size_t>(options_.sites, 1);
    options_.connections = std::clamp<std::size_t>(options_.connections, 1, options_.sites);
    outages_.resize(options_.sites);
    for (const FleetOutage& o : options_.outages)
        if (o.site < options_.sites) outages_[o.site].push_back(o);
}

Fleet::~Fleet() { finish(0); }

bool Fleet::start(std::string& error) {
    std::optional<MqttClientSettings> settings = brokerSettings(options_.broker, error);
    if (!settings) return false;
    settings->inFlight = kInFlight;
    for (std::size_t c = 0; c < options_.connections; ++c) {
        MqttClientSettings s = *settings;
        s.clientId = "orlix-fleet-sim-" + std::to_string(::getpid()) + "-" + std::to_string(c + 1);
        MqttClient::Events events;
        events.onConnection = [this](bool, const std::string&, bool) {
            std::lock_guard lock(mutex_);
            wake_.notify_all();
        };
        clients_.push_back(std::make_unique<MqttClient>(std::move(s), std::move(events)));
        if (!clients_.back()->start(error)) return false;
    }
    const std::int64_t backlogSamples = options_.backlogUs / kSampleIntervalUs;
    for (std::size_t i = 0; i < options_.sites; ++i) {
        // Phases in whole milliseconds spread the sites over each 4 s.
        const std::int64_t phaseUs =
            static_cast<std::int64_t>(i * (kSampleIntervalUs / 1000) / options_.sites) * 1000;
        const std::int64_t first = options_.startUs + phaseUs - backlogSamples * kSampleIntervalUs;
        sites_.push_back(std::make_unique<FleetSite>(
            settings->url.path + "/" + fleetSiteName(options_.sitePrefix, i), plantSeed(options_.seed, i), first,
            options_.raw,
            [this, i](const std::string& topic, std::span<const std::uint8_t> payload, int qos, bool retain) {
                publish(i, topic, payload, qos, retain);
            }));
        endUs_.push_back(siteEndUs(first));
        if (first < endUs_.back()) due_.push({sites_.back()->nextEventUs(), i});
    }
    log::info(log::kFleet, "started: sites " + fleetSiteName(options_.sitePrefix, 0) + " ... " +
                               fleetSiteName(options_.sitePrefix, options_.sites - 1) + " on " +
                               settings->url.shown() + ", connections " + std::to_string(clients_.size()) +
                               ", live from " + programTimeText(options_.startUs));
    started_ = true;
    lastStatus_ = std::chrono::steady_clock::now();
    thread_ = std::thread([this] { run(); });
    return true;
}

std::int64_t Fleet::siteEndUs(std::int64_t firstSampleUs) const {
    std::int64_t end = options_.endUs;
    const std::uint64_t m = options_.samplesPerSite;
    if (m > 0 && m < static_cast<std::uint64_t>((kNoEnd - firstSampleUs) / kSampleIntervalUs))
        end = std::min(end, firstSampleUs + static_cast<std::int64_t>(m) * kSampleIntervalUs);
    return end;
}

void Fleet::run() {
    {
        // Program time starts once the broker has every connection, so that
        // the first raw bytes are not lost and a paced run keeps its pace.
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] {
            return stopping_.load() || std::all_of(clients_.begin(), clients_.end(),
                                                   [](const auto& c) { return c->connected(); });
        });
    }
    for (std::size_t i = 0; i < sites_.size() && !stopping_.load(); ++i) publishStatus(i, "online");
    realStart_ = std::chrono::steady_clock::now();
    while (!stopping_.load() && !due_.empty()) {
        const Due next = due_.top();
        if (!waitUntilDue(next.us)) continue;
        due_.pop();
        runEvent(next.site);
        FleetSite& s = *sites_[next.site];
        if (s.nextSampleUs() < endUs_[next.site]) due_.push({s.nextEventUs(), next.site});
    }
    if (!stopping_.load()) {
        log::info(log::kFleet, "every site has taken its last sample");
        if (onEnd) onEnd();
    }
}

// Waits for the real time of program time `us`; false when woken to stop.
bool Fleet::waitUntilDue(std::int64_t us) {
    if (options_.timeScale <= 0) return true;
    const double realSeconds = static_cast<double>(us - options_.startUs) / 1e6 / options_.timeScale;
    const auto due = realStart_ + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                      std::chrono::duration<double>(realSeconds));
    if (due <= std::chrono::steady_clock::now()) return true;
    // Waking on the next beat after it lets one wake run the events of a
    // beat together: a thousand sites cost a few wakes a second, not 250.
    const auto beats = (due - realStart_ + kBeat - std::chrono::steady_clock::duration(1)) / kBeat;
    std::unique_lock lock(mutex_);
    return !wake_.wait_until(lock, realStart_ + beats * kBeat, [this] { return stopping_.load(); });
}

void Fleet::runEvent(std::size_t site) {
    FleetSite& s = *sites_[site];
    const std::int64_t at = s.nextEventUs();
    updateQuiet(site, at);
    s.step();
    programUs_.store(at, std::memory_order_relaxed);
}

void Fleet::updateQuiet(std::size_t site, std::int64_t us) {
    FleetSite& s = *sites_[site];
    bool quiet = false;
    std::int64_t until = 0;
    for (const FleetOutage& o : outages_[site]) {
        const std::int64_t from = options_.startUs + o.afterUs;
        if (us >= from && us < from + o.forUs) {
            quiet = true;
            until = std::max(until, from + o.forUs);
        }
    }
    if (quiet == s.quiet()) return;
    const std::string name = fleetSiteName(options_.sitePrefix, site);
    if (quiet) {
        publishStatus(site, "offline");
        s.setQuiet(true);
        ++quiet_;
        log::info(log::kFleet, name + " goes quiet until " + programTimeText(until));
    } else {
        s.setQuiet(false);
        --quiet_;
        publishStatus(site, "online");
        log::info(log::kFleet, name + " is back");
    }
}

void Fleet::publish(std::size_t site, const std::string& topic, std::span<const std::uint8_t> payload, int qos,
                    bool retain) {
    MqttClient& client = clientOf(site);
    // Once stopping, nothing more waits: the last statuses are queued.
    if (qos > 0)
        while (!stopping_.load() && !client.waitForRoom(kWindow, kStopCheck)) {
        }
    if (!client.publish(topic, payload, qos, retain)) return;
    if (qos == 0) ++raw_;
    else if (topic.ends_with("/sample")) ++samples_;
    else if (topic.ends_with("/faults")) ++faults_;
    else ++statuses_;
}

void Fleet::publishStatus(std::size_t site, const char* status) {
    const std::string text(status);
    publish(site, sites_[site]->statusTopic(),
            std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), 1, true);
}

bool Fleet::finish(int flushMs) {
    if (!started_ || finished_) return true;
    finished_ = true;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    // The statuses go out after everything else the connections hold.
    for (std::size_t i = 0; i < sites_.size(); ++i) publishStatus(i, "offline");
    // One time limit for all: the connections drain side by side.
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + milliseconds(flushMs);
    for (auto& c : clients_) {
        const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
        c->stop(static_cast<int>(std::max<std::int64_t>(left, 0)));
    }
    const FleetCounters c = counters();
    const bool whole = c.queued == 0 && c.dropped == 0;
    log::write(log::kFleet, whole ? log::Level::Info : log::Level::Warning,
               "stopped: " + std::to_string(c.samples) + " samples and " + std::to_string(c.faults) +
                   " faults published, " +
                   (whole ? std::string("every message delivered")
                          : std::to_string(c.queued) + " messages not delivered, " + std::to_string(c.dropped) +
                                " dropped"));
    return whole;
}

FleetCounters Fleet::counters() const {
    FleetCounters c;
    c.samples = samples_.load();
    c.faults = faults_.load();
    c.raw = raw_.load();
    c.statuses = statuses_.load();
    c.quietSites = quiet_.load();
    c.programUs = programUs_.load();
    for (const auto& client : clients_) {
        const MqttCounters m = client->counters();
        c.delivered += m.delivered;
        c.queued += m.queued;
        c.dropped += m.dropped;
        c.connectionsUp += m.connected ? 1 : 0;
    }
    return c;
}

std::string Fleet::statusLine() {
    const FleetCounters c = counters();
    const auto now = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(now - lastStatus_).count();
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.1f",
                  seconds > 0 ? static_cast<double>(c.samples - lastSamples_) / seconds : 0.0);
    lastSamples_ = c.samples;
    lastStatus_ = now;
    return "status: program time " + programTimeText(c.programUs) + ", samples " + std::to_string(c.samples) + " (" +
           rate + "/s), faults " + std::to_string(c.faults) + ", quiet sites " + std::to_string(c.quietSites) +
           ", connections up " + std::to_string(c.connectionsUp) + " of " + std::to_string(clients_.size()) +
           ", delivered " + std::to_string(c.delivered) + ", queued " + std::to_string(c.queued) + ", dropped " +
           std::to_string(c.dropped);
}

}  // namespace orlix
