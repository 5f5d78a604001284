#pragma once
// Delivers alarm notices to their receivers and reports every attempt.
//
// The hub decides who is told of what (alarm_rules.h) and forms the
// documents (notification_format.h); a Notifier only delivers them:
//
//   webhook  POST of the JSON notice (Content-Type application/json) through
//            Qt Network, with a transfer timeout; a 2xx answer is delivered,
//            anything else (no connection, no answer in time, another
//            status, a redirect) fails. User and password in the URL are
//            sent as HTTP Basic authorization and are never logged or
//            reported: the log shows a receiver's scheme, host and port only.
//   email    runs the sendmail-compatible command (words split by
//            QProcess::splitCommand: double quotes group, no shell) and writes the whole message to its standard input;
//            exit status 0 is delivered. A command that hangs is killed.
//   mqtt     hands the JSON notice to the hub's publish function (a QoS 1
//            publish of its broker client); a publish taken into the
//            client's queue is delivered.
//
// A failed attempt is tried again after each of the retry delays in turn
// (10 s, 1 min, 5 min), then given up. Each receiver holds at most
// maxPendingPerReceiver notices (waiting, in flight or between retries);
// beyond that a new notice is dropped, reported and logged. At most
// maxInFlightPerReceiver attempts to one receiver run at once, so a burst
// neither floods a receiver nor starts a crowd of sendmail processes.
//
// Logging (orlix.hub): the first failure of a receiver is written with its
// cause, further ones only counted (log::RepeatFilter) until a delivery to
// it works again, which is written once too. Neither a URL's credentials
// nor an e-mail body is ever written.
//
// A Notifier lives on one Qt thread with an event loop (the hub's); call it
// there only. The report function runs there too, and may call send().
#include <QObject>
#include <QTimeZone>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "base/log.h"
#include "hub/alarm_rules.h"
#include "hub/alarm_state.h"

class QNetworkAccessManager;
class QTimer;

namespace orlix::hub {

// One notice for one receiver: `json` from alarmNoticeJson() (webhook and
// mqtt), `email` from alarmEmail() for the receiver's to/from (email); the
// other may stay empty. alarmNotice() below makes one.
struct Notice {
    Receiver receiver;
    std::string site;
    std::string source;
    std::string json;
    std::string email;
};

// The notice of an alarm change for one receiver: the JSON notice for a
// webhook or mqtt receiver, the e-mail to its `to` from its `from` for an
// email receiver; times in `zone` (the site's, by default the office's).
Notice alarmNotice(const Receiver& receiver, const Alarm& alarm, const AlarmChange& change, const QTimeZone& zone);

// The outcome of one attempt, or of a notice dropped before any attempt
// (attempt 0): a row of the notifications table.
struct DeliveryReport {
    std::string receiver;
    std::string site;
    std::string source;
    ReceiverType kind = ReceiverType::Webhook;
    bool delivered = false;
    // "HTTP 200", "HTTP 500 Internal Server Error", "connection refused",
    // "exit status 0", "exit status 75: msmtp: cannot connect ...",
    // "queued for the broker", "dropped: ...".
    std::string detail;
    int attempt = 1;     // 1 for the first, 0 for a notice dropped unsent
    bool final = true;   // false: another attempt follows
};

// At most this many notices wait per receiver: every site of a large
// office (a few hundred) going offline at once, as a broker outage does,
// still reaches a receiver that is up; one that is down holds at most about
// half a megabyte (a notice with its e-mail is 1-2 KB).
inline constexpr std::size_t kMaxPendingPerReceiver = 256;
inline constexpr int kMaxInFlightPerReceiver = 4;

struct NotifierSettings {
    std::string sendmailCommand{kDefaultSendmailCommand};
    std::vector<std::chrono::milliseconds> retryDelays{std::chrono::seconds(10), std::chrono::minutes(1),
                                                       std::chrono::minutes(5)};
    // A webhook that sends nothing for this long has failed.
    std::chrono::milliseconds transferTimeout = std::chrono::seconds(10);
    // A sendmail command still running after this long is killed.
    std::chrono::milliseconds sendmailTimeout = std::chrono::minutes(1);
    std::size_t maxPendingPerReceiver = kMaxPendingPerReceiver;
    int maxInFlightPerReceiver = kMaxInFlightPerReceiver;
};

class Notifier : public QObject {
    Q_OBJECT
public:
    using Report = std::function<void(const DeliveryReport&)>;
    // Publishes `payload` to PREFIX/SITE/alarms with QoS 1; false when the
    // broker client dropped it (its queue is full).
    using Publish = std::function<bool(const std::string& site, const std::string& payload)>;

    Notifier(NotifierSettings settings, Report report, Publish publish, QObject* parent = nullptr);
    // Abandons what is in flight without reporting it; a running sendmail
    // command is killed.
    ~Notifier() override;

    // Queues a notice; its first attempt starts at once when the receiver
    // has room for it. False when it was dropped (reported with attempt 0).
    bool send(Notice notice);

    // After a reload of the rules; notices already queued keep theirs.
    void setSendmailCommand(std::string command);

    // Notices not finished (waiting, in flight or between retries).
    std::size_t pending() const;
    std::size_t pending(std::string_view receiver) const;

private:
    using Clock = std::chrono::steady_clock;
    struct Entry {
        std::uint64_t id = 0;
        Notice notice;
        std::string sendmailCommand;
        int attempts = 0;
        bool inFlight = false;
        Clock::time_point dueAt;
    };
    struct ReceiverState {
        std::vector<Entry> entries;  // in the order sent
        int inFlight = 0;
        std::int64_t failuresInRow = 0;
        log::RepeatFilter logFilter;
    };

    void dispatch();
    void startDue(const std::string& name, ReceiverState& state, Clock::time_point now);
    void attempt(const std::string& name, Entry& entry);
    void finished(const std::string& name, std::uint64_t id, bool delivered, const std::string& detail);
    void logOutcome(ReceiverState& state, const Receiver& receiver, bool delivered, const std::string& detail);
    void publish(const Notice& notice, const std::function<void(bool, std::string)>& done);
    void tell(const DeliveryReport& report);
    void drop(const Notice& notice);
    void armTimer();

    NotifierSettings settings_;
    Report report_;
    Publish publish_;
    QNetworkAccessManager* network_ = nullptr;
    QTimer* timer_ = nullptr;
    std::map<std::string, ReceiverState, std::less<>> receivers_;
    std::uint64_t nextId_ = 1;
};

// How a receiver is named in the log: "ops (webhook http://host:8080)",
// "night (email)", "board (mqtt)". A URL shows its scheme, host and port
// only: user, password, path and query may hold secrets.
std::string receiverShown(const Receiver& receiver);

}  // namespace orlix::hub
