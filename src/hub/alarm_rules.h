#pragma once
// The alarm rules file, written by hand (packaging/orlix-hub-rules.example.ini
// shows every key). INI, values read through QSettings; ';' or '#' start a
// comment line, ';' also ends a value; "a, b" is a list; a value holding a
// comma is put in double quotes.
//
//   [hub]                       general settings (every key optional)
//   repeat_interval = 1h        unacknowledged alarms are notified again this often; 0: never
//   offline_after = 60s         a site with no message for this long raises "offline"
//   sendmail = /usr/sbin/sendmail -t   the command that takes an e-mail on its input
//   fault_receivers = a, b      who is told of Err, ComErr and ProtErr alarms
//   offline_receivers = a       who is told of offline alarms
//
//   [receiver:NAME]
//   type = webhook | email | mqtt
//   url = https://...           webhook only: an http or https URL (POST of the JSON notice)
//   to = a@example.com, ...     email only: one or more addresses
//   from = hub@example.com      email only
//                               mqtt: published to PREFIX/SITE/alarms, no further keys
//
//   [threshold:NAME]
//   value = Pd                  a value column of the sample table
//   above = 2500 | below = -50  exactly one: the limit, in the column's stored units
//   on_delay = 30s              how long it must hold before the alarm is raised (default 0)
//   deadband = 50               how far back past the limit the value must come to clear (default 0)
//   sites = north, south | *    where the rule applies (default *: every site)
//   receivers = a, b            who is told (default: nobody; the alarm is still raised and shown)
//
// Durations are a whole number with s, m or h ("30s", "5m", "1h"), or 0.
// Names (NAME) are 1..64 characters of A-Z a-z 0-9 . _ -.
//
// A bad entry is refused with its line and reason and left out; the rest
// loads: a bad [hub] value keeps its default, a bad receiver or threshold
// section is dropped whole (and a rule naming a dropped receiver with it).
// Refused: an unknown section or key, a key outside a section, a section or
// key given twice, a line that is neither "[section]" nor "key = value", an
// unknown value column, a bad number or duration, an unknown receiver, a
// webhook URL that is not http/https, an e-mail address that is not
// local@domain, a missing required key.
#include <QString>
#include <string>
#include <string_view>
#include <vector>

#include "hub/hub_time.h"
#include "hub/threshold.h"

namespace orlix::hub {

enum class ReceiverType { Webhook, Email, Mqtt };

// "webhook", "email", "mqtt".
std::string_view receiverTypeName(ReceiverType type);

struct Receiver {
    std::string name;
    ReceiverType type = ReceiverType::Mqtt;
    std::string url;              // webhook
    std::vector<std::string> to;  // email
    std::string from;             // email
    int line = 0;
};

inline constexpr std::string_view kDefaultSendmailCommand = "/usr/sbin/sendmail -t";

struct HubSettings {
    Micros repeatIntervalUs = kMicrosPerHour;
    Micros offlineAfterUs = kMicrosPerMinute;
    std::string sendmailCommand{kDefaultSendmailCommand};
    std::vector<std::string> faultReceivers;
    std::vector<std::string> offlineReceivers;
};

struct AlarmRules {
    HubSettings hub;
    std::vector<Receiver> receivers;
    std::vector<ThresholdRule> thresholds;

    const Receiver* receiver(std::string_view name) const;
    const ThresholdRule* threshold(std::string_view name) const;
    // Who is told of an alarm of this source: the fault or offline
    // receivers, or a threshold rule's own.
    std::vector<const Receiver*> receiversFor(std::string_view source) const;
};

struct RuleError {
    int line = 0;  // 1-based; 0 when the whole file is concerned
    std::string message;
    // "PATH:LINE: message" ("PATH: message" for line 0).
    std::string text(std::string_view path) const;
};

struct RulesLoad {
    AlarmRules rules;
    std::vector<RuleError> errors;  // in line order
};

// Reads a rules file. A file that cannot be read gives no rules and one
// error at line 0; one that QSettings cannot read as INI (an unclosed
// section header) gives no rules and the errors of its lines.
RulesLoad loadAlarmRules(const QString& path);

// Logs every error of a load (one line each, orlix.hub) and one line with
// what was loaded.
void reportRulesLoad(const RulesLoad& load, std::string_view path);

}  // namespace orlix::hub
