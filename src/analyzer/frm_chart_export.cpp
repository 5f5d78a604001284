// The analyzer window's export commands: "Curve&Save" writes the shown chart
// as a PNG into the database folder; "CurveSave&As..." asks for a file and
// writes the shown chart as a PNG or its data as CSV. Where a file went is
// said in the window's status bar, below the five status labels, so that
// none of their texts is taken over; a failure is shown in a message box and
// logged.
#include <QStatusBar>
#include <cctype>
#include <filesystem>

#include "analyzer/analyzer_layout.h"
#include "analyzer/flex_grid.h"
#include "analyzer/frm_chart.h"
#include "analyzer/pic_chart.h"
#include "analyzer/tab_control.h"
#include "chart/chart_export.h"
#include "chart/cursors.h"
#include "chart/value_texts.h"
#include "base/iso_date_time.h"
#include "base/log.h"

namespace orlix {

using namespace analyzer;

namespace {

constexpr const char* kSaveAsTitle = "CurveSave As...";
constexpr const char* kSaveAsFilter = "PNG image|*.png|CSV table|*.csv";

namespace fs = std::filesystem;

std::string lowerExtension(const std::string& path) {
    std::string ext = fs::path(path).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

// `folder/name`, or with "-2", "-3", ... before the extension when a file
// of that name is there already (two saves within one second).
std::string unusedPath(const std::string& folder, const std::string& name) {
    const fs::path base = fs::path(folder) / name;
    std::error_code ec;
    if (!fs::exists(base, ec)) return base.string();
    for (int n = 2;; ++n) {
        fs::path p = base;
        p.replace_filename(base.stem().string() + "-" + std::to_string(n) + base.extension().string());
        if (!fs::exists(p, ec)) return p.string();
    }
}

}  // namespace

std::string FrmChart::exportFolder() const {
    const std::string& db = db_->databasePath();
    if (db != dbtext::kNone) {
        std::error_code ec;
        const fs::path folder = fs::absolute(fs::path(db), ec).parent_path();
        if (!ec) return folder.string();
    }
    return defaultDatabaseFolder(true);
}

void FrmChart::showExportResult(const std::string& what, const std::string& path, const std::string& error) {
    if (error.empty()) {
        statusBar()->showMessage(QString::fromStdString(what + " saved as " + path));
        return;
    }
    const std::string text = what + " could not be saved as " + path + ": " + error;
    log::warning(log::kExport, text);
    statusBar()->showMessage(QString::fromStdString(what + " not saved"));
    dialogs_.message(text);
}

void FrmChart::onCurveSave() {
    const int tab = ssTab1_->tab();
    const auto k = static_cast<std::size_t>(tab);
    const std::string name = chartImageFileName(kSSTab1Captions[k], clock_.now());
    const std::string path = unusedPath(exportFolder(), name);
    const QImage image = chartImageAsShown(state_->charts[k], pic_[k]->cursorLines());
    showExportResult("Chart", path, saveChartPng(image, path));
}

void FrmChart::onCurveSaveAs() {
    const int tab = ssTab1_->tab();
    const auto k = static_cast<std::size_t>(tab);
    // As for the database dialogs: a topmost window would hide the dialog.
    if (alwaysOnTop()) releaseAlwaysOnTop();
    const std::string proposal =
        (fs::path(exportFolder()) / chartImageFileName(kSSTab1Captions[k], clock_.now())).string();
    const auto chosen =
        dialogs_.chooseSaveFile(dbtext::kDialogLeft, dbtext::kDialogTop, kSaveAsTitle, proposal, kSaveAsFilter);
    if (!chosen) return;
    const std::string ext = lowerExtension(*chosen);
    if (ext == ".png") {
        const QImage image = chartImageAsShown(state_->charts[k], pic_[k]->cursorLines());
        showExportResult("Chart", *chosen, saveChartPng(image, *chosen));
        return;
    }
    if (ext != ".csv") {
        dialogs_.message("Please choose a file name ending in .png (the chart image) or .csv (the chart data).");
        return;
    }
    // Headings as the value grid of the chart's unit shows them.
    std::vector<CurveTitle> titles;
    const FlexGrid* grid = grid1_[k % grid1_.size()];
    for (const Curve* c : chartCurves(tab)) {
        const ValueTextRow* row = valueTextRow(c->valueIndex);
        titles.push_back({grid->textMatrix(row->row, 0).toStdString(), grid->textMatrix(row->row, 2).toStdString()});
    }
    // With both cursors on, only the span between them.
    std::optional<PositionSpan> span;
    if (state_->cursorChecked[0] && state_->cursorChecked[1])
        span = spanBetween(cursors_->X1(2 * tab), cursors_->X1(2 * tab + 1));
    showExportResult("Chart data", *chosen, saveBytes(*chosen, chartCsv(*state_, tab, titles, span)));
}

}  // namespace orlix
