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
// file, never a password).
std::optional<MqttClientSettings> brokerSettings(const BrokerOptions& options, std::string& error);

}  // namespace orlix
