#include "monitor/command_line.h"

#include <QStringList>
#include <charconv>
#include <cmath>

#include "platform/option_reader.h"
#include "platform/version.h"
#include "sources/source_registry.h"

namespace orlix {
namespace {

constexpr const char* kProgram = "orlix-monitor";

// "ComN" with N in 1..16.
bool isComName(const std::string& s) {
    if (s.size() < 4 || s.size() > 5 || s.compare(0, 3, "Com") != 0) return false;
    int n = 0;
    const char* first = s.data() + 3;
    const char* last = s.data() + s.size();
    const auto [ptr, ec] = std::from_chars(first, last, n);
    return ec == std::errc() && ptr == last && n >= 1 && n <= 16 && *first != '0';
}

// Each applies every value given for its option (in order) and returns
// what is wrong, or "" when all is well.
using Apply = std::string (*)(MonitorOptions&, const QStringList& values);

std::string applyPort(MonitorOptions& o, const QStringList& values) {
    for (const QString& q : values) {
        const std::string v = q.toStdString();
        const auto eq = v.find('=');
        if (eq == std::string::npos || eq + 1 == v.size() || !isComName(v.substr(0, eq)))
            return "--port needs ComN=PATH with N from 1 to 16, got \"" + portAsGiven(v) + "\"";
        const std::string path = v.substr(eq + 1);
        // A path that can never be opened is refused now, not retried.
        if (const std::string why = unusablePort(path); !why.empty())
            return "--port " + v.substr(0, eq + 1) + portAsGiven(path) + ": " + why;
        o.portOverrides.push_back({v.substr(0, eq), path});
    }
    return {};
}

std::string applyDemo(MonitorOptions& o, const QStringList&) {
    o.demo = true;
    return {};
}

std::string applyTimeScale(MonitorOptions& o, const QStringList& values) {
    const std::string v = values.last().toStdString();  // the last one given counts
    double k = 0;
    const auto [ptr, ec] = std::from_chars(v.data(), v.data() + v.size(), k);
    if (ec != std::errc() || ptr != v.data() + v.size() || !std::isfinite(k) || k <= 0 || k > 10000)
        return "--time-scale needs a number above 0 and up to 10000, got \"" + v + "\"";
    o.timeScale = k;
    return {};
}

std::string applyCapture(MonitorOptions& o, const QStringList& values) {
    const std::string v = values.last().toStdString();  // the last one given counts
    if (v.empty()) return "--capture needs a file or folder name";
    o.capturePath = v;
    return {};
}

// A file option: the last one given counts.
std::string applyFile(std::string& field, const char* option, const QStringList& values) {
    const std::string v = values.last().toStdString();
    if (v.empty()) return std::string(option) + " needs a file name";
    field = v;
    return {};
}
std::string applyTlsCa(MonitorOptions& o, const QStringList& v) { return applyFile(o.tlsCaFile, "--tls-ca", v); }
std::string applyTlsCert(MonitorOptions& o, const QStringList& v) {
    return applyFile(o.tlsCertFile, "--tls-cert", v);
}
std::string applyTlsKey(MonitorOptions& o, const QStringList& v) { return applyFile(o.tlsKeyFile, "--tls-key", v); }
std::string applyPasswordFile(MonitorOptions& o, const QStringList& v) {
    return applyFile(o.mqttPasswordFile, "--mqtt-password-file", v);
}

struct OptionRow {
    const char* name;
    const char* valueName;  // nullptr for a switch without a value
    const char* description;
    Apply apply;
};

// The options, in the order --help lists them.
constexpr OptionRow kOptions[] = {
    {"port", "ComN=PATH",
     "List item ComN (N = 1..16) opens PATH instead of the machine's own port; a PATH ending in .pcap "
     "replays that bus capture. Repeatable.", &applyPort},
    {"demo", nullptr, "Start the simulated plant (orlix-plant-sim) and map Com1 to it.", &applyDemo},
    {"time-scale", "K",
     "Run every timer and the program's clock K times faster (0 < K <= 10000); with --demo the plant "
     "too.",
     &applyTimeScale},
    {"capture", "PATH",
     "While the port is open, also write every read to the bus capture PATH (pcap). A folder gets one file "
     "per day, PATH/orlix-YYYYMMDD.pcap.",
     &applyCapture},
    {"tls-ca", "FILE", "Remote sites on mqtts://: the CA certificate to check the broker against (default: the "
                       "system's).", &applyTlsCa},
    {"tls-cert", "FILE", "Remote sites on mqtts://: a client certificate, for brokers that ask for one.",
     &applyTlsCert},
    {"tls-key", "FILE", "Remote sites on mqtts://: the client certificate's key.", &applyTlsKey},
    {"mqtt-password-file", "FILE",
     "Remote sites: the broker password, from the first line of FILE instead of the URL (which anyone can "
     "read in the process list).",
     &applyPasswordFile},
};

}  // namespace

std::string monitorVersionLine() { return std::string(kProgram) + " " + versionText() + "\n"; }

ParseResult parseMonitorOptions(const std::vector<std::string>& args) {
    std::vector<OptionSpec> optionList;
    for (const OptionRow& row : kOptions) optionList.push_back({{row.name}, row.valueName ? row.valueName : "", row.description});
    OptionReader reader({kProgram,
                         {"orlix-monitor [--port ComN=PATH]... [--demo] [--time-scale K] [--capture PATH] "
                          "[--tls-ca FILE] [--tls-cert FILE] [--tls-key FILE] [--mqtt-password-file FILE]",
                          "orlix-monitor --help | --version"},
                         "Listens on the serial bus of a modular air-conditioning plant, decodes its frames "
                         "and charts and records the plant's values.",
                         ""},
                        std::move(optionList));
    const OptionReader::Outcome outcome = reader.parse(args);
    ParseResult r;
    r.text = outcome.text;
    switch (outcome.action) {
        case OptionReader::Outcome::Action::ShowHelp: r.action = ParseResult::Action::ShowHelp; return r;
        case OptionReader::Outcome::Action::ShowVersion: r.action = ParseResult::Action::ShowVersion; return r;
        case OptionReader::Outcome::Action::Fail: return r;
        case OptionReader::Outcome::Action::Run: break;
    }
    if (!reader.positionals().empty()) {
        r.text = "unexpected argument \"" + reader.positionals().front() + "\"";
        return r;
    }
    for (const OptionRow& row : kOptions) {
        if (!reader.isSet(row.name)) continue;
        QStringList values;
        for (const std::string& v : reader.values(row.name)) values << QString::fromStdString(v);
        if (std::string error = row.apply(r.options, values); !error.empty()) {
            r.text = std::move(error);
            return r;
        }
    }
    // The remote sites' files are checked as every program checks them.
    const MonitorOptions& o = r.options;
    r.text = checkBrokerOptions({{}, o.mqttPasswordFile, o.tlsCaFile, o.tlsCertFile, o.tlsKeyFile});
    if (!r.text.empty()) return r;
    r.action = ParseResult::Action::Run;
    return r;
}

}  // namespace orlix
