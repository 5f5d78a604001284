#include "hub/hub_commands.h"

#include <QTimeZone>
#include <chrono>
#include <thread>

#include "base/json.h"
#include "hub/alarm_engine.h"
#include "hub/ingest.h"
#include "hub/pg_connection.h"
#include "hub/sample_store.h"

namespace orlix::hub {
namespace {

constexpr auto kLeaderWait = std::chrono::seconds(15);

// The outcome the leader wrote for command `id`, waiting for it a while.
std::string awaitOutcome(PgConnection& db, const std::string& id) {
    const auto end = std::chrono::steady_clock::now() + kLeaderWait;
    while (std::chrono::steady_clock::now() < end) {
        PgResult r = db.exec("SELECT outcome FROM alarm_commands WHERE id = $1 AND done IS NOT NULL", {id});
        if (!r.ok()) return "failed: " + r.error();
        if (r.rows() == 1) return r.text(0, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return "failed: no hub applied the command within 15 s";
}

}  // namespace

std::optional<std::int64_t> putAlarmCommand(PgConnection& db, const AlarmCommandRequest& q, std::string& error) {
    PgResult r = db.exec(
        "INSERT INTO alarm_commands (site, source, command, by_user, reason, until) SELECT id, $2, $3, $4, "
        "NULLIF($5, ''), CASE WHEN $6 = '0' THEN NULL ELSE to_timestamp($6::bigint / 1000000.0) END "
        "FROM sites WHERE name = $1 RETURNING id",
        {q.site, q.source, q.command, q.user, q.reason, std::to_string(q.untilUs)});
    if (!r.ok() || r.rows() != 1) {
        error = r.ok() ? "no site " + q.site + " is known" : "cannot put the command: " + r.error();
        return std::nullopt;
    }
    return r.number(0, 0);
}

int runAlarmCommand(const AlarmCommandRequest& q, const AlarmRules& rules, std::string& message) {
    PgConnection db(q.db);
    if (!db.ok()) {
        message = "cannot reach the database " + db.shownName() + ": " + db.error();
        return 1;
    }
    const std::optional<std::int64_t> put = putAlarmCommand(db, q, message);
    if (!put) return 1;
    const std::string id = std::to_string(*put);
    // No hub leads: this one applies the command (and notifies nobody).
    AlarmEngine here(q.db, rules, nullptr);
    here.stepCommands(systemNowUs());
    const std::string outcome = awaitOutcome(db, id);
    message = q.command + " " + q.site + " " + q.source + ": " + outcome;
    return outcome == "done" ? 0 : 1;
}

std::optional<std::string> alarmHistoryCsv(PgConnection& db, Micros fromUs, Micros toUs, std::string& error,
                                           int* rows) {
    PgResult r = db.exec(
        "SELECT s.name, e.source, (extract(epoch FROM e.at) * 1000000)::bigint, e.event, e.from_state, e.to_state, "
        "coalesce(e.by_user, ''), coalesce(e.why, '') FROM alarm_events e JOIN sites s ON s.id = e.site "
        "WHERE ($1 = '0' OR e.at >= to_timestamp($1::bigint / 1000000.0)) "
        "AND ($2 = '0' OR e.at < to_timestamp($2::bigint / 1000000.0)) ORDER BY e.at, e.id",
        {std::to_string(fromUs), std::to_string(toUs)});
    if (!r.ok()) {
        error = "reading the alarm history failed: " + r.error();
        return std::nullopt;
    }
    std::string text = "site,source,time,event,from,to,by,why\n";
    const QTimeZone zone = QTimeZone::systemTimeZone();
    for (int i = 0; i < r.rows(); ++i) {
        const std::string cells[] = {r.text(i, 0), r.text(i, 1), isoInstantText(r.number(i, 2), zone),
                                     r.text(i, 3), r.text(i, 4), r.text(i, 5), r.text(i, 6), r.text(i, 7)};
        for (std::size_t c = 0; c < std::size(cells); ++c) {
            if (c > 0) text += ',';
            appendCsvField(text, cells[c]);
        }
        text += '\n';
    }
    if (rows) *rows = r.rows();
    return text;
}

int exportAlarmHistory(const std::string& dbInfo, Micros fromUs, Micros toUs, std::FILE* out, std::string& message) {
    PgConnection db(dbInfo);
    if (!db.ok()) {
        message = "cannot reach the database " + db.shownName() + ": " + db.error();
        return 1;
    }
    int rows = 0;
    const std::optional<std::string> text = alarmHistoryCsv(db, fromUs, toUs, message, &rows);
    if (!text) return 1;
    message = std::to_string(rows) + " alarm changes";
    if (std::fwrite(text->data(), 1, text->size(), out) != text->size() || std::fflush(out) != 0) {
        message = "cannot write the alarm history";
        return 1;
    }
    return 0;
}

int setSiteZone(const std::string& dbInfo, const std::string& site, const std::string& zone, std::string& message) {
    if (!zone.empty() && !QTimeZone(QByteArray::fromStdString(zone)).isValid()) {
        message = "unknown time zone " + zone + " (an IANA name such as Europe/Berlin)";
        return 1;
    }
    PgConnection db(dbInfo);
    if (!db.ok()) {
        message = "cannot reach the database " + db.shownName() + ": " + db.error();
        return 1;
    }
    PgResult r = db.exec("UPDATE sites SET time_zone = NULLIF($2, '') WHERE name = $1", {site, zone});
    if (!r.ok() || r.affected() != 1) {
        message = r.ok() ? "no site " + site + " is known" : r.error();
        return 1;
    }
    message = site + " reads times without an offset in " + (zone.empty() ? std::string("the office's zone") : zone) +
              " (hubs take it at their next start)";
    return 0;
}

}  // namespace orlix::hub
