#include "hub/alarm_state.h"

#include <algorithm>
#include <array>
#include <utility>

namespace orlix::hub {
namespace {

constexpr std::array<std::pair<AlarmState, std::string_view>, 6> kStateNames = {{
    {AlarmState::Normal, "normal"},
    {AlarmState::Unacknowledged, "unacknowledged"},
    {AlarmState::Acknowledged, "acknowledged"},
    {AlarmState::ReturnedUnacknowledged, "returned-unacknowledged"},
    {AlarmState::Shelved, "shelved"},
    {AlarmState::OutOfService, "out-of-service"},
}};

bool hidden(AlarmState s) { return s == AlarmState::Shelved || s == AlarmState::OutOfService; }

AlarmChange change(const Alarm& a, AlarmEvent event, AlarmState from, Micros atUs, std::string_view by,
                   std::string_view why, bool notify) {
    return AlarmChange{a.site, a.source, event, from, a.state, atUs, std::string(by), std::string(why), notify};
}

void setState(Alarm& a, AlarmState s, Micros atUs) {
    a.state = s;
    a.changedUs = atUs;
    if (s == AlarmState::Unacknowledged) {
        a.unacknowledgedSinceUs = atUs;
        a.repeatsSent = 0;
    }
}

// An alarm that needs a person's attention once its chattering ends.
bool awaitsAcknowledgement(AlarmState s) {
    return s == AlarmState::Unacknowledged || s == AlarmState::ReturnedUnacknowledged;
}

void endChatterIfQuiet(Alarm& a, Micros atUs, AlarmStep& step) {
    if (!a.chattering || atUs - a.recentRaisesUs[0] < kChatterWindowUs) return;
    a.chattering = false;
    const std::string why = std::to_string(a.suppressedRaises) + " raises suppressed";
    a.suppressedRaises = 0;
    // The notifications held back are made up for by one now.
    const bool notify = awaitsAcknowledgement(a.state);
    if (a.state == AlarmState::Unacknowledged) {  // repeats count from this notification
        a.unacknowledgedSinceUs = atUs;
        a.repeatsSent = 0;
    }
    step.changes.push_back(change(a, AlarmEvent::ChatterEnded, a.state, atUs, {}, why, notify));
}

// Notes a raise at atUs among the two latest; true when it starts chattering.
bool noteRaiseForChatter(Alarm& a, Micros atUs) {
    auto& r = a.recentRaisesUs;
    const bool three = r[1] != 0 && std::max(atUs, r[0]) - std::min(atUs, r[1]) <= kChatterWindowUs;
    if (atUs >= r[0]) r = {atUs, r[0]};
    else if (atUs > r[1]) r[1] = atUs;
    if (a.chattering) {
        ++a.suppressedRaises;
        return false;
    }
    if (!three) return false;
    a.chattering = true;
    a.suppressedRaises = 1;
    return true;
}

// Shelving or out-of-service ends: back to what the condition calls for.
void comeBack(Alarm& a, Micros atUs, AlarmEvent event, std::string_view by, std::string_view why, AlarmStep& step) {
    const AlarmState from = a.state;
    setState(a, a.active ? AlarmState::Unacknowledged : AlarmState::Normal, atUs);
    a.hiddenBy.clear();
    a.hiddenReason.clear();
    a.shelvedUntilUs = 0;
    const bool notify = a.state == AlarmState::Unacknowledged && !a.chattering;
    step.changes.push_back(change(a, event, from, atUs, by, why, notify));
}

AlarmStep refusal(std::string why) {
    AlarmStep step;
    step.refused = std::move(why);
    return step;
}

}  // namespace

std::string_view alarmStateName(AlarmState state) {
    for (const auto& [s, name] : kStateNames)
        if (s == state) return name;
    return "normal";
}

std::optional<AlarmState> alarmStateFromName(std::string_view name) {
    for (const auto& [s, n] : kStateNames)
        if (n == name) return s;
    return std::nullopt;
}

std::string_view alarmEventName(AlarmEvent event) {
    switch (event) {
    case AlarmEvent::Raised: return "raised";
    case AlarmEvent::Cleared: return "cleared";
    case AlarmEvent::Acknowledged: return "acknowledged";
    case AlarmEvent::Shelved: return "shelved";
    case AlarmEvent::Unshelved: return "unshelved";
    case AlarmEvent::RemovedFromService: return "out-of-service";
    case AlarmEvent::ReturnedToService: return "in-service";
    case AlarmEvent::ChatterStarted: return "chattering";
    case AlarmEvent::ChatterEnded: return "chattering-ended";
    case AlarmEvent::Reminder: return "reminder";
    }
    return "raised";
}

bool isValidRuleName(std::string_view name) {
    if (name.empty() || name.size() > 64) return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
               c == '-';
    });
}

std::string thresholdSource(std::string_view ruleName) {
    return std::string(kThresholdSourcePrefix) + std::string(ruleName);
}

bool isAlarmSource(std::string_view source) {
    if (source == "Err" || source == "ComErr" || source == "ProtErr" || source == kOfflineSource) return true;
    return source.starts_with(kThresholdSourcePrefix) &&
           isValidRuleName(source.substr(kThresholdSourcePrefix.size()));
}

bool isNormalFaultStatus(std::string_view status) {
    const auto first = status.find_first_not_of(" \t");
    if (first == std::string_view::npos) return false;
    const auto last = status.find_last_not_of(" \t");
    return status.substr(first, last - first + 1) == "Normal";
}

bool AlarmStep::notify() const {
    return std::any_of(changes.begin(), changes.end(), [](const AlarmChange& c) { return c.notify; });
}

Alarm newAlarm(std::string site, std::string source) {
    Alarm a;
    a.site = std::move(site);
    a.source = std::move(source);
    return a;
}

AlarmStep raiseAlarm(Alarm& a, Micros atUs, std::string_view message) {
    AlarmStep step;
    endChatterIfQuiet(a, atUs, step);
    const bool newOccurrence = !a.active && (a.state == AlarmState::Normal || hidden(a.state));
    if (newOccurrence) {
        a.firstUs = a.lastUs = atUs;
        a.count = 0;
    }
    a.active = true;
    a.message = std::string(message);
    ++a.count;
    a.firstUs = std::min(a.firstUs, atUs);
    a.lastUs = std::max(a.lastUs, atUs);
    const bool startsChatter = noteRaiseForChatter(a, atUs);
    if (a.state == AlarmState::Normal || a.state == AlarmState::ReturnedUnacknowledged) {
        const AlarmState from = a.state;
        setState(a, AlarmState::Unacknowledged, atUs);
        step.changes.push_back(change(a, AlarmEvent::Raised, from, atUs, {}, message, !a.chattering));
    }
    if (startsChatter) step.changes.push_back(change(a, AlarmEvent::ChatterStarted, a.state, atUs, {}, {}, false));
    return step;
}

AlarmStep clearAlarm(Alarm& a, Micros atUs) {
    AlarmStep step;
    endChatterIfQuiet(a, atUs, step);
    a.active = false;
    const AlarmState from = a.state;
    if (from == AlarmState::Unacknowledged) setState(a, AlarmState::ReturnedUnacknowledged, atUs);
    else if (from == AlarmState::Acknowledged) setState(a, AlarmState::Normal, atUs);
    else return step;
    step.changes.push_back(change(a, AlarmEvent::Cleared, from, atUs, {}, {}, !a.chattering));
    return step;
}

AlarmStep applyFaultStatus(Alarm& a, Micros atUs, std::string_view status) {
    return isNormalFaultStatus(status) ? clearAlarm(a, atUs) : raiseAlarm(a, atUs, status);
}

AlarmStep acknowledgeAlarm(Alarm& a, Micros atUs, std::string_view user) {
    if (user.empty()) return refusal("no user named");
    const AlarmState from = a.state;
    if (from == AlarmState::Unacknowledged) setState(a, AlarmState::Acknowledged, atUs);
    else if (from == AlarmState::ReturnedUnacknowledged) setState(a, AlarmState::Normal, atUs);
    else return refusal("nothing to acknowledge: the alarm is " + std::string(alarmStateName(from)));
    a.ackBy = std::string(user);
    a.ackUs = atUs;
    AlarmStep step;
    step.changes.push_back(change(a, AlarmEvent::Acknowledged, from, atUs, user, {}, false));
    return step;
}

AlarmStep shelveAlarm(Alarm& a, Micros atUs, std::string_view user, std::string_view reason, Micros untilUs) {
    if (user.empty()) return refusal("no user named");
    if (reason.empty()) return refusal("shelving needs a reason");
    if (untilUs <= atUs) return refusal("shelving must end after it starts");
    if (a.state == AlarmState::OutOfService) return refusal("the alarm is out of service");
    const AlarmState from = a.state;
    setState(a, AlarmState::Shelved, atUs);
    a.hiddenBy = std::string(user);
    a.hiddenReason = std::string(reason);
    a.shelvedUntilUs = untilUs;
    AlarmStep step;
    step.changes.push_back(change(a, AlarmEvent::Shelved, from, atUs, user, reason, false));
    return step;
}

AlarmStep unshelveAlarm(Alarm& a, Micros atUs, std::string_view user) {
    if (user.empty()) return refusal("no user named");
    if (a.state != AlarmState::Shelved) return refusal("the alarm is not shelved");
    AlarmStep step;
    comeBack(a, atUs, AlarmEvent::Unshelved, user, {}, step);
    return step;
}

AlarmStep removeFromService(Alarm& a, Micros atUs, std::string_view user, std::string_view reason) {
    if (user.empty()) return refusal("no user named");
    if (reason.empty()) return refusal("taking out of service needs a reason");
    if (a.state == AlarmState::OutOfService) return refusal("the alarm is out of service already");
    const AlarmState from = a.state;
    setState(a, AlarmState::OutOfService, atUs);
    a.hiddenBy = std::string(user);
    a.hiddenReason = std::string(reason);
    a.shelvedUntilUs = 0;
    AlarmStep step;
    step.changes.push_back(change(a, AlarmEvent::RemovedFromService, from, atUs, user, reason, false));
    return step;
}

AlarmStep returnToService(Alarm& a, Micros atUs, std::string_view user) {
    if (user.empty()) return refusal("no user named");
    if (a.state != AlarmState::OutOfService) return refusal("the alarm is in service");
    AlarmStep step;
    comeBack(a, atUs, AlarmEvent::ReturnedToService, user, {}, step);
    return step;
}

AlarmStep tickAlarm(Alarm& a, Micros nowUs) {
    AlarmStep step;
    if (a.state == AlarmState::Shelved && nowUs >= a.shelvedUntilUs)
        comeBack(a, nowUs, AlarmEvent::Unshelved, {}, "shelving ended", step);
    endChatterIfQuiet(a, nowUs, step);
    return step;
}

std::int64_t dueRepeats(const Alarm& a, Micros nowUs, Micros intervalUs) {
    if (intervalUs <= 0 || a.state != AlarmState::Unacknowledged || a.chattering) return 0;
    const Micros elapsed = nowUs - a.unacknowledgedSinceUs;
    if (elapsed < intervalUs) return 0;
    return std::max<std::int64_t>(0, elapsed / intervalUs - a.repeatsSent);
}

std::optional<AlarmChange> takeDueRepeat(Alarm& a, Micros nowUs, Micros intervalUs) {
    const std::int64_t due = dueRepeats(a, nowUs, intervalUs);
    if (due == 0) return std::nullopt;
    a.repeatsSent += due;
    return change(a, AlarmEvent::Reminder, a.state, nowUs, {}, a.message, true);
}

}  // namespace orlix::hub
