#pragma once
// A remote site's bus as a port: the path mqtt://[user:password@]host[:port]/PREFIX/SITE
// (or mqtts://) subscribes to PREFIX/SITE/raw, whose messages are the
// site's port reads, and to PREFIX/SITE/status. Everything above reads the
// bytes exactly as from a local port.
//
// The site is lost (onTrouble(Lost)) when the broker connection goes down or
// the site's status says "offline" (its recorder stopped, or its last will).
// A lost port is closed by its user and opened again now and then, as a
// lost adapter is; the connection stays up in the background meanwhile, so
// such an open is immediate: it succeeds once the broker is back and the
// site is not offline, and fails otherwise. A connection left unused for
// kLingerMs after a loss is ended.
//
// Bytes that arrive while the port is closed are dropped; at most
// kMaxBufferedBytes wait for a read (older ones are dropped first).
#include <QObject>
#include <QTimer>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "mqtt/mqtt_client.h"
#include "sources/byte_source.h"

namespace orlix {

class MqttSourcePort final : public QObject, public SerialPort {
    Q_OBJECT
public:
    static constexpr int kLingerMs = 10000;
    static constexpr std::size_t kMaxBufferedBytes = 1 << 20;

    explicit MqttSourcePort(QObject* parent = nullptr);
    ~MqttSourcePort() override;

    // TLS files for mqtts:// and a password file (read at open, overrides
    // a password in the URL).
    void setTlsFiles(std::string caFile, std::string certFile, std::string keyFile);
    void setPasswordFile(std::string path) { passwordFile_ = std::move(path); }

    void setPortPath(const std::string& path) override;
    std::string portPath() const override { return path_; }
    void setBaudRate(int baud) override { baud_ = baud; }  // the site's line rate is the site's
    int baudRate() const override { return baud_; }
    OpenResult open() override;
    bool close() override;
    bool isOpen() const override { return open_; }
    std::string openFailureHint() const override { return hint_; }
    std::vector<std::uint8_t> readAll() override;

    // The connection's counters (for tests and status lines).
    MqttCounters counters() const;

private:
    bool startClient();
    void endClient();
    void onConnection(bool up);   // on the Qt thread
    void onStatus(bool online);   // on the Qt thread
    void loseSite(const char* why);

    std::string path_;
    int baud_ = 1200;
    std::string caFile_, certFile_, keyFile_, passwordFile_;
    std::string hint_;
    std::string shown_;  // the URL without credentials
    bool open_ = false;
    bool lostSinceOpen_ = false;  // a loss was reported; the next close keeps the connection
    bool brokerUp_ = false;
    bool siteOffline_ = false;
    std::unique_ptr<MqttClient> client_;
    QTimer linger_;

    mutable std::mutex mutex_;  // guards what the network thread writes
    std::vector<std::uint8_t> buffer_;
    bool accepting_ = false;    // the port is open: bytes are kept
    bool readyPosted_ = false;  // a ready-read is on its way to the Qt thread
};

}  // namespace orlix
