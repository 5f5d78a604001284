#pragma once
// A fleet of simulated sites publishing on one broker as that many
// orlix-record instances would: per site a FleetSite (plant, receive path,
// sampler, site publisher), the retained status "online" at the start and
// "offline" at a clean stop, and everything but raw bytes at QoS 1.
//
// Program time: site i (0-based, of N) has its live samples at
// start + i x 4 s / N + n x 4 s, so that the sites' samples are spread over
// each 4 s; a backlog adds the samples of its span before the start. A
// sample goes out when its program time has come, the program time running
// `timeScale` times faster than real time from the start (on the next beat
// of 20 ms, so that one wake sends what a beat holds); one whose time is
// past (the backlog, or after the broker held the fleet up) goes out at once,
// as fast as the broker acknowledges, as a recorder drains its queue.
//
// One thread runs every site in the order of their events' program times,
// from the moment every connection is up.
// The sites share a few broker connections (each has a network thread of
// its own, so a thousand sites do not need a thousand threads); before each
// message the thread waits while its connection holds a window of
// unacknowledged ones, so that nothing is dropped and a broker that is away
// holds the fleet up until it is back.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <queue>
#include <string>
#include <thread>
#include <vector>

#include "fleet/fleet_options.h"
#include "fleet/fleet_site.h"
#include "mqtt/mqtt_client.h"

namespace orlix {

struct FleetCounters {
    std::uint64_t samples = 0;   // sample messages handed to a connection
    std::uint64_t faults = 0;    // faults messages
    std::uint64_t raw = 0;       // raw messages
    std::uint64_t statuses = 0;  // status messages
    std::size_t quietSites = 0;  // sites in an outage now
    std::int64_t programUs = 0;  // the program time of the last event run
    // The connections' counters added up.
    std::uint64_t delivered = 0, queued = 0, dropped = 0;
    std::size_t connectionsUp = 0;
};

class Fleet {
public:
    explicit Fleet(FleetOptions options);
    ~Fleet();
    Fleet(const Fleet&) = delete;
    Fleet& operator=(const Fleet&) = delete;

    // Connects (a broker that cannot be reached yet is tried again in the
    // background) and starts the fleet's thread, which says "online" for
    // every site once every connection is up and then runs the sites. False
    // with `error` when the broker settings cannot work.
    bool start(std::string& error);
    // Stops the sites, says "offline" for every site and gives the broker up
    // to `flushMs` to acknowledge what the connections hold. True when every
    // message was delivered.
    bool finish(int flushMs = 10000);

    // Called once, on the fleet's thread, when every site has taken its
    // last sample (a run with an end).
    std::function<void()> onEnd;

    FleetCounters counters() const;
    // The counters as one log line, with the sample rate since the last one.
    std::string statusLine();
    const FleetOptions& options() const { return options_; }

private:
    struct Due {
        std::int64_t us;
        std::size_t site;
        bool operator>(const Due& o) const { return us != o.us ? us > o.us : site > o.site; }
    };

    void run();
    bool waitUntilDue(std::int64_t us);
    void runEvent(std::size_t site);
    void updateQuiet(std::size_t site, std::int64_t us);
    std::int64_t siteEndUs(std::int64_t firstSampleUs) const;
    void publish(std::size_t site, const std::string& topic, std::span<const std::uint8_t> payload, int qos,
                 bool retain);
    void publishStatus(std::size_t site, const char* status);
    MqttClient& clientOf(std::size_t site) { return *clients_[site % clients_.size()]; }

    FleetOptions options_;
    std::vector<std::unique_ptr<MqttClient>> clients_;
    std::vector<std::unique_ptr<FleetSite>> sites_;
    std::vector<std::int64_t> endUs_;                   // per site: no sample at or after
    std::vector<std::vector<FleetOutage>> outages_;     // per site
    std::priority_queue<Due, std::vector<Due>, std::greater<>> due_;
    std::chrono::steady_clock::time_point realStart_;

    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<bool> stopping_{false};
    bool started_ = false, finished_ = false;

    std::atomic<std::uint64_t> samples_{0}, faults_{0}, raw_{0}, statuses_{0};
    std::atomic<std::size_t> quiet_{0};
    std::atomic<std::int64_t> programUs_{0};
    std::uint64_t lastSamples_ = 0;
    std::chrono::steady_clock::time_point lastStatus_;
};

}  // namespace orlix
