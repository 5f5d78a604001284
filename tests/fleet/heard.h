#pragma once
// What a subscriber heard from a fleet, by site: samples (with the instant
// their time_days and utc_offset name), faults, statuses and raw bytes.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "broker_listener.h"
#include "tools/mini_json.h"

namespace orlix::test {

inline constexpr double kUnixEpochDays = 25569;  // 1970-01-01 in days since 1899-12-30

struct Sample {
    std::string payload, time, offset;
    double days = 0;
    // The instant that time_days and utc_offset name, in Unix seconds.
    double instant() const {
        const int sign = offset[0] == '-' ? -1 : 1;
        const int offsetSeconds = sign * (std::stoi(offset.substr(1, 2)) * 3600 + std::stoi(offset.substr(4, 2)) * 60);
        return (days - kUnixEpochDays) * 86400 - offsetSeconds;
    }
};

struct SiteHeard {
    std::vector<Sample> samples;
    std::vector<std::string> faults, statuses;
    std::string rawBytes;
    std::size_t rawMessages = 0;
};

// What the listener heard, by site, under PREFIX/SITE/KIND.
inline std::map<std::string, SiteHeard> bySite(const test::BrokerListener& listener, const std::string& prefix) {
    std::map<std::string, SiteHeard> sites;
    for (const auto& [topic, payload] : listener.all()) {
        if (!topic.starts_with(prefix + "/")) continue;
        const std::size_t slash = topic.rfind('/');
        SiteHeard& site = sites[topic.substr(prefix.size() + 1, slash - prefix.size() - 1)];
        const std::string kind = topic.substr(slash + 1);
        if (kind == "sample") {
            const auto json = test::JsonReader(payload).parse();
            EXPECT_TRUE(json) << payload;
            if (!json) continue;
            site.samples.push_back({payload, json->get("time")->str, json->get("utc_offset")->str,
                                    json->get("time_days")->num});
        } else if (kind == "faults") {
            site.faults.push_back(payload);
        } else if (kind == "status") {
            site.statuses.push_back(payload);
        } else if (kind == "raw") {
            site.rawBytes += payload;
            ++site.rawMessages;
        }
    }
    return sites;
}

}  // namespace orlix::test
