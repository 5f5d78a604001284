#include "recorder/record_engine.h"

#include <filesystem>
#include <system_error>

#include "base/log.h"
#include "database/sample_database.h"

namespace orlix {
namespace {

SourceSettings sourceSettings(const RecordOptions& o) {
    SourceSettings s;
    s.timeScale = o.timeScale;
    s.siteBroker = o.broker;
    s.siteBroker.url.clear();
    return s;
}

}  // namespace

RecordEngine::RecordEngine(RecordOptions options, const Clock& normal)
    : options_(std::move(options)), pipeline_(normal, sourceSettings(options_)) {
    pipeline_.port().addListener(this);
    retryTimer_.setInterval(kPortRetryMs);
    connect(&retryTimer_, &QTimer::timeout, this, [this] { openPort(); });
    statusTimer_.setInterval(kStatusMs);
    connect(&statusTimer_, &QTimer::timeout, this, [this] { log::info(log::kRecord, statusLine()); });
}

RecordEngine::~RecordEngine() {
    if (!finished_) finish();
    pipeline_.port().removeListener(this);
    if (publisher_) {
        pipeline_.port().removeListener(publisher_.get());
        pipeline_.sampler().removeListener(publisher_.get());
        pipeline_.receive().removeErrorSink(publisher_.get());
    }
    pipeline_.sampler().removeListener(this);
}

std::string RecordEngine::checkOptions(const RecordOptions& o) {
    // A port that can never be opened is refused, not retried for ever.
    if (const std::string why = unusablePort(o.port); !why.empty()) return "--port " + portAsGiven(o.port) + ": " + why;
    BrokerOptions site = o.broker;  // the TLS and password files serve a remote-site port too
    site.url.clear();
    if (std::string why = checkBrokerOptions(o.broker.url.empty() ? site : o.broker); !why.empty()) return why;
    if (o.broker.url.empty()) return {};
    const MqttUrlParse parsed = parseMqttUrl(o.broker.url);
    return topicLengthError(parsed.url->path + "/" + o.site + "/sample", "--site");
}

// Makes the database when missing (said in the log, madeDatabase_ set), or
// checks that the file there is one.
bool RecordEngine::openDatabase(std::string& error) {
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::symlink_status(options_.db, ec))) {
        if (!CreateSampleDatabase(options_.db)) {
            error = "cannot create the database " + options_.db;
            return false;
        }
        madeDatabase_ = true;
        log::info(log::kRecord, "created the database " + options_.db);
    } else if (!isSampleDatabase(options_.db)) {
        error = options_.db + " is not a sample database; not touched";
        return false;
    }
    return true;
}

bool RecordEngine::start(std::string& error) {
    if (error = checkOptions(options_); !error.empty()) return false;
    std::optional<MqttClientSettings> broker;
    if (!options_.broker.url.empty() && !(broker = brokerSettings(options_.broker, error))) return false;
    if (!openDatabase(error)) return false;
    recording_ = std::make_unique<HeadlessRecording>(pipeline_.sampler(), options_.db,
                                                     [this](const char* text) { report(text); });
    pipeline_.sampler().addListener(this);
    if (broker && !startBroker(std::move(*broker), error)) {
        // Nothing is left behind by a start that did not happen.
        pipeline_.sampler().removeListener(this);
        recording_.reset();
        if (madeDatabase_) {
            std::error_code ec;
            if (std::filesystem::remove(options_.db, ec))
                log::info(log::kRecord, "removed the database " + options_.db + " again: the start failed");
        }
        return false;
    }
    const std::string shownBroker =
        mqtt_ ? mqtt_->settings().url.shown() + "/" + options_.site : std::string("none");
    log::info(log::kRecord, "started: port " + portAsGiven(options_.port) + ", database " + options_.db + ", site " +
                                options_.site + ", broker " + shownBroker);
    if (!options_.capture.empty() && !pipeline_.startCapture(options_.capture))
        log::warning(log::kRecord, "--capture " + options_.capture + " cannot be written now: " +
                                       pipeline_.capture().error() + " (tried again now and then)");
    pipeline_.port().setPath(options_.port);
    openPort();
    pipeline_.startSampling();
    if (options_.status) statusTimer_.start();
    return true;
}

bool RecordEngine::startBroker(MqttClientSettings s, std::string& error) {
    const std::string base = s.url.path + "/" + options_.site;
    s.statusTopic = base + "/status";
    mqtt_ = std::make_unique<MqttClient>(std::move(s), MqttClient::Events{});
    publisher_ = std::make_unique<SitePublisher>(
        base, pipeline_.clock(),
        [this](const std::string& topic, std::span<const std::uint8_t> payload, int qos, bool retain) {
            mqtt_->publish(topic, payload, qos, retain);
        });
    pipeline_.port().addListener(publisher_.get());
    pipeline_.sampler().addListener(publisher_.get());
    pipeline_.receive().addErrorSink(publisher_.get());
    // A broker that refuses or cannot be reached is logged by the client
    // and retried; recording goes on locally meanwhile.
    return mqtt_->start(error);
}

// The port logs what fails and what comes back; here only the retries are
// kept going.
void RecordEngine::openPort() {
    const OpenResult r = pipeline_.port().open();
    if (r == OpenResult::Ok || r == OpenResult::AlreadyOpen) {
        retryTimer_.stop();
        return;
    }
    if (!retryTimer_.isActive()) retryTimer_.start();
}

void RecordEngine::onRead(std::span<const std::uint8_t> bytes) {
    ++reads_;
    bytes_ += bytes.size();
}

void RecordEngine::onPortEvent(PortTrouble trouble) {
    if (trouble != PortTrouble::Lost || finished_) return;
    Port& port = pipeline_.port();
    if (port.atEnd()) {
        // A replayed capture is over: nothing will come back.
        port.close();
        if (onEnd) onEnd();
        return;
    }
    port.close();
    if (!retryTimer_.isActive()) retryTimer_.start();
}

void RecordEngine::onSample(const SampleTick&) {
    const std::size_t pending = recording_->pendingCount();
    if (lastPending_ > 0 && pending == 0) log::info(log::kRecord, "waiting samples stored; the database is fine again");
    lastPending_ = pending;
}

void RecordEngine::report(const char* text) {
    // The recorder's own message; the database layer has logged the cause.
    log::warning(log::kRecord, std::string("batch not stored: ") + text + " " +
                                   std::to_string(recording_->pendingCount()) +
                                   " samples wait for the next batch");
}

bool RecordEngine::finish() {
    if (finished_) return true;
    finished_ = true;
    pipeline_.sampleTimer().stop();
    retryTimer_.stop();
    statusTimer_.stop();
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
    pipeline_.port().close();
    if (!pipeline_.stopCapture()) captureWhole_ = false;
    if (mqtt_) mqtt_->stop();
    return ok && captureWhole_;
}

void RecordEngine::reopenCapture() {
    const std::string target = pipeline_.capture().target();
    if (target.empty()) return;
    if (!pipeline_.stopCapture()) captureWhole_ = false;
    if (!pipeline_.startCapture(target))
        log::warning(log::kRecord, "--capture " + target + " cannot be written now: " + pipeline_.capture().error());
}

std::string RecordEngine::statusLine() const {
    std::string s = "status: port ";
    s += pipeline_.port().isOpen() ? "open" : "lost";
    s += ", reads " + std::to_string(reads_) + ", bytes " + std::to_string(bytes_) + ", frames " +
         std::to_string(pipeline_.receive().receiver().checksumCount());
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
