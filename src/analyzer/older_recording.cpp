#include "analyzer/older_recording.h"

#include "base/log.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QProgressDialog>
#include <QStandardPaths>
#include <algorithm>
#include <climits>
#include <memory>
#include <filesystem>
#include <system_error>


namespace orlix::analyzer {
namespace {

QString& importerOverride() {
    static QString path;
    return path;
}

constexpr int kShowAfterMs = 500;
constexpr int kTerminateWaitMs = 2000;

std::unique_ptr<QProgressDialog> makeDialog(QWidget* parent, const ConversionPlan& plan) {
    const QString name = QFileInfo(QString::fromStdString(plan.source)).fileName();
    auto dlg = std::make_unique<QProgressDialog>(QStringLiteral("Converting %1 ...").arg(name),
                                                 QStringLiteral("Cancel"), 0, 0, parent);
    dlg->setObjectName(QStringLiteral("dlgImport"));
    dlg->setWindowTitle(QStringLiteral("Load Database..."));
    dlg->setWindowModality(Qt::WindowModal);
    dlg->setMinimumDuration(kShowAfterMs);
    dlg->setAutoClose(false);
    dlg->setAutoReset(false);
    dlg->setValue(0);
    return dlg;
}

void showProgress(QProgressDialog& dlg, long long done, long long total) {
    dlg.setMaximum(static_cast<int>(std::clamp<long long>(total, 0, INT_MAX)));
    dlg.setValue(static_cast<int>(std::clamp<long long>(done, 0, INT_MAX)));
}

// Reads "progress DONE TOTAL" lines as they come.
void readProgress(QProcess& proc, QByteArray& pending, QProgressDialog& dlg) {
    pending += proc.readAllStandardOutput();
    int nl;
    while ((nl = pending.indexOf('\n')) >= 0) {
        const QList<QByteArray> parts = pending.left(nl).split(' ');
        pending.remove(0, nl + 1);
        if (parts.size() == 3 && parts[0] == "progress") showProgress(dlg, parts[1].toLongLong(), parts[2].toLongLong());
    }
}

void removeLeftovers(const ConversionPlan& plan, qint64 pid) {
    std::error_code ec;
    const std::string temp = temporaryPathFor(plan.target, static_cast<long>(pid));
    std::filesystem::remove(temp, ec);
    std::filesystem::remove(temp + "-journal", ec);
}

SampleFile convertHere(QProgressDialog& dlg, const ConversionPlan& plan) {
    log::info(log::kDatabase, "orlix-import not found; converting \"" + plan.source + "\" in the window's process");
    return convertByPlan(plan, [&](std::int64_t done, std::int64_t total) {
        showProgress(dlg, done, total);
        QCoreApplication::processEvents();
        return !dlg.wasCanceled();
    });
}

}  // namespace

QString importerProgram() {
    if (!importerOverride().isEmpty()) return importerOverride();
    const QDir here(QCoreApplication::applicationDirPath());
    for (const QString& candidate : {here.filePath(QStringLiteral("orlix-import")),
                                     here.filePath(QStringLiteral("../tools/orlix-import"))})
        if (QFileInfo(candidate).isExecutable()) return candidate;
    return QStandardPaths::findExecutable(QStringLiteral("orlix-import"));
}

void setImporterProgram(const QString& path) { importerOverride() = path; }

SampleFile convertWithProgress(QWidget* parent, const ConversionPlan& plan) {
    if (plan.reuse) return convertByPlan(plan);
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(plan.target).parent_path(), ec);
    auto dlg = makeDialog(parent, plan);
    const QString program = importerProgram();
    if (program.isEmpty()) return convertHere(*dlg, plan);

    QProcess proc;
    QEventLoop loop;
    QByteArray pending;
    bool cancelled = false;
    QObject::connect(&proc, &QProcess::readyReadStandardOutput, &loop, [&] { readProgress(proc, pending, *dlg); });
    QObject::connect(&proc, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&proc, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) loop.quit();
    });
    QObject::connect(dlg.get(), &QProgressDialog::canceled, &loop, [&] {
        cancelled = true;
        proc.terminate();  // the tool stops between records and removes its file
    });
    proc.start(program, {QStringLiteral("--progress-lines"), QStringLiteral("--keep-aside"),
                         QString::fromStdString(plan.source), QString::fromStdString(plan.target)});
    const qint64 pid = proc.processId();
    if (proc.state() != QProcess::NotRunning) loop.exec();
    if (proc.state() != QProcess::NotRunning) {
        // The program is closing (its event loops were told to end), or the
        // tool does not answer the cancel.
        cancelled = true;
        proc.terminate();
        if (!proc.waitForFinished(kTerminateWaitMs)) {
            proc.kill();
            proc.waitForFinished(kTerminateWaitMs);
        }
    }
    const bool ok = proc.exitStatus() == QProcess::NormalExit && proc.exitCode() == 0 && !cancelled;
    if (proc.exitStatus() != QProcess::NormalExit && pid > 0) removeLeftovers(plan, pid);
    if (ok) return {true, plan.target, ImportStatus::Done, {}};
    if (cancelled) return {false, {}, ImportStatus::Cancelled, {}};
    // The tool's last line says why; the load command logs it.
    const QStringList said = QString::fromLocal8Bit(proc.readAllStandardError()).trimmed().split('\n');
    const QString why = said.last().isEmpty() ? proc.errorString() : said.last();
    return {false, {}, ImportStatus::Unreadable, why.toStdString()};
}

}  // namespace orlix::analyzer
