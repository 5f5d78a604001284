// orlix-record: the unattended recorder. Reads a plant's bus from a port,
// records the 4 s samples into a sample database and, with --mqtt, publishes
// the site's bytes, samples, faults and status on a broker. No window.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCommandLineParser>
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
#include "sources/replay_clock.h"
#include "platform/std_output.h"
#include "platform/version.h"
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

int fail(const std::string& text) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgram, text.c_str(), kProgram);
    return 2;
}

// Reads the program's options into `a`. Returns the exit status when the
// program ends here (help, version, a bad option), nothing when it runs.
std::optional<int> parseOptions(Parsed& a) {
    QCommandLineParser p;
    p.setApplicationDescription(
        "Records a plant's bus without a window: the 4 s samples go into a sample database in whole 45-sample "
        "batches, and with a broker the site's bytes, samples, faults and status are published under "
        "PREFIX/SITE/.");
    const QCommandLineOption port("port", "Serial device, bus capture (.pcap, replayed on its own clock) or "
                                          "remote site mqtt://host[:port]/PREFIX/SITE to read.", "PATH");
    const QCommandLineOption capture("capture", "Also write every read to a bus capture: FILE.pcap, or a folder for "
                                                "a file per day; reopened on SIGHUP.", "PATH");
    const QCommandLineOption db("db", "Sample database to record into; made when missing "
                                      "(default: SITE.mdb in ~/OrlixMonitorDB).", "FILE.mdb");
    const QCommandLineOption mqtt("mqtt", "Broker to publish on: mqtt://[user[:password]@]host[:port]/PREFIX or "
                                          "mqtts://...", "URL");
    const QCommandLineOption site("site", "Site name, the topic level after PREFIX (default: the host name).",
                                  "NAME");
    const QCommandLineOption scale("time-scale", "Run the program clock K times faster (tests, demos).", "K");
    const QCommandLineOption status("status", "Write the counters to the log once a minute.");
    const QCommandLineOption tlsCa("tls-ca", "CA certificate that signs the broker's certificate (mqtts).", "FILE");
    const QCommandLineOption tlsCert("tls-cert", "Client certificate for the broker (mqtts).", "FILE");
    const QCommandLineOption tlsKey("tls-key", "Key of the client certificate (mqtts).", "FILE");
    const QCommandLineOption passwordFile("mqtt-password-file",
                                          "Broker password from the first line of FILE instead of the URL.", "FILE");
    const QCommandLineOption logFile("log", "Append the log to FILE instead of standard error; reopened on SIGHUP.",
                                     "FILE");
    const QCommandLineOption help("help", "Show this help and exit.");
    const QCommandLineOption version("version", "Show the version and exit.");
    for (const auto* o : {&port, &db, &capture, &mqtt, &site, &scale, &status, &tlsCa, &tlsCert, &tlsKey, &passwordFile,
                          &logFile, &help, &version})
        p.addOption(*o);
    if (!p.parse(QCoreApplication::arguments())) return fail(p.errorText().toStdString());
    if (p.isSet(help)) {
        // Qt's text names the program by the path it was started with.
        const QString text = p.helpText();
        const QString usage = QStringLiteral("Usage: %1 [options]").arg(QLatin1String(kProgram));
        return orlix::writeStdout(kProgram, (usage + text.mid(text.indexOf(QLatin1Char('\n')))).toStdString()) ? 0 : 1;
    }
    if (p.isSet(version))
        return orlix::writeStdout(kProgram, std::string(kProgram) + " " + orlix::versionText() + "\n") ? 0 : 1;
    if (!p.positionalArguments().isEmpty()) return fail("unexpected argument " + p.positionalArguments()[0].toStdString());
    if (!p.isSet(port)) return fail("--port PATH is needed");

    a.options.port = p.value(port).toStdString();
    a.options.site = p.isSet(site) ? p.value(site).toStdString() : hostName();
    if (!orlix::isTopicLevel(a.options.site)) return fail("--site needs a name without blanks, '/', '+' or '#'");
    a.options.db = p.isSet(db) ? p.value(db).toStdString()
                               : orlix::defaultDatabaseFolder(true) + a.options.site + ".mdb";
    a.options.capture = p.value(capture).toStdString();
    a.options.mqttUrl = p.value(mqtt).toStdString();
    if (!a.options.mqttUrl.empty()) {
        const orlix::MqttUrlParse u = orlix::parseMqttUrl(a.options.mqttUrl);
        if (!u.url) return fail("--mqtt: " + u.error);
    }
    a.options.status = p.isSet(status);
    a.options.tlsCa = p.value(tlsCa).toStdString();
    a.options.tlsCert = p.value(tlsCert).toStdString();
    a.options.tlsKey = p.value(tlsKey).toStdString();
    a.options.passwordFile = p.value(passwordFile).toStdString();
    a.logFile = p.value(logFile).toStdString();
    if (p.isSet(scale)) {
        bool ok = false;
        a.timeScale = p.value(scale).toDouble(&ok);
        if (!ok || !(a.timeScale >= 0.01 && a.timeScale <= 10000)) return fail("--time-scale needs a number from 0.01 to 10000");
    }
    a.options.timeScale = a.timeScale;
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    orlix::installQtLogSink();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QString::fromLatin1(kProgram));

    Parsed a;
    if (const std::optional<int> status = parseOptions(a)) return *status;
    if (!a.logFile.empty() && !openLogFile(a.logFile)) return 1;

    std::unique_ptr<orlix::Clock> clock;
    if (a.timeScale != 1.0) clock = std::make_unique<orlix::ScaledClock>(a.timeScale);
    else clock = std::make_unique<orlix::SystemClock>();

    orlix::ReplayClock programClock(*clock);
    orlix::RecordSession session(a.options, programClock);
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
