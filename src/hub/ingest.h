#pragma once
// What the office hears from the sites: the broker client subscribed to
// PREFIX/+/status, PREFIX/+/sample and PREFIX/+/faults (through a shared
// subscription $share/GROUP/... when several hubs share the load), with a
// persistent session, so that nothing the broker took is lost while the
// hub is away. Each message is parsed once, on the client's thread, and
// handed on: samples and faults to the store's writer (which never makes a
// caller wait), what a site said and when to the site directory. A sample
// is late when it arrives more than 60 s after its own instant.
//
// A message of a site the database does not know yet, while the database
// cannot be reached, waits (bounded) and is handled again by retryWaiting().
// A message that cannot be read is refused with one log line (repeats of
// the same refusal counted).
//
// The raw bytes of a site are subscribed only while someone watches them
// (the pages' live view), without sharing, by the hub that serves them.
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "hub/site_directory.h"
#include "hub/store_writer.h"
#include "mqtt/mqtt_client.h"

namespace orlix::hub {

inline constexpr Micros kLateAfterUs = 60 * kMicrosPerSecond;

struct IngestSettings {
    MqttClientSettings broker;  // url.path is PREFIX
    std::string shareGroup;     // "" for no shared subscription
};

struct IngestCounters {
    std::uint64_t messages = 0;
    std::uint64_t samples = 0;
    std::uint64_t late = 0;
    std::uint64_t faults = 0;
    std::uint64_t statuses = 0;
    std::uint64_t refused = 0;
    std::uint64_t waiting = 0;  // of sites not resolved yet
    std::uint64_t dropped = 0;  // waiting beyond the bound
};

class Ingest {
public:
    using RawWatcher = std::function<void(const std::string& site, std::span<const std::uint8_t> bytes)>;
    static constexpr std::size_t kMaxWaiting = 100'000;

    Ingest(IngestSettings settings, SiteDirectory& sites, StoreWriter& writer);
    ~Ingest();

    // Connects in the background; false when the settings cannot work.
    bool start(std::string& error);
    void stop();
    // Handles again what waited for the database.
    void retryWaiting();

    // The raw bytes of `site` go to `watcher` (on the broker client's
    // thread) until unwatched.
    void watchRaw(const std::string& site, RawWatcher watcher);
    void unwatchRaw(const std::string& site);

    // The client, for the office's own messages (PREFIX/SITE/alarms).
    MqttClient& client() { return *client_; }
    const std::string& prefix() const { return prefix_; }
    IngestCounters counters() const;

    // One message as the broker delivered it; public for tests that feed
    // messages without a broker.
    void take(const std::string& topic, std::span<const std::uint8_t> payload, Micros arrivalUs);

private:
    struct Waiting {
        std::string topic;
        std::string payload;
        Micros arrivalUs = 0;
    };
    void takeSample(const SiteInfo& site, const std::string& name, std::string_view payload, Micros arrivalUs);
    void takeFault(const SiteInfo& site, const std::string& name, std::string_view payload, Micros arrivalUs);
    void takeStatus(const SiteInfo& site, const std::string& name, std::string_view payload);
    void park(const std::string& topic, std::string_view payload, Micros arrivalUs);

    IngestSettings settings_;
    std::string prefix_;
    SiteDirectory& sites_;
    StoreWriter& writer_;
    std::unique_ptr<MqttClient> client_;

    std::mutex watchMutex_;
    std::map<std::string, RawWatcher> watchers_;

    mutable std::mutex waitMutex_;
    std::deque<Waiting> waiting_;

    std::atomic<std::uint64_t> messages_{0}, samples_{0}, late_{0}, faults_{0}, statuses_{0}, refused_{0},
        dropped_{0};
};

// Microseconds since 1970 by the system clock.
Micros systemNowUs();

}  // namespace orlix::hub
