#pragma once
// Alarms as plain data and pure functions: one Alarm per (site, source),
// changed only by the functions below, which take every time as an argument
// and read no clock. The office keeps an Alarm in its database between
// messages; any of several hubs may apply the next event to it.
//
// Sources: the fault lists "Err", "ComErr", "ProtErr" (a faults message
// raises its list's alarm with the status text as message; "Normal" clears
// it), "offline", and "threshold:<rule name>".
//
// States, stored and shown as ISA-18.2 names them:
//
//   state                    raise               clear                    acknowledge
//   normal                   unacknowledged      -                        refused
//   unacknowledged           (repeat)            returned-unacknowledged  acknowledged
//   acknowledged             (repeat)            normal                   refused
//   returned-unacknowledged  unacknowledged      -                        normal
//   shelved, out-of-service  (condition noted)   (condition noted)        refused
//
// A repeat counts the raise and keeps the first time. Shelving (until an end
// time) and taking out of service hide an alarm; when either ends the alarm
// comes back in the state its condition calls for: unacknowledged while the
// condition is active, normal otherwise.
//
// Chattering: kChatterRaises raises within kChatterWindowUs make an alarm
// chatter; while it chatters its changes notify nobody and its raises are
// counted as suppressed. It ends once no raise came for kChatterWindowUs.
//
// Every change yields an AlarmChange for the history, saying whether a
// notification is due: on a raise into unacknowledged, on a clear, and when
// an alarm comes back unacknowledged, unless it chatters. An unacknowledged
// alarm's notification repeats every configured interval (dueRepeats).
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hub/hub_time.h"

namespace orlix::hub {

enum class AlarmState { Normal, Unacknowledged, Acknowledged, ReturnedUnacknowledged, Shelved, OutOfService };

// "normal", "unacknowledged", "acknowledged", "returned-unacknowledged",
// "shelved", "out-of-service".
std::string_view alarmStateName(AlarmState state);
std::optional<AlarmState> alarmStateFromName(std::string_view name);

// What happened, as a notification and the history name it.
enum class AlarmEvent {
    Raised,             // "raised": the condition came (or came back while unacknowledged)
    Cleared,            // "cleared": the condition went
    Acknowledged,       // "acknowledged"
    Shelved,            // "shelved"
    Unshelved,          // "unshelved": by a user or at the end time
    RemovedFromService, // "out-of-service"
    ReturnedToService,  // "in-service"
    ChatterStarted,     // "chattering"
    ChatterEnded,       // "chattering-ended"
    Reminder,           // "reminder": still unacknowledged
};
std::string_view alarmEventName(AlarmEvent event);

inline constexpr int kChatterRaises = 3;
inline constexpr Micros kChatterWindowUs = kMicrosPerMinute;

inline constexpr std::string_view kOfflineSource = "offline";
inline constexpr std::string_view kThresholdSourcePrefix = "threshold:";

// A rule or receiver name: 1..64 characters of A-Z a-z 0-9 '.' '_' '-'.
bool isValidRuleName(std::string_view name);
// "threshold:" + rule name.
std::string thresholdSource(std::string_view ruleName);
// Err, ComErr, ProtErr, offline, or threshold:<valid rule name>.
bool isAlarmSource(std::string_view source);

struct Alarm {
    std::string site;
    std::string source;
    AlarmState state = AlarmState::Normal;
    Micros changedUs = 0;      // the last change of state
    bool active = false;       // the condition as last reported: raised and not cleared
    std::string message;       // the text of the latest raise
    Micros firstUs = 0;        // the first raise of this occurrence, kept through repeats
    Micros lastUs = 0;         // the latest raise
    std::int64_t count = 0;    // raises in this occurrence
    std::string ackBy;         // the last acknowledgement
    Micros ackUs = 0;
    std::string hiddenBy;      // who shelved it or took it out of service
    std::string hiddenReason;
    Micros shelvedUntilUs = 0;
    // The two latest raise times (0: none), for chattering.
    std::array<Micros, 2> recentRaisesUs{};
    bool chattering = false;
    std::int64_t suppressedRaises = 0;  // raises while chattering
    // Repeated notifications: counted from when it became unacknowledged.
    Micros unacknowledgedSinceUs = 0;
    std::int64_t repeatsSent = 0;
};

// A change of an alarm, for the history table and the notifications.
struct AlarmChange {
    std::string site;
    std::string source;
    AlarmEvent event = AlarmEvent::Raised;
    AlarmState from = AlarmState::Normal;
    AlarmState to = AlarmState::Normal;
    Micros atUs = 0;
    std::string by;   // the user who did it; empty for the office itself
    std::string why;  // the raise's message, the reason given, or what ended
    bool notify = false;
};

// The outcome of applying one event: the changes it made (none for a
// repeat or a clear of a normal alarm), or why a command was refused.
struct AlarmStep {
    std::vector<AlarmChange> changes;
    std::string refused;
    bool notify() const;
};

Alarm newAlarm(std::string site, std::string source);

// The condition was reported at `atUs` (the report's own time) with a text.
AlarmStep raiseAlarm(Alarm& a, Micros atUs, std::string_view message);
// The condition was reported gone at `atUs`.
AlarmStep clearAlarm(Alarm& a, Micros atUs);
// Whether a fault's status text returns its list to normal: "Normal", blanks
// around it ignored.
bool isNormalFaultStatus(std::string_view status);
// A faults message for this alarm's list: "Normal" clears, any other raises.
AlarmStep applyFaultStatus(Alarm& a, Micros atUs, std::string_view status);

// A person's commands. Refused (state unchanged) without a user name, and
// where the table above has no transition.
AlarmStep acknowledgeAlarm(Alarm& a, Micros atUs, std::string_view user);
// Needs a reason and an end after atUs; refused while out of service.
// Shelving a shelved alarm again replaces its end and reason.
AlarmStep shelveAlarm(Alarm& a, Micros atUs, std::string_view user, std::string_view reason, Micros untilUs);
AlarmStep unshelveAlarm(Alarm& a, Micros atUs, std::string_view user);
AlarmStep removeFromService(Alarm& a, Micros atUs, std::string_view user, std::string_view reason);
AlarmStep returnToService(Alarm& a, Micros atUs, std::string_view user);

// What time alone changes: the end of shelving, the end of chattering. Call
// it before applying an event and every few seconds.
AlarmStep tickAlarm(Alarm& a, Micros nowUs);

// Repeat notifications due and not yet sent at `nowUs`: one per whole
// `intervalUs` an alarm has been unacknowledged (and not chattering). 0 for
// an interval of 0 (no repeats).
std::int64_t dueRepeats(const Alarm& a, Micros nowUs, Micros intervalUs);
// When repeats are due, counts them all as sent and gives one Reminder to
// notify: after an outage of the office a receiver gets one reminder, not
// a burst.
std::optional<AlarmChange> takeDueRepeat(Alarm& a, Micros nowUs, Micros intervalUs);

}  // namespace orlix::hub
