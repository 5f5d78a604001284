#pragma once
// A monitor window whose Com1 opens `path` through the program's pipeline
// and its standard sources (`sources` gives the remote sites' password and
// TLS files); it counts each time its source comes up. Timer1 runs every
// 500 ms; the window is offscreen.
#include <QMetaObject>
#include <string>

#include "monitor/monitor_test_support.h"
#include "scale_only_clock.h"

namespace orlix::test {

struct PortViewer : AppFirst, ReadListener {
    PortViewer(const std::string& path, SourceSettings sources)
        : pipeline(clock, std::move(sources)),
          window(pipeline, dialogs, analyzer, buildPortChoices({{"Com1", path}}, {})) {
        pipeline.port().addListener(this);
    }
    ~PortViewer() override { pipeline.port().removeListener(this); }
    void onRead(std::span<const std::uint8_t>) override {}
    void onPortEvent(PortTrouble) override {}
    void onSourceUp() override { ++ups; }
    void tick() { QMetaObject::invokeMethod(window.Timer1(), "timeout", Qt::DirectConnection); }
    QString status() const { return window.StatusTxt()->text(); }

    ScaleOnlyClock clock{4.0};
    Pipeline pipeline;
    ScriptedDialogHost dialogs;
    FakeAnalyzer analyzer;
    FrmMain window;
    int ups = 0;
};

}  // namespace orlix::test
