#pragma once
// Everything a program is told about its broker, turned into the client's
// settings in one place: the URL, the password from a file (which wins over
// one in the URL), and the TLS files for mqtts://. Every program reads its
// broker options through here, so every one checks them alike, and can do
// so before it makes anything (checkBrokerOptions).
#include <cstddef>
#include <optional>
#include <string>

#include "mqtt/mqtt_client.h"

namespace orlix {

struct BrokerOptions {
    std::string url;           // mqtt[s]://[user[:password]@]host[:port]/LEVELS
    std::string passwordFile;  // "" for none
    std::string tlsCa, tlsCert, tlsKey;
};

// The most bytes an MQTT topic may have.
inline constexpr std::size_t kMaxTopicBytes = 65535;

// The client's settings, or nothing with `error` set: what is wrong, naming
// the option (`urlOption` for the URL: "--mqtt", "--port"), never a password.
// Warns (once per run) of a password that others can read: one in the URL
// (the process list shows it) or in a file that every user may read. A
// process that holds a password is made non-dumpable (guardBrokerPassword).
std::optional<MqttClientSettings> brokerSettings(const BrokerOptions& options, std::string& error,
                                                 const std::string& urlOption = "--mqtt");

// What can be known wrong before anything is made or connected: the URL
// when one is given, the password file and each TLS file readable. "" when
// all is well, else one line naming the option.
std::string checkBrokerOptions(const BrokerOptions& options, const std::string& urlOption = "--mqtt");

// "" when `topic` fits in an MQTT topic; else a line naming `option` and
// the limit.
std::string topicLengthError(const std::string& topic, const std::string& option);

// No core dump of this process (it would hold the password on disk), and
// no other user's debugger attaches to it.
void guardBrokerPassword();

}  // namespace orlix
