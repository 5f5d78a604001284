#include "hub/alarm_engine.h"

#include <algorithm>
#include <charconv>

#include "base/log.h"
#include "hub/sample_store.h"

namespace orlix::hub {
namespace {

// Fault entries are taken from this long before the newest taken, so that
// a batch a slower hub committed late is still seen.
constexpr Micros kFaultOverlapUs = 30 * kMicrosPerSecond;
constexpr const char* kFaultsMark = "faults_arrived";

std::vector<std::int16_t> parseValues(const std::string& text) {
    std::vector<std::int16_t> out;
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end) {
        if (*p == '{' || *p == ',' || *p == '}') {
            ++p;
            continue;
        }
        int v = 0;
        const auto r = std::from_chars(p, end, v);
        if (r.ec != std::errc()) break;
        out.push_back(static_cast<std::int16_t>(v));
        p = r.ptr;
    }
    return out;
}

std::string us(const char* column) {
    return std::string("(extract(epoch FROM ") + column + ") * 1000000)::bigint";
}

}  // namespace

AlarmEngine::AlarmEngine(std::string conninfo, AlarmRules rules, Notify notify)
    : conninfo_(std::move(conninfo)), rules_(std::move(rules)), notify_(std::move(notify)) {}

void AlarmEngine::setRules(AlarmRules rules) {
    // A rule that changed (or went) starts its tracks over.
    std::erase_if(tracks_, [&](const auto& t) {
        const ThresholdRule* now = rules.threshold(t.first.second);
        const ThresholdRule* before = rules_.threshold(t.first.second);
        return now == nullptr || before == nullptr || now->line != before->line || now->limit != before->limit ||
               now->deadband != before->deadband || now->onDelayUs != before->onDelayUs ||
               now->columnIndex != before->columnIndex || now->direction != before->direction;
    });
    rules_ = std::move(rules);
}

void AlarmEngine::lose(const std::string& why) {
    if (leading_) log::warning(log::kHub, "no longer leading the alarms: " + why);
    leading_ = false;
    db_.close();
}

bool AlarmEngine::lead(Micros nowUs) {
    if (leading_ && db_.ok()) return true;
    if (!db_.ok() && !db_.connect(conninfo_)) return false;
    PgResult r = db_.exec("SELECT pg_try_advisory_lock(" + std::to_string(kAlarmLeaderKey) + ")");
    if (!r.ok() || r.text(0, 0) != "t") return false;
    if (!store_.load(alarms_)) {
        lose(store_.error());
        return false;
    }
    const std::optional<Micros> mark = store_.mark(kFaultsMark);
    faultsCursorUs_ = mark && *mark > 0 ? *mark : nowUs - kMicrosPerMinute;
    faultsTaken_.clear();
    leading_ = true;
    log::info(log::kHub, "leading the alarms: " + std::to_string(alarms_.size()) + " known");
    return true;
}

bool AlarmEngine::step(Micros nowUs) {
    if (!lead(nowUs)) return false;
    takeCommands(nowUs);
    if (leading_) takeFaults(nowUs);
    if (leading_) checkSites(nowUs);
    if (leading_) checkThresholds();
    if (leading_) tickAll(nowUs);
    if (leading_ && !db_.ok()) lose("the database connection broke");
    return leading_;
}

bool AlarmEngine::stepCommands(Micros nowUs) {
    if (!lead(nowUs)) return false;
    takeCommands(nowUs);
    return leading_;
}

Alarm& AlarmEngine::alarmFor(std::int32_t site, const std::string& siteName, const std::string& source) {
    const AlarmKey key{site, source};
    auto it = alarms_.find(key);
    if (it == alarms_.end()) it = alarms_.emplace(key, newAlarm(siteName, source)).first;
    return it->second;
}

void AlarmEngine::apply(std::int32_t site, Alarm& alarm, const AlarmStep& step) {
    if (step.changes.empty()) return;
    if (!store_.save(site, alarm, step.changes)) {
        lose("saving an alarm of " + alarm.site + " failed: " + store_.error());
        return;
    }
    for (const AlarmChange& c : step.changes)
        if (c.notify) notifyChange(alarm, c);
}

void AlarmEngine::notifyChange(const Alarm& alarm, const AlarmChange& change) {
    if (!notify_) return;
    for (const Receiver* r : rules_.receiversFor(alarm.source)) notify_(*r, alarm, change);
}

AlarmStep AlarmEngine::runCommand(Alarm& a, const AlarmCommand& c, Micros nowUs) {
    tickAlarm(a, nowUs);
    if (c.command == "acknowledge") return acknowledgeAlarm(a, nowUs, c.user);
    if (c.command == "shelve") return shelveAlarm(a, nowUs, c.user, c.reason, c.untilUs);
    if (c.command == "unshelve") return unshelveAlarm(a, nowUs, c.user);
    if (c.command == "out-of-service") return removeFromService(a, nowUs, c.user, c.reason);
    if (c.command == "in-service") return returnToService(a, nowUs, c.user);
    AlarmStep refused;
    refused.refused = "unknown command " + c.command;
    return refused;
}

void AlarmEngine::takeCommands(Micros nowUs) {
    std::vector<AlarmCommand> commands;
    if (!store_.pendingCommands(commands)) return lose(store_.error());
    for (const AlarmCommand& c : commands) {
        auto it = alarms_.find(AlarmKey{c.site, c.source});
        std::string outcome;
        if (it == alarms_.end()) {
            outcome = "refused: no such alarm";
        } else {
            const AlarmStep step = runCommand(it->second, c, nowUs);
            apply(c.site, it->second, step);
            outcome = step.refused.empty() ? "done" : "refused: " + step.refused;
            if (step.refused.empty())
                log::info(log::kHub, c.command + " of " + it->second.site + " " + c.source + " by " + c.user);
        }
        if (!leading_ || !store_.finishCommand(c.id, outcome)) return lose(store_.error());
    }
}

void AlarmEngine::takeFaults(Micros nowUs) {
    PgResult r = db_.exec("SELECT f.site, s.name, " + us("f.t") + ", f.list, f.status, " + us("f.arrived") +
                              " FROM faults f JOIN sites s ON s.id = f.site WHERE f.arrived >= to_timestamp($1 / "
                              "1000000.0) ORDER BY f.arrived, f.t",
                          {std::to_string(faultsCursorUs_ - kFaultOverlapUs)});
    if (!r.ok()) return lose(r.error());
    Micros newest = faultsCursorUs_;
    for (int i = 0; i < r.rows() && leading_; ++i) {
        const auto site = static_cast<std::int32_t>(r.number(i, 0));
        FaultKey key{site, r.number(i, 2), r.text(i, 3), r.text(i, 4)};
        const Micros arrived = r.number(i, 5);
        if (!faultsTaken_.emplace(key, arrived).second) continue;
        newest = std::max(newest, arrived);
        Alarm& a = alarmFor(site, r.text(i, 1), key.list);
        tickAlarm(a, nowUs);
        apply(site, a, applyFaultStatus(a, key.t, key.status));
    }
    if (!leading_ || newest == faultsCursorUs_) return;
    faultsCursorUs_ = newest;
    std::erase_if(faultsTaken_, [&](const auto& f) { return f.second < newest - 2 * kFaultOverlapUs; });
    if (!store_.setMark(kFaultsMark, newest)) lose(store_.error());
}

void AlarmEngine::checkSites(Micros nowUs) {
    PgResult r = db_.exec("SELECT id, name, coalesce(status, ''), coalesce(" + us("last_message") + ", 0) FROM sites");
    if (!r.ok()) return lose(r.error());
    const std::string source(kOfflineSource);
    for (int i = 0; i < r.rows() && leading_; ++i) {
        const auto site = static_cast<std::int32_t>(r.number(i, 0));
        const Micros last = r.number(i, 3);
        const bool saysOffline = r.text(i, 2) == "offline";
        const bool quiet = last > 0 && nowUs - last >= rules_.hub.offlineAfterUs;
        const auto it = alarms_.find(AlarmKey{site, source});
        const bool active = it != alarms_.end() && it->second.active;
        if ((saysOffline || quiet) == active) continue;
        Alarm& a = alarmFor(site, r.text(i, 1), source);
        tickAlarm(a, nowUs);
        if (active) {
            apply(site, a, clearAlarm(a, nowUs));
        } else {
            const std::string why = saysOffline ? std::string("the site says it is offline")
                                                : "no message for " + std::to_string((nowUs - last) / kMicrosPerSecond) + " s";
            apply(site, a, raiseAlarm(a, nowUs, why));
        }
    }
}

void AlarmEngine::checkThresholds() {
    if (rules_.thresholds.empty()) return;
    PgResult r = db_.exec("SELECT v.site, s.name, " + us("v.t") + ", v.vals::text FROM site_values v JOIN sites s "
                              "ON s.id = v.site WHERE v.t > to_timestamp($1 / 1000000.0)",
                          {std::to_string(valuesCursorUs_ - kFaultOverlapUs)});
    if (!r.ok()) return lose(r.error());
    for (int i = 0; i < r.rows() && leading_; ++i) {
        const auto site = static_cast<std::int32_t>(r.number(i, 0));
        const std::string name = r.text(i, 1);
        const Micros t = r.number(i, 2);
        valuesCursorUs_ = std::max(valuesCursorUs_, t);
        const std::vector<std::int16_t> values = parseValues(r.text(i, 3));
        for (const ThresholdRule& rule : rules_.thresholds) {
            if (!ruleAppliesTo(rule, name) || rule.columnIndex >= static_cast<int>(values.size())) continue;
            ThresholdTrack& track = tracks_[{site, rule.name}];
            const double v = values[static_cast<std::size_t>(rule.columnIndex)];
            const ThresholdOutcome o = evaluateThreshold(rule, track, v, t);
            if (o == ThresholdOutcome::None) continue;
            Alarm& a = alarmFor(site, name, thresholdSource(rule.name));
            apply(site, a, o == ThresholdOutcome::Raise ? raiseAlarm(a, t, thresholdMessage(rule, v)) : clearAlarm(a, t));
        }
    }
}

void AlarmEngine::tickAll(Micros nowUs) {
    for (auto& [key, a] : alarms_) {
        if (!leading_) return;
        AlarmStep step = tickAlarm(a, nowUs);
        if (const auto reminder = takeDueRepeat(a, nowUs, rules_.hub.repeatIntervalUs)) {
            step.changes.push_back(*reminder);
        }
        apply(key.first, a, step);
    }
}

}  // namespace orlix::hub
