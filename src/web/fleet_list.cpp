// The fleet and alarm lists of fleet_queries.h.
#include <cmath>
#include <map>

#include "hub/hub_schema.h"
#include "hub/sample_store.h"
#include "web/fleet_queries.h"
#include "web/json_out.h"

namespace orlix::web {
namespace {

using hub::Micros;
using hub::PgResult;

struct Spark {
    std::vector<double> values;
};

// Per site id: the averages of the 5-minute buckets since `startUs`, one
// slot per bucket.
std::map<std::int32_t, Spark> sparks(hub::PgConnection& db, const std::string& ids, int valueIndex, Micros startUs,
                                     int slotCount, std::string& error) {
    const std::string c(hub::valueColumn(valueIndex));
    const PgResult r = db.exec("SELECT site, (extract(epoch FROM bucket) * 1000000)::bigint, \"" + c +
                                   "_sum\"::float8 / n FROM summaries_5min WHERE site = ANY($1::int[]) AND bucket >= $2",
                               {ids, hub::timestampText(startUs)});
    std::map<std::int32_t, Spark> out;
    if (!r.ok()) {
        error = r.error();
        return out;
    }
    for (int i = 0; i < r.rows(); ++i) {
        Spark& s = out[static_cast<std::int32_t>(r.number(i, 0))];
        if (s.values.empty()) s.values.assign(static_cast<std::size_t>(slotCount), NAN);
        const std::int64_t slot = (r.number(i, 1) - startUs) / kSummaryStepUs;
        if (slot >= 0 && slot < slotCount) s.values[static_cast<std::size_t>(slot)] = std::strtod(r.text(i, 2).c_str(), nullptr);
    }
    return out;
}

std::map<std::int32_t, std::map<std::string, std::int64_t>> alarmCounts(hub::PgConnection& db, std::string& error) {
    const PgResult r = db.exec("SELECT site, state, count(*) FROM alarms WHERE state <> 'normal' GROUP BY site, state");
    std::map<std::int32_t, std::map<std::string, std::int64_t>> out;
    if (!r.ok()) error = r.error();
    for (int i = 0; i < r.rows(); ++i) out[static_cast<std::int32_t>(r.number(i, 0))][r.text(i, 1)] = r.number(i, 2);
    return out;
}

void writeSite(JsonOut& j, const PgResult& r, int i, const std::map<std::string, std::int64_t>* alarms,
               const Spark* spark) {
    j.beginObject().field("name", r.text(i, 1)).field("status", r.text(i, 2));
    j.field("online", r.text(i, 4) == "t");
    if (r.isNull(i, 3)) j.key("lastSeen").null();
    else j.field("lastSeen", r.number(i, 3));
    j.key("alarms").beginObject();
    if (alarms)
        for (const auto& [state, n] : *alarms) j.field(state, n);
    j.endObject();
    j.key("spark").beginArray();
    if (spark)
        for (const double v : spark->values) j.num(v);
    j.endArray();
    j.endObject();
}

}  // namespace

QueryText fleetJson(hub::PgConnection& db, int valueIndex, int hours, Micros offlineAfterUs, Micros nowUs) {
    const PgResult sites = db.exec(
        "SELECT id, name, coalesce(status, ''), (extract(epoch FROM last_message) * 1000)::bigint, "
        "last_message IS NOT NULL AND last_message > $1::timestamptz - make_interval(secs => $2) AND "
        "coalesce(status, 'online') <> 'offline' FROM sites ORDER BY name",
        {hub::timestampText(nowUs), std::to_string(static_cast<double>(offlineAfterUs) / hub::kMicrosPerSecond)});
    if (!sites.ok()) return {false, true, {}, sites.error()};
    std::string ids = "{";
    for (int i = 0; i < sites.rows(); ++i) ids += (i ? "," : "") + sites.text(i, 0);
    ids += "}";
    const int slotCount = hours * static_cast<int>(hub::kMicrosPerHour / kSummaryStepUs);
    const Micros startUs = (nowUs / kSummaryStepUs + 1) * kSummaryStepUs - slotCount * kSummaryStepUs;
    std::string error;
    const auto counts = alarmCounts(db, error);
    const auto lines = sparks(db, ids, valueIndex, startUs, slotCount, error);
    if (!error.empty()) return {false, true, {}, error};
    JsonOut j;
    j.beginObject().field("value", hub::valueColumn(valueIndex)).field("sparkStart", startUs / 1000);
    j.field("sparkStep", kSummaryStepUs / 1000).key("sites").beginArray();
    for (int i = 0; i < sites.rows(); ++i) {
        const auto id = static_cast<std::int32_t>(sites.number(i, 0));
        const auto a = counts.find(id);
        const auto s = lines.find(id);
        writeSite(j, sites, i, a == counts.end() ? nullptr : &a->second, s == lines.end() ? nullptr : &s->second);
    }
    j.endArray().endObject();
    return {true, true, j.take(), {}};
}

QueryText alarmsJson(hub::PgConnection& db, bool all, const std::string& site) {
    const PgResult r = db.exec(
        "SELECT s.name, a.source, a.state, a.message, " +
            std::string("CASE WHEN isfinite(a.first_t) THEN (extract(epoch FROM a.first_t) * 1000)::bigint END, ") +
            "CASE WHEN isfinite(a.last_t) THEN (extract(epoch FROM a.last_t) * 1000)::bigint END, " +
            "a.count, coalesce(a.detail->>'ack_by', ''), coalesce(a.detail->>'hidden_by', ''), "
            "coalesce(a.detail->>'hidden_reason', ''), coalesce((a.detail->>'shelved_until')::float8 / 1000, 0)::bigint, "
            "(extract(epoch FROM a.changed) * 1000)::bigint FROM alarms a JOIN sites s ON s.id = a.site "
            "WHERE ($1 OR a.state <> 'normal') AND ($2 = '' OR s.name = $2) "
            "ORDER BY a.state = 'normal', a.last_t DESC NULLS LAST LIMIT 5000",
        {all ? "true" : "false", site});
    if (!r.ok()) return {false, true, {}, r.error()};
    JsonOut j;
    j.beginObject().key("alarms").beginArray();
    for (int i = 0; i < r.rows(); ++i) {
        j.beginObject().field("site", r.text(i, 0)).field("source", r.text(i, 1)).field("state", r.text(i, 2));
        j.field("message", r.text(i, 3));
        const auto time = [&](const char* name, int c) {
            if (r.isNull(i, c) || r.number(i, c) <= 0) j.key(name).null();
            else j.field(name, r.number(i, c));
        };
        time("first", 4);
        time("last", 5);
        j.field("count", r.number(i, 6)).field("ackBy", r.text(i, 7)).field("hiddenBy", r.text(i, 8));
        j.field("reason", r.text(i, 9));
        time("shelvedUntil", 10);
        time("changed", 11);
        j.endObject();
    }
    j.endArray().endObject();
    return {true, true, j.take(), {}};
}

}  // namespace orlix::web
