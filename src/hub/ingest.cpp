#include "hub/ingest.h"

#include <chrono>

#include "base/log.h"

namespace orlix::hub {

Micros systemNowUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

Ingest::Ingest(IngestSettings settings, SiteDirectory& sites, StoreWriter& writer)
    : settings_(std::move(settings)), prefix_(settings_.broker.url.path), sites_(sites), writer_(writer) {}

Ingest::~Ingest() { stop(); }

bool Ingest::start(std::string& error) {
    MqttClient::Events events;
    events.onMessage = [this](const std::string& topic, std::span<const std::uint8_t> payload) {
        take(topic, payload, systemNowUs());
    };
    client_ = std::make_unique<MqttClient>(settings_.broker, std::move(events));
    const std::string shared = settings_.shareGroup.empty() ? std::string() : "$share/" + settings_.shareGroup + "/";
    for (const char* kind : {"status", "sample", "faults"}) client_->subscribe(shared + prefix_ + "/+/" + kind, 1);
    return client_->start(error);
}

void Ingest::stop() {
    if (client_) client_->stop(2000);
}

void Ingest::watchRaw(const std::string& site, RawWatcher watcher) {
    {
        std::lock_guard lock(watchMutex_);
        watchers_[site] = std::move(watcher);
    }
    if (client_) client_->addSubscription(prefix_ + "/" + site + "/raw", 0);
}

void Ingest::unwatchRaw(const std::string& site) {
    {
        std::lock_guard lock(watchMutex_);
        watchers_.erase(site);
    }
    if (client_) client_->removeSubscription(prefix_ + "/" + site + "/raw");
}

void Ingest::take(const std::string& topic, std::span<const std::uint8_t> payload, Micros arrivalUs) {
    ++messages_;
    const Parsed<SiteTopic> t = parseSiteTopic(prefix_, topic);
    if (!t) {
        ++refused_;
        reportRefusal("message on " + printableText(topic, '?'), t.error);
        return;
    }
    const std::string& name = t.value->site;
    if (t.value->kind == TopicKind::Raw) {
        std::lock_guard lock(watchMutex_);
        if (const auto it = watchers_.find(name); it != watchers_.end()) it->second(name, payload);
        return;
    }
    if (t.value->kind == TopicKind::Alarms) return;  // the office's own notices
    const std::string_view text(reinterpret_cast<const char*>(payload.data()), payload.size());
    const std::optional<SiteInfo> site = sites_.siteOf(name);
    if (!site) {
        park(topic, text, arrivalUs);
        return;
    }
    sites_.noteMessage(site->id, arrivalUs);
    switch (t.value->kind) {
        case TopicKind::Sample: takeSample(*site, name, text, arrivalUs); break;
        case TopicKind::Faults: takeFault(*site, name, text, arrivalUs); break;
        case TopicKind::Status: takeStatus(*site, name, text); break;
        default: break;
    }
}

void Ingest::takeSample(const SiteInfo& site, const std::string& name, std::string_view payload, Micros arrivalUs) {
    const Parsed<SamplePayload> p = parseSamplePayload(payload, TimeContext{site.zone, arrivalUs});
    if (!p) {
        ++refused_;
        reportRefusal("sample from " + name, p.error);
        return;
    }
    HubSample s;
    s.site = site.id;
    s.timeUs = p.value->instantUs;
    s.late = arrivalUs - s.timeUs > kLateAfterUs;
    s.values = p.value->values;
    ++samples_;
    if (s.late) ++late_;
    else sites_.noteValues(site.id, s.timeUs, s.values);
    writer_.submit(s);
}

void Ingest::takeFault(const SiteInfo& site, const std::string& name, std::string_view payload, Micros arrivalUs) {
    const Parsed<FaultPayload> p = parseFaultPayload(payload, TimeContext{site.zone, arrivalUs});
    if (!p) {
        ++refused_;
        reportRefusal("faults from " + name, p.error);
        return;
    }
    ++faults_;
    writer_.submit(FaultEvent{site.id, p.value->instantUs, std::string(faultListName(p.value->list)), p.value->status});
}

void Ingest::takeStatus(const SiteInfo& site, const std::string& name, std::string_view payload) {
    const Parsed<SiteStatus> p = parseStatusPayload(payload);
    if (!p) {
        ++refused_;
        reportRefusal("status of " + name, p.error);
        return;
    }
    ++statuses_;
    sites_.noteStatus(site.id, *p.value);
}

void Ingest::park(const std::string& topic, std::string_view payload, Micros arrivalUs) {
    std::lock_guard lock(waitMutex_);
    if (waiting_.size() >= kMaxWaiting) {
        ++dropped_;
        log::failure(log::kHub, "messages of new sites are dropped: " + std::to_string(kMaxWaiting) +
                                    " wait for the database (" + sites_.error() + ")");
        return;
    }
    if (waiting_.empty())
        log::warning(log::kHub, "messages of new sites wait for the database: " + sites_.error());
    waiting_.push_back({topic, std::string(payload), arrivalUs});
}

void Ingest::retryWaiting() {
    std::deque<Waiting> again;
    {
        std::lock_guard lock(waitMutex_);
        again.swap(waiting_);
    }
    if (again.empty()) return;
    const std::size_t n = again.size();
    for (const Waiting& w : again)
        take(w.topic, {reinterpret_cast<const std::uint8_t*>(w.payload.data()), w.payload.size()}, w.arrivalUs);
    messages_ -= n;  // counted when they came
    std::lock_guard lock(waitMutex_);
    if (waiting_.empty()) log::info(log::kHub, std::to_string(n) + " messages of new sites taken after all");
}

IngestCounters Ingest::counters() const {
    IngestCounters c;
    c.messages = messages_;
    c.samples = samples_;
    c.late = late_;
    c.faults = faults_;
    c.statuses = statuses_;
    c.refused = refused_;
    c.dropped = dropped_;
    std::lock_guard lock(waitMutex_);
    c.waiting = waiting_.size();
    return c;
}

}  // namespace orlix::hub
