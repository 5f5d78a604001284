#pragma once
// A remote site's bus as a byte source: the path
// mqtt://[user[:password]@]host[:port]/PREFIX/SITE (or mqtts://) subscribes
// to PREFIX/SITE/raw, whose messages are the site's port reads, and to
// PREFIX/SITE/status. The listeners get the bytes exactly as from a local
// device.
//
// The source is up once the broker has granted the subscriptions and the
// site is not offline: then it says so (onSourceUp) and logs that it reads
// the site. It is lost (Lost, with the cause in troubleText()) when the
// broker connection goes down or cannot be made, or the site's status says
// "offline" (its recorder stopped, or its last will). A lost source is
// closed by its user and opened again now and then, as a lost adapter is;
// the connection stays up in the background meanwhile, so such an open is
// immediate: it succeeds once the broker is back and the site is not
// offline, and fails otherwise with the cause. A lasting loss (lostForGood:
// a refused login, a broker certificate that fails its check, a refused
// client certificate or subscription) fails every such open with its cause
// until the connection gets through after all; a user who mends the
// settings (the password file) drops the source and makes a new one. A connection left unused for
// kLingerMs after a loss is ended. The broker client logs nothing about a
// connection that fails: the port that opens this source does, once.
//
// Bytes that arrive while the source is closed are dropped; at most
// kMaxBufferedBytes wait for the Qt thread (older ones are dropped first).
#include <QObject>
#include <QTimer>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "mqtt/broker_settings.h"
#include "mqtt/mqtt_client.h"
#include "sources/byte_source.h"

namespace orlix {

class SiteSource final : public QObject, public ByteSource {
    Q_OBJECT
public:
    static constexpr int kLingerMs = 10000;
    static constexpr std::size_t kMaxBufferedBytes = 1 << 20;
    static constexpr std::size_t kMaxTopicBytes = 65535;  // MQTT's limit on a topic name

    // `broker.url` is the site's address; the other fields are the password
    // file and TLS files.
    explicit SiteSource(BrokerOptions broker, QObject* parent = nullptr);
    ~SiteSource() override;

    std::string name() const override { return shown_; }
    OpenResult open() override;
    bool close() override;
    bool isOpen() const override { return open_; }
    std::string openError() const override { return openError_; }
    std::string openFailureHint() const override { return hint_; }
    std::string troubleText() const override { return troubleText_; }
    bool lostForGood() const override { return lostSinceOpen_ && !lastingWhy_.empty(); }

    // The connection's counters (for tests and status lines).
    MqttCounters counters() const;

private:
    bool startClient();
    void endClient();
    void takeRaw(std::span<const std::uint8_t> payload);  // on the network thread
    void deliverBuffered();
    void onConnection(bool up, const std::string& why, bool lasting);  // on the Qt thread
    void onSubscribed(bool granted, const std::string& why);
    void onStatus(bool online);
    void loseSite(const std::string& why);
    void maybeUp();

    BrokerOptions broker_;
    std::string shown_;  // the URL without credentials
    std::string openError_, hint_, troubleText_;
    bool open_ = false;
    bool lostSinceOpen_ = false;  // a loss was reported; the next close keeps the connection
    bool brokerUp_ = false;
    bool subscribed_ = false;
    bool siteOffline_ = false;
    bool upSaid_ = false;  // onSourceUp raised since this open
    std::string brokerWhy_;  // why the broker connection is down
    std::string lastingWhy_;  // a failure that repeats until a setting changes
    std::unique_ptr<MqttClient> client_;
    QTimer linger_;

    mutable std::mutex mutex_;  // guards what the network thread writes
    std::vector<std::uint8_t> buffer_;
    bool accepting_ = false;    // the source is open: bytes are kept
    bool readyPosted_ = false;  // a delivery is on its way to the Qt thread
};

}  // namespace orlix
