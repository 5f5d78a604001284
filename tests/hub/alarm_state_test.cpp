// Alarm states: the transitions table, repeats, chattering, shelving and
// out-of-service, repeated notifications.
#include "hub/alarm_state.h"

#include <gtest/gtest.h>

namespace orlix::hub {
namespace {

constexpr Micros kT0 = 1'773'480'000 * kMicrosPerSecond;  // 2026-03-14
constexpr Micros kMin = kMicrosPerMinute;

using S = AlarmState;

// An alarm brought into `state` by the usual route, its events two minutes
// apart (no chattering); `active` leaves its condition raised where the
// route allows either.
Alarm alarmIn(S state, bool active = true) {
    Alarm a = newAlarm("north", "Err");
    Micros t = kT0;
    const auto next = [&] { return t += 2 * kMin; };
    switch (state) {
    case S::Normal: break;
    case S::Unacknowledged: raiseAlarm(a, next(), "EEPROM"); break;
    case S::Acknowledged:
        raiseAlarm(a, next(), "EEPROM");
        acknowledgeAlarm(a, next(), "anna");
        break;
    case S::ReturnedUnacknowledged:
        raiseAlarm(a, next(), "EEPROM");
        clearAlarm(a, next());
        break;
    case S::Shelved:
        if (active) raiseAlarm(a, next(), "EEPROM");
        shelveAlarm(a, next(), "anna", "sensor replaced tomorrow", kT0 + 60 * kMin);
        break;
    case S::OutOfService:
        if (active) raiseAlarm(a, next(), "EEPROM");
        removeFromService(a, next(), "anna", "unit dismantled");
        break;
    }
    EXPECT_EQ(a.state, state);
    return a;
}

enum class Do { Raise, Clear, Acknowledge };

struct Row {
    S from;
    Do what;
    S to;
    bool changes;  // a change record is made
    bool notify;
    bool refused;
};

TEST(AlarmTransitions, FollowTheTable) {
    const Row rows[] = {
        {S::Normal, Do::Raise, S::Unacknowledged, true, true, false},
        {S::Normal, Do::Clear, S::Normal, false, false, false},
        {S::Normal, Do::Acknowledge, S::Normal, false, false, true},
        {S::Unacknowledged, Do::Raise, S::Unacknowledged, false, false, false},
        {S::Unacknowledged, Do::Clear, S::ReturnedUnacknowledged, true, true, false},
        {S::Unacknowledged, Do::Acknowledge, S::Acknowledged, true, false, false},
        {S::Acknowledged, Do::Raise, S::Acknowledged, false, false, false},
        {S::Acknowledged, Do::Clear, S::Normal, true, true, false},
        {S::Acknowledged, Do::Acknowledge, S::Acknowledged, false, false, true},
        {S::ReturnedUnacknowledged, Do::Raise, S::Unacknowledged, true, true, false},
        {S::ReturnedUnacknowledged, Do::Clear, S::ReturnedUnacknowledged, false, false, false},
        {S::ReturnedUnacknowledged, Do::Acknowledge, S::Normal, true, false, false},
        {S::Shelved, Do::Raise, S::Shelved, false, false, false},
        {S::Shelved, Do::Clear, S::Shelved, false, false, false},
        {S::Shelved, Do::Acknowledge, S::Shelved, false, false, true},
        {S::OutOfService, Do::Raise, S::OutOfService, false, false, false},
        {S::OutOfService, Do::Clear, S::OutOfService, false, false, false},
        {S::OutOfService, Do::Acknowledge, S::OutOfService, false, false, true},
    };
    const Micros at = kT0 + 30 * kMin;
    for (const Row& row : rows) {
        Alarm a = alarmIn(row.from);
        const AlarmStep step = row.what == Do::Raise   ? raiseAlarm(a, at, "EEPROM again")
                               : row.what == Do::Clear ? clearAlarm(a, at)
                                                       : acknowledgeAlarm(a, at, "bob");
        const std::string where = std::string(alarmStateName(row.from)) + " + " +
                                  (row.what == Do::Raise ? "raise" : row.what == Do::Clear ? "clear" : "acknowledge");
        EXPECT_EQ(a.state, row.to) << where;
        EXPECT_EQ(!step.refused.empty(), row.refused) << where << ": " << step.refused;
        ASSERT_EQ(step.changes.size(), row.changes ? 1u : 0u) << where;
        EXPECT_EQ(step.notify(), row.notify) << where;
        if (!row.changes) continue;
        const AlarmChange& c = step.changes[0];
        EXPECT_EQ(c.from, row.from) << where;
        EXPECT_EQ(c.to, row.to) << where;
        EXPECT_EQ(c.atUs, at) << where;
        EXPECT_EQ(c.site, "north");
        EXPECT_EQ(c.source, "Err");
        EXPECT_EQ(c.by, row.what == Do::Acknowledge ? "bob" : "") << where;
    }
}

TEST(AlarmTransitions, CommandsWithoutAUserAreRefusedAndChangeNothing) {
    Alarm a = alarmIn(S::Unacknowledged);
    EXPECT_EQ(acknowledgeAlarm(a, kT0 + 10 * kMin, "").refused, "no user named");
    EXPECT_FALSE(shelveAlarm(a, kT0 + 10 * kMin, "", "why", kT0 + 20 * kMin).refused.empty());
    EXPECT_FALSE(removeFromService(a, kT0 + 10 * kMin, "", "why").refused.empty());
    EXPECT_EQ(a.state, S::Unacknowledged);
    EXPECT_EQ(a.ackBy, "");
}

TEST(AlarmOccurrence, RepeatsCountAndKeepTheFirstTimeUntilNormal) {
    Alarm a = newAlarm("north", "threshold:high-pd");
    raiseAlarm(a, kT0, "first");
    raiseAlarm(a, kT0 + 5 * kMin, "second");
    EXPECT_EQ(a.count, 2);
    EXPECT_EQ(a.firstUs, kT0);
    EXPECT_EQ(a.lastUs, kT0 + 5 * kMin);
    EXPECT_EQ(a.message, "second");
    // Cleared, then raised again before anyone acknowledged: one occurrence.
    clearAlarm(a, kT0 + 10 * kMin);
    const AlarmStep again = raiseAlarm(a, kT0 + 15 * kMin, "third");
    EXPECT_EQ(again.changes.at(0).from, S::ReturnedUnacknowledged);
    EXPECT_EQ(a.count, 3);
    EXPECT_EQ(a.firstUs, kT0);
    // A report that arrives late keeps the first time the earliest.
    raiseAlarm(a, kT0 - kMin, "late");
    EXPECT_EQ(a.firstUs, kT0 - kMin);
    EXPECT_EQ(a.lastUs, kT0 + 15 * kMin);
    // Acknowledged and cleared: the next raise starts a new occurrence.
    acknowledgeAlarm(a, kT0 + 20 * kMin, "anna");
    clearAlarm(a, kT0 + 25 * kMin);
    ASSERT_EQ(a.state, S::Normal);
    raiseAlarm(a, kT0 + 30 * kMin, "new");
    EXPECT_EQ(a.count, 1);
    EXPECT_EQ(a.firstUs, kT0 + 30 * kMin);
    EXPECT_EQ(a.ackBy, "anna");
}

TEST(AlarmOccurrence, FaultStatusNormalClearsAnyOtherRaises) {
    Alarm a = newAlarm("north", "ComErr");
    const AlarmStep raised = applyFaultStatus(a, kT0, "Com fault");
    EXPECT_EQ(a.state, S::Unacknowledged);
    EXPECT_EQ(raised.changes.at(0).why, "Com fault");
    applyFaultStatus(a, kT0 + 2 * kMin, " Normal ");
    EXPECT_EQ(a.state, S::ReturnedUnacknowledged);
    applyFaultStatus(a, kT0 + 4 * kMin, "normal");  // not the bus's word: a fault text
    EXPECT_EQ(a.state, S::Unacknowledged);
    EXPECT_FALSE(isNormalFaultStatus(""));
}

// Raises and clears in turn at the given offsets from kT0.
AlarmStep flap(Alarm& a, std::initializer_list<Micros> raises) {
    AlarmStep last;
    for (const Micros at : raises) {
        last = raiseAlarm(a, kT0 + at, "flap");
        clearAlarm(a, kT0 + at + 1);
    }
    return last;
}

TEST(AlarmChattering, ThreeRaisesWithinAMinuteHoldNotificationsBack) {
    Alarm a = newAlarm("north", "Err");
    EXPECT_TRUE(flap(a, {0}).notify());
    EXPECT_TRUE(flap(a, {20 * kMicrosPerSecond}).notify());
    const AlarmStep third = raiseAlarm(a, kT0 + kMin, "flap");  // 60 s after the first: within
    ASSERT_EQ(third.changes.size(), 2u);
    EXPECT_EQ(third.changes[0].event, AlarmEvent::Raised);
    EXPECT_FALSE(third.changes[0].notify);
    EXPECT_EQ(third.changes[1].event, AlarmEvent::ChatterStarted);
    EXPECT_TRUE(a.chattering);
    EXPECT_FALSE(clearAlarm(a, kT0 + kMin + 1).notify());
    EXPECT_FALSE(raiseAlarm(a, kT0 + 90 * kMicrosPerSecond, "flap").notify());
    EXPECT_EQ(a.suppressedRaises, 2);
    EXPECT_EQ(dueRepeats(a, kT0 + 10 * kMin, kMin), 0);
}

TEST(AlarmChattering, EndsAfterAQuietMinuteWithOneNotificationIfStillUnacknowledged) {
    Alarm a = newAlarm("north", "Err");
    flap(a, {0, 10 * kMicrosPerSecond});
    raiseAlarm(a, kT0 + 20 * kMicrosPerSecond, "flap");  // chatters, stays raised
    const Micros lastRaise = kT0 + 20 * kMicrosPerSecond;
    EXPECT_TRUE(tickAlarm(a, lastRaise + kMin - 1).changes.empty());
    const AlarmStep end = tickAlarm(a, lastRaise + kMin);
    ASSERT_EQ(end.changes.size(), 1u);
    EXPECT_EQ(end.changes[0].event, AlarmEvent::ChatterEnded);
    EXPECT_EQ(end.changes[0].why, "1 raises suppressed");
    EXPECT_TRUE(end.notify());
    EXPECT_FALSE(a.chattering);
    // Repeats count from that notification.
    EXPECT_EQ(dueRepeats(a, lastRaise + kMin + 10 * kMin - 1, 10 * kMin), 0);
    EXPECT_EQ(dueRepeats(a, lastRaise + kMin + 10 * kMin, 10 * kMin), 1);
}

TEST(AlarmChattering, EndsQuietlyWhenNothingAwaitsAcknowledgementAndOnANextRaise) {
    Alarm a = newAlarm("north", "Err");
    flap(a, {0, 10 * kMicrosPerSecond, 20 * kMicrosPerSecond});
    acknowledgeAlarm(a, kT0 + 30 * kMicrosPerSecond, "anna");
    ASSERT_EQ(a.state, S::Normal);
    EXPECT_FALSE(tickAlarm(a, kT0 + 2 * kMin).notify());
    // Chattering again, then a raise after a quiet minute without a tick:
    // the end comes first, and the raise notifies.
    flap(a, {3 * kMin, 3 * kMin + 1000, 3 * kMin + 2000});
    ASSERT_TRUE(a.chattering);
    const AlarmStep late = raiseAlarm(a, kT0 + 5 * kMin, "after quiet");
    ASSERT_EQ(late.changes.size(), 2u);
    EXPECT_EQ(late.changes[0].event, AlarmEvent::ChatterEnded);
    EXPECT_EQ(late.changes[1].event, AlarmEvent::Raised);
    EXPECT_TRUE(late.changes[1].notify);
}

TEST(AlarmChattering, ThreeRaisesSpreadOverMoreThanAMinuteDoNotChatter) {
    Alarm a = newAlarm("north", "Err");
    flap(a, {0, 30 * kMicrosPerSecond});
    EXPECT_TRUE(flap(a, {kMin + 1}).notify());
    EXPECT_FALSE(a.chattering);
    // Late reports count by their own times, whatever order they come in.
    Alarm b = newAlarm("north", "Err");
    flap(b, {10 * kMin, 10 * kMin - 20 * kMicrosPerSecond});
    EXPECT_FALSE(b.chattering);
    flap(b, {10 * kMin - 40 * kMicrosPerSecond});
    EXPECT_TRUE(b.chattering);
}

TEST(AlarmShelving, HidesUntilTheEndThenComesBackAsTheConditionCallsFor) {
    Alarm a = alarmIn(S::Unacknowledged);
    const Micros until = kT0 + 60 * kMin;
    const AlarmStep shelved = shelveAlarm(a, kT0 + 10 * kMin, "anna", "sensor replaced tomorrow", until);
    EXPECT_EQ(shelved.changes.at(0).why, "sensor replaced tomorrow");
    EXPECT_EQ(shelved.changes.at(0).by, "anna");
    EXPECT_FALSE(shelved.notify());
    EXPECT_TRUE(raiseAlarm(a, kT0 + 20 * kMin, "still").changes.empty());
    EXPECT_TRUE(tickAlarm(a, until - 1).changes.empty());
    const AlarmStep back = tickAlarm(a, until);
    ASSERT_EQ(back.changes.size(), 1u);
    EXPECT_EQ(back.changes[0].event, AlarmEvent::Unshelved);
    EXPECT_EQ(back.changes[0].to, S::Unacknowledged);
    EXPECT_TRUE(back.notify());
    EXPECT_EQ(a.count, 2);  // the raise while shelved was counted

    Alarm b = alarmIn(S::Unacknowledged);
    shelveAlarm(b, kT0 + 10 * kMin, "anna", "noise", until);
    clearAlarm(b, kT0 + 20 * kMin);
    const AlarmStep quiet = tickAlarm(b, until + kMin);
    EXPECT_EQ(b.state, S::Normal);
    EXPECT_FALSE(quiet.notify());
}

TEST(AlarmShelving, RefusalsReshelvingAndEarlyUnshelve) {
    Alarm a = alarmIn(S::Acknowledged);
    const Micros now = kT0 + 10 * kMin;
    EXPECT_EQ(shelveAlarm(a, now, "anna", "", now + kMin).refused, "shelving needs a reason");
    EXPECT_EQ(shelveAlarm(a, now, "anna", "x", now).refused, "shelving must end after it starts");
    EXPECT_EQ(unshelveAlarm(a, now, "anna").refused, "the alarm is not shelved");
    ASSERT_TRUE(shelveAlarm(a, now, "anna", "x", now + kMin).refused.empty());
    ASSERT_TRUE(shelveAlarm(a, now, "bob", "longer", now + 30 * kMin).refused.empty());
    EXPECT_EQ(a.hiddenBy, "bob");
    EXPECT_TRUE(tickAlarm(a, now + 5 * kMin).changes.empty());
    const AlarmStep early = unshelveAlarm(a, now + 6 * kMin, "bob");
    EXPECT_EQ(early.changes.at(0).by, "bob");
    EXPECT_EQ(a.state, S::Unacknowledged);  // still active: back unacknowledged, not acknowledged
    EXPECT_EQ(a.shelvedUntilUs, 0);
}

TEST(AlarmOutOfService, OverridesShelvingAndReturnsAsTheConditionCallsFor) {
    Alarm a = alarmIn(S::Shelved, false);
    const Micros now = kT0 + 10 * kMin;
    ASSERT_TRUE(removeFromService(a, now, "anna", "unit dismantled").refused.empty());
    EXPECT_EQ(removeFromService(a, now, "anna", "again").refused, "the alarm is out of service already");
    EXPECT_EQ(shelveAlarm(a, now, "anna", "x", now + kMin).refused, "the alarm is out of service");
    EXPECT_TRUE(tickAlarm(a, kT0 + 120 * kMin).changes.empty());  // the old shelving end does not apply
    raiseAlarm(a, now + kMin, "EEPROM");
    const AlarmStep back = returnToService(a, now + 2 * kMin, "anna");
    EXPECT_EQ(back.changes.at(0).event, AlarmEvent::ReturnedToService);
    EXPECT_EQ(a.state, S::Unacknowledged);
    EXPECT_TRUE(back.notify());
    EXPECT_EQ(returnToService(a, now + 3 * kMin, "anna").refused, "the alarm is in service");

    Alarm b = alarmIn(S::OutOfService, true);
    clearAlarm(b, now);
    EXPECT_FALSE(returnToService(b, now + kMin, "anna").notify());
    EXPECT_EQ(b.state, S::Normal);
}

TEST(AlarmRepeats, AreDueEveryIntervalWhileUnacknowledgedAndSentOnceAfterAGap) {
    Alarm a = newAlarm("north", "offline");
    raiseAlarm(a, kT0, "no message for 60 s");
    const Micros interval = 10 * kMin;
    EXPECT_EQ(dueRepeats(a, kT0 + interval - 1, interval), 0);
    EXPECT_EQ(dueRepeats(a, kT0 + interval, interval), 1);
    EXPECT_EQ(dueRepeats(a, kT0 + 35 * kMin, interval), 3);
    const std::optional<AlarmChange> reminder = takeDueRepeat(a, kT0 + 35 * kMin, interval);
    ASSERT_TRUE(reminder);
    EXPECT_EQ(reminder->event, AlarmEvent::Reminder);
    EXPECT_TRUE(reminder->notify);
    EXPECT_EQ(reminder->why, "no message for 60 s");
    EXPECT_EQ(dueRepeats(a, kT0 + 39 * kMin, interval), 0);
    EXPECT_FALSE(takeDueRepeat(a, kT0 + 39 * kMin, interval));
    EXPECT_EQ(dueRepeats(a, kT0 + 40 * kMin, interval), 1);
    EXPECT_EQ(dueRepeats(a, kT0 + 40 * kMin, 0), 0);  // repeats switched off
    acknowledgeAlarm(a, kT0 + 41 * kMin, "anna");
    EXPECT_EQ(dueRepeats(a, kT0 + 90 * kMin, interval), 0);
    Alarm b = alarmIn(S::ReturnedUnacknowledged);
    EXPECT_EQ(dueRepeats(b, kT0 + 90 * kMin, interval), 0);
}

TEST(AlarmNames, StatesAreStoredByTheirIsaNames) {
    const std::pair<S, const char*> names[] = {
        {S::Normal, "normal"},         {S::Unacknowledged, "unacknowledged"},
        {S::Acknowledged, "acknowledged"}, {S::ReturnedUnacknowledged, "returned-unacknowledged"},
        {S::Shelved, "shelved"},       {S::OutOfService, "out-of-service"}};
    for (const auto& [state, name] : names) {
        EXPECT_EQ(alarmStateName(state), name);
        EXPECT_EQ(alarmStateFromName(name), state);
    }
    EXPECT_FALSE(alarmStateFromName("Normal"));
    EXPECT_FALSE(alarmStateFromName("returned"));
}

TEST(AlarmNames, SourcesAreTheFaultListsOfflineAndNamedThresholdRules) {
    for (const char* s : {"Err", "ComErr", "ProtErr", "offline", "threshold:high-pd", "threshold:a.b_c"})
        EXPECT_TRUE(isAlarmSource(s)) << s;
    for (const char* s : {"err", "Offline", "threshold:", "threshold:a b", "threshold:x/y", "high-pd", ""})
        EXPECT_FALSE(isAlarmSource(s)) << s;
    EXPECT_EQ(thresholdSource("high-pd"), "threshold:high-pd");
    EXPECT_TRUE(isValidRuleName(std::string(64, 'a')));
    EXPECT_FALSE(isValidRuleName(std::string(65, 'a')));
}

}  // namespace
}  // namespace orlix::hub
