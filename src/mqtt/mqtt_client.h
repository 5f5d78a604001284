#pragma once
// A connection to an MQTT broker on libmosquitto, for the recorder (which
// publishes) and the remote-site port (which subscribes). The library does
// the protocol and the resending of unacknowledged messages; this adapter
// runs the library's network loop on a thread of its own, reconnecting with
// backoff (1 s doubling to 30 s) after any failure, and adds around it:
//
//  - a status topic: retained "offline" as the last will, retained "online"
//    at every connect, retained "offline" at a clean stop;
//  - subscriptions made again at every connect;
//  - a bounded queue for QoS 1 messages: published while the broker is away
//    they wait (in the library) and go out when it is back; beyond
//    `maxQueued` unacknowledged messages a new one is dropped and counted;
//  - QoS 0 messages published while the broker is away are dropped (counted);
//  - one log line (orlix.mqtt) per connection change; a refused login or a
//    failed TLS check is written once with its cause, repeats counted.
//
// Credentials are handed to the library and never written anywhere: the log
// names the broker by MqttUrl::shown().
//
// The library runs its own network thread; the events are called on it.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <string>
#include <deque>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/log.h"
#include "mqtt/mqtt_url.h"
#include "mqtt/tls_failure.h"

struct mosquitto;
struct mosquitto_message;

namespace orlix {

// 24 hours of one sample every 4 s.
inline constexpr std::size_t kMqttMaxQueued = 21600;

struct MqttClientSettings {
    MqttUrl url;  // host, port, tls, user and password
    std::string tlsCaFile;                  // mqtts: CA certificate file; empty: the system's CAs
    std::string tlsCertFile, tlsKeyFile;    // mqtts: optional client certificate and key
    std::string clientId;                   // empty: made by the library
    std::string statusTopic;                // empty: no status, no will
    std::size_t maxQueued = kMqttMaxQueued;
    // QoS 1 messages handed to the library and not yet acknowledged. More
    // keeps a fast link busy (a load generator); the rest wait in the queue.
    std::size_t inFlight = 64;
    int keepAliveSeconds = 30;
    // Off: the broker keeps the subscriptions and the QoS 1 messages for
    // this client id while it is away (needs a fixed clientId).
    bool cleanSession = true;
    // Off when the owner reports a connection that fails (it hears of it
    // through Events::onConnection with the cause): no line of the client's.
    bool logConnectFailures = true;
};

struct MqttCounters {
    std::uint64_t published = 0;  // handed to the library
    std::uint64_t delivered = 0;  // QoS 1 acknowledged by the broker
    std::uint64_t dropped = 0;    // not sent: queue full, or QoS 0 while the broker is away
    std::uint64_t queued = 0;     // QoS 1 waiting for the broker's acknowledgement
    std::uint64_t received = 0;   // messages of the subscriptions
    bool connected = false;
};

class MqttClient {
public:
    struct Events {
        // The connection came up (true) or went down (false); `why` says
        // what happened ("" for a plain connect). `lasting`: trying again
        // will fail the same way until a setting changes (a refused login,
        // a broker certificate that fails its check, a refused client
        // certificate); the client tries again all the same.
        std::function<void(bool up, const std::string& why, bool lasting)> onConnection;
        std::function<void(const std::string& topic, std::span<const std::uint8_t> payload)> onMessage;
        // Every subscription of a connect has been granted (or refused:
        // `granted` false, `why` names the topic, and so does the log).
        std::function<void(bool granted, const std::string& why)> onSubscribed;
    };

    MqttClient(MqttClientSettings settings, Events events);
    ~MqttClient();
    MqttClient(const MqttClient&) = delete;
    MqttClient& operator=(const MqttClient&) = delete;

    // A topic to subscribe to at every connect. Call before start().
    void subscribe(std::string topic, int qos);
    // While running: subscribes now (when connected) and at every connect
    // from then on; unsubscribe() ends that. Thread-safe. Messages of such a
    // topic come through Events::onMessage like the others.
    void addSubscription(const std::string& topic, int qos);
    void removeSubscription(const std::string& topic);
    // Starts connecting in the background. False with `error` set when the
    // settings cannot work (unreadable TLS files, no network thread); a
    // broker that cannot be reached is not an error here: the client keeps
    // trying.
    bool start(std::string& error);
    // Publishes the retained "offline" status, gives queued messages up to
    // `flushMs` to reach the broker, disconnects and ends the network thread.
    void stop(int flushMs = 2000);

    // Thread-safe: blocks until fewer than `below` QoS 1 messages are queued
    // (waiting or unacknowledged), for a publisher that must not outrun the
    // broker. False when `timeout` passed first.
    bool waitForRoom(std::size_t below, std::chrono::milliseconds timeout);

    // Thread-safe. Returns false when the message was dropped.
    bool publish(const std::string& topic, std::span<const std::uint8_t> payload, int qos, bool retain = false);
    bool publish(const std::string& topic, const std::string& payload, int qos, bool retain = false);

    bool connected() const { return connected_.load(); }
    MqttCounters counters() const;
    const MqttClientSettings& settings() const { return settings_; }

private:
    static void onConnectCb(mosquitto* m, void* self, int rc);
    static void onDisconnectCb(mosquitto* m, void* self, int rc);
    static void onPublishCb(mosquitto* m, void* self, int mid);
    static void onMessageCb(mosquitto* m, void* self, const mosquitto_message* msg);
    static void onSubscribeCb(mosquitto* m, void* self, int mid, int count, const int* grantedQos);
    static void onLogCb(mosquitto* m, void* self, int level, const char* text);

    void run();
    void connectionChanged(bool up, const std::string& why, bool lasting = false);
    void reportFailedConnect(int rc, int err);
    // The cause of the failure the library has reported since the last
    // attempt began (a TLS failure in words, or its last error line), and
    // whether it is lasting; the notes are cleared.
    std::string takeLibraryFailure(bool& lasting);
    // The socket of a connection not yet up has been closed or has failed.
    bool socketHungUp() const;
    std::optional<std::string> passFailure(const std::string& text);

    MqttClientSettings settings_;
    Events events_;
    mosquitto* m_ = nullptr;
    bool started_ = false;
    std::vector<std::pair<std::string, int>> subscriptions_;  // fixed before start()
    std::vector<std::pair<std::string, int>> extra_;          // added while running; guarded by mutex_
    std::atomic<bool> connected_{false};
    std::atomic<bool> announceOnline_{false};  // "online" is due on the status topic
    std::vector<int> pendingMids_;  // subscriptions of this connect not answered yet (network thread)
    std::atomic<bool> subscribeRefused_{false};
    std::string subscribeWhy_;  // the first refused subscription of this connect (network thread)

    std::thread thread_;  // the network loop
    std::mutex runMutex_;
    std::condition_variable wake_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> refused_{false};  // the broker refused the last connect
    bool everConnectedSinceWait_ = false;  // the backoff starts again after a connection

    mutable std::mutex mutex_;
    std::condition_variable drained_;  // told of every acknowledgement and lost connection
    struct Message {
        std::string topic;
        std::vector<std::uint8_t> payload;
        int qos = 1;
        bool retain = false;
        std::uint64_t seq = 0;  // order of publishing
    };
    void pumpLocked();
    void announceOnlineLocked();
    std::deque<Message> waiting_;                   // not handed to the library yet
    std::unordered_map<int, Message> outstanding_;  // by message id, not acknowledged yet
    std::uint64_t nextSeq_ = 0;
    MqttCounters counters_;
    std::mutex notesMutex_;     // the library's error lines come on its own thread
    TlsFailureNotes tlsNotes_;  // what the library reported of the current attempt
    log::RepeatFilter failures_;
};

}  // namespace orlix
