#pragma once
// A subscriber in the test's own process: every message on its topic, in
// the order the broker sent them, and the broker's word that the
// subscription stands (so that a test starts publishing only then).
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "mosquitto_broker.h"
#include "mqtt/mqtt_client.h"

namespace orlix::test {

class BrokerListener {
public:
    // `id` non-empty: a persistent session under that client id.
    BrokerListener(const MosquittoBroker& broker, const std::string& topic, const std::string& id = {}) {
        MqttClientSettings s;
        s.url = *parseMqttUrl(broker.url("listener")).url;
        if (!id.empty()) {
            s.clientId = id;
            s.cleanSession = false;
        }
        MqttClient::Events e;
        e.onMessage = [this](const std::string& t, std::span<const std::uint8_t> p) {
            std::lock_guard lock(mutex_);
            messages_.emplace_back(t, std::string(p.begin(), p.end()));
        };
        e.onSubscribed = [this](bool granted, const std::string&) { subscribed_ = granted; };
        client_ = std::make_unique<MqttClient>(std::move(s), std::move(e));
        client_->subscribe(topic, 1);
        std::string error;
        client_->start(error);
    }
    bool subscribed() const { return subscribed_.load(); }
    // The payloads on `topic`.
    std::vector<std::string> on(const std::string& topic) const {
        std::lock_guard lock(mutex_);
        std::vector<std::string> out;
        for (const auto& [t, p] : messages_)
            if (t == topic) out.push_back(p);
        return out;
    }
    // Every message so far as {topic, payload}.
    std::vector<std::pair<std::string, std::string>> all() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }

private:
    std::unique_ptr<MqttClient> client_;
    mutable std::mutex mutex_;
    std::vector<std::pair<std::string, std::string>> messages_;
    std::atomic<bool> subscribed_{false};
};

}  // namespace orlix::test
