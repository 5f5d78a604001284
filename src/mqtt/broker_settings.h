#pragma once
// Everything a program is told about its broker, turned into the client's
// settings in one place: the URL, the password from a file (which wins over
// one in the URL), and the TLS files for mqtts://.
#include <optional>
#include <string>

#include "mqtt/mqtt_client.h"

namespace orlix {

struct BrokerOptions {
    std::string url;           // mqtt[s]://[user[:password]@]host[:port]/LEVELS
    std::string passwordFile;  // "" for none
    std::string tlsCa, tlsCert, tlsKey;
};

// The client's settings, or nothing with `error` set (naming the option or
// file, never a password). Warns (once per run) of a password that others
// can read: one in the URL (the process list shows it) or in a file that
// every user may read. A process that holds a password is made
// non-dumpable (guardBrokerPassword).
std::optional<MqttClientSettings> brokerSettings(const BrokerOptions& options, std::string& error);

// No core dump of this process (it would hold the password on disk), and
// no other user's debugger attaches to it.
void guardBrokerPassword();

}  // namespace orlix
