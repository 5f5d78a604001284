#include "recorder/site_publisher.h"

#include "sampling/site_payloads.h"

namespace orlix {

namespace {
// The time-of-day text at the start of an error-memory entry.
constexpr std::size_t kEntryTimeLength = 8;
}  // namespace

SitePublisher::SitePublisher(const std::string& base, const Clock& clock, Publish publish)
    : raw_(base + "/raw"),
      sample_(base + "/sample"),
      faults_(base + "/faults"),
      status_(base + "/status"),
      clock_(clock),
      publish_(std::move(publish)) {}

void SitePublisher::send(const std::string& topic, const std::string& payload, int qos) {
    publish_(topic,
             std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(payload.data()), payload.size()), qos,
             false);
}

void SitePublisher::onRead(std::span<const std::uint8_t> bytes) {
    if (!bytes.empty()) publish_(raw_, bytes, 0, false);
}

void SitePublisher::onSample(const SampleTick& tick) {
    std::array<std::int16_t, kSampleValueColumns> values{};
    for (std::size_t k = 0; k < values.size(); ++k) values[k] = tick.buffers.LiveCurveData[k][kNewestPosition];
    // The tick runs at the clock's present instant, which gives the offset.
    send(sample_,
         sampleJson(values, tick.buffers.LiveSampleTime[kNewestPosition], utcOffsetSecondsAt(clock_.unixMicros())), 1);
}

void SitePublisher::addErrorEntry(int list, const std::string& entry) {
    const std::string_view status =
        entry.size() >= kEntryTimeLength ? std::string_view(entry).substr(kEntryTimeLength) : std::string_view();
    send(faults_, faultJson(list, clock_.now(), utcOffsetSecondsAt(clock_.unixMicros()), status), 1);
}

}  // namespace orlix
