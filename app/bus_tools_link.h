#pragma once
// The analyzer's "&Tools" menu wired to the pipeline: capturing what the
// port reads, a replay as an item of the monitor's port list.
#include <QFileInfo>
#include <string>

#include "analyzer/bus_tools.h"
#include "monitor/frm_main.h"
#include "recorder/pipeline.h"

namespace orlix {

class BusToolsLink final : public BusTools {
public:
    explicit BusToolsLink(Pipeline& pipeline) : pipeline_(pipeline) {}
    void setMonitor(FrmMain* monitor) { monitor_ = monitor; }

    bool capturing() const override { return pipeline_.capture().capturing(); }
    std::string captureName() const override {
        const std::string file = pipeline_.capture().file();
        return file.empty() ? pipeline_.capture().target() : file;
    }
    std::string captureProblem() const override {
        const CaptureWriter* w = pipeline_.capture().writer();
        if (!w || w->recordsLost() == 0) return {};
        std::string s = "incomplete: " + std::to_string(w->recordsLost()) + " records lost";
        if (!w->error().empty()) s += " (" + w->error() + ")";
        return s;
    }
    bool startCapture(const std::string& path, std::string& error) override {
        if (pipeline_.startCapture(path)) return true;
        error = pipeline_.capture().error();
        pipeline_.stopCapture();
        return false;
    }
    void stopCapture() override { pipeline_.stopCapture(); }
    void replayCapture(const std::string& path) override {
        if (!monitor_) return;
        monitor_->selectPort(QFileInfo(QString::fromStdString(path)).fileName().toStdString(), path);
    }

private:
    Pipeline& pipeline_;
    FrmMain* monitor_ = nullptr;
};

}  // namespace orlix
