#pragma once
// The pipeline every program that reads a plant owns: the port and its
// source, the bus capture, the receive path, the sampler and the 4 s tick,
// on the program clock. The windows and the recorder's engine show or use
// what it holds; none of them owns it.
//
//   source -> [bus capture] -> receive path -> (fields, live values, error memory)
//   4 s tick -> sampler -> listeners (analyzer charts, headless recording, publisher)
//
// A bus capture is stamped with the program clock, so that a replay of it
// reproduces the run (also one under --time-scale).
//
// The timer ticks on the program clock once sampling has started. While the
// port is a capture, the replay drives the ticks itself, at the capture's
// own 4 s instants (through the replay clock), and the timer skips its own.
#include <QObject>
#include <QTimer>
#include <memory>
#include <string>

#include "base/clock.h"
#include "capture/bus_capture.h"
#include "comm/receive_path.h"
#include "platform/program_timer.h"
#include "sampling/sampler.h"
#include "sources/port.h"
#include "sources/replay_clock.h"
#include "sources/source_registry.h"

namespace orlix {

inline constexpr int kSampleIntervalMs = 4000;

class Pipeline final : public QObject {
    Q_OBJECT
public:
    // `normal` is the program's clock while no capture is replayed (the
    // wall clock, or a scaled one). The port opens the standard sources.
    Pipeline(const Clock& normal, const SourceSettings& sources);
    // With the sources of `registry` (tests).
    Pipeline(const Clock& normal, SourceRegistry registry);
    ~Pipeline() override;

    // The program clock: the capture's time during a replay.
    ReplayClock& clock() { return clock_; }
    Port& port() { return port_; }
    const Port& port() const { return port_; }
    ReceivePath& receive() { return *receive_; }
    const ReceivePath& receive() const { return *receive_; }
    Sampler& sampler() { return *sampler_; }
    BusCapture& capture() { return capture_; }
    // The 4 s tick's timer (the analyzer's Timer1).
    ProgramTimer& sampleTimer() { return sampleTimer_; }

    // The 4 s timer starts (the analyzer's load; the recorder's start);
    // before, only a replay takes ticks.
    void startSampling();
    bool sampling() const { return sampling_; }
    // One tick at the time now.
    void sampleTick();

    // Starts writing every read to the bus capture `target`; see BusCapture.
    // Under a time scale other than 1 an existing file is never continued.
    bool startCapture(const std::string& target);
    // False when not every record reached the file.
    bool stopCapture();

private:
    void wire();

    ReplayClock clock_;
    Port port_;
    BusCapture capture_{[this] { return clock_.unixMicros(); }};
    std::unique_ptr<ReceivePath> receive_;
    std::unique_ptr<Sampler> sampler_;
    ProgramTimer sampleTimer_;
    QTimer capturePoll_;
    bool sampling_ = false;
};

}  // namespace orlix
