// orlix-monitor: the monitor window with its serial link and the analyzer
// window behind it.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <cstring>
#ifdef Q_OS_LINUX
#include <signal.h>
#include <sys/prctl.h>
#endif
#include <algorithm>
#include <memory>

#include "analyzer_window_link.h"
#include "bus_tools_link.h"
#include "monitor/command_line.h"
#include "monitor/frm_main.h"
#include "capture/bus_capture.h"
#include "base/clock.h"
#include "sources/capture_replay_source.h"
#include "sources/port.h"
#include "monitor/dialog_host.h"
#include "platform/logging.h"
#include "sources/site_source.h"
#include "platform/quit_signals.h"
#include "sources/serial_source.h"
#include "sources/replay_clock.h"
#include "platform/std_output.h"

namespace {

// The simulated plant of --demo: orlix-plant-sim beside this program, with
// its port linked into a private temporary folder.
class DemoPlant {
public:
    // Returns the path the monitor should open, or an empty string.
    std::string start(double speed) {
        const QString sim = findSimulator();
        if (sim.isEmpty()) {
            qCWarning(orlix::lcApp).noquote() << "--demo needs orlix-plant-sim beside this program or on the PATH";
            return {};
        }
        if (!dir_.isValid()) {
            qCWarning(orlix::lcApp).noquote() << "--demo cannot make a temporary folder:" << dir_.errorString();
            return {};
        }
        const QString link = dir_.filePath("plant");
        process_.setProgram(sim);
        // The plant runs as fast as the program's clock, so sample times and
        // frame times stay in step under --time-scale.
        process_.setArguments({"--link", link, "--speed", QString::number(speed)});
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
#ifdef Q_OS_LINUX
        // The plant ends with this program, even when it is killed.
        process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
#endif
        process_.setStandardOutputFile(QProcess::nullDevice());
        process_.start();
        if (!process_.waitForStarted(5000)) {
            qCWarning(orlix::lcApp).noquote() << "could not start" << sim + QStringLiteral(":") << process_.errorString();
            return {};
        }
        for (int i = 0; i < 100 && !QFileInfo::exists(link); ++i) QThread::msleep(50);
        if (!QFileInfo::exists(link)) {
            qCWarning(orlix::lcApp).noquote() << "the simulated plant did not come up within 5 s";
            return {};
        }
        qCInfo(orlix::lcApp).noquote() << "simulated plant" << sim << "runs on" << link;
        return link.toStdString();
    }
    ~DemoPlant() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();
        if (!process_.waitForFinished(2000)) {
            process_.kill();
            process_.waitForFinished(2000);
        }
    }

private:
    // Beside this program, in the build tree's tools folder, or on the PATH.
    static QString findSimulator() {
        const QDir here(QCoreApplication::applicationDirPath());
        for (const QString& candidate : {here.filePath("orlix-plant-sim"),
                                         here.filePath("../tools/orlix-plant-sim")})
            if (QFileInfo(candidate).isExecutable()) return QFileInfo(candidate).canonicalFilePath();
        return QStandardPaths::findExecutable("orlix-plant-sim");
    }

    QTemporaryDir dir_;
    QProcess process_;
};

}  // namespace

int main(int argc, char** argv) {
    orlix::installQtLogSink();
    // The options are read before the application object exists, so that
    // --help and --version need no display.
    const orlix::ParseResult parsed = orlix::parseMonitorOptions({argv + std::min(argc, 1), argv + argc});
    switch (parsed.action) {
        case orlix::ParseResult::Action::ShowHelp:
        case orlix::ParseResult::Action::ShowVersion:
            return orlix::writeStdout("orlix-monitor", parsed.text) ? 0 : 1;
        case orlix::ParseResult::Action::Fail:
            std::fprintf(stderr, "orlix-monitor: %s\nTry 'orlix-monitor --help' for more information.\n",
                         parsed.text.c_str());
            return 2;
        case orlix::ParseResult::Action::Run:
            break;
    }
    orlix::MonitorOptions options = parsed.options;
    QApplication app(argc, argv);

    std::unique_ptr<orlix::Clock> normalClock;
    if (options.timeScale != 1.0)
        normalClock = std::make_unique<orlix::ScaledClock>(options.timeScale);
    else
        normalClock = std::make_unique<orlix::SystemClock>();
    // The program clock: the capture's time while a capture is replayed.
    orlix::ReplayClock clock(*normalClock);

    DemoPlant demo;
    if (options.demo) {
        const std::string path = demo.start(options.timeScale);
        if (!path.empty()) options.portOverrides.insert(options.portOverrides.begin(), {"Com1", path});
    }

    std::vector<orlix::PortChoice> systemPorts;
    for (const orlix::SystemPort& p : orlix::systemSerialPorts()) systemPorts.push_back({p.name, p.path});

    orlix::LiveStore store;
    orlix::QtDialogHost dialogs;
    // The port list's items open serial devices, replay bus captures or
    // view remote sites (mqtt://); whatever is read may also be captured.
    orlix::PortRouter router;
    router.setFactory(orlix::PortKind::Serial, [] { return std::make_unique<orlix::QtSerialLink>(); });
    router.setFactory(orlix::PortKind::Mqtt, [&options] {
        auto site = std::make_unique<orlix::MqttSourcePort>();
        site->setTlsFiles(options.tlsCaFile, options.tlsCertFile, options.tlsKeyFile);
        if (!options.mqttPasswordFile.empty()) site->setPasswordFile(options.mqttPasswordFile);
        return site;
    });
    router.setFactory(orlix::PortKind::Capture, [&clock, k = options.timeScale] {
        return std::make_unique<orlix::CaptureReplayPort>(&clock, k);
    });
    orlix::CapturingPort link(router);
    if (!options.capturePath.empty() && !link.startCapture(options.capturePath))
        qCWarning(orlix::lcApp).noquote() << "--capture" << QString::fromStdString(options.capturePath)
                                          << "cannot be written now:" << QString::fromStdString(link.captureError())
                                          << "(tried again every" << orlix::CaptureWriter::kRetryInterval.count()
                                          << "s)";
    QTimer capturePoll;
    QObject::connect(&capturePoll, &QTimer::timeout, [&link] { link.poll(); });
    capturePoll.start(1000);

    orlix::AnalyzerWindowLink analyzer(store, clock, dialogs);
    clock.setSampleTick([&analyzer] { analyzer.sampleTick(); });
    orlix::BusToolsLink tools(link);
    analyzer.setBusTools(&tools);
    orlix::FrmMain window(store, clock, link, dialogs, analyzer,
                          orlix::buildPortChoices(options.portOverrides, systemPorts));
    tools.setMonitor(&window);
    dialogs.setParent(&window);
    window.setErrorSink(&analyzer);
    QObject::connect(&window, &orlix::FrmMain::closed, &app, &QApplication::quit);
    // The end of a session or a kill(1) closes the window as its close button
    // does: the port is closed and the demo plant ended.
    orlix::QuitSignals quitSignals([&window](int sig) {
        qCInfo(orlix::lcApp).noquote() << QStringLiteral("SIG%1: closing").arg(QLatin1String(::sigabbrev_np(sig)));
        window.close();
    });
    window.show();
    return app.exec();
}
