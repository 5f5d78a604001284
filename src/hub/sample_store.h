#pragma once
// Writes samples and faults into the hub's tables (hub_schema.h) on one
// connection. Not thread-safe: one store per connection and thread.
//
// A batch of samples is one transaction: a binary COPY into a session-local
// staging table, then one statement that inserts the new rows into
// `samples` (a sample already stored, in an earlier batch or earlier in the
// same one, is skipped), adds exactly the inserted rows to their 5-minute
// summaries and moves the sites' last_seen forward. A sample delivered
// twice is therefore stored and counted once, and a late one lands in its
// bucket's summary as if it had come in time.
//
// Rows the database refuses by their content (a constraint an operator
// added, a fault of an unknown site, text that is not UTF-8, a sample that
// would overflow its bucket's integer sums) do not sink
// their batch: the batch is split until the refused rows stand alone, every
// other row is stored, and the refusals are counted and logged.
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "hub/hub_types.h"
#include "hub/pg_connection.h"

namespace orlix::hub {

struct StoreOutcome {
    // Every row was dealt with: stored, skipped as a duplicate or refused.
    // False: nothing more was stored and the batch should be offered again
    // (the database is unreachable, a table is missing, ...); rows stored
    // before the failure come back as duplicates then.
    bool ok = false;
    std::int64_t stored = 0;
    std::int64_t duplicates = 0;
    std::int64_t refused = 0;
    // Why the batch failed; with ok, the cause of the first refusal.
    std::string error;
};

struct DropOutcome {
    bool ok = false;
    std::vector<std::string> dropped;  // partition names
    std::string error;
};

class SampleStore {
public:
    // Instants before this (2000-01-01 UTC) or more than kMaxAheadUs past
    // the system clock are refused without asking the database.
    static constexpr std::int64_t kEarliestUs = 946'684'800'000'000;
    static constexpr std::int64_t kMaxAheadUs = 86'400'000'000;

    explicit SampleStore(PgConnection& db);

    // The id of the site called `name`, making the site (first_seen = now)
    // when it is new; remembered. Nothing when the database failed
    // (lastError() says why).
    std::optional<std::int32_t> siteId(std::string_view name);
    const std::string& lastError() const { return lastError_; }

    // Makes the month partitions the samples need, then stores them.
    StoreOutcome storeSamples(std::span<const HubSample> samples);
    // Stores fault entries; one already stored (same site, instant, list
    // and status) is skipped.
    StoreOutcome storeFaults(std::span<const FaultEvent> faults);

    // Drops every month partition whose samples are all older than
    // `keepMonths` months before `nowUs`: those of months before the month
    // of (now - keepMonths months). The 5-minute summaries stay.
    DropOutcome dropPartitionsBefore(int keepMonths, std::int64_t nowUs);

private:
    PgResult ensurePartitions(std::span<const HubSample> rows);
    // The staging table and the prepared insert of this connection's
    // session.
    PgResult ensureSession();
    // One transaction each; `stored` counts the new rows.
    PgResult writeSamples(std::span<const HubSample> rows, std::int64_t& stored);
    PgResult writeFaults(std::span<const FaultEvent> rows, std::int64_t& stored);

    PgConnection& db_;
    std::map<std::string, std::int32_t, std::less<>> sites_;
    std::set<int> months_;  // partitions known to exist
    std::uint64_t session_ = 0;
    std::string lastError_;
};

// "2025-03-14 08:15:00.000000+00": an instant as PostgreSQL reads it.
std::string timestampText(std::int64_t timeUs);

// The rows of a binary COPY into a table of columns (t, site, late, the 50
// values); PostgreSQL's binary COPY format with its header and trailer.
std::string binaryCopyData(std::span<const HubSample> rows);

}  // namespace orlix::hub
