// orlix-fleet-sim: many simulated sites publishing on a broker exactly as
// that many orlix-record instances would, for the office's tests and
// benchmarks. No window.
#include <signal.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QTimer>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>

#include "base/clock.h"
#include "base/log.h"
#include "base/sample_schedule.h"
#include "fleet/fleet.h"
#include "mqtt/broker_settings.h"
#include "platform/logging.h"
#include "platform/option_reader.h"
#include "platform/quit_signals.h"

namespace {

constexpr const char* kProgram = "orlix-fleet-sim";
constexpr int kStatusMs = 10000;
// A site holds about 100 kB (most of it the sampler's 720 samples of 50
// values): 20000 sites take 2 GB.
constexpr std::size_t kMaxSites = 20000;
// Random outages of a run without an end fall within its first hour.
constexpr std::int64_t kOpenRunSpanUs = 3600LL * 1'000'000;

orlix::ProgramText programText() {
    return {kProgram,
            {"orlix-fleet-sim --mqtt URL [--sites N] [--site-prefix NAME] [--seed S] [--time-scale K | --rate R] "
             "[--start TIME] [--duration D] [--samples-per-site M] [--backlog D] [--connections C] "
             "[--outage SITE:AFTER:FOR]... [--random-outages N] [--raw] [--status] [--mqtt-password-file FILE] "
             "[--tls-ca FILE] [--tls-cert FILE] [--tls-key FILE]",
             "orlix-fleet-sim --help | --version"},
            "Simulates a fleet of sites, each a plant on its bus with a recorder: every\n"
            "site publishes status, sample and faults under PREFIX/SITE/ exactly as\n"
            "orlix-record does (the same receive path, sampler and payloads), a sample\n"
            "every 4 s of program time. Deterministic for a seed and a start time.",
            "TIME is YYYY-MM-DDTHH:MM[:SS] in local time, or with Z or an offset\n"
            "(+01:00), or now-D for D before now. Durations D are a number with s, m, h\n"
            "or d (seconds without a unit), in program time: --start now-1d --duration\n"
            "1d --time-scale 100 runs the last day up to the present in 14.4 minutes.\n"
            "\n"
            "Exit status: 0 stopped cleanly (SIGINT, SIGTERM, the end of the run) with\n"
            "every message delivered, 1 messages not delivered, 2 usage error (also a\n"
            "password or TLS file that cannot be read)."};
}

std::vector<orlix::OptionSpec> optionSpecs() {
    return {
        {{"mqtt"}, "URL", "Broker to publish on: mqtt://[user[:password]@]host[:port]/PREFIX or mqtts://..."},
        {{"sites"}, "N", "Number of sites (default 10)."},
        {{"site-prefix"}, "NAME", "Site names are NAME0001, NAME0002, ... (default site)."},
        {{"seed"}, "S", "Random seed of the plants and outages (default 1); equal seeds, equal runs."},
        {{"time-scale"}, "K", "Program time runs K times faster than real time (default 1)."},
        {{"rate"}, "R", "R samples a second in all instead of a time scale; 0: as fast as the broker "
                        "acknowledges them."},
        {{"start"}, "TIME", "Program time of the first live sample (default: now)."},
        {{"duration"}, "D", "End after D of program time from the start."},
        {{"samples-per-site"}, "M", "End after M samples per site (backlog included)."},
        {{"backlog"}, "D", "First publish D of past samples per site, as fast as the broker takes them, "
                           "then go on live."},
        {{"connections"}, "C", "The sites share C broker connections (default 4)."},
        {{"outage"}, "SITE:AFTER:FOR", "Site SITE (name or number) goes quiet AFTER the start for FOR: "
                                       "\"offline\", nothing, then \"online\" again. Repeatable."},
        {{"random-outages"}, "N", "N outages of 2 to 10 minutes at random sites and times (from the seed)."},
        {{"raw"}, "", "Also publish each site's bus bytes on raw (QoS 0)."},
        {{"status"}, "", "Write the counters to the log every 10 s."},
        {{"mqtt-password-file"}, "FILE", "Broker password from the first line of FILE instead of the URL."},
        {{"tls-ca"}, "FILE", "CA certificate that signs the broker's certificate (mqtts)."},
        {{"tls-cert"}, "FILE", "Client certificate for the broker (mqtts)."},
        {{"tls-key"}, "FILE", "Key of the client certificate (mqtts)."},
    };
}

template <class T>
bool readNumber(const std::string& text, T& out, T low, T high) {
    T v{};
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc{} || r.ptr != text.data() + text.size() || v < low || v > high) return false;
    out = v;
    return true;
}

// --start: ISO 8601 through Qt's reader (local, Z or an offset), or
// now-D. Now is taken to the whole second.
std::optional<std::int64_t> readStart(const std::string& text) {
    const std::int64_t now = orlix::unixMicrosNow() / 1'000'000 * 1'000'000;
    if (text == "now") return now;
    if (text.starts_with("now-")) {
        const auto before = orlix::parseDuration(std::string_view(text).substr(4));
        if (!before) return std::nullopt;
        return now - *before;
    }
    const QDateTime t = QDateTime::fromString(QString::fromStdString(text), Qt::ISODateWithMs);
    if (!t.isValid()) return std::nullopt;
    return t.toMSecsSinceEpoch() * 1000;
}

// The number options. Returns the exit status when the program ends here.
std::optional<int> readCounts(const orlix::OptionReader& r, orlix::FleetOptions& o) {
    if (r.isSet("sites") && !readNumber<std::size_t>(r.value("sites"), o.sites, 1, kMaxSites))
        return r.usageError("--sites needs a number from 1 to " + std::to_string(kMaxSites));
    if (r.isSet("seed") && !readNumber<std::uint32_t>(r.value("seed"), o.seed, 0, UINT32_MAX))
        return r.usageError("--seed needs a number from 0 to 4294967295");
    if (r.isSet("connections") && !readNumber<std::size_t>(r.value("connections"), o.connections, 1, 256))
        return r.usageError("--connections needs a number from 1 to 256");
    if (r.isSet("samples-per-site") &&
        (!readNumber<std::uint64_t>(r.value("samples-per-site"), o.samplesPerSite, 1, UINT32_MAX)))
        return r.usageError("--samples-per-site needs a number from 1");
    if (r.isSet("time-scale") && r.isSet("rate")) return r.usageError("--time-scale and --rate exclude each other");
    if (r.isSet("time-scale") && !readNumber<double>(r.value("time-scale"), o.timeScale, 0.01, 1e6))
        return r.usageError("--time-scale needs a number from 0.01 to 1000000");
    double rate = 0;
    if (r.isSet("rate")) {
        if (!readNumber<double>(r.value("rate"), rate, 0, 1e7)) return r.usageError("--rate needs a number from 0");
        // The sites' samples lie 4 s / N apart in program time.
        o.timeScale = rate * static_cast<double>(orlix::kSampleIntervalUs) / 1e6 / static_cast<double>(o.sites);
    }
    const std::string prefix = r.isSet("site-prefix") ? r.value("site-prefix") : o.sitePrefix;
    if (!orlix::isTopicLevel(orlix::fleetSiteName(prefix, 0)))
        return r.usageError("--site-prefix needs a name without blanks, '/', '+' or '#'");
    o.sitePrefix = prefix;
    return std::nullopt;
}

// The times and outages (after the counts: outages name sites).
std::optional<int> readTimes(const orlix::OptionReader& r, orlix::FleetOptions& o) {
    const std::optional<std::int64_t> start = readStart(r.isSet("start") ? r.value("start") : "now");
    if (!start) return r.usageError("--start needs YYYY-MM-DDTHH:MM[:SS] (local, Z or +HH:MM) or now-D");
    o.startUs = *start;
    std::optional<std::int64_t> d;
    if (r.isSet("duration")) {
        if (!(d = orlix::parseDuration(r.value("duration"))) || *d == 0)
            return r.usageError("--duration needs a span above 0 like 90s, 15m, 2h, 1d");
        o.endUs = o.startUs + *d;
    }
    if (r.isSet("backlog")) {
        if (!(d = orlix::parseDuration(r.value("backlog")))) return r.usageError("--backlog needs a span like 1h");
        o.backlogUs = *d;
    }
    for (const std::string& text : r.values("outage")) {
        std::string error;
        const auto outage = orlix::parseOutage(text, o.sitePrefix, o.sites, error);
        if (!outage) return r.usageError("--outage " + text + ": " + error);
        o.outages.push_back(*outage);
    }
    if (r.isSet("random-outages")) {
        std::size_t n = 0;
        if (!readNumber<std::size_t>(r.value("random-outages"), n, 0, 100000))
            return r.usageError("--random-outages needs a number from 0 to 100000");
        std::int64_t span = o.endUs != orlix::kNoEnd ? o.endUs - o.startUs : kOpenRunSpanUs;
        if (o.samplesPerSite > 0)
            span = std::min<std::int64_t>(span, static_cast<std::int64_t>(o.samplesPerSite) *
                                                        orlix::kSampleIntervalUs - o.backlogUs);
        const auto drawn = orlix::randomOutages(n, o.seed, o.sites, span);
        o.outages.insert(o.outages.end(), drawn.begin(), drawn.end());
    }
    return std::nullopt;
}

// Reads the options into `o`. Returns the exit status when the program ends
// here (help, version, a bad option), nothing when it runs.
std::optional<int> parseOptions(int argc, char** argv, orlix::FleetOptions& o, bool& status) {
    orlix::OptionReader r(programText(), optionSpecs());
    if (const auto end = r.read(argc, argv)) return *end;
    if (!r.positionals().empty()) return r.usageError("unexpected argument " + r.positionals().front());
    if (!r.isSet("mqtt")) return r.usageError("--mqtt URL is needed");
    o.broker.url = r.value("mqtt");
    o.broker.passwordFile = r.value("mqtt-password-file");
    o.broker.tlsCa = r.value("tls-ca");
    o.broker.tlsCert = r.value("tls-cert");
    o.broker.tlsKey = r.value("tls-key");
    if (const std::string why = orlix::checkBrokerOptions(o.broker); !why.empty()) return r.usageError(why);
    o.raw = r.isSet("raw");
    status = r.isSet("status");
    if (const auto end = readCounts(r, o)) return end;
    // The longest topic a site publishes must fit in MQTT's limit.
    const std::string longest = orlix::parseMqttUrl(o.broker.url).url->path + "/" +
                                orlix::fleetSiteName(o.sitePrefix, o.sites - 1) + "/sample";
    if (const std::string why = orlix::topicLengthError(longest, "--site-prefix"); !why.empty())
        return r.usageError(why);
    return readTimes(r, o);
}

}  // namespace

int main(int argc, char** argv) {
    orlix::installQtLogSink();
    orlix::FleetOptions options;
    bool status = false;
    if (const std::optional<int> end = parseOptions(argc, argv, options, status)) return *end;
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QString::fromLatin1(kProgram));

    orlix::Fleet fleet(options);
    int exitCode = 0;
    bool stopped = false;
    const auto stop = [&] {
        if (stopped) return;
        stopped = true;
        exitCode = fleet.finish() ? 0 : 1;
        app.quit();
    };
    fleet.onEnd = [&] { QMetaObject::invokeMethod(&app, stop, Qt::QueuedConnection); };
    std::string error;
    if (!fleet.start(error)) {
        orlix::log::critical(orlix::log::kFleet, "cannot start: " + error);
        return 1;
    }
    orlix::QuitSignals quitSignals([&](int sig) {
        orlix::log::info(orlix::log::kFleet, std::string("SIG") + ::sigabbrev_np(sig) + ": stopping");
        stop();
    });
    QTimer statusTimer;
    QObject::connect(&statusTimer, &QTimer::timeout, [&] { orlix::log::info(orlix::log::kFleet, fleet.statusLine()); });
    if (status) statusTimer.start(kStatusMs);
    return app.exec() == 0 ? exitCode : 1;
}
