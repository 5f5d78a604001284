// orlix-monitor: the monitor window with its serial link and the analyzer
// window behind it.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#ifdef Q_OS_LINUX
#include <signal.h>
#include <sys/prctl.h>
#endif
#include <memory>

#include "analyzer_window_link.h"
#include "monitor/command_line.h"
#include "monitor/frm_main.h"
#include "platform/clock.h"
#include "platform/qt_dialog_host.h"
#include "platform/qt_serial_link.h"

namespace {

// The simulated plant of --demo: orlix-plant-sim beside this program, with
// its port linked into a private temporary folder.
class DemoPlant {
public:
    // Returns the path the monitor should open, or an empty string.
    std::string start(double speed) {
        const QString sim = findSimulator();
        if (sim.isEmpty()) {
            std::fprintf(stderr, "orlix-monitor: --demo needs orlix-plant-sim beside this program\n");
            return {};
        }
        if (!dir_.isValid()) return {};
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
            std::fprintf(stderr, "orlix-monitor: could not start %s\n", qPrintable(sim));
            return {};
        }
        for (int i = 0; i < 100 && !QFileInfo::exists(link); ++i) QThread::msleep(50);
        if (!QFileInfo::exists(link)) {
            std::fprintf(stderr, "orlix-monitor: the simulated plant did not come up\n");
            return {};
        }
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
    QApplication app(argc, argv);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    const orlix::ParseResult parsed = orlix::parseMonitorOptions(args);
    if (!parsed.options) {
        std::fprintf(stderr, "orlix-monitor: %s\n%s\n", parsed.error.c_str(), orlix::kMonitorUsage);
        return 2;
    }
    orlix::MonitorOptions options = *parsed.options;

    std::unique_ptr<orlix::Clock> clock;
    if (options.timeScale != 1.0)
        clock = std::make_unique<orlix::ScaledClock>(options.timeScale);
    else
        clock = std::make_unique<orlix::SystemClock>();

    DemoPlant demo;
    if (options.demo) {
        const std::string path = demo.start(options.timeScale);
        if (!path.empty()) options.portOverrides.insert(options.portOverrides.begin(), {"Com1", path});
    }

    std::vector<orlix::PortChoice> systemPorts;
    for (const orlix::SystemPort& p : orlix::systemSerialPorts()) systemPorts.push_back({p.name, p.path});

    orlix::LiveStore store;
    orlix::QtDialogHost dialogs;
    orlix::QtSerialLink link;
    orlix::AnalyzerWindowLink analyzer(store, *clock, dialogs);
    orlix::FrmMain window(store, *clock, link, dialogs, analyzer,
                          orlix::buildPortChoices(options.portOverrides, systemPorts));
    dialogs.setParent(&window);
    window.setErrorSink(&analyzer);
    QObject::connect(&window, &orlix::FrmMain::closed, &app, &QApplication::quit);
    window.show();
    return app.exec();
}
