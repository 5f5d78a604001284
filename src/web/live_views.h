#pragma once
// The live view of a site in the browser, decoded by the hub: while at
// least one browser watches a site, the hub subscribes to the site's raw
// bus bytes (Ingest::watchRaw) and runs them through the project's receive
// path, exactly as the monitor does; a Sampler takes the decoded live values
// every 4 s, as the analyzer's live charts do; the error memory's entries
// are kept as the analyzer lists them. When the last browser leaves, the
// site is unwatched and its view ends.
//
// Each watcher gets, as JSON text messages:
//   {"type":"snapshot", "site", "fields":[[text, colour|null] x 160],
//    "errors":[[entry, ...] x 3 lists, newest first], "samples":{t, values, texts}}
//   {"type":"fields", "fields":[[index, text, colour|null], ...]}   at most every kFlushMs
//   {"type":"sample", "t", "values":{index: raw}, "texts":{index:{raw: text}}}   every 4 s
//   {"type":"error", "list", "entry"}                                 a new error-memory entry
//
// The bytes arrive on the broker client's thread and are handed to this
// object's thread; everything else happens on it.
#include <QObject>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <string>

class QWebSocket;

namespace orlix::web {

class LiveViews final : public QObject {
    Q_OBJECT
public:
    static constexpr int kFlushMs = 200;
    static constexpr int kSampleMs = 4000;
    static constexpr std::size_t kErrorEntriesKept = 100;

    using RawSink = std::function<void(const std::string& site, std::span<const std::uint8_t> bytes)>;
    using Watch = std::function<void(const std::string& site, RawSink sink)>;
    using Unwatch = std::function<void(const std::string& site)>;

    LiveViews(Watch watch, Unwatch unwatch);
    ~LiveViews() override;

    // `socket` watches `site` from now on (and no other site it watched).
    void attach(const std::string& site, QWebSocket* socket);
    void detach(QWebSocket* socket);

    int watchedSites() const { return static_cast<int>(views_.size()); }
    int watchers(const std::string& site) const;

private:
    struct View;
    void feed(const std::string& site, const QByteArray& bytes);
    void flush();
    void send(View& view, const std::string& message);

    Watch watch_;
    Unwatch unwatch_;
    std::map<std::string, std::unique_ptr<View>> views_;
    std::map<QWebSocket*, std::string> siteOf_;
    QTimer flushTimer_;
};

}  // namespace orlix::web
