#include "mqtt/broker_settings.h"

namespace orlix {

std::optional<MqttClientSettings> brokerSettings(const BrokerOptions& options, std::string& error) {
    const MqttUrlParse parsed = parseMqttUrl(options.url);
    if (!parsed.url) {
        error = parsed.error;
        return std::nullopt;
    }
    MqttClientSettings s;
    s.url = *parsed.url;
    if (!options.passwordFile.empty()) {
        const auto password = readPasswordFile(options.passwordFile, error);
        if (!password) return std::nullopt;
        s.url.password = *password;
    }
    s.tlsCaFile = options.tlsCa;
    s.tlsCertFile = options.tlsCert;
    s.tlsKeyFile = options.tlsKey;
    return s;
}

}  // namespace orlix
