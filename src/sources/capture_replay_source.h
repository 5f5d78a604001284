#pragma once
// A bus capture played as a byte source: whatever listens reads it as it
// reads a serial device. Each record is released at its capture time,
// advanced at the time scale (a record stamped 10 s after the one before
// comes 10 s later at scale 1, 0.1 s later at scale 100), by a timer and
// not by waiting in a loop. A release hands the record's bytes to the
// listeners; a record of length 0 (a port event when the capture was made)
// is a port event (Other) for them, so the receiver starts over as it did
// then.
//
// open() plays, close() pauses where the replay stands, open() again goes
// on from there. At the end of the file (nothing more for kEndQuietMs: a
// capture that is still being written grows meanwhile and is followed)
// the source is Lost like an adapter that went away, and
// atEnd() is true: opening it again starts the capture over.
//
// The program clock (a ReplayClock, if given) follows the replay, and the
// sampling ticks come at the capture's own 4 s instants, each after the
// records stamped up to it and before any later one, as when a capture is
// turned into a database (sample_schedule.h): recording during a replay
// stores what `orlix-decode --db` stores.
#include <QObject>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/sample_schedule.h"
#include "capture/capture_reader.h"
#include "sources/byte_source.h"
#include "sources/replay_clock.h"

namespace orlix {

class CaptureReplaySource final : public QObject, public ByteSource {
    Q_OBJECT
public:
    static constexpr int kEndQuietMs = 2500;
    static constexpr int kEndPollMs = 250;
    // Records released at most in one go before the event loop gets a turn.
    static constexpr int kEventsPerPass = 256;

    // Plays the capture file `path`. `clock` may be null; `timeScale` is
    // the program seconds per real second (--time-scale).
    CaptureReplaySource(std::string path, ReplayClock* clock, double timeScale, QObject* parent = nullptr);
    ~CaptureReplaySource() override;

    std::string name() const override { return path_; }
    OpenResult open() override;
    bool close() override;
    bool isOpen() const override { return open_; }
    std::string openError() const override { return openError_; }
    std::string troubleText() const override { return troubleText_; }
    bool atEnd() const override { return finished_; }

    // Tests shorten the quiet time that makes the end of the file final.
    void setEndQuietMs(int ms) { endQuietMs_ = ms; }
    std::uint64_t recordsPlayed() const { return played_; }

private:
    struct Record {
        std::int64_t timeUs = 0;
        std::vector<std::uint8_t> bytes;
        bool event = false;
    };

    void reset();
    bool openReader();
    void pump();
    bool fetch();
    void release();
    void takeTick(std::int64_t us);
    void waitFor(std::int64_t eventUs);
    void finish(const std::string& why);
    std::int64_t targetUs() const;
    void anchorAt(std::int64_t us);

    ReplayClock* clock_;
    double scale_;
    QTimer timer_;
    std::unique_ptr<CaptureReader> reader_;
    std::optional<Record> next_;
    SampleSchedule schedule_;
    std::string path_;
    std::string openError_, troubleText_;
    int endQuietMs_ = kEndQuietMs;
    bool open_ = false;
    bool finished_ = false;
    bool started_ = false;  // the first record's time is known
    std::int64_t positionUs_ = 0;
    std::int64_t anchorUs_ = 0;
    std::chrono::steady_clock::time_point anchorSteady_{};
    std::optional<std::chrono::steady_clock::time_point> endSince_;
    std::uint64_t played_ = 0;
};

}  // namespace orlix
