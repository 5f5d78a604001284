#include "mqtt/mqtt_client.h"

#include <mosquitto.h>
#include <poll.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <climits>
#include <cstring>

namespace orlix {
namespace {

void initLibraryOnce() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

constexpr const char* kOnline = "online";
constexpr const char* kOffline = "offline";
// Seconds between reconnect attempts: from 1, doubling, at most 30.
constexpr int kReconnectMin = 1, kReconnectMax = 30;

}  // namespace

MqttClient::MqttClient(MqttClientSettings settings, Events events)
    : settings_(std::move(settings)), events_(std::move(events)) {
    initLibraryOnce();
}

MqttClient::~MqttClient() {
    stop(0);
    if (m_ != nullptr) mosquitto_destroy(m_);
}

void MqttClient::subscribe(std::string topic, int qos) { subscriptions_.emplace_back(std::move(topic), qos); }

void MqttClient::addSubscription(const std::string& topic, int qos) {
    {
        std::lock_guard lock(mutex_);
        for (const auto& [t, q] : extra_)
            if (t == topic) return;
        extra_.emplace_back(topic, qos);
    }
    if (m_ != nullptr && connected_.load()) {
        const int rc = mosquitto_subscribe(m_, nullptr, topic.c_str(), qos);
        if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_NO_CONN)
            log::warning(log::kMqtt, "cannot subscribe to " + topic + ": " + mosquitto_strerror(rc));
    }
}

void MqttClient::removeSubscription(const std::string& topic) {
    {
        std::lock_guard lock(mutex_);
        std::erase_if(extra_, [&](const auto& s) { return s.first == topic; });
    }
    if (m_ != nullptr && connected_.load()) mosquitto_unsubscribe(m_, nullptr, topic.c_str());
}

bool MqttClient::start(std::string& error) {
    if (started_) return true;
    const MqttUrl& url = settings_.url;
    m_ = mosquitto_new(settings_.clientId.empty() ? nullptr : settings_.clientId.c_str(), settings_.cleanSession,
                       this);
    if (m_ == nullptr) {
        error = "cannot make an MQTT client: out of memory or bad client id";
        return false;
    }
    mosquitto_int_option(m_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(m_, &MqttClient::onConnectCb);
    mosquitto_disconnect_callback_set(m_, &MqttClient::onDisconnectCb);
    mosquitto_publish_callback_set(m_, &MqttClient::onPublishCb);
    mosquitto_message_callback_set(m_, &MqttClient::onMessageCb);
    mosquitto_subscribe_callback_set(m_, &MqttClient::onSubscribeCb);
    mosquitto_log_callback_set(m_, &MqttClient::onLogCb);
    if (!url.user.empty() &&
        mosquitto_username_pw_set(m_, url.user.c_str(), url.password.empty() ? nullptr : url.password.c_str()) !=
            MOSQ_ERR_SUCCESS) {
        error = "the MQTT user name or password is not valid UTF-8";
        return false;
    }
    if (!settings_.statusTopic.empty()) {
        const int rc = mosquitto_will_set(m_, settings_.statusTopic.c_str(), 7, kOffline, 1, true);
        if (rc != MOSQ_ERR_SUCCESS) {
            error = "cannot set the last will on " + settings_.statusTopic + ": " + mosquitto_strerror(rc);
            return false;
        }
    }
    if (url.tls) {
        const char* ca = settings_.tlsCaFile.empty() ? nullptr : settings_.tlsCaFile.c_str();
        const char* caPath = ca == nullptr ? "/etc/ssl/certs" : nullptr;
        const char* cert = settings_.tlsCertFile.empty() ? nullptr : settings_.tlsCertFile.c_str();
        const char* key = settings_.tlsKeyFile.empty() ? nullptr : settings_.tlsKeyFile.c_str();
        const int rc = mosquitto_tls_set(m_, ca, caPath, cert, key, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            error = std::string("cannot use the TLS files (CA, certificate, key): ") + mosquitto_strerror(rc);
            return false;
        }
    }
    mosquitto_threaded_set(m_, true);
    started_ = true;
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
    return true;
}

void MqttClient::run() {
    // The network loop: connect, serve the connection, and after a failure
    // or a loss wait (1 s, doubling up to 30 s) and connect again. The
    // connects are non-blocking, so stop() is never held up by one.
    const MqttUrl& url = settings_.url;
    int delay = kReconnectMin;
    bool first = true;
    std::unique_lock lock(runMutex_);
    while (!stopping_) {
        lock.unlock();
        {
            std::lock_guard notesLock(notesMutex_);
            tlsNotes_.clear();
        }
        int rc = first ? mosquitto_connect_async(m_, url.host.c_str(), url.port, settings_.keepAliveSeconds)
                       : mosquitto_reconnect_async(m_);
        int err = errno;
        const int connectErr = err;
        int hungUpRounds = 0;
        first = false;
        // Waiting messages are handed over here, between two rounds of the
        // loop: the library's callbacks must not publish.
        while (rc == MOSQ_ERR_SUCCESS && !stopping_.load()) {
            rc = mosquitto_loop(m_, 1000, 1);
            err = errno;
            hungUpRounds = rc == MOSQ_ERR_SUCCESS && !connected_.load() && socketHungUp() ? hungUpRounds + 1 : 0;
            if (hungUpRounds >= 2) {
                // With TLS the library does not notice a connect that
                // failed (a broker that is down): it would wait for ever.
                // (Twice, so that what the broker said before it closed,
                // a TLS alert, is read and reported first.)
                rc = MOSQ_ERR_ERRNO;
                err = connectErr == EAGAIN || connectErr == EINPROGRESS || connectErr == 0 ? ECONNRESET : connectErr;
            }
            std::lock_guard pumpLock(mutex_);
            if (announceOnline_.exchange(false)) announceOnlineLocked();
            pumpLocked();
        }
        bool cameUp = false;
        {
            std::lock_guard runLock(runMutex_);
            cameUp = everConnectedSinceWait_;
        }
        // The broker's refusal has been said at once.
        if (!stopping_.load() && !cameUp && !refused_.exchange(false)) reportFailedConnect(rc, err);
        lock.lock();
        if (stopping_) break;
        if (everConnectedSinceWait_) {
            delay = kReconnectMin;
            everConnectedSinceWait_ = false;
        }
        wake_.wait_for(lock, std::chrono::seconds(delay), [this] { return stopping_.load(); });
        delay = std::min(delay * 2, static_cast<int>(kReconnectMax));
    }
}

// The connection never came up: unreachable, or a failed TLS handshake
// (named by its cause: unknown CA, expired, another host, a refused client
// certificate).
void MqttClient::reportFailedConnect(int rc, int err) {
    bool lasting = false;
    std::string cause = takeLibraryFailure(lasting);
    if (cause.empty())
        cause = rc == MOSQ_ERR_ERRNO ? std::string(std::strerror(err)) : std::string(mosquitto_strerror(rc));
    if (settings_.logConnectFailures)
        if (auto line = passFailure("cannot connect: " + cause))
            log::warning(log::kMqtt, settings_.url.shown() + ": " + *line + "; trying again");
    connectionChanged(false, cause, lasting);
}

void MqttClient::stop(int flushMs) {
    if (!started_) return;
    started_ = false;
    if (connected_.load()) {
        if (!settings_.statusTopic.empty()) publish(settings_.statusTopic, std::string(kOffline), 1, true);
        std::unique_lock lock(mutex_);
        drained_.wait_for(lock, std::chrono::milliseconds(flushMs),
                          [this] { return (outstanding_.empty() && waiting_.empty()) || !connected_.load(); });
    }
    mosquitto_disconnect(m_);
    {
        std::lock_guard lock(runMutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    connected_ = false;
    std::lock_guard lock(mutex_);
    if (!outstanding_.empty() || !waiting_.empty())
        log::warning(log::kMqtt, std::to_string(outstanding_.size() + waiting_.size()) + " messages to " +
                                     settings_.url.shown() + " were not delivered before the end");
}

bool MqttClient::publish(const std::string& topic, std::span<const std::uint8_t> payload, int qos, bool retain) {
    if (m_ == nullptr || payload.size() > static_cast<std::size_t>(INT_MAX)) return false;
    if (qos == 0) {
        // Nothing is kept for a broker that is away: the bytes are stale by
        // the time it is back.
        if (!connected_.load() || mosquitto_publish(m_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                                                    payload.data(), 0, retain) != MOSQ_ERR_SUCCESS) {
            std::lock_guard lock(mutex_);
            ++counters_.dropped;
            return false;
        }
        std::lock_guard lock(mutex_);
        ++counters_.published;
        return true;
    }
    std::lock_guard lock(mutex_);
    if (waiting_.size() + outstanding_.size() >= settings_.maxQueued) {
        ++counters_.dropped;
        if (auto line = failures_.pass("queue full"))
            log::warning(log::kMqtt, *line + ": " + std::to_string(settings_.maxQueued) +
                                         " messages wait for " + settings_.url.shown() + "; newer ones are dropped");
        return false;
    }
    waiting_.push_back({topic, std::vector<std::uint8_t>(payload.begin(), payload.end()), qos, retain, nextSeq_++});
    pumpLocked();
    return true;
}

// The retained "online" goes ahead of everything waiting, through the same
// queue as every other message, so that a failure to send it is seen and
// said like any other.
void MqttClient::announceOnlineLocked() {
    if (settings_.statusTopic.empty()) return;
    const std::string online(kOnline);
    waiting_.push_front({settings_.statusTopic, std::vector<std::uint8_t>(online.begin(), online.end()), 1, true,
                         nextSeq_++});
}

void MqttClient::pumpLocked() {
    // The lock is held across the library call so that the acknowledgement,
    // which may come on the network thread before the call returns, finds
    // the id.
    while (connected_.load() && !waiting_.empty() && outstanding_.size() < settings_.inFlight) {
        Message& msg = waiting_.front();
        int mid = 0;
        const int rc = mosquitto_publish(m_, &mid, msg.topic.c_str(), static_cast<int>(msg.payload.size()),
                                         msg.payload.data(), msg.qos, msg.retain);
        if (rc != MOSQ_ERR_SUCCESS) {
            if (rc != MOSQ_ERR_NO_CONN)
                if (auto line = failures_.pass(std::string("publish failed: ") + mosquitto_strerror(rc)))
                    log::warning(log::kMqtt, *line + " (" + msg.topic + ")");
            return;  // tried again at the next acknowledgement or connect
        }
        outstanding_.emplace(mid, std::move(msg));
        waiting_.pop_front();
        ++counters_.published;
    }
}

bool MqttClient::waitForRoom(std::size_t below, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return drained_.wait_for(lock, timeout, [&] { return waiting_.size() + outstanding_.size() < below; });
}

bool MqttClient::publish(const std::string& topic, const std::string& payload, int qos, bool retain) {
    return publish(topic,
                   std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(payload.data()), payload.size()),
                   qos, retain);
}

MqttCounters MqttClient::counters() const {
    std::lock_guard lock(mutex_);
    MqttCounters c = counters_;
    c.queued = outstanding_.size() + waiting_.size();
    c.connected = connected_.load();
    return c;
}

bool MqttClient::socketHungUp() const {
    const int fd = mosquitto_socket(m_);
    if (fd < 0) return false;
    pollfd p{fd, POLLOUT, 0};
    if (::poll(&p, 1, 0) != 1 || (p.revents & (POLLHUP | POLLERR)) == 0) return false;
    int unread = 0;
    return ::ioctl(fd, FIONREAD, &unread) == 0 && unread == 0;
}

std::string MqttClient::takeLibraryFailure(bool& lasting) {
    std::lock_guard lock(notesMutex_);
    const TlsContext context{settings_.url.host, settings_.tlsCaFile, settings_.tlsCertFile};
    std::string cause = tlsFailureText(tlsNotes_, context);
    const TlsFailureKind kind = classifyTlsFailure(tlsNotes_);
    lasting = kind != TlsFailureKind::None && kind != TlsFailureKind::Other;
    if (cause.empty()) cause = tlsNotes_.libraryLine;
    tlsNotes_.clear();
    return cause;
}

std::optional<std::string> MqttClient::passFailure(const std::string& text) {
    std::lock_guard lock(mutex_);
    return failures_.pass(text);
}

void MqttClient::connectionChanged(bool up, const std::string& why, bool lasting) {
    if (events_.onConnection) events_.onConnection(up, why, lasting);
}

void MqttClient::onConnectCb(mosquitto* m, void* self, int rc) {
    auto* c = static_cast<MqttClient*>(self);
    const std::string shown = c->settings_.url.shown();
    if (rc != 0) {
        // Refused: a wrong user or password, a client not allowed. The
        // library tries again with backoff; the log says it once.
        c->refused_ = true;  // said here, not again by the network loop
        const std::string why = std::string("the broker refused the connection: ") + mosquitto_connack_string(rc);
        if (c->settings_.logConnectFailures)
            if (auto line = c->passFailure(why)) log::warning(log::kMqtt, shown + ": " + *line);
        // A wrong user name or password, a client the broker does not let
        // in: the same again until a setting changes. "Server unavailable"
        // passes.
        c->connectionChanged(false, why, rc != 3);
        return;
    }
    {
        std::lock_guard lock(c->mutex_);
        c->failures_.reset();
    }
    {
        std::lock_guard lock(c->notesMutex_);
        c->tlsNotes_.clear();
    }
    {
        std::lock_guard lock(c->runMutex_);
        c->everConnectedSinceWait_ = true;
    }
    c->connected_ = true;
    log::info(log::kMqtt, "connected to " + shown);
    c->announceOnline_ = true;
    c->subscribeRefused_ = false;
    c->subscribeWhy_.clear();
    c->pendingMids_.clear();
    for (const auto& [topic, qos] : c->subscriptions_) {
        int mid = 0;
        const int src = mosquitto_subscribe(m, &mid, topic.c_str(), qos);
        if (src != MOSQ_ERR_SUCCESS) {
            const std::string why = "cannot subscribe to " + topic + ": " + mosquitto_strerror(src);
            log::warning(log::kMqtt, why);
            if (!c->subscribeRefused_.exchange(true)) c->subscribeWhy_ = why;
        } else {
            c->pendingMids_.push_back(mid);
        }
    }
    std::vector<std::pair<std::string, int>> extra;
    {
        std::lock_guard lock(c->mutex_);
        extra = c->extra_;
    }
    for (const auto& [topic, qos] : extra) mosquitto_subscribe(m, nullptr, topic.c_str(), qos);
    c->connectionChanged(true, {});
    if (c->pendingMids_.empty() && !c->subscriptions_.empty() && c->events_.onSubscribed)
        c->events_.onSubscribed(!c->subscribeRefused_.load(), c->subscribeWhy_);
}

void MqttClient::onDisconnectCb(mosquitto*, void* self, int rc) {
    auto* c = static_cast<MqttClient*>(self);
    const bool was = c->connected_.exchange(false);
    {
        // What the broker has not acknowledged goes out again after the
        // next connect (at least once: a message may then arrive twice).
        std::lock_guard lock(c->mutex_);
        std::vector<std::pair<int, Message>> back(std::make_move_iterator(c->outstanding_.begin()),
                                                  std::make_move_iterator(c->outstanding_.end()));
        c->outstanding_.clear();
        std::sort(back.begin(), back.end(), [](const auto& a, const auto& b) { return a.second.seq < b.second.seq; });
        for (auto it = back.rbegin(); it != back.rend(); ++it) c->waiting_.push_front(std::move(it->second));
    }
    c->drained_.notify_all();
    // Asked for by stop(); or a connection that never came up, which the
    // network loop reports.
    if (rc == 0 || !was) return;
    bool lasting = false;
    std::string cause = c->takeLibraryFailure(lasting);
    if (cause.empty()) cause = rc == MOSQ_ERR_ERRNO ? std::string(std::strerror(errno)) : mosquitto_strerror(rc);
    log::warning(log::kMqtt, "connection to " + c->settings_.url.shown() + " lost (" + cause + "); reconnecting");
    c->connectionChanged(false, cause, lasting);
}

void MqttClient::onPublishCb(mosquitto*, void* self, int mid) {
    auto* c = static_cast<MqttClient*>(self);
    std::lock_guard lock(c->mutex_);
    if (c->outstanding_.erase(mid) > 0) ++c->counters_.delivered;
    c->drained_.notify_all();
}

void MqttClient::onMessageCb(mosquitto*, void* self, const mosquitto_message* msg) {
    auto* c = static_cast<MqttClient*>(self);
    {
        std::lock_guard lock(c->mutex_);
        ++c->counters_.received;
    }
    if (!c->events_.onMessage || msg->topic == nullptr) return;
    const auto* p = static_cast<const std::uint8_t*>(msg->payload);
    c->events_.onMessage(msg->topic,
                         std::span<const std::uint8_t>(p, p == nullptr ? 0 : static_cast<std::size_t>(msg->payloadlen)));
}

// On the network thread, as onConnectCb is. The subscriptions of a connect
// are answered by their message ids; one added while running is answered
// too, and only a refusal of it is said.
void MqttClient::onSubscribeCb(mosquitto*, void* self, int mid, int count, const int* grantedQos) {
    auto* c = static_cast<MqttClient*>(self);
    // A broker that refuses a subscription grants 0x80 (MQTT 3.1.1).
    bool refused = false;
    for (int i = 0; i < count; ++i)
        if (grantedQos != nullptr && grantedQos[i] >= 0x80) refused = true;
    const auto it = std::find(c->pendingMids_.begin(), c->pendingMids_.end(), mid);
    if (it == c->pendingMids_.end()) {
        if (refused) log::warning(log::kMqtt, c->settings_.url.shown() + ": the broker refused a subscription");
        return;
    }
    c->pendingMids_.erase(it);
    if (refused && !c->subscribeRefused_.exchange(true))
        c->subscribeWhy_ = "the broker refused a subscription of " + c->settings_.url.shown();
    if (!c->pendingMids_.empty()) return;
    if (c->subscribeRefused_.load())
        log::warning(log::kMqtt, c->settings_.url.shown() + ": the broker refused a subscription");
    if (c->events_.onSubscribed) c->events_.onSubscribed(!c->subscribeRefused_.load(), c->subscribeWhy_);
}

void MqttClient::onLogCb(mosquitto* m, void* self, int level, const char* text) {
    // Only the library's error lines (a failed TLS check is reported
    // there, while its handshake is still at hand); they never hold the
    // credentials.
    if (level != MOSQ_LOG_ERR || text == nullptr) return;
    auto* c = static_cast<MqttClient*>(self);
    std::lock_guard lock(c->notesMutex_);
    noteLibraryError(c->tlsNotes_, text, mosquitto_ssl_get(m));
}

}  // namespace orlix
