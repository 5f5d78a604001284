#include "database/database_commands.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "base/log.h"

namespace orlix {

DateTime pageStartBound(DateTime start) {
    // Whole seconds as the nearest-second rounding of the date-time texts
    // gives them, then back by half a second: a stored time belongs to the
    // page when it rounds to the start's second or a later one. A sum of day
    // fractions that lands a hair above a stored whole second therefore
    // still finds that record, and paging later then earlier comes back to
    // the same window.
    return (std::nearbyint(start * kSecondsPerDay) - 0.5) / kSecondsPerDay;
}

DatabaseCommands::DatabaseCommands(DatabaseView& view, DialogHost& dialogs)
    : view_(view),
      dialogs_(dialogs),
      recorder_(dialogs, [this](const std::string& text) { view_.setCountLabelText(text); }) {}

void DatabaseCommands::onWindowLoad() {
    databasePath_ = dbtext::kNone;
    view_.setPathLabelText(std::string(dbtext::kPathPrefix) + databasePath_ + dbtext::kLoadSuffix);
    view_.placeCountLabel();
}

std::optional<std::string> DatabaseCommands::runFileDialog(const char* title) {
    // A topmost window would hide the dialog.
    if (view_.alwaysOnTop()) view_.releaseAlwaysOnTop();
    auto chosen = dialogs_.chooseOpenFile(dbtext::kDialogLeft, dbtext::kDialogTop, title,
                                          defaultDatabaseFolder(true), dbtext::kFilter);
    if (chosen && chosen->empty()) chosen.reset();
    return chosen;
}

void DatabaseCommands::setPathAfterChoice(const std::string& path) {
    // The last 11 characters of the old text carry the recording note
    // ("disabled..." or " enabled...") over to the new path.
    const std::string old = view_.pathLabelText();
    const std::string note = old.size() > 11 ? old.substr(old.size() - 11) : old;
    databasePath_ = path;
    view_.setPathLabelText(std::string(dbtext::kPathPrefix) + databasePath_ + note);
    view_.placeCountLabel();
}

void DatabaseCommands::newDatabase() {
    const auto chosen = runFileDialog(dbtext::kNewTitle);
    if (!chosen) return;
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::path(*chosen), ec)) {
        dialogs_.message(dbtext::kRename);
        return;
    }
    setPathAfterChoice(*chosen);
    if (!CreateSampleDatabase(databasePath_)) dialogs_.message(dbtext::kCreateFailed);
    else log::info(log::kDatabase, "created the sample database " + databasePath_);
}

void DatabaseCommands::loadDatabase() {
    const auto chosen = runFileDialog(dbtext::kLoadTitle);
    if (!chosen) return;
    std::string path = *chosen;
    // A Jet file of the earlier tool is read through its converted copy. One
    // that cannot be converted is loaded as it stands and fails as any
    // unreadable file does; a cancelled conversion ends like a cancelled
    // dialog.
    if (const auto plan = planConversion(path)) {
        const SampleFile copy = view_.openOlderRecording(*plan);
        if (copy.status == ImportStatus::Cancelled) return;
        if (copy.ok) path = copy.path;
        else log::warning(log::kDatabase, "cannot convert " + plan->source + ": " +
                                              (copy.detail.empty() ? importStatusText(copy.status) : copy.detail));
    }
    setPathAfterChoice(path);
    log::info(log::kDatabase, "loading the sample database " + databasePath_);
    if (view_.recordingEnabled()) toggleRecording();
    DrawHistory(std::nullopt, false);
    view_.selectChartTab(kHistoryChartPage);
}

void DatabaseCommands::toggleRecording() {
    if (databasePath_ == dbtext::kNone) {
        switch (dialogs_.message(dbtext::kCreateOrLoadPrompt, MsgButtons::YesNoCancel)) {
            case MsgResult::Yes: newDatabase(); break;
            case MsgResult::No: loadDatabase(); break;
            default: return;
        }
        if (databasePath_ == dbtext::kNone) return;
    }
    const bool on = !view_.recordingEnabled();
    view_.setRecording(on);
    log::info(log::kDatabase, (on ? "recording into " : "recording stopped for ") + databasePath_);
    view_.setPathLabelText(std::string(dbtext::kPathPrefix) + databasePath_ +
                           (on ? dbtext::kSaveOnSuffix : dbtext::kSaveOffSuffix));
}

void DatabaseCommands::clearDatabase() {
    if (databasePath_ == dbtext::kNone) {
        dialogs_.message(dbtext::kNotExist);
        return;
    }
    if (dialogs_.message(dbtext::kClearQuestion, MsgButtons::YesNo, dbtext::kClearTitle) ==
        MsgResult::Yes)
        ClearSampleDatabase();
}

void DatabaseCommands::ClearSampleDatabase() {
    // The path is copied: events that run between the steps must not pull
    // it away under the loop.
    const std::string path = databasePath_;
    const ClearResult r = clearSamples(path, [this](std::int64_t remaining) {
        view_.setCountLabelText(dbtext::kDataBaseCount + std::to_string(remaining));
        view_.processPendingEvents();
    });
    if (!r.opened || !r.ok) dialogs_.message(dbtext::kClearErr);
    else log::info(log::kDatabase, "cleared the sample database " + path);
    dialogs_.message(dbtext::kBlank);
}

void DatabaseCommands::AppendSampleBatch(const LiveBufferRefs& live) {
    recorder_.AppendSampleBatch(databasePath_, live);
}

void DatabaseCommands::storeLastSamples(const LiveBufferRefs& live, int newest) {
    if (databasePath_ == dbtext::kNone) return;
    recorder_.storeLast(databasePath_, live, newest);
}

void DatabaseCommands::cmdDataBaseClick() {
    if (databasePath_ == dbtext::kNone) {
        dialogs_.message(dbtext::kNotLoaded);
        return;
    }
    DrawHistory(std::nullopt, false);
}

void DatabaseCommands::cmdCurveMoveLClick() { page(-1); }
void DatabaseCommands::cmdCurveMoveRClick() { page(+1); }

void DatabaseCommands::page(int direction) {
    if (databasePath_ == dbtext::kNone) {
        dialogs_.message(dbtext::kNotLoaded);
        return;
    }
    // Two grid cells of 90 samples at the current sample interval, in whole
    // seconds per sample.
    const int stepSeconds = (view_.sampleIntervalMs() / 1000) * 90 * 2;
    const HistoryBufferRefs hist = view_.historyBuffers();
    DrawHistory(pageStartBound(hist.times[0] + direction * secondsToDays(stepSeconds)), true);
}

void DatabaseCommands::DrawHistory(std::optional<DateTime> start, bool paging) {
    const HistoryResult r = loadHistory(databasePath_, start, kMaxHistoryRecords);
    if (!r.opened || r.recordCount < 1 || r.rows.empty()) {
        if (!paging) dialogs_.message(dbtext::kHistoryNotOk);
        return;
    }
    HistoryBufferRefs hist = view_.historyBuffers();
    if (paging) {
        // Too few records to page, or the window would not move.
        if (r.recordCount < kMinPagingRecords) return;
        const HistoryRow& first = r.rows.front();
        if (first.readable(kTimeColumn) && first.time == hist.times[0]) return;
    }
    const auto n = static_cast<std::int32_t>(
        std::min<std::int64_t>({r.recordCount, kMaxHistoryRecords, static_cast<std::int64_t>(r.rows.size())}));
    if (hist.count) *hist.count = n;
    for (std::int32_t p = 0; p < n; ++p) {
        const HistoryRow& row = r.rows[static_cast<std::size_t>(p)];
        const auto pos = static_cast<std::size_t>(p);
        // A cell that cannot be read keeps what an earlier load left there.
        for (int i = 0; i < kSampleValueColumns; ++i)
            if (row.readable(i)) hist.rows[static_cast<std::size_t>(i)][pos] = row.values[static_cast<std::size_t>(i)];
        if (row.readable(kTimeColumn)) hist.times[pos] = row.time;
    }
    view_.setCountLabelText((paging ? dbtext::kRecordCount : dbtext::kDataBaseCount) +
                            std::to_string(r.recordCount));
    view_.redrawHistoryCharts();
}

}  // namespace orlix
