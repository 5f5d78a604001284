#pragma once
// The unattended recorder without its command line: the pipeline reads a
// port (serial device, bus capture replayed on its own clock, remote site),
// optionally writes a bus capture as it reads, records the 4 s samples in
// 45-sample batches (headless_recording.h) and optionally publishes the
// site on a broker. Runs in a QCoreApplication's event loop; every event is
// one line of the log (orlix.record, orlix.serial, orlix.mqtt ...).
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/clock.h"
#include "mqtt/broker_settings.h"
#include "mqtt/mqtt_client.h"
#include "recorder/pipeline.h"
#include "recorder/site_publisher.h"
#include "sampling/headless_recording.h"

namespace orlix {

struct RecordOptions {
    std::string port;
    std::string db;
    std::string capture;  // empty: no capture written
    double timeScale = 1.0;
    BrokerOptions broker;  // url empty: no broker
    std::string site;
    bool status = false;
};

// How often a lost port is opened again, and the status line's period.
inline constexpr int kPortRetryMs = 2000;
inline constexpr int kStatusMs = 60000;

class RecordEngine final : public QObject, private ReadListener, private SampleListener {
    Q_OBJECT
public:
    // `normal` is the program clock while no capture is replayed; a
    // replayed capture moves the pipeline's clock and takes the sampling
    // ticks at the capture's own instants.
    RecordEngine(RecordOptions options, const Clock& normal);
    ~RecordEngine() override;

    // What is wrong with `options` before anything is made ("" when nothing
    // is): a port that can never be opened, the broker's URL, password and
    // TLS files, the longest topic (PREFIX/SITE/sample) within MQTT's limit.
    // One line naming the option.
    static std::string checkOptions(const RecordOptions& options);

    // Checks the options, makes the database when missing, connects to the
    // broker and opens the port (a port that cannot be opened yet is
    // retried). False with `error` when recording cannot start at all; a
    // database made by this start is removed again then.
    bool start(std::string& error);
    // Stores the last partial batch, publishes "offline", closes the port
    // and the capture. True when every sample taken is stored and the
    // capture (if any) is complete.
    bool finish();

    // SIGHUP: the capture file is closed and opened again (after a log
    // rotation moved it away).
    void reopenCapture();

    std::string statusLine() const;
    Pipeline& pipeline() { return pipeline_; }

    // Called when a replayed capture has come to its end.
    std::function<void()> onEnd;

private:
    void onRead(std::span<const std::uint8_t> bytes) override;
    void onPortEvent(PortTrouble trouble) override;
    void onSample(const SampleTick& tick) override;
    bool startBroker(MqttClientSettings settings, std::string& error);
    bool openDatabase(std::string& error);
    void openPort();
    void report(const char* text);

    RecordOptions options_;
    Pipeline pipeline_;
    std::unique_ptr<HeadlessRecording> recording_;
    std::unique_ptr<MqttClient> mqtt_;
    std::unique_ptr<SitePublisher> publisher_;
    QTimer retryTimer_, statusTimer_;
    bool finished_ = false;
    bool madeDatabase_ = false;  // by start()
    bool captureWhole_ = true;
    std::uint64_t reads_ = 0, bytes_ = 0;
    std::size_t lastPending_ = 0;
};

}  // namespace orlix
