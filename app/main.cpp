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
#include "base/clock.h"
#include "base/log.h"
#include "bus_tools_link.h"
#include "monitor/command_line.h"
#include "monitor/dialog_host.h"
#include "monitor/frm_main.h"
#include "platform/logging.h"
#include "platform/quit_signals.h"
#include "platform/std_output.h"
#include "recorder/pipeline.h"
#include "sources/serial_source.h"

namespace {

// The simulated plant of --demo: orlix-plant-sim beside this program, with
// its port linked into a private temporary folder.
class DemoPlant {
public:
    // Returns the path the monitor should open, or an empty string.
    std::string start(double speed) {
        const QString sim = findSimulator();
        if (sim.isEmpty()) {
            orlix::log::warning(orlix::log::kApp, "--demo needs orlix-plant-sim beside this program or on the PATH");
            return {};
        }
        if (!dir_.isValid()) {
            orlix::log::warning(orlix::log::kApp,
                                "--demo cannot make a temporary folder: " + dir_.errorString().toStdString());
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
            orlix::log::warning(orlix::log::kApp, "could not start " + sim.toStdString() + ": " +
                                                      process_.errorString().toStdString());
            return {};
        }
        for (int i = 0; i < 100 && !QFileInfo::exists(link); ++i) QThread::msleep(50);
        if (!QFileInfo::exists(link)) {
            orlix::log::warning(orlix::log::kApp, "the simulated plant did not come up within 5 s");
            return {};
        }
        orlix::log::info(orlix::log::kApp, "simulated plant " + sim.toStdString() + " runs on " + link.toStdString());
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
    // A file-size limit makes a write of a capture or database fail (and be
    // said) instead of ending the program without a word.
    ::signal(SIGXFSZ, SIG_IGN);
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

    DemoPlant demo;
    if (options.demo) {
        const std::string path = demo.start(options.timeScale);
        if (!path.empty()) options.portOverrides.insert(options.portOverrides.begin(), {"Com1", path});
    }

    std::vector<orlix::PortChoice> systemPorts;
    for (const orlix::SystemPort& p : orlix::systemSerialPorts()) systemPorts.push_back({p.name, p.path});

    // The port list's items open serial devices, replay bus captures or
    // view remote sites (mqtt://); whatever is read may also be captured.
    orlix::SourceSettings sources;
    sources.timeScale = options.timeScale;
    sources.siteBroker = {{}, options.mqttPasswordFile, options.tlsCaFile, options.tlsCertFile, options.tlsKeyFile};
    orlix::Pipeline pipeline(*normalClock, sources);
    if (!options.capturePath.empty() && !pipeline.startCapture(options.capturePath))
        orlix::log::warning(orlix::log::kApp, "--capture " + options.capturePath + " cannot be written now: " +
                                                  pipeline.capture().error() + " (tried again every " +
                                                  std::to_string(orlix::CaptureWriter::kRetryInterval.count()) +
                                                  " s)");

    orlix::QtDialogHost dialogs;
    orlix::AnalyzerWindowLink analyzer(pipeline, dialogs);
    orlix::BusToolsLink tools(pipeline);
    analyzer.setBusTools(&tools);
    orlix::FrmMain window(pipeline, dialogs, analyzer, orlix::buildPortChoices(options.portOverrides, systemPorts));
    tools.setMonitor(&window);
    dialogs.setParent(&window);
    QObject::connect(&window, &orlix::FrmMain::closed, &app, &QApplication::quit);
    // The end of a session or a kill(1) closes the window as its close button
    // does: the port is closed and the demo plant ended.
    orlix::QuitSignals quitSignals([&window](int sig) {
        orlix::log::info(orlix::log::kApp, std::string("SIG") + ::sigabbrev_np(sig) + ": closing");
        window.close();
    });
    window.show();
    return app.exec();
}
