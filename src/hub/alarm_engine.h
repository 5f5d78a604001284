#pragma once
// The office's alarms, worked by one hub at a time: the leader, which holds
// a PostgreSQL advisory lock (several hubs may share a broker and a
// database; any of them may have heard any message, so the leader works
// from what they all wrote). Each pass of the leader (step(), every second):
//
//  - users' commands waiting in alarm_commands (acknowledge, shelve ...);
//  - fault entries that arrived since the last pass: a site's Err, ComErr and
//    ProtErr alarms raised with the status text, cleared by "Normal";
//  - the sites: "offline" raised when a site says so or has sent nothing for
//    the rules' offline_after, cleared when it is back;
//  - the newest values of each site against the threshold rules (on-delay
//    and deadband per site and rule);
//  - time alone: the end of shelving and chattering, reminders of alarms
//    still unacknowledged.
//
// Every change is saved with its history at once; a change that calls for
// it is handed to `notify` once per receiver the rules name for the source.
// A hub that is not the leader tries to become it at every pass.
#include <functional>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "hub/alarm_rules.h"
#include "hub/alarm_state.h"
#include "hub/alarm_store.h"
#include "hub/pg_connection.h"
#include "hub/threshold.h"

namespace orlix::hub {

// The advisory lock key of the leading hub.
inline constexpr std::int64_t kAlarmLeaderKey = 0x6f726c69784c4431;  // "orlixLD1"

class AlarmEngine {
public:
    using Notify = std::function<void(const Receiver& to, const Alarm& alarm, const AlarmChange& change)>;

    AlarmEngine(std::string conninfo, AlarmRules rules, Notify notify);

    // New rules (SIGHUP): threshold tracks of rules that changed start over.
    void setRules(AlarmRules rules);
    const AlarmRules& rules() const { return rules_; }

    // One pass at `nowUs`. True when this hub leads.
    bool step(Micros nowUs);
    // Only the users' commands, when no hub leads (a command line of its
    // own): nothing else is worked, so that nothing goes unnotified.
    bool stepCommands(Micros nowUs);
    bool leading() const { return leading_; }
    const std::map<AlarmKey, Alarm>& alarms() const { return alarms_; }

private:
    struct FaultKey {
        std::int32_t site;
        Micros t;
        std::string list, status;
        auto operator<=>(const FaultKey&) const = default;
    };

    bool lead(Micros nowUs);
    void takeCommands(Micros nowUs);
    void takeFaults(Micros nowUs);
    void checkSites(Micros nowUs);
    void checkThresholds();
    void tickAll(Micros nowUs);
    Alarm& alarmFor(std::int32_t site, const std::string& siteName, const std::string& source);
    void apply(std::int32_t site, Alarm& alarm, const AlarmStep& step);
    void notifyChange(const Alarm& alarm, const AlarmChange& change);
    AlarmStep runCommand(Alarm& alarm, const AlarmCommand& c, Micros nowUs);
    void lose(const std::string& why);

    std::string conninfo_;
    AlarmRules rules_;
    Notify notify_;
    PgConnection db_;
    AlarmStore store_{db_};
    bool leading_ = false;
    std::map<AlarmKey, Alarm> alarms_;
    // Fault entries taken, by when they arrived (to take each once).
    Micros faultsCursorUs_ = 0;
    std::map<FaultKey, Micros> faultsTaken_;
    std::map<std::pair<std::int32_t, std::string>, ThresholdTrack> tracks_;
    Micros valuesCursorUs_ = 0;
};

}  // namespace orlix::hub
