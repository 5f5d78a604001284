#pragma once
// What a recorder tells the world about its site, as messages on topics
// under BASE = PREFIX/SITE:
//   BASE/raw     each read's bytes as they came (QoS 0)
//   BASE/sample  each sampling tick's sample as JSON (QoS 1)
//   BASE/faults  each new error-memory entry as JSON (QoS 1)
//   BASE/status  "online" / "offline", retained (kept by the broker client)
// It listens to the source (raw), the sampler (sample) and the receive
// path's error memory (faults), and hands the messages to a publish
// function (the broker client's), so this part knows nothing of the broker.
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "base/clock.h"
#include "base/read_listener.h"
#include "comm/error_memory.h"
#include "sampling/sampler.h"

namespace orlix {

class SitePublisher final : public ReadListener, public SampleListener, public ErrorMemorySink {
public:
    using Publish =
        std::function<void(const std::string& topic, std::span<const std::uint8_t> payload, int qos, bool retain)>;

    // `base` is PREFIX/SITE. Fault entries take their date from `clock`;
    // samples and faults take the zone's offset at its present instant.
    SitePublisher(const std::string& base, const Clock& clock, Publish publish);

    void onRead(std::span<const std::uint8_t> bytes) override;
    void onPortEvent(PortTrouble) override {}
    // The newest sample of the buffers (position 719, as recorded).
    void onSample(const SampleTick& tick) override;
    // An entry "HH:MM:SS<status>" of error list 0..2.
    void addErrorEntry(int list, const std::string& entry) override;

    const std::string& statusTopic() const { return status_; }

private:
    void send(const std::string& topic, const std::string& payload, int qos);

    std::string raw_, sample_, faults_, status_;
    const Clock& clock_;
    Publish publish_;
};

}  // namespace orlix
