#include "recorder/record_engine.h"

#include <filesystem>
#include <system_error>

#include "database/sample_database.h"
#include "sources/capture_replay_source.h"
#include "sources/site_source.h"
#include "sources/serial_source.h"

namespace orlix {

namespace {
constexpr int kSampleIntervalMs = 4000;
}  // namespace

RecordSession::RecordSession(RecordOptions options, ReplayClock& clock)
    : options_(std::move(options)),
      clock_(clock),
      port_(router_),
      decoder_(board_, store_, clock_),
      receiver_(decoder_),
      sampleTimer_(clock_, kSampleIntervalMs, this) {
    for (std::size_t n = 0; n < 3; ++n) store_.FaultStatus[n] = "Normal";
    router_.setFactory(PortKind::Serial, [] { return std::make_unique<QtSerialLink>(); });
    router_.setFactory(PortKind::Capture, [this] {
        return std::make_unique<CaptureReplayPort>(&clock_, options_.timeScale);
    });
    router_.setFactory(PortKind::Mqtt, [this] {
        auto p = std::make_unique<MqttSourcePort>();
        p->setTlsFiles(options_.tlsCa, options_.tlsCert, options_.tlsKey);
        p->setPasswordFile(options_.passwordFile);
        return p;
    });
    port_.onReadyRead = [this] { readPort(); };
    port_.onTrouble = [this](PortTrouble t) { portTrouble(t); };
    // While a capture is replayed, the replay takes the ticks at the
    // capture's own 4 s instants.
    clock_.setSampleTick([this] { tick(); });
    connect(&sampleTimer_, &QTimer::timeout, this, [this] {
        if (!clock_.ticksElsewhere()) tick();
    });
    capturePoll_.setInterval(1000);
    connect(&capturePoll_, &QTimer::timeout, this, [this] { port_.poll(); });
    retryTimer_.setInterval(kPortRetryMs);
    connect(&retryTimer_, &QTimer::timeout, this, [this] { openPort(); });
    statusTimer_.setInterval(kStatusMs);
    connect(&statusTimer_, &QTimer::timeout, this, [this] { log::info(log::kRecord, statusLine()); });
}

RecordSession::~RecordSession() {
    clock_.setSampleTick(nullptr);
    port_.onReadyRead = nullptr;
    port_.onTrouble = nullptr;
    if (!finished_) finish();
}

bool RecordSession::start(std::string& error) {
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::symlink_status(options_.db, ec))) {
        if (!CreateSampleDatabase(options_.db)) {
            error = "cannot create the database " + options_.db;
            return false;
        }
        log::info(log::kRecord, "created the database " + options_.db);
    } else if (!isSampleDatabase(options_.db)) {
        error = options_.db + " is not a sample database; not touched";
        return false;
    }
    recording_ = std::make_unique<HeadlessRecording>(options_.db, [this](const char* text) { report(text); });

    std::string shownBroker = "none";
    if (!options_.mqttUrl.empty()) {
        const MqttUrlParse parsed = parseMqttUrl(options_.mqttUrl);
        if (!parsed.url) {
            error = "--mqtt: " + parsed.error;
            return false;
        }
        MqttClientSettings s;
        s.url = *parsed.url;
        if (!options_.passwordFile.empty()) {
            const auto password = readPasswordFile(options_.passwordFile, error);
            if (!password) return false;
            s.url.password = *password;
        }
        s.tlsCaFile = options_.tlsCa;
        s.tlsCertFile = options_.tlsCert;
        s.tlsKeyFile = options_.tlsKey;
        const std::string base = s.url.path + "/" + options_.site;
        s.statusTopic = base + "/status";
        shownBroker = s.url.shown() + "/" + options_.site;
        mqtt_ = std::make_unique<MqttClient>(std::move(s), MqttClient::Events{});
        publisher_ = std::make_unique<SitePublisher>(
            base, clock_,
            [this](const std::string& topic, std::span<const std::uint8_t> payload, int qos, bool retain) {
                mqtt_->publish(topic, payload, qos, retain);
            });
        decoder_.setErrorSink(publisher_.get());
        // A broker that refuses or cannot be reached is logged by the client
        // and retried; recording goes on locally meanwhile.
        if (!mqtt_->start(error)) return false;
    }
    log::info(log::kRecord, "started: port " + (portKindOf(options_.port) == PortKind::Mqtt
                                                        ? parseMqttUrl(options_.port).url.value_or(MqttUrl{}).shown()
                                                        : options_.port) +
                                ", database " + options_.db + ", site " + options_.site + ", broker " + shownBroker);
    if (!options_.capture.empty()) {
        if (!port_.startCapture(options_.capture))
            log::warning(log::kRecord, "--capture " + options_.capture + " cannot be written now: " +
                                           port_.captureError() + " (tried again now and then)");
        capturePoll_.start();
    }
    port_.setPortPath(options_.port);
    openPort();
    sampleTimer_.start();
    if (options_.status) statusTimer_.start();
    return true;
}

void RecordSession::openPort() {
    if (port_.isOpen()) {
        retryTimer_.stop();
        return;
    }
    if (port_.open() == OpenResult::Ok) {
        retryTimer_.stop();
        openFailures_.reset();
        log::info(log::kRecord, portLost_ ? "port back" : "port open");
        portLost_ = false;
        return;
    }
    const std::string hint = port_.openFailureHint();
    if (auto line = openFailures_.pass("cannot open the port" + (hint.empty() ? std::string() : ": " + hint)))
        log::warning(log::kRecord, *line + "; retrying every 2 s");
    if (!retryTimer_.isActive()) retryTimer_.start();
}

void RecordSession::readPort() {
    if (!port_.isOpen()) return;
    const std::vector<std::uint8_t> bytes = port_.readAll();
    if (bytes.empty()) return;
    ++reads_;
    bytes_ += bytes.size();
    receiver_.onReceive(bytes);
    if (publisher_) publisher_->raw(bytes);
}

void RecordSession::portTrouble(PortTrouble trouble) {
    receiver_.onPortEvent();
    if (trouble != PortTrouble::Lost || finished_) return;
    if (port_.atEnd()) {
        // A replayed capture is over: nothing will come back.
        log::info(log::kRecord, "end of the capture");
        port_.close();
        if (onEnd) onEnd();
        return;
    }
    port_.close();
    if (!portLost_) log::warning(log::kRecord, "port lost; retrying every 2 s");
    portLost_ = true;
    if (!retryTimer_.isActive()) retryTimer_.start();
}

void RecordSession::tick() {
    recording_->tick(store_.LiveValues, clock_.now());
    if (publisher_) publisher_->sample(recording_->core().buffers());
    const std::size_t pending = recording_->pendingCount();
    if (lastPending_ > 0 && pending == 0) log::info(log::kRecord, "waiting samples stored; the database is fine again");
    lastPending_ = pending;
}

void RecordSession::report(const char* text) {
    // The recorder's own message; the database layer has logged the cause.
    log::warning(log::kRecord, std::string("batch not stored: ") + text + " " +
                                   std::to_string(recording_->pendingCount()) +
                                   " samples wait for the next batch");
}

bool RecordSession::finish() {
    if (finished_) return true;
    finished_ = true;
    sampleTimer_.stop();
    retryTimer_.stop();
    statusTimer_.stop();
    capturePoll_.stop();
    bool ok = true;
    if (recording_) {
        const AppendResult r = recording_->finish();
        ok = recording_->pendingCount() == 0;
        log::write(log::kRecord, ok ? log::Level::Info : log::Level::Warning,
                   ok ? "stopped: " + std::to_string(recording_->ticks()) + " samples taken, the database holds " +
                            std::to_string(r.recordCount) + " records"
                      : "stopped: " + std::to_string(recording_->pendingCount()) +
                            " samples could not be stored in " + options_.db);
    }
    if (port_.isOpen()) port_.close();
    port_.stopCapture();
    if (mqtt_) mqtt_->stop();
    return ok;
}

void RecordSession::reopenCapture() {
    const std::string target = port_.captureTarget();
    if (target.empty()) return;
    port_.stopCapture();
    if (!port_.startCapture(target))
        log::warning(log::kRecord, "--capture " + target + " cannot be written now: " + port_.captureError());
}

std::string RecordSession::statusLine() const {
    std::string s = "status: port ";
    s += port_.isOpen() ? "open" : "lost";
    s += ", reads " + std::to_string(reads_) + ", bytes " + std::to_string(bytes_) + ", frames " +
         std::to_string(receiver_.checksumCount());
    if (recording_)
        s += ", samples " + std::to_string(recording_->ticks()) + ", records " +
             std::to_string(recording_->recordCount()) + ", waiting " + std::to_string(recording_->pendingCount());
    if (mqtt_) {
        const MqttCounters c = mqtt_->counters();
        s += std::string(", broker ") + (c.connected ? "up" : "down") + ", published " +
             std::to_string(c.published) + ", delivered " + std::to_string(c.delivered) + ", queued " +
             std::to_string(c.queued) + ", dropped " + std::to_string(c.dropped);
    }
    return s;
}

}  // namespace orlix
