#pragma once
// The analyzer's "&Tools" menu wired to the monitor's port: capturing on the
// capturing port, a replay as an item of the monitor's port list.
#include <QFileInfo>
#include <string>

#include "analyzer/bus_tools.h"
#include "monitor/frm_main.h"
#include "capture/bus_capture.h"

namespace orlix {

class BusToolsLink final : public BusTools {
public:
    explicit BusToolsLink(CapturingPort& port) : port_(port) {}
    void setMonitor(FrmMain* monitor) { monitor_ = monitor; }

    bool capturing() const override { return port_.capturing(); }
    std::string captureName() const override {
        const std::string file = port_.captureFile();
        return file.empty() ? port_.captureTarget() : file;
    }
    bool startCapture(const std::string& path, std::string& error) override {
        if (port_.startCapture(path)) return true;
        error = port_.captureError();
        port_.stopCapture();
        return false;
    }
    void stopCapture() override { port_.stopCapture(); }
    void replayCapture(const std::string& path) override {
        if (!monitor_) return;
        monitor_->selectPort(QFileInfo(QString::fromStdString(path)).fileName().toStdString(), path);
    }

private:
    CapturingPort& port_;
    FrmMain* monitor_ = nullptr;
};

}  // namespace orlix
