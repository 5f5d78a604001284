#pragma once
// What a simulated fleet is told: its broker, how many sites and what they
// are called, the seed, the program time it covers and how fast that runs,
// and the spans in which single sites go quiet. Also the readers of the
// command line's texts that are the fleet's own (durations, outages), kept
// here so that they are tested with the fleet.
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mqtt/broker_settings.h"

namespace orlix {

inline constexpr std::int64_t kNoEnd = std::numeric_limits<std::int64_t>::max();

// A site that goes quiet: from `afterUs` of program time after the start
// for `forUs`, it publishes its retained "offline" (as its last will would),
// sends nothing, and then says "online" again.
struct FleetOutage {
    std::size_t site = 0;  // 0-based index
    std::int64_t afterUs = 0;
    std::int64_t forUs = 0;
};

struct FleetOptions {
    BrokerOptions broker;
    std::size_t sites = 10;
    std::string sitePrefix = "site";
    std::uint32_t seed = 1;
    // Program seconds per real second; 0 publishes as fast as the broker
    // acknowledges (QoS 1).
    double timeScale = 1.0;
    // Program time (Unix microseconds) of the first live sample.
    std::int64_t startUs = 0;
    // Samples of this span before the start, published first as fast as the
    // broker takes them (recorders draining their queues).
    std::int64_t backlogUs = 0;
    // No sample at or after this program time (kNoEnd: until stopped).
    std::int64_t endUs = kNoEnd;
    // Also ends after this many sample instants per site, backlog included
    // (an outage's instants count, unpublished); 0: no such end.
    std::uint64_t samplesPerSite = 0;
    // The sites share this many broker connections, one network thread each.
    std::size_t connections = 4;
    bool raw = false;  // also publish the plant's bytes on raw (QoS 0)
    std::vector<FleetOutage> outages;
};

// The name of site `index` (0-based): prefix + its number from 1, at least
// four digits ("site0001").
std::string fleetSiteName(const std::string& prefix, std::size_t index);

// A span of time: a number (fractions allowed) with an optional unit s, m,
// h or d (seconds without one): "90", "90s", "15m", "1.5h", "1d". In
// microseconds; nothing for anything else or a negative span.
std::optional<std::int64_t> parseDuration(std::string_view text);

// "SITE:AFTER:FOR": SITE a site's name or its number (1 = the first),
// AFTER and FOR durations. Nothing with `error` set when it is not one.
std::optional<FleetOutage> parseOutage(std::string_view text, const std::string& prefix, std::size_t sites,
                                       std::string& error);

// `count` outages drawn from `seed`: each at a random site, lasting 2 to
// 10 minutes of program time, starting within the first `spanUs` of the
// run so that it ends inside it.
std::vector<FleetOutage> randomOutages(std::size_t count, std::uint32_t seed, std::size_t sites, std::int64_t spanUs);

}  // namespace orlix
