#include "fleet/fleet_site.h"

#include <algorithm>
#include <cmath>

#include "base/sample_schedule.h"

namespace orlix {
namespace {

const std::int64_t kFrameUs = std::llround(kFrameSeconds * 1e6);

}  // namespace

FleetSite::FleetSite(const std::string& base, std::uint32_t seed, std::int64_t firstSampleUs, bool raw,
                     SitePublisher::Publish publish)
    : plant_(seed),
      receive_(clock_),
      sampler_(receive_.store().LiveValues),
      publisher_(base, clock_,
                 [this, publish = std::move(publish)](const std::string& topic, std::span<const std::uint8_t> payload,
                                                      int qos, bool retain) {
                     if (!quiet_) publish(topic, payload, qos, retain);
                 }),
      epochUs_(firstSampleUs - kSampleIntervalUs),
      nextSampleUs_(firstSampleUs),
      raw_(raw) {
    clock_.set(epochUs_);
    receive_.addErrorSink(&publisher_);
    sampler_.addListener(&publisher_);
    frame_.reserve(80);
}

FleetSite::~FleetSite() {
    sampler_.removeListener(&publisher_);
    receive_.removeErrorSink(&publisher_);
}

std::int64_t FleetSite::frameEndUs(std::uint64_t frame) const {
    return epochUs_ + static_cast<std::int64_t>(frame + 1) * kFrameUs;
}

std::int64_t FleetSite::nextEventUs() const {
    return raw_ ? std::min(frameEndUs(plant_.framesMade()), nextSampleUs_) : nextSampleUs_;
}

void FleetSite::readFramesUntil(std::int64_t us) {
    while (frameEndUs(plant_.framesMade()) <= us) {
        clock_.set(frameEndUs(plant_.framesMade()));
        frame_.clear();
        plant_.appendNextFrame(frame_);
        receive_.onRead(frame_);
        if (raw_) publisher_.onRead(frame_);
    }
}

bool FleetSite::step() {
    const std::int64_t at = nextEventUs();
    readFramesUntil(at);
    if (at != nextSampleUs_) return false;
    clock_.set(at);
    if (!quiet_) sampler_.tick(clock_.now());
    nextSampleUs_ += kSampleIntervalUs;
    return true;
}

}  // namespace orlix
