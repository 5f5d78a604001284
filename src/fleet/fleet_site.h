#pragma once
// One simulated site: a plant on its bus and the parts of a recorder as
// orlix-record has them. The receive path reads the plant's frames (its
// error memory finds the plant's faults), a sampler takes a sample every 4 s
// of the site's program time, and the site publisher turns samples and
// faults into the recorder's payloads, so that the office gets exactly what
// a recorder sends.
//
// The site runs on its own program time, a clock that stands at each
// frame's end while the frame is read and at each sample's instant while
// the sample is taken. Frames are 0.525 s long (63 bytes at 1200 baud); the
// first one starts 4 s before the first sample, so every sample has both
// frame kinds behind it. Nothing runs by itself: whoever owns the site asks
// for its next event and runs it.
#include <cstdint>
#include <string>
#include <vector>

#include "base/clock.h"
#include "comm/receive_path.h"
#include "recorder/site_publisher.h"
#include "sampling/sampler.h"
#include "sim/plant_model.h"

namespace orlix {

class FleetSite {
public:
    // `base` is PREFIX/SITE; `seed` the plant's; the site's samples are due
    // at firstSampleUs + n x 4 s (Unix microseconds of program time). With
    // `raw`, every frame's bytes are published too, each at its own time.
    FleetSite(const std::string& base, std::uint32_t seed, std::int64_t firstSampleUs, bool raw,
              SitePublisher::Publish publish);
    ~FleetSite();
    FleetSite(const FleetSite&) = delete;
    FleetSite& operator=(const FleetSite&) = delete;

    // The program time of the next event: the next sample, or with raw
    // bytes the end of the next frame when that comes first.
    std::int64_t nextEventUs() const;
    std::int64_t nextSampleUs() const { return nextSampleUs_; }

    // Runs the next event: reads the frames that end by its time and, when
    // it is a sample's instant, takes the sample (not while quiet). True
    // when the event was a sample's instant.
    bool step();

    // A quiet site reads its bus but takes no samples and publishes
    // nothing (its recorder is away).
    void setQuiet(bool quiet) { quiet_ = quiet; }
    bool quiet() const { return quiet_; }
    const std::string& statusTopic() const { return publisher_.statusTopic(); }

private:
    std::int64_t frameEndUs(std::uint64_t frame) const;
    void readFramesUntil(std::int64_t us);

    PlantModel plant_;
    CaptureTimeClock clock_;
    ReceivePath receive_;
    Sampler sampler_;
    SitePublisher publisher_;
    std::int64_t epochUs_;  // the start of the plant's first frame
    std::int64_t nextSampleUs_;
    bool raw_;
    bool quiet_ = false;
    std::vector<std::uint8_t> frame_;
};

}  // namespace orlix
