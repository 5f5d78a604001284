#pragma once
// The unattended recorder without its command line: a port (serial device,
// bus capture replayed on its own clock, remote site) read through the
// monitor's receiver and decoders into the live value store, and optionally
// written to a bus capture as it is read; the 4 s sampling tick recorded in 45-sample batches by
// the analyzer's recorder (headless_recording.h); optionally everything
// published for the site on a broker. Runs in a QCoreApplication's event
// loop; every event is one line of the log (orlix.record, orlix.mqtt ...).
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "comm/field_board.h"
#include "comm/frame_decoder.h"
#include "comm/frame_receiver.h"
#include "comm/live_store.h"
#include "base/clock.h"
#include "base/log.h"
#include "mqtt/mqtt_client.h"
#include "capture/bus_capture.h"
#include "sources/port.h"
#include "platform/program_timer.h"
#include "sources/replay_clock.h"
#include "sampling/headless_recording.h"
#include "recorder/site_publisher.h"

namespace orlix {

struct RecordOptions {
    std::string port;
    std::string db;
    std::string capture;  // empty: no capture written
    double timeScale = 1.0;
    std::string mqttUrl;  // empty: no broker
    std::string site;
    std::string tlsCa, tlsCert, tlsKey;
    std::string passwordFile;
    bool status = false;
};

// How often a lost port is opened again, and the status line's period.
inline constexpr int kPortRetryMs = 2000;
inline constexpr int kStatusMs = 60000;

class RecordSession final : public QObject {
    Q_OBJECT
public:
    // `clock` is the program clock; a replayed capture moves it and takes
    // the sampling ticks at the capture's own instants.
    RecordSession(RecordOptions options, ReplayClock& clock);
    ~RecordSession() override;

    // Makes the database when missing, connects to the broker and opens the
    // port (a port that cannot be opened yet is retried). False with `error`
    // when recording cannot start at all.
    bool start(std::string& error);
    // Stores the last partial batch, publishes "offline", closes the port.
    // True when every sample taken is stored.
    bool finish();

    // SIGHUP: the capture file is closed and opened again (after a log
    // rotation moved it away).
    void reopenCapture();

    std::string statusLine() const;

    // Called when a replayed capture has come to its end.
    std::function<void()> onEnd;

private:
    void openPort();
    void readPort();
    void portTrouble(PortTrouble trouble);
    void tick();
    void report(const char* text);

    RecordOptions options_;
    ReplayClock& clock_;
    PortRouter router_;
    CapturingPort port_;
    FieldBoard board_;
    LiveStore store_;
    FrameDecoder decoder_;
    FrameReceiver receiver_;
    std::unique_ptr<HeadlessRecording> recording_;
    std::unique_ptr<MqttClient> mqtt_;
    std::unique_ptr<SitePublisher> publisher_;
    ProgramTimer sampleTimer_;
    QTimer retryTimer_, statusTimer_, capturePoll_;
    log::RepeatFilter openFailures_;
    bool portLost_ = false;
    bool finished_ = false;
    std::uint64_t reads_ = 0, bytes_ = 0;
    std::size_t lastPending_ = 0;
};

}  // namespace orlix
