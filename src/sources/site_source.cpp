#include "sources/site_source.h"

#include <QMetaObject>

#include "base/log.h"

namespace orlix {

MqttSourcePort::MqttSourcePort(QObject* parent) : QObject(parent) {
    linger_.setSingleShot(true);
    connect(&linger_, &QTimer::timeout, this, [this] {
        if (!open_) endClient();
    });
}

MqttSourcePort::~MqttSourcePort() { endClient(); }

void MqttSourcePort::setTlsFiles(std::string caFile, std::string certFile, std::string keyFile) {
    caFile_ = std::move(caFile);
    certFile_ = std::move(certFile);
    keyFile_ = std::move(keyFile);
}

void MqttSourcePort::setPortPath(const std::string& path) {
    if (path == path_) return;
    path_ = path;
    if (!open_) endClient();
}

bool MqttSourcePort::startClient() {
    const MqttUrlParse parsed = parseMqttUrl(path_);
    if (!parsed.url) {
        hint_ = "The remote site's address is not usable: " + parsed.error + ".";
        log::warning(log::kMqtt, "cannot open a remote site: " + parsed.error);
        return false;
    }
    MqttClientSettings s;
    s.url = *parsed.url;
    shown_ = s.url.shown();
    if (s.url.parentLevels().empty()) {
        hint_ = "A remote site is written mqtt://host[:port]/PREFIX/SITE: " + shown_ + " names no site.";
        log::warning(log::kMqtt, "cannot open " + shown_ + ": no site after the prefix");
        return false;
    }
    if (!passwordFile_.empty()) {
        std::string error;
        const auto password = readPasswordFile(passwordFile_, error);
        if (!password) {
            hint_ = error;
            log::warning(log::kMqtt, error);
            return false;
        }
        s.url.password = *password;
    }
    s.tlsCaFile = caFile_;
    s.tlsCertFile = certFile_;
    s.tlsKeyFile = keyFile_;
    const std::string base = s.url.path;
    const std::string rawTopic = base + "/raw", statusTopic = base + "/status";
    MqttClient::Events events;
    events.onConnection = [this](bool up, const std::string&) {
        QMetaObject::invokeMethod(this, [this, up] { onConnection(up); }, Qt::QueuedConnection);
    };
    events.onMessage = [this, rawTopic, statusTopic](const std::string& topic, std::span<const std::uint8_t> payload) {
        if (topic == rawTopic) {
            std::lock_guard lock(mutex_);
            if (!accepting_) return;
            buffer_.insert(buffer_.end(), payload.begin(), payload.end());
            if (buffer_.size() > kMaxBufferedBytes)
                buffer_.erase(buffer_.begin(), buffer_.end() - static_cast<std::ptrdiff_t>(kMaxBufferedBytes));
            if (readyPosted_) return;
            readyPosted_ = true;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    {
                        std::lock_guard inner(mutex_);
                        readyPosted_ = false;
                    }
                    if (open_ && onReadyRead) onReadyRead();
                },
                Qt::QueuedConnection);
        } else if (topic == statusTopic) {
            const bool online = std::string_view(reinterpret_cast<const char*>(payload.data()), payload.size()) !=
                                "offline";
            QMetaObject::invokeMethod(this, [this, online] { onStatus(online); }, Qt::QueuedConnection);
        }
    };
    client_ = std::make_unique<MqttClient>(s, std::move(events));
    client_->subscribe(rawTopic, 0);
    client_->subscribe(statusTopic, 1);
    std::string error;
    if (!client_->start(error)) {
        hint_ = error;
        log::warning(log::kMqtt, "cannot open " + shown_ + ": " + error);
        client_.reset();
        return false;
    }
    brokerUp_ = false;
    siteOffline_ = false;
    return true;
}

void MqttSourcePort::endClient() {
    linger_.stop();
    if (!client_) return;
    client_->stop(0);
    client_.reset();
    brokerUp_ = false;
    siteOffline_ = false;
}

OpenResult MqttSourcePort::open() {
    if (open_) return OpenResult::AlreadyOpen;
    hint_.clear();
    if (client_) {
        // A connection kept from before a loss: the site is back only when
        // the broker is and the site is not offline.
        linger_.stop();
        if (!brokerUp_ || siteOffline_) {
            hint_ = "The remote site " + shown_ + (brokerUp_ ? " is offline." : " cannot be reached: no broker.");
            return OpenResult::Failed;
        }
    } else if (!startClient()) {
        return OpenResult::Failed;
    }
    {
        std::lock_guard lock(mutex_);
        buffer_.clear();
        accepting_ = true;
    }
    open_ = true;
    lostSinceOpen_ = false;
    log::info(log::kMqtt, "reading remote site " + shown_);
    return OpenResult::Ok;
}

bool MqttSourcePort::close() {
    if (!open_) return true;
    open_ = false;
    {
        std::lock_guard lock(mutex_);
        accepting_ = false;
        buffer_.clear();
    }
    if (lostSinceOpen_) linger_.start(kLingerMs);
    else endClient();
    return true;
}

std::vector<std::uint8_t> MqttSourcePort::readAll() {
    std::vector<std::uint8_t> out;
    std::lock_guard lock(mutex_);
    out.swap(buffer_);
    return out;
}

MqttCounters MqttSourcePort::counters() const { return client_ ? client_->counters() : MqttCounters{}; }

void MqttSourcePort::onConnection(bool up) {
    brokerUp_ = up;
    if (!up && open_) loseSite("the broker connection is down");
}

void MqttSourcePort::onStatus(bool online) {
    siteOffline_ = !online;
    if (!online && open_) loseSite("the site is offline");
}

void MqttSourcePort::loseSite(const char* why) {
    if (lostSinceOpen_) return;
    lostSinceOpen_ = true;
    log::warning(log::kMqtt, "remote site " + shown_ + " lost: " + why);
    if (onTrouble) onTrouble(PortTrouble::Lost);
}

}  // namespace orlix
