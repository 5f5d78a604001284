#include "hub/notifier.h"

#include <QMetaObject>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <optional>

#include "hub/notice_transport.h"
#include "hub/notification_format.h"

namespace orlix::hub {
namespace {

std::string retriesText(const std::vector<std::chrono::milliseconds>& delays) {
    if (delays.empty()) return "a notice is not tried again";
    std::string text = "each notice is tried again after ";
    for (std::size_t i = 0; i < delays.size(); ++i) {
        if (i > 0) text += i + 1 == delays.size() ? " and " : ", ";
        text += durationText(delays[i]);
    }
    return text + ", then given up";
}

}  // namespace

Notice alarmNotice(const Receiver& receiver, const Alarm& alarm, const AlarmChange& change, const QTimeZone& zone) {
    Notice notice{receiver, alarm.site, alarm.source, {}, {}};
    if (receiver.type == ReceiverType::Email)
        notice.email = alarmEmail(alarm, change, zone, receiver.to, receiver.from);
    else
        notice.json = alarmNoticeJson(alarm, change, zone);
    return notice;
}

std::string receiverShown(const Receiver& receiver) {
    std::string shown = receiver.name + " (" + std::string(receiverTypeName(receiver.type));
    if (receiver.type == ReceiverType::Webhook)
        shown += " " + shownUrl(QUrl(QString::fromStdString(receiver.url), QUrl::StrictMode));
    return shown + ")";
}

Notifier::Notifier(NotifierSettings settings, Report report, Publish publish, QObject* parent)
    : QObject(parent), settings_(std::move(settings)), report_(std::move(report)), publish_(std::move(publish)) {
    settings_.maxInFlightPerReceiver = std::max(settings_.maxInFlightPerReceiver, 1);
    settings_.maxPendingPerReceiver = std::max<std::size_t>(settings_.maxPendingPerReceiver, 1);
    network_ = new QNetworkAccessManager(this);
    timer_ = new QTimer(this);
    timer_->setSingleShot(true);
    connect(timer_, &QTimer::timeout, this, &Notifier::dispatch);
}

// Replies and processes are children of this object: QObject deletes them
// only after cutting every connection to this object, so none of their
// signals reaches a half-destroyed Notifier. Running commands are killed
// here already, quietly.
Notifier::~Notifier() {
    for (QProcess* process : findChildren<QProcess*>(Qt::FindDirectChildrenOnly)) {
        process->disconnect(this);
        process->kill();
        process->waitForFinished();
    }
}

bool Notifier::send(Notice notice) {
    ReceiverState& state = receivers_[notice.receiver.name];
    if (state.entries.size() >= settings_.maxPendingPerReceiver) {
        drop(notice);
        return false;
    }
    Entry entry;
    entry.id = nextId_++;
    entry.notice = std::move(notice);
    entry.sendmailCommand = settings_.sendmailCommand;
    entry.dueAt = Clock::now();
    state.entries.push_back(std::move(entry));
    dispatch();
    return true;
}

void Notifier::setSendmailCommand(std::string command) {
    settings_.sendmailCommand = std::move(command);
}

std::size_t Notifier::pending() const {
    std::size_t n = 0;
    for (const auto& [name, state] : receivers_) n += state.entries.size();
    return n;
}

std::size_t Notifier::pending(std::string_view receiver) const {
    const auto it = receivers_.find(receiver);
    return it == receivers_.end() ? 0 : it->second.entries.size();
}

void Notifier::dispatch() {
    const Clock::time_point now = Clock::now();
    for (auto& [name, state] : receivers_) startDue(name, state, now);
    armTimer();
}

// Oldest first, at most maxInFlightPerReceiver at once. Attempts report
// through the event loop, so the entries stay as they are meanwhile.
void Notifier::startDue(const std::string& name, ReceiverState& state, Clock::time_point now) {
    for (Entry& entry : state.entries) {
        if (state.inFlight >= settings_.maxInFlightPerReceiver) return;
        if (entry.inFlight || entry.dueAt > now) continue;
        entry.inFlight = true;
        ++state.inFlight;
        attempt(name, entry);
    }
}

void Notifier::attempt(const std::string& name, Entry& entry) {
    AttemptDone done = [this, name, id = entry.id](bool delivered, std::string detail) {
        QMetaObject::invokeMethod(
            this, [this, name, id, delivered, detail = std::move(detail)] { finished(name, id, delivered, detail); },
            Qt::QueuedConnection);
    };
    const Notice& notice = entry.notice;
    switch (notice.receiver.type) {
    case ReceiverType::Webhook:
        postWebhook(*network_, this, notice.receiver.url, notice.json, settings_.transferTimeout, std::move(done));
        break;
    case ReceiverType::Email:
        runSendmail(this, entry.sendmailCommand, notice.email, settings_.sendmailTimeout, std::move(done));
        break;
    case ReceiverType::Mqtt:
        publish(notice, done);
        break;
    }
}

void Notifier::publish(const Notice& notice, const AttemptDone& done) {
    if (!publish_) {
        done(false, "no broker client to publish with");
        return;
    }
    try {
        if (publish_(notice.site, notice.json))
            done(true, "queued for the broker");
        else
            done(false, "dropped by the broker client (its queue is full)");
    } catch (...) {
        done(false, "publishing failed: " + log::currentExceptionText());
    }
}

// The report goes to the hub's store; a failure there must not end the
// event loop.
void Notifier::tell(const DeliveryReport& report) {
    if (!report_) return;
    try {
        report_(report);
    } catch (...) {
        log::caughtException(log::kHub, "storing the outcome of a notice to " + report.receiver);
    }
}

void Notifier::finished(const std::string& name, std::uint64_t id, bool delivered, const std::string& detail) {
    const auto receiver = receivers_.find(name);
    if (receiver == receivers_.end()) return;
    ReceiverState& state = receiver->second;
    const auto entry = std::find_if(state.entries.begin(), state.entries.end(),
                                    [id](const Entry& e) { return e.id == id; });
    if (entry == state.entries.end()) return;

    entry->inFlight = false;
    --state.inFlight;
    ++entry->attempts;
    const bool last = delivered || static_cast<std::size_t>(entry->attempts) > settings_.retryDelays.size();
    const DeliveryReport report{name,      entry->notice.site, entry->notice.source, entry->notice.receiver.type,
                                delivered, detail,             entry->attempts,      last};
    logOutcome(state, entry->notice.receiver, delivered, detail);
    if (last)
        state.entries.erase(entry);
    else
        entry->dueAt = Clock::now() + settings_.retryDelays[static_cast<std::size_t>(entry->attempts - 1)];
    // A receiver that keeps failing stays, with its log filter.
    if (state.entries.empty() && state.failuresInRow == 0) receivers_.erase(receiver);

    tell(report);
    dispatch();
}

void Notifier::logOutcome(ReceiverState& state, const Receiver& receiver, bool delivered, const std::string& detail) {
    if (delivered) {
        if (state.failuresInRow > 0)
            log::info(log::kHub, "notifying " + receiverShown(receiver) + " works again, after " +
                                     std::to_string(state.failuresInRow) + " failed attempts");
        state.failuresInRow = 0;
        state.logFilter.reset();
        return;
    }
    ++state.failuresInRow;
    const std::string text = "notifying " + receiverShown(receiver) + " failed: " + detail + " (" +
                             retriesText(settings_.retryDelays) + ")";
    if (auto line = state.logFilter.pass(text)) log::warning(log::kHub, *line);
}

void Notifier::drop(const Notice& notice) {
    ReceiverState& state = receivers_[notice.receiver.name];
    const std::string pendingText = std::to_string(state.entries.size()) + " notices are pending for this receiver";
    const std::string text = "notifying " + receiverShown(notice.receiver) + ": new notices are dropped while " +
                             pendingText;
    if (auto line = state.logFilter.pass(text)) log::warning(log::kHub, *line);
    tell(DeliveryReport{notice.receiver.name, notice.site, notice.source, notice.receiver.type, false,
                        "dropped unsent: " + pendingText, 0, true});
}

void Notifier::armTimer() {
    const Clock::time_point now = Clock::now();
    std::optional<Clock::time_point> next;
    for (const auto& [name, state] : receivers_)
        for (const Entry& entry : state.entries)
            if (!entry.inFlight && entry.dueAt > now && (!next || entry.dueAt < *next)) next = entry.dueAt;
    if (!next) {
        timer_->stop();
        return;
    }
    // Rounded up: a timer that fires early finds nothing due and waits again.
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - now);
    timer_->start(wait);
}

}  // namespace orlix::hub
