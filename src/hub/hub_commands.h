#pragma once
// What orlix-hub does from a command line and ends: a person's command on
// an alarm (acknowledge, shelve ...), the alarm history as CSV, a site's
// time zone. An alarm command is put in alarm_commands for the leading hub;
// when no hub leads (none runs), it is applied here, as the leader would.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "hub/alarm_rules.h"
#include "hub/hub_time.h"
#include "hub/pg_connection.h"

namespace orlix::hub {

struct AlarmCommandRequest {
    std::string db;
    std::string site;
    std::string source;
    std::string command;  // acknowledge, shelve, unshelve, out-of-service, in-service
    std::string user;
    std::string reason;
    Micros untilUs = 0;
};

// Puts the command in alarm_commands for the leading hub: its id, or
// nothing with `error` (an unknown site: "no site NAME is known").
std::optional<std::int64_t> putAlarmCommand(PgConnection& db, const AlarmCommandRequest& request, std::string& error);

// 0 done, 1 refused or failed (`message` says why, or what was done).
int runAlarmCommand(const AlarmCommandRequest& request, const AlarmRules& rules, std::string& message);

// The alarm history (every change with site, source, time, from and to
// state, by whom and why) between two instants (0: open) as CSV to `out`,
// times as ISO 8601 with the office's offset. 0 done, 1 failed.
int exportAlarmHistory(const std::string& db, Micros fromUs, Micros toUs, std::FILE* out, std::string& message);

// The same history as CSV text; nothing with `error` when the database
// failed.
std::optional<std::string> alarmHistoryCsv(PgConnection& db, Micros fromUs, Micros toUs, std::string& error,
                                           int* rows = nullptr);

// Sets the IANA zone (e.g. Europe/Berlin; "" for the office's own) in which
// the site's times without a UTC offset are read. 0 done, 1 failed.
int setSiteZone(const std::string& db, const std::string& site, const std::string& zone, std::string& message);

}  // namespace orlix::hub
