// The analyzer window's "&Tools" menu, after "&Option": "Bus&Capture..."
// (checked while the bus is captured to a file; unchecking stops) and
// "&ReplayCapture..." (a capture file becomes the monitor's port). While
// capturing, the window title says where to.
#include <QAction>
#include <QDir>
#include <QMenuBar>
#include <QSignalBlocker>
#include <filesystem>

#include "analyzer/analyzer_layout.h"
#include "analyzer/bus_tools.h"
#include "analyzer/frm_chart.h"
#include "database/database_commands.h"
#include "capture/capture_writer.h"
#include "base/guarded.h"
#include "chart/qt_convert.h"

namespace orlix {

using namespace analyzer;

namespace {

constexpr const char* kCaptureFilter = "Bus capture (*.pcap)|*.pcap";

}  // namespace

void FrmChart::buildToolsMenu() {
    auto* tools = new QMenu(QStringLiteral("&Tools"), this);
    tools->setObjectName(QStringLiteral("mnuTools"));
    tools->menuAction()->setObjectName(QStringLiteral("mnuTools"));
    // Right after "&Option", ahead of the menus that are not shown.
    QMenu* option = findChild<QMenu*>(QStringLiteral("mnuOption"));
    const QList<QAction*> bar = menuBar()->actions();
    const qsizetype at = option ? bar.indexOf(option->menuAction()) : -1;
    if (at >= 0 && at + 1 < bar.size()) menuBar()->insertMenu(bar[at + 1], tools);
    else menuBar()->addMenu(tools);

    mnuToolsCapture_ = tools->addAction(QStringLiteral("Bus&Capture..."));
    mnuToolsCapture_->setObjectName(QStringLiteral("mnuToolsCapture"));
    mnuToolsCapture_->setCheckable(true);
    mnuToolsReplay_ = tools->addAction(QStringLiteral("&ReplayCapture..."));
    mnuToolsReplay_->setObjectName(QStringLiteral("mnuToolsReplay"));
    connect(mnuToolsCapture_, &QAction::triggered, this, [this] { guarded([this] { onBusCapture(); }); });
    connect(mnuToolsReplay_, &QAction::triggered, this, [this] { guarded([this] { onReplayCapture(); }); });
    showCaptureState();
}

void FrmChart::setBusTools(BusTools* tools) {
    tools_ = tools;
    showCaptureState();
}

void FrmChart::showCaptureState() {
    const bool on = tools_ && tools_->capturing();
    if (mnuToolsCapture_) {
        const QSignalBlocker block(mnuToolsCapture_);
        mnuToolsCapture_->setEnabled(tools_ != nullptr);
        mnuToolsCapture_->setChecked(on);
    }
    if (mnuToolsReplay_) mnuToolsReplay_->setEnabled(tools_ != nullptr);
    QString title = qtText(kWindowTitle);
    if (on) {
        const std::string problem = tools_->captureProblem();
        title += QStringLiteral("  [BusCapture: %1%2]")
                     .arg(QString::fromStdString(tools_->captureName()),
                          problem.empty() ? QString() : QString::fromStdString(", " + problem));
    }
    if (windowTitle() != title) setWindowTitle(title);
}

void FrmChart::onBusCapture() {
    if (!tools_) return;
    if (tools_->capturing()) {
        tools_->stopCapture();
        showCaptureState();
        return;
    }
    showCaptureState();  // unchecked until a capture runs
    if (alwaysOnTop()) releaseAlwaysOnTop();  // a topmost window would hide the dialog
    const std::string proposal =
        (std::filesystem::path(QDir::homePath().toStdString()) / CaptureWriter::dayFileName(unixMicrosNow()))
            .string();
    const auto chosen = dialogs_.chooseSaveFile(dbtext::kDialogLeft, dbtext::kDialogTop, "Bus Capture", proposal,
                                                kCaptureFilter);
    if (!chosen) return;
    std::string error;
    if (!tools_->startCapture(*chosen, error)) dialogs_.message("The bus capture cannot be written: " + error);
    showCaptureState();
}

void FrmChart::onReplayCapture() {
    if (!tools_) return;
    if (alwaysOnTop()) releaseAlwaysOnTop();
    const auto chosen = dialogs_.chooseOpenFile(dbtext::kDialogLeft, dbtext::kDialogTop, "Replay Capture",
                                                QDir::homePath().toStdString(), kCaptureFilter);
    if (!chosen) return;
    tools_->replayCapture(*chosen);
}

}  // namespace orlix
