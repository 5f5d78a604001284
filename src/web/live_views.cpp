#include "web/live_views.h"

#include <QWebSocket>
#include <array>
#include <bitset>
#include <deque>

#include "base/clock.h"
#include "comm/error_memory.h"
#include "comm/receive_path.h"
#include "sampling/sampler.h"
#include "web/json_out.h"
#include "web/page_layout.h"

namespace orlix::web {
namespace {

std::int64_t unixMs(DateTime t) { return unixMicrosOfLocalDateTime(t) / 1000; }

void writeField(JsonOut& j, const FieldValue& v) {
    j.str(v.text);
    if (v.colour) j.str(colourText(*v.colour));
    else j.null();
}

void writeTextsOf(JsonOut& j, const std::map<int, std::set<std::int32_t>>& seen) {
    j.key("texts").beginObject();
    for (const auto& [k, values] : seen) {
        j.key(std::to_string(k)).beginObject();
        for (const std::int32_t v : values) j.key(std::to_string(v)).str(readoutText(k, v));
        j.endObject();
    }
    j.endObject();
}

}  // namespace

struct LiveViews::View final : ErrorMemorySink, SampleListener {
    explicit View(std::string name) : site(std::move(name)), path(clock), sampler(path.store().LiveValues) {
        path.addErrorSink(this);
        sampler.addListener(this);
    }
    void addErrorEntry(int list, const std::string& entry) override {
        if (list < 0 || list >= static_cast<int>(errors.size())) return;
        auto& l = errors[static_cast<std::size_t>(list)];
        l.push_front(entry);
        if (l.size() > kErrorEntriesKept) l.pop_back();
        JsonOut j;
        j.beginObject().field("type", "error").field("list", list).field("entry", entry).endObject();
        pending.push_back(j.take());
    }
    void onSample(const SampleTick& tick) override {
        JsonOut j;
        j.beginObject().field("type", "sample").field("t", unixMs(tick.time)).key("values").beginObject();
        std::map<int, std::set<std::int32_t>> seen;
        for (const int k : chartedValues()) {
            const std::int32_t v = tick.buffers.LiveCurveData[static_cast<std::size_t>(k)][kNewestPosition];
            j.field(std::to_string(k), static_cast<std::int64_t>(v));
            seen[k].insert(v);
        }
        j.endObject();
        writeTextsOf(j, seen);
        pending.push_back(j.endObject().take());
    }
    std::string snapshot() const;

    std::string site;
    SystemClock clock;
    ReceivePath path;
    Sampler sampler;
    std::array<std::deque<std::string>, 3> errors;
    std::set<QWebSocket*> sockets;
    std::vector<std::string> pending;  // messages for every watcher
    std::bitset<FieldBoard::kFieldCount> changed;
    std::array<FieldValue, FieldBoard::kFieldCount> sent;  // what the watchers show
    QTimer tick;
};

std::string LiveViews::View::snapshot() const {
    JsonOut j;
    j.beginObject().field("type", "snapshot").field("site", site).key("fields").beginArray();
    for (int i = 0; i < FieldBoard::kFieldCount; ++i) {
        j.beginArray();
        writeField(j, path.board()[i]);
        j.endArray();
    }
    j.endArray().key("errors").beginArray();
    for (const auto& list : errors) {
        j.beginArray();
        for (const std::string& e : list) j.str(e);
        j.endArray();
    }
    j.endArray().key("samples").beginObject();
    const LiveBuffers& b = sampler.buffers();
    std::vector<int> positions;
    for (int p = 0; p <= kNewestPosition; ++p)
        if (b.LiveSampleTime[static_cast<std::size_t>(p)] != 0) positions.push_back(p);
    j.key("t").beginArray();
    for (const int p : positions) j.integer(unixMs(b.LiveSampleTime[static_cast<std::size_t>(p)]));
    j.endArray().key("values").beginObject();
    std::map<int, std::set<std::int32_t>> seen;
    for (const int k : chartedValues()) {
        j.key(std::to_string(k)).beginArray();
        for (const int p : positions) {
            const std::int32_t v = b.LiveCurveData[static_cast<std::size_t>(k)][static_cast<std::size_t>(p)];
            j.integer(v);
            seen[k].insert(v);
        }
        j.endArray();
    }
    j.endObject();
    writeTextsOf(j, seen);
    j.endObject().endObject();
    return j.take();
}

LiveViews::LiveViews(Watch watch, Unwatch unwatch) : watch_(std::move(watch)), unwatch_(std::move(unwatch)) {
    flushTimer_.setInterval(kFlushMs);
    connect(&flushTimer_, &QTimer::timeout, this, &LiveViews::flush);
}

LiveViews::~LiveViews() {
    // After unwatch returns no more bytes come from the broker's thread.
    for (const auto& [site, view] : views_) unwatch_(site);
}

int LiveViews::watchers(const std::string& site) const {
    const auto it = views_.find(site);
    return it == views_.end() ? 0 : static_cast<int>(it->second->sockets.size());
}

void LiveViews::attach(const std::string& site, QWebSocket* socket) {
    detach(socket);
    auto it = views_.find(site);
    if (it == views_.end()) {
        it = views_.emplace(site, std::make_unique<View>(site)).first;
        View& view = *it->second;
        view.tick.setInterval(kSampleMs);
        connect(&view.tick, &QTimer::timeout, this, [&view] { view.sampler.tick(view.clock.now()); });
        view.tick.start();
        watch_(site, [this](const std::string& s, std::span<const std::uint8_t> bytes) {
            const QByteArray copy(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
            QMetaObject::invokeMethod(this, [this, s, copy] { feed(s, copy); }, Qt::QueuedConnection);
        });
        if (!flushTimer_.isActive()) flushTimer_.start();
    }
    flush();  // the others see what changed before the new one's snapshot
    View& view = *it->second;
    for (int i = 0; i < FieldBoard::kFieldCount; ++i) view.sent[static_cast<std::size_t>(i)] = view.path.board()[i];
    view.changed.reset();
    view.sockets.insert(socket);
    siteOf_[socket] = site;
    socket->sendTextMessage(QString::fromStdString(view.snapshot()));
}

void LiveViews::detach(QWebSocket* socket) {
    const auto s = siteOf_.find(socket);
    if (s == siteOf_.end()) return;
    const std::string site = s->second;
    siteOf_.erase(s);
    const auto it = views_.find(site);
    if (it == views_.end()) return;
    it->second->sockets.erase(socket);
    if (!it->second->sockets.empty()) return;
    unwatch_(site);
    views_.erase(it);
    if (views_.empty()) flushTimer_.stop();
}

void LiveViews::feed(const std::string& site, const QByteArray& bytes) {
    const auto it = views_.find(site);
    if (it == views_.end()) return;  // unwatched meanwhile
    View& view = *it->second;
    view.path.onRead({reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())});
    view.changed |= view.path.board().takeWritten();
}

void LiveViews::send(View& view, const std::string& message) {
    const QString text = QString::fromStdString(message);
    for (QWebSocket* socket : view.sockets) socket->sendTextMessage(text);
}

void LiveViews::flush() {
    for (auto& [site, view] : views_) {
        for (const std::string& m : view->pending) send(*view, m);
        view->pending.clear();
        if (view->changed.none()) continue;
        JsonOut j;
        j.beginObject().field("type", "fields").key("fields").beginArray();
        bool any = false;
        for (int i = 0; i < FieldBoard::kFieldCount; ++i) {
            const FieldValue& now = view->path.board()[i];
            FieldValue& shown = view->sent[static_cast<std::size_t>(i)];
            if (!view->changed.test(static_cast<std::size_t>(i)) || (now.text == shown.text && now.colour == shown.colour))
                continue;
            shown = now;
            any = true;
            j.beginArray().integer(i);
            writeField(j, now);
            j.endArray();
        }
        view->changed.reset();
        if (any) send(*view, j.endArray().endObject().take());
    }
}

}  // namespace orlix::web
