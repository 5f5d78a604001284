// orlix-record: the unattended recorder. Reads a plant's bus from a port,
// records the 4 s samples into a sample database and, with --mqtt, publishes
// the site's bytes, samples, faults and status on a broker. No window.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "database/sample_database.h"
#include "base/clock.h"
#include "base/log.h"
#include "mqtt/mqtt_url.h"
#include "platform/logging.h"
#include "platform/quit_signals.h"
#include "platform/option_reader.h"
#include "recorder/record_engine.h"

namespace {

constexpr const char* kProgram = "orlix-record";

struct Parsed {
    orlix::RecordOptions options;
    double timeScale = 1.0;
    std::string logFile;
};

std::string hostName() {
    char buf[256] = {};
    if (::gethostname(buf, sizeof buf - 1) != 0 || buf[0] == '\0') return "site";
    std::string name(buf);
    return orlix::isTopicLevel(name) ? name : std::string("site");
}

// Standard error to `path` (appended), so that a log rotation's SIGHUP can
// move the file away and have the next line start a new one.
bool openLogFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0640);
    if (fd < 0) {
        std::fprintf(stderr, "%s: cannot open the log %s: %s\n", kProgram, path.c_str(), std::strerror(errno));
        return false;
    }
    const bool ok = ::dup2(fd, STDERR_FILENO) >= 0;
    ::close(fd);
    return ok;
}

orlix::ProgramText programText() {
    return {kProgram,
            {"orlix-record --port PATH [--db FILE.mdb] [--site NAME] [--capture PATH] [--mqtt URL] "
             "[--mqtt-password-file FILE] [--tls-ca FILE] [--tls-cert FILE] [--tls-key FILE] [--status] "
             "[--time-scale K] [--log FILE]",
             "orlix-record --help | --version"},
            "Records a plant's bus without a window: the 4 s samples go into a sample\n"
            "database in whole 45-sample batches, and with a broker the site's bytes,\n"
            "samples, faults and status are published under PREFIX/SITE/.",
            "Exit status: 0 stopped cleanly with every sample stored and the capture\n"
            "whole, 1 samples or capture records lost, or recording could not start,\n"
            "2 usage error."};
}

std::vector<orlix::OptionSpec> optionSpecs() {
    return {
        {{"port"}, "PATH", "Serial device, bus capture (.pcap, replayed on its own clock) or remote site "
                           "mqtt://host[:port]/PREFIX/SITE to read."},
        {{"db"}, "FILE.mdb", "Sample database to record into; made when missing (default: SITE.mdb in "
                             "~/OrlixMonitorDB)."},
        {{"capture"}, "PATH", "Also write every read to a bus capture: FILE.pcap, or a folder for a file per day; "
                              "reopened on SIGHUP."},
        {{"mqtt"}, "URL", "Broker to publish on: mqtt://[user[:password]@]host[:port]/PREFIX or mqtts://..."},
        {{"site"}, "NAME", "Site name, the topic level after PREFIX (default: the host name)."},
        {{"time-scale"}, "K", "Run the program clock K times faster (tests, demos)."},
        {{"status"}, "", "Write the counters to the log once a minute."},
        {{"tls-ca"}, "FILE", "CA certificate that signs the broker's certificate (mqtts)."},
        {{"tls-cert"}, "FILE", "Client certificate for the broker (mqtts)."},
        {{"tls-key"}, "FILE", "Key of the client certificate (mqtts)."},
        {{"mqtt-password-file"}, "FILE", "Broker password from the first line of FILE instead of the URL."},
        {{"log"}, "FILE", "Append the log to FILE instead of standard error; reopened on SIGHUP."},
    };
}

// Reads the program's options into `a`. Returns the exit status when the
// program ends here (help, version, a bad option), nothing when it runs.
std::optional<int> parseOptions(int argc, char** argv, Parsed& a) {
    orlix::OptionReader r(programText(), optionSpecs());
    if (const auto end = r.read(argc, argv)) return *end;
    if (!r.positionals().empty()) return r.usageError("unexpected argument " + r.positionals().front());
    if (!r.isSet("port")) return r.usageError("--port PATH is needed");
    a.options.port = r.value("port");
    a.options.site = r.isSet("site") ? r.value("site") : hostName();
    if (!orlix::isTopicLevel(a.options.site)) return r.usageError("--site needs a name without blanks, '/', '+' or '#'");
    a.options.db = r.isSet("db") ? r.value("db") : orlix::defaultDatabaseFolder(true) + a.options.site + ".mdb";
    a.options.capture = r.value("capture");
    a.options.broker.url = r.value("mqtt");
    a.options.status = r.isSet("status");
    a.options.broker.tlsCa = r.value("tls-ca");
    a.options.broker.tlsCert = r.value("tls-cert");
    a.options.broker.tlsKey = r.value("tls-key");
    a.options.broker.passwordFile = r.value("mqtt-password-file");
    // Everything that can be known wrong is said before anything is made.
    if (const std::string why = orlix::RecordEngine::checkOptions(a.options); !why.empty()) return r.usageError(why);
    a.logFile = r.value("log");
    if (r.isSet("time-scale")) {
        bool ok = false;
        a.timeScale = QString::fromStdString(r.value("time-scale")).toDouble(&ok);
        if (!ok || !(a.timeScale >= 0.01 && a.timeScale <= 10000))
            return r.usageError("--time-scale needs a number from 0.01 to 10000");
    }
    a.options.timeScale = a.timeScale;
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    orlix::installQtLogSink();
    // A file-size limit makes a write of a capture or database fail (and be
    // said) instead of ending the program without a word.
    ::signal(SIGXFSZ, SIG_IGN);
    Parsed a;
    if (const std::optional<int> status = parseOptions(argc, argv, a)) return *status;
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QString::fromLatin1(kProgram));
    if (!a.logFile.empty() && !openLogFile(a.logFile)) return 1;

    std::unique_ptr<orlix::Clock> clock;
    if (a.timeScale != 1.0) clock = std::make_unique<orlix::ScaledClock>(a.timeScale);
    else clock = std::make_unique<orlix::SystemClock>();

    orlix::RecordEngine session(a.options, *clock);
    std::string error;
    if (!session.start(error)) {
        orlix::log::critical(orlix::log::kRecord, "cannot start: " + error);
        return 1;
    }
    int exitCode = 0;
    session.onEnd = [&] {
        exitCode = session.finish() ? 0 : 1;
        app.quit();
    };
    orlix::QuitSignals quitSignals([&](int sig) {
        if (sig == SIGHUP) {
            orlix::log::info(orlix::log::kRecord, "SIGHUP: reopening the log and the capture");
            if (!a.logFile.empty()) openLogFile(a.logFile);
            session.reopenCapture();
            return;
        }
        orlix::log::info(orlix::log::kRecord, std::string("SIG") + ::sigabbrev_np(sig) + ": stopping");
        exitCode = session.finish() ? 0 : 1;
        app.quit();
    });
    return app.exec() == 0 ? exitCode : 1;
}
