#pragma once
// orlix-hub without its command line: the database's schema made or
// upgraded, the store's writer, the site directory, the broker ingest and
// the alarm engine, driven by the Qt event loop:
//
//   every 2 s   the sites' news written, messages of new sites retried
//   every 1 s   a pass of the alarm engine (on the leading hub)
//   every hour  month partitions older than --keep-months dropped (leader)
//   every 60 s  a status line with the counters (--status)
//
// Notifications of alarms go to the receivers the rules name (webhooks,
// e-mail through the sendmail command, the broker's PREFIX/SITE/alarms)
// through the notifier (notifier.h), which retries; every attempt is noted
// in the database's notifications table.
#include <QObject>
#include <QTimer>
#include <QTimeZone>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "hub/alarm_engine.h"
#include "hub/ingest.h"
#include "hub/notifier.h"
#include "hub/site_directory.h"
#include "hub/store_writer.h"
#include "mqtt/broker_settings.h"

namespace orlix::hub {

struct HubOptions {
    BrokerOptions broker;     // mqtt[s]://[user@]host[:port]/PREFIX
    std::string clientId;     // fixed per hub: its persistent session
    std::string shareGroup;   // "" for no shared subscription
    std::string db;           // PostgreSQL URL or libpq keywords
    std::string rulesPath;    // "" for no rules file
    int keepMonths = 0;       // 0: keep every month
    bool status = false;
};

class HubService final : public QObject {
    Q_OBJECT
public:
    HubService(HubOptions options, AlarmRules rules);
    ~HubService() override;

    // Checks the database (schema made, upgraded or refused), then starts
    // everything. False with `error` when the hub cannot run.
    bool start(std::string& error);
    // Stores what waits (up to a few seconds), says "stopped", ends.
    void stop();

    // SIGHUP: the rules file again; a file with errors keeps the rules in
    // force (the errors are logged). True when the new rules hold.
    bool reloadRules();
    // Notes an attempt at a delivery in the notifications table.
    void noteDelivery(const DeliveryReport& report);
    // The rules in force, their file ("" for none) and the errors of the
    // last reload ("PATH:LINE: message" each; none when it held).
    const AlarmRules& rules() const { return rules_; }
    const std::string& rulesPath() const { return options_.rulesPath; }
    const std::vector<std::string>& rulesErrors() const { return rulesErrors_; }

    std::string statusLine() const;
    Ingest& ingest() { return *ingest_; }
    SiteDirectory& sites() { return *sites_; }
    AlarmEngine& engine() { return *engine_; }
    StoreWriter& writer() { return *writer_; }

private:
    void notify(const Receiver& to, const Alarm& alarm, const AlarmChange& change);
    void dropOldMonths();

    HubOptions options_;
    AlarmRules rules_;
    std::vector<std::string> rulesErrors_;
    std::unique_ptr<StoreWriter> writer_;
    std::unique_ptr<SiteDirectory> sites_;
    std::unique_ptr<Ingest> ingest_;
    std::unique_ptr<AlarmEngine> engine_;
    std::unique_ptr<Notifier> notifier_;
    PgConnection notes_;  // the notifications table, on this thread
    QTimer flushTimer_, engineTimer_, retentionTimer_, statusTimer_;
    bool stopped_ = false;
};

}  // namespace orlix::hub
