#pragma once
// The sites the office knows, and what it has heard from them lately.
// Thread-safe: the broker client's thread looks sites up for every message,
// the hub's own thread writes the news down every few seconds.
//
//  - siteOf(name): the site's id and the time zone its times are read in
//    when a message carries no UTC offset (sites.time_zone, default the
//    office's own zone); a new site is added (first_seen now). Remembered:
//    the database is asked once per site.
//  - note...(): the latest message's arrival (for "offline": a site that
//    goes quiet), the status it said, and its newest sample in time (for
//    the threshold rules and the fleet page). Kept in memory, newest wins.
//  - flush(): writes the news of all sites in one transaction
//    (sites.last_message, sites.status, site_values); several hubs that
//    share the sites may write in any order: the newest stays.
#include <QTimeZone>
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "hub/hub_types.h"
#include "hub/payload_parser.h"
#include "hub/pg_connection.h"
#include "hub/sample_store.h"

namespace orlix::hub {

struct SiteInfo {
    std::int32_t id = 0;
    QTimeZone zone;
};

class SiteDirectory {
public:
    explicit SiteDirectory(std::string conninfo);
    SiteDirectory(const SiteDirectory&) = delete;
    SiteDirectory& operator=(const SiteDirectory&) = delete;

    // Nothing while the database cannot be reached (error() says why).
    std::optional<SiteInfo> siteOf(const std::string& name);
    std::string error() const;

    void noteMessage(std::int32_t site, Micros arrivalUs);
    void noteStatus(std::int32_t site, SiteStatus status);
    void noteValues(std::int32_t site, Micros instantUs, const std::array<std::int16_t, kValueCount>& values);

    // Writes what was noted since the last flush. False (kept for the next
    // flush) when the database failed.
    bool flush();

private:
    struct News {
        Micros lastMessageUs = 0;
        std::optional<SiteStatus> status;
        Micros valuesUs = 0;
        std::array<std::int16_t, kValueCount> values{};
    };
    bool connectedLocked();
    QTimeZone zoneOf(std::int32_t id);
    bool writeLocked(const std::map<std::int32_t, News>& news);

    const std::string conninfo_;
    mutable std::mutex dbMutex_;  // the connection
    PgConnection db_;
    std::unique_ptr<SampleStore> store_;
    std::mutex sitesMutex_;  // the cache of sites, asked by every message
    std::unordered_map<std::string, SiteInfo> sites_;
    std::string error_;

    std::mutex newsMutex_;
    std::map<std::int32_t, News> news_;
};

}  // namespace orlix::hub
