#include "hub/hub_service.h"

#include "base/log.h"
#include "hub/hub_schema.h"
#include "hub/notification_format.h"
#include "hub/sample_store.h"

namespace orlix::hub {

HubService::HubService(HubOptions options, AlarmRules rules) : options_(std::move(options)), rules_(std::move(rules)) {
    flushTimer_.setInterval(2000);
    engineTimer_.setInterval(1000);
    retentionTimer_.setInterval(3'600'000);
    statusTimer_.setInterval(60'000);
    connect(&flushTimer_, &QTimer::timeout, this, [this] {
        sites_->flush();
        ingest_->retryWaiting();
    });
    connect(&engineTimer_, &QTimer::timeout, this, [this] { engine_->step(systemNowUs()); });
    connect(&retentionTimer_, &QTimer::timeout, this, [this] { dropOldMonths(); });
    connect(&statusTimer_, &QTimer::timeout, this, [this] { log::info(log::kHub, statusLine()); });
}

HubService::~HubService() { stop(); }

bool HubService::start(std::string& error) {
    {
        PgConnection db(options_.db);
        if (!db.ok()) {
            error = "cannot reach the database " + db.shownName() + ": " + db.error();
            return false;
        }
        const SchemaOutcome schema = ensureSchema(db);
        if (!schema.ok) {
            error = schema.error;
            return false;
        }
    }
    std::optional<MqttClientSettings> broker = brokerSettings(options_.broker, error);
    if (!broker) return false;
    broker->clientId = options_.clientId;
    broker->cleanSession = false;
    WriterOptions w;
    w.conninfo = options_.db;
    writer_ = std::make_unique<StoreWriter>(w);
    sites_ = std::make_unique<SiteDirectory>(options_.db);
    ingest_ = std::make_unique<Ingest>(IngestSettings{*broker, options_.shareGroup}, *sites_, *writer_);
    engine_ = std::make_unique<AlarmEngine>(
        options_.db, rules_, [this](const Receiver& to, const Alarm& a, const AlarmChange& c) { notify(to, a, c); });
    if (!ingest_->start(error)) return false;
    NotifierSettings n;
    n.sendmailCommand = rules_.hub.sendmailCommand;
    notifier_ = std::make_unique<Notifier>(
        n, [this](const DeliveryReport& r) { noteDelivery(r); },
        [this](const std::string& site, const std::string& payload) {
            return ingest_->client().publish(ingest_->prefix() + "/" + site + "/alarms", payload, 1);
        });
    notes_.connect(options_.db);
    log::info(log::kHub, "started: broker " + broker->url.shown() + ", database " + writer_->shownName() +
                             (options_.shareGroup.empty() ? std::string() : ", sharing as " + options_.shareGroup));
    flushTimer_.start();
    engineTimer_.start();
    if (options_.keepMonths > 0) retentionTimer_.start();
    if (options_.status) statusTimer_.start();
    return true;
}

void HubService::stop() {
    if (stopped_ || !writer_) return;
    stopped_ = true;
    flushTimer_.stop();
    engineTimer_.stop();
    retentionTimer_.stop();
    statusTimer_.stop();
    notifier_.reset();
    ingest_->stop();
    sites_->flush();
    const bool all = writer_->flush(std::chrono::seconds(10));
    writer_->stop();
    const WriterCounters c = writer_->counters();
    log::write(log::kHub, all ? log::Level::Info : log::Level::Warning,
               "stopped: " + std::to_string(c.samples.stored) + " samples stored" +
                   (all ? std::string() : ", " + std::to_string(c.samples.waiting) + " not written"));
}

bool HubService::reloadRules() {
    if (options_.rulesPath.empty()) return true;
    const RulesLoad load = loadAlarmRules(QString::fromStdString(options_.rulesPath));
    reportRulesLoad(load, options_.rulesPath);
    rulesErrors_.clear();
    for (const RuleError& e : load.errors) rulesErrors_.push_back(e.text(options_.rulesPath));
    if (!load.errors.empty()) {
        log::warning(log::kHub, options_.rulesPath + " has errors: the rules in force stay");
        return false;
    }
    rules_ = load.rules;
    engine_->setRules(rules_);
    notifier_->setSendmailCommand(rules_.hub.sendmailCommand);
    return true;
}

void HubService::notify(const Receiver& to, const Alarm& alarm, const AlarmChange& change) {
    notifier_->send(alarmNotice(to, alarm, change, QTimeZone::systemTimeZone()));
}

void HubService::noteDelivery(const DeliveryReport& d) {
    if (!notes_.ok() && !notes_.connect(options_.db)) return;
    PgResult r = notes_.exec(
        "INSERT INTO notifications (at, site, source, receiver, kind, delivered, detail) "
        "SELECT now(), id, $2, $3, $4, $5, NULLIF($6, '') FROM sites WHERE name = $1",
        {d.site, d.source, d.receiver, std::string(receiverTypeName(d.kind)), d.delivered ? "true" : "false",
         d.detail});
    if (!r.ok()) log::failure(log::kHub, "noting a notification failed: " + r.error());
}

void HubService::dropOldMonths() {
    if (!engine_->leading()) return;
    PgConnection db(options_.db);
    SampleStore store(db);
    const DropOutcome d = store.dropPartitionsBefore(options_.keepMonths, systemNowUs());
    if (!d.ok) log::warning(log::kHub, "dropping old months failed: " + d.error);
    for (const std::string& p : d.dropped) log::info(log::kHub, "dropped " + p + " (older than --keep-months)");
}

std::string HubService::statusLine() const {
    const IngestCounters i = ingest_->counters();
    const WriterCounters w = writer_->counters();
    const MqttCounters m = ingest_->client().counters();
    return "status: broker " + std::string(m.connected ? "up" : "down") + ", messages " + std::to_string(i.messages) +
           ", samples " + std::to_string(i.samples) + " (late " + std::to_string(i.late) + "), faults " +
           std::to_string(i.faults) + ", refused " + std::to_string(i.refused) + ", database " +
           (w.connected ? "up" : "down") + ", stored " + std::to_string(w.samples.stored) + ", duplicates " +
           std::to_string(w.samples.duplicates) + ", waiting " + std::to_string(w.samples.waiting) + ", alarms " +
           (engine_->leading() ? "led here" : "led elsewhere");
}

}  // namespace orlix::hub
