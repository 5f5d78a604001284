#pragma once
// The alarms in the database: their full state (alarms.detail holds every
// field of an Alarm, so that whichever hub leads next goes on exactly where
// the last one stood), their history (alarm_events), the commands of users
// waiting to be applied (alarm_commands), and the engine's own marks
// (engine_state). One connection, one thread.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "hub/alarm_state.h"
#include "hub/pg_connection.h"

namespace orlix::hub {

// An alarm is known by its site's id and its source.
using AlarmKey = std::pair<std::int32_t, std::string>;

struct AlarmCommand {
    std::int64_t id = 0;
    std::int32_t site = 0;
    std::string source;
    std::string command;  // acknowledge, shelve, unshelve, out-of-service, in-service
    std::string user;
    std::string reason;
    Micros untilUs = 0;
    Micros atUs = 0;
};

class AlarmStore {
public:
    explicit AlarmStore(PgConnection& db) : db_(db) {}

    // Every alarm with its site's name; false when the database failed.
    bool load(std::map<AlarmKey, Alarm>& alarms);
    // Writes the alarm's state and the changes that led to it, in one
    // transaction.
    bool save(std::int32_t site, const Alarm& alarm, const std::vector<AlarmChange>& changes);
    // The commands not applied yet, oldest first.
    bool pendingCommands(std::vector<AlarmCommand>& out);
    bool finishCommand(std::int64_t id, const std::string& outcome);
    // A mark of the engine's (a time) by name.
    std::optional<Micros> mark(const std::string& name);
    bool setMark(const std::string& name, Micros value);

    const std::string& error() const { return error_; }

private:
    bool fail(const PgResult& r);

    PgConnection& db_;
    std::string error_;
};

// Every field of an alarm as a JSON object, and back (nothing for text that
// is no such object).
std::string alarmJson(const Alarm& a);
std::optional<Alarm> alarmFromJson(std::string_view json, std::string site, std::string source);

}  // namespace orlix::hub
