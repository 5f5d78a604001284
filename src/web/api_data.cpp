// WebApi's calls on the fleet's data: sites, samples, alarms and commands.
#include "base/log.h"
#include "hub/alarm_state.h"
#include "hub/hub_commands.h"
#include "hub/ingest.h"
#include "hub/payload_parser.h"
#include "web/fleet_queries.h"
#include "web/http_input.h"
#include "web/json_out.h"
#include "web/web_api.h"

namespace orlix::web {
namespace {

using hub::Micros;

constexpr Micros kMaxShelveUs = 30 * hub::kMicrosPerDay;
constexpr std::size_t kMaxReasonBytes = 200;

WebResponse dbFailure(const std::string& what, const std::string& error) {
    log::failure(log::kWeb, what + " failed: " + error);
    return WebResponse::error(503, "the database failed");
}

struct Range {
    Micros from = 0, to = 0;
    std::string error;
};

// from= and to= of a request: instants with from < to, not before 2000,
// not more than a day ahead and at most kMaxRangeUs apart. Without them:
// the last `defaultUs` up to now.
Range rangeOf(const WebRequest& r, Micros defaultUs) {
    const Micros now = hub::systemNowUs();
    const std::optional<std::string> fromText = queryValue(r.query, "from");
    const std::optional<std::string> toText = queryValue(r.query, "to");
    Range range{now - defaultUs, now, {}};
    if (fromText) range.from = parseInstant(*fromText).value_or(-1);
    if (toText) range.to = parseInstant(*toText).value_or(-1);
    if (range.from < 0 || range.to < 0)
        range.error = "from and to are instants: YYYY-MM-DDTHH:MM:SS[.fff] with Z or an offset";
    else if (range.from >= range.to)
        range.error = "from must come before to";
    else if (range.from < hub::kEarliestInstantUs || range.to > now + hub::kMicrosPerDay)
        range.error = "the range lies outside 2000 to tomorrow";
    else if (range.to - range.from > kMaxRangeUs)
        range.error = "a range may span at most 400 days";
    return range;
}

std::string siteError(const std::string& site) {
    const std::string e = hub::siteNameError(site);
    return e.empty() ? e : "not a site name: " + e;
}

}  // namespace

WebResponse WebApi::fleet(const WebRequest& r) {
    const std::string column = queryValue(r.query, "value").value_or("Pd");
    const std::optional<int> value = valueColumnIndex(column);
    if (!value) return WebResponse::error(400, "value must name a column of the samples, such as Pd");
    const std::optional<std::int64_t> hours = parseBoundedInt(queryValue(r.query, "hours").value_or("6"), 1, 48);
    if (!hours) return WebResponse::error(400, "hours must be a whole number from 1 to 48");
    const QueryText q = fleetJson(db(), *value, static_cast<int>(*hours), hub_.rules().hub.offlineAfterUs,
                                  hub::systemNowUs());
    if (!q.ok) return dbFailure("reading the fleet", q.error);
    return WebResponse::json(q.text);
}

WebResponse WebApi::samples(const WebRequest& r, const std::string& site, bool csv) {
    if (std::string e = siteError(site); !e.empty()) return WebResponse::error(400, e);
    const Range range = rangeOf(r, hub::kMicrosPerHour);
    if (!range.error.empty()) return WebResponse::error(400, range.error);
    const QueryText q = csv ? samplesCsv(db(), site, range.from, range.to) : samplesJson(db(), site, range.from, range.to);
    if (!q.ok) return dbFailure("reading the samples of " + site, q.error);
    if (!q.found) return WebResponse::error(404, "no site " + site);
    if (!csv) return WebResponse::json(q.text);
    WebResponse out = WebResponse::bytes("text/csv; charset=utf-8", QByteArray::fromStdString(q.text));
    out.headers.emplace_back("Content-Disposition", "attachment; filename=\"samples.csv\"");
    return out;
}

WebResponse WebApi::alarms(const WebRequest& r) {
    const std::string site = queryValue(r.query, "site").value_or("");
    if (!site.empty())
        if (std::string e = siteError(site); !e.empty()) return WebResponse::error(400, e);
    const std::string all = queryValue(r.query, "all").value_or("0");
    if (all != "0" && all != "1") return WebResponse::error(400, "all is 0 or 1");
    const QueryText q = alarmsJson(db(), all == "1", site);
    if (!q.ok) return dbFailure("reading the alarms", q.error);
    return WebResponse::json(q.text);
}

WebResponse WebApi::putCommand(const WebRequest& r, const SessionInfo& s) {
    const std::optional<QJsonObject> body = jsonObjectBody(r.body);
    if (!body) return WebResponse::error(400, "the body must be a JSON object");
    hub::AlarmCommandRequest q;
    q.site = stringMember(*body, "site", hub::kMaxSiteNameBytes).value_or("");
    q.source = stringMember(*body, "source", 80).value_or("");
    q.command = stringMember(*body, "command", 20).value_or("");
    q.user = s.user.name;
    if (std::string e = siteError(q.site); !e.empty()) return WebResponse::error(400, e);
    if (!hub::isAlarmSource(q.source)) return WebResponse::error(400, "no alarm source " + q.source);
    if (q.command != "acknowledge" && q.command != "shelve" && q.command != "unshelve")
        return WebResponse::error(400, "command is acknowledge, shelve or unshelve");
    if (q.command == "shelve") {
        q.reason = stringMember(*body, "reason", kMaxReasonBytes).value_or("");
        const std::optional<Micros> until = parseInstant(stringMember(*body, "until", 40).value_or(""));
        const Micros now = hub::systemNowUs();
        if (q.reason.empty()) return WebResponse::error(400, "shelving needs a reason of up to 200 bytes");
        if (!until || *until <= now || *until > now + kMaxShelveUs)
            return WebResponse::error(400, "shelving needs an end time within the next 30 days");
        q.untilUs = *until;
    }
    std::string error;
    const std::optional<std::int64_t> id = hub::putAlarmCommand(db(), q, error);
    if (!id && error.starts_with("no site")) return WebResponse::error(404, error);
    if (!id) return dbFailure("putting a command", error);
    log::info(log::kWeb, s.user.name + " asked to " + q.command + " " + q.site + " " + q.source +
                             (q.reason.empty() ? std::string() : " (" + hub::printableText(q.reason, '?') + ")"));
    JsonOut j;
    return WebResponse::json(j.beginObject().field("id", *id).endObject().take(), 202);
}

WebResponse WebApi::commandState(const std::string& id) {
    if (!parseBoundedInt(id, 1, INT64_MAX)) return WebResponse::error(400, "a command id is a positive number");
    const hub::PgResult r =
        db().exec("SELECT done IS NOT NULL, coalesce(outcome, ''), command FROM alarm_commands WHERE id = $1", {id});
    if (!r.ok()) return dbFailure("reading a command", r.error());
    if (r.rows() != 1) return WebResponse::error(404, "no command " + id);
    JsonOut j;
    j.beginObject().field("done", r.text(0, 0) == "t").field("outcome", r.text(0, 1)).field("command", r.text(0, 2));
    return WebResponse::json(j.endObject().take());
}

WebResponse WebApi::alarmHistory(const WebRequest& r) {
    const Range range = rangeOf(r, 30 * hub::kMicrosPerDay);
    if (!range.error.empty()) return WebResponse::error(400, range.error);
    std::string error;
    const std::optional<std::string> csv = hub::alarmHistoryCsv(db(), range.from, range.to, error);
    if (!csv) return dbFailure("reading the alarm history", error);
    WebResponse out = WebResponse::bytes("text/csv; charset=utf-8", QByteArray::fromStdString(*csv));
    out.headers.emplace_back("Content-Disposition", "attachment; filename=\"alarm-history.csv\"");
    return out;
}

}  // namespace orlix::web
