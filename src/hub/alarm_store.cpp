#include "hub/alarm_store.h"

#include <QJsonDocument>
#include <QJsonObject>

#include "hub/sample_store.h"

namespace orlix::hub {
namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }
std::string s(const QJsonValue& v) { return v.toString().toStdString(); }
// Microseconds fit a double exactly up to 2^53 (year 2255).
double n(Micros v) { return static_cast<double>(v); }
Micros m(const QJsonValue& v) { return static_cast<Micros>(v.toDouble()); }

std::string eventRow(const AlarmChange& c) { return std::string(alarmEventName(c.event)); }

}  // namespace

std::string alarmJson(const Alarm& a) {
    QJsonObject o;
    o["state"] = q(std::string(alarmStateName(a.state)));
    o["changed"] = n(a.changedUs);
    o["active"] = a.active;
    o["message"] = q(a.message);
    o["first"] = n(a.firstUs);
    o["last"] = n(a.lastUs);
    o["count"] = n(a.count);
    o["ack_by"] = q(a.ackBy);
    o["ack_at"] = n(a.ackUs);
    o["hidden_by"] = q(a.hiddenBy);
    o["hidden_reason"] = q(a.hiddenReason);
    o["shelved_until"] = n(a.shelvedUntilUs);
    o["recent0"] = n(a.recentRaisesUs[0]);
    o["recent1"] = n(a.recentRaisesUs[1]);
    o["chattering"] = a.chattering;
    o["suppressed"] = n(a.suppressedRaises);
    o["unack_since"] = n(a.unacknowledgedSinceUs);
    o["repeats"] = n(a.repeatsSent);
    return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
}

std::optional<Alarm> alarmFromJson(std::string_view json, std::string site, std::string source) {
    const QJsonDocument d = QJsonDocument::fromJson(QByteArray(json.data(), static_cast<qsizetype>(json.size())));
    if (!d.isObject()) return std::nullopt;
    const QJsonObject o = d.object();
    const std::optional<AlarmState> state = alarmStateFromName(s(o["state"]));
    if (!state) return std::nullopt;
    Alarm a = newAlarm(std::move(site), std::move(source));
    a.state = *state;
    a.changedUs = m(o["changed"]);
    a.active = o["active"].toBool();
    a.message = s(o["message"]);
    a.firstUs = m(o["first"]);
    a.lastUs = m(o["last"]);
    a.count = m(o["count"]);
    a.ackBy = s(o["ack_by"]);
    a.ackUs = m(o["ack_at"]);
    a.hiddenBy = s(o["hidden_by"]);
    a.hiddenReason = s(o["hidden_reason"]);
    a.shelvedUntilUs = m(o["shelved_until"]);
    a.recentRaisesUs = {m(o["recent0"]), m(o["recent1"])};
    a.chattering = o["chattering"].toBool();
    a.suppressedRaises = m(o["suppressed"]);
    a.unacknowledgedSinceUs = m(o["unack_since"]);
    a.repeatsSent = m(o["repeats"]);
    return a;
}

bool AlarmStore::fail(const PgResult& r) {
    error_ = r.error();
    return false;
}

bool AlarmStore::load(std::map<AlarmKey, Alarm>& alarms) {
    PgResult r = db_.exec("SELECT a.site, s.name, a.source, a.detail::text FROM alarms a JOIN sites s ON s.id = a.site");
    if (!r.ok()) return fail(r);
    alarms.clear();
    for (int i = 0; i < r.rows(); ++i) {
        const auto site = static_cast<std::int32_t>(r.number(i, 0));
        std::optional<Alarm> a = alarmFromJson(r.text(i, 3), r.text(i, 1), r.text(i, 2));
        if (a) alarms.emplace(AlarmKey{site, r.text(i, 2)}, std::move(*a));
    }
    return true;
}

bool AlarmStore::save(std::int32_t site, const Alarm& a, const std::vector<AlarmChange>& changes) {
    PgTransaction tx(db_);
    PgResult r = tx.begun();
    if (r.ok())
        r = db_.exec("INSERT INTO alarms (site, source, state, message, first_t, last_t, count, detail, changed) "
                     "VALUES ($1, $2, $3, $4, $5, $6, $7, $8::jsonb, now()) ON CONFLICT (site, source) DO UPDATE SET "
                     "state = excluded.state, message = excluded.message, first_t = excluded.first_t, "
                     "last_t = excluded.last_t, count = excluded.count, detail = excluded.detail, changed = now()",
                     {std::to_string(site), a.source, std::string(alarmStateName(a.state)), a.message,
                      a.firstUs > 0 ? timestampText(a.firstUs) : "-infinity",
                      a.lastUs > 0 ? timestampText(a.lastUs) : "-infinity", std::to_string(a.count), alarmJson(a)});
    for (const AlarmChange& c : changes) {
        if (!r.ok()) break;
        r = db_.exec("INSERT INTO alarm_events (site, source, at, event, from_state, to_state, by_user, why) "
                     "VALUES ($1, $2, $3, $4, $5, $6, NULLIF($7, ''), NULLIF($8, ''))",
                     {std::to_string(site), c.source, timestampText(c.atUs), eventRow(c),
                      std::string(alarmStateName(c.from)), std::string(alarmStateName(c.to)), c.by, c.why});
    }
    if (r.ok()) r = tx.commit();
    return r.ok() || fail(r);
}

bool AlarmStore::pendingCommands(std::vector<AlarmCommand>& out) {
    PgResult r = db_.exec(
        "SELECT id, site, source, command, by_user, coalesce(reason, ''), "
        "coalesce((extract(epoch FROM until) * 1000000)::bigint, 0), (extract(epoch FROM at) * 1000000)::bigint "
        "FROM alarm_commands WHERE done IS NULL ORDER BY id");
    if (!r.ok()) return fail(r);
    out.clear();
    for (int i = 0; i < r.rows(); ++i)
        out.push_back({r.number(i, 0), static_cast<std::int32_t>(r.number(i, 1)), r.text(i, 2), r.text(i, 3),
                       r.text(i, 4), r.text(i, 5), r.number(i, 6), r.number(i, 7)});
    return true;
}

bool AlarmStore::finishCommand(std::int64_t id, const std::string& outcome) {
    PgResult r = db_.exec("UPDATE alarm_commands SET done = now(), outcome = $2 WHERE id = $1",
                          {std::to_string(id), outcome});
    return r.ok() || fail(r);
}

std::optional<Micros> AlarmStore::mark(const std::string& name) {
    PgResult r = db_.exec("SELECT value FROM engine_state WHERE name = $1", {name});
    if (!r.ok()) {
        fail(r);
        return std::nullopt;
    }
    if (r.rows() == 0) return Micros{0};
    return static_cast<Micros>(std::stoll(r.text(0, 0)));
}

bool AlarmStore::setMark(const std::string& name, Micros value) {
    PgResult r = db_.exec("INSERT INTO engine_state (name, value) VALUES ($1, $2) ON CONFLICT (name) DO UPDATE SET "
                          "value = excluded.value",
                          {name, std::to_string(value)});
    return r.ok() || fail(r);
}

}  // namespace orlix::hub
