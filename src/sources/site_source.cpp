#include "sources/site_source.h"

#include <QMetaObject>

#include "base/log.h"

namespace orlix {

SiteSource::SiteSource(BrokerOptions broker, QObject* parent) : QObject(parent), broker_(std::move(broker)) {
    const MqttUrlParse parsed = parseMqttUrl(broker_.url);
    // Never the text as given: it may hold a password.
    shown_ = parsed.url ? parsed.url->shown() : std::string("a remote site address that is not usable");
    // An address too long to be of use is named by its beginning.
    if (shown_.size() > 200) shown_ = shown_.substr(0, 120) + "... (" + std::to_string(shown_.size()) + " characters)";
    linger_.setSingleShot(true);
    connect(&linger_, &QTimer::timeout, this, [this] {
        if (!open_) endClient();
    });
}

SiteSource::~SiteSource() { endClient(); }

bool SiteSource::startClient() {
    std::string error;
    std::optional<MqttClientSettings> s = brokerSettings(broker_, error, "the remote site's address");
    if (!s) {
        openError_ = error;
        hint_ = "The remote site cannot be read: " + error + ".";
        return false;
    }
    if (s->url.parentLevels().empty()) {
        openError_ = "no site after the prefix";
        hint_ = "A remote site is written mqtt://host[:port]/PREFIX/SITE: " + shown_ + " names no site.";
        return false;
    }
    s->logConnectFailures = false;  // said once by the port, as a loss or a failed open
    const std::string base = s->url.path;
    const std::string rawTopic = base + "/raw", statusTopic = base + "/status";
    if (statusTopic.size() > kMaxTopicBytes) {
        openError_ = "its topics are too long for MQTT";
        hint_ = "The topic " + base.substr(0, 40) + ".../status would be " + std::to_string(statusTopic.size()) +
                " bytes long; MQTT allows at most " + std::to_string(kMaxTopicBytes) +
                ": give the site a shorter prefix or name.";
        return false;
    }
    MqttClient::Events events;
    events.onConnection = [this](bool up, const std::string& why, bool lasting) {
        QMetaObject::invokeMethod(this, [this, up, why, lasting] { onConnection(up, why, lasting); },
                                  Qt::QueuedConnection);
    };
    events.onSubscribed = [this](bool granted, const std::string& why) {
        QMetaObject::invokeMethod(this, [this, granted, why] { onSubscribed(granted, why); }, Qt::QueuedConnection);
    };
    events.onMessage = [this, rawTopic, statusTopic](const std::string& topic, std::span<const std::uint8_t> payload) {
        if (topic == rawTopic) {
            takeRaw(payload);
        } else if (topic == statusTopic) {
            const bool online = std::string_view(reinterpret_cast<const char*>(payload.data()), payload.size()) !=
                                "offline";
            QMetaObject::invokeMethod(this, [this, online] { onStatus(online); }, Qt::QueuedConnection);
        }
    };
    client_ = std::make_unique<MqttClient>(std::move(*s), std::move(events));
    client_->subscribe(rawTopic, 0);
    client_->subscribe(statusTopic, 1);
    if (!client_->start(error)) {
        openError_ = error;
        client_.reset();
        return false;
    }
    brokerUp_ = subscribed_ = siteOffline_ = false;
    brokerWhy_ = "not connected yet";
    lastingWhy_.clear();
    return true;
}

void SiteSource::endClient() {
    linger_.stop();
    if (!client_) return;
    client_->stop(0);
    client_.reset();
    brokerUp_ = subscribed_ = siteOffline_ = false;
}

void SiteSource::takeRaw(std::span<const std::uint8_t> payload) {
    std::lock_guard lock(mutex_);
    if (!accepting_) return;
    buffer_.insert(buffer_.end(), payload.begin(), payload.end());
    if (buffer_.size() > kMaxBufferedBytes)
        buffer_.erase(buffer_.begin(), buffer_.end() - static_cast<std::ptrdiff_t>(kMaxBufferedBytes));
    if (readyPosted_) return;
    readyPosted_ = true;
    QMetaObject::invokeMethod(this, [this] { deliverBuffered(); }, Qt::QueuedConnection);
}

void SiteSource::deliverBuffered() {
    std::vector<std::uint8_t> bytes;
    {
        std::lock_guard lock(mutex_);
        readyPosted_ = false;
        bytes.swap(buffer_);
    }
    if (open_ && !bytes.empty()) deliverRead(bytes);
}

OpenResult SiteSource::open() {
    if (open_) return OpenResult::AlreadyOpen;
    openError_.clear();
    hint_.clear();
    if (client_) {
        // A connection kept from before a loss: the site is back only when
        // the broker is and the site is not offline. A lasting failure
        // stays until the client gets through after all (the broker's
        // users mended).
        linger_.stop();
        if (!lastingWhy_.empty()) {
            openError_ = lastingWhy_;
            return OpenResult::Failed;
        }
        if (!brokerUp_ || siteOffline_) {
            openError_ = brokerUp_ ? "the site is offline" : "no connection to the broker: " + brokerWhy_;
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
    lostSinceOpen_ = upSaid_ = false;
    maybeUp();
    return OpenResult::Ok;
}

bool SiteSource::close() {
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

MqttCounters SiteSource::counters() const { return client_ ? client_->counters() : MqttCounters{}; }

void SiteSource::onConnection(bool up, const std::string& why, bool lasting) {
    brokerUp_ = up;
    if (up) {
        lastingWhy_.clear();
        return;
    }
    subscribed_ = false;
    brokerWhy_ = why.empty() ? std::string("the connection went down") : why;
    if (lasting) lastingWhy_ = brokerWhy_;
    if (open_) loseSite("no connection to the broker: " + brokerWhy_);
}

void SiteSource::onSubscribed(bool granted, const std::string& why) {
    if (!granted) {
        lastingWhy_ = why.empty() ? std::string("the broker refused the subscription") : why;
        if (open_) loseSite(lastingWhy_);
        return;
    }
    subscribed_ = true;
    maybeUp();
}

void SiteSource::onStatus(bool online) {
    siteOffline_ = !online;
    if (!online && open_) loseSite("the site is offline");
    else maybeUp();
}

// The source delivers once the subscriptions stand and the site is not
// offline: said once per open.
void SiteSource::maybeUp() {
    if (!open_ || upSaid_ || !brokerUp_ || !subscribed_ || siteOffline_) return;
    upSaid_ = true;
    log::info(log::kMqtt, "reading remote site " + shown_);
    deliverUp();
}

void SiteSource::loseSite(const std::string& why) {
    if (lostSinceOpen_) return;
    lostSinceOpen_ = true;
    troubleText_ = why;
    deliverEvent(PortTrouble::Lost);
}

}  // namespace orlix
