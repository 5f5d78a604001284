#pragma once
// The monitor's handle on the analyzer window: creates the window on first
// use (loaded, hidden) and keeps it until the program ends. It also receives
// the receive path's error-memory entries and hands them to the window.
#include <QPointer>
#include <string>

#include "analyzer/bus_tools.h"
#include "analyzer/frm_chart.h"
#include "comm/error_memory.h"
#include "monitor/analyzer_link.h"
#include "recorder/pipeline.h"

namespace orlix {

class AnalyzerWindowLink final : public AnalyzerLink, public ErrorMemorySink {
public:
    AnalyzerWindowLink(Pipeline& pipeline, DialogHost& dialogs) : pipeline_(pipeline), dialogs_(dialogs) {
        pipeline_.receive().addErrorSink(this);
    }
    ~AnalyzerWindowLink() override {
        pipeline_.receive().removeErrorSink(this);
        // A window whose deferred deletion never ran (the event loop ended
        // first) goes now.
        pipeline_.receive().store().AppClosing = true;
        delete chart_.data();
    }

    void hideAnalyzer() override { window().hide(); }
    void showAnalyzer() override {
        FrmChart& w = window();
        w.showNormal();
        w.raise();
        w.activateWindow();
    }
    bool alwaysOnTopChecked() override { return window().alwaysOnTopChecked(); }
    void unloadAnalyzer() override {
        if (!chart_ || unloading_) return;
        unloading_ = true;
        pipeline_.receive().store().AppClosing = true;  // its close then unloads instead of hiding
        chart_->close();
        // Deferred: the monitor may be closing from inside one of the
        // analyzer's own handlers (a modal message, a clear running events).
        chart_->deleteLater();
    }
    void addErrorEntry(int list, const std::string& entry) override {
        window().addErrorEntry(list, QString::fromStdString(entry));
    }
    // The "&Tools" menu's counterpart, handed to the window when it is made.
    void setBusTools(BusTools* tools) {
        tools_ = tools;
        if (chart_) chart_->setBusTools(tools);
    }
    // Capturing was switched outside the window.
    void showCaptureState() {
        if (chart_) chart_->showCaptureState();
    }

private:
    FrmChart& window() {
        if (!chart_) {
            chart_ = new FrmChart(pipeline_, dialogs_);
            chart_->setBusTools(tools_);
        }
        return *chart_;
    }

    Pipeline& pipeline_;
    DialogHost& dialogs_;
    BusTools* tools_ = nullptr;
    QPointer<FrmChart> chart_;
    bool unloading_ = false;
};

}  // namespace orlix
