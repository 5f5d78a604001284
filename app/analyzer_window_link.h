#pragma once
// The monitor's handle on the analyzer window: creates the window on first
// use (loaded, hidden) and keeps it until the program ends. It also receives
// the decoder's error-memory entries and hands them to the window.
#include <QPointer>
#include <string>

#include "analyzer/frm_chart.h"
#include "comm/error_memory.h"
#include "monitor/analyzer_link.h"

namespace orlix {

class AnalyzerWindowLink final : public AnalyzerLink, public ErrorMemorySink {
public:
    AnalyzerWindowLink(LiveStore& store, const Clock& clock, DialogHost& dialogs)
        : store_(store), clock_(clock), dialogs_(dialogs) {}
    ~AnalyzerWindowLink() override { unloadAnalyzer(); }

    void hideAnalyzer() override { window().hide(); }
    void showAnalyzer() override {
        FrmChart& w = window();
        w.showNormal();
        w.raise();
        w.activateWindow();
    }
    bool alwaysOnTopChecked() override { return window().alwaysOnTopChecked(); }
    void unloadAnalyzer() override {
        if (!chart_) return;
        store_.AppClosing = true;  // its close then unloads instead of hiding
        chart_->close();
        delete chart_.data();
        chart_.clear();
    }
    void addErrorEntry(int list, const std::string& entry) override {
        window().addErrorEntry(list, QString::fromStdString(entry));
    }

private:
    FrmChart& window() {
        if (!chart_) chart_ = new FrmChart(store_, clock_, dialogs_);
        return *chart_;
    }

    LiveStore& store_;
    const Clock& clock_;
    DialogHost& dialogs_;
    QPointer<FrmChart> chart_;
};

}  // namespace orlix
