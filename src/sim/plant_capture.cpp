#include "sim/plant_capture.h"

#include <algorithm>
#include <span>

#include "sim/plant_model.h"
#include "capture/capture_writer.h"

namespace orlix {

PlantCapture writePlantCapture(const std::string& path, std::uint32_t seed, std::uint64_t frames,
                               std::int64_t startUs, std::size_t readBytes, bool keepBytes,
                               std::uint64_t portEventEvery) {
    PlantCapture out;
    CaptureWriter writer(path);
    if (!writer.open(startUs)) return out;
    PlantModel plant(seed);
    std::vector<std::uint8_t> pending;  // bytes on the line not yet read
    std::uint64_t sent = 0;             // bytes on the line so far
    std::uint64_t reads = 0;
    bool ok = true;
    readBytes = std::max<std::size_t>(readBytes, 1);
    for (std::uint64_t f = 0; f < frames && ok; ++f) {
        const std::size_t before = pending.size();
        plant.appendNextFrame(pending);
        if (keepBytes) out.bytes.insert(out.bytes.end(), pending.begin() + static_cast<std::ptrdiff_t>(before),
                                        pending.end());
        sent += pending.size() - before;
        const bool last = f + 1 == frames;
        std::size_t at = 0;
        while (ok && (pending.size() - at >= readBytes || (last && at < pending.size()))) {
            const std::size_t n = std::min(readBytes, pending.size() - at);
            // The read ends with the byte that arrived last.
            const std::uint64_t endByte = sent - (pending.size() - at - n);
            out.lastUs = startUs + static_cast<std::int64_t>(endByte) * kByteMicrosTimes3 / 3;
            ok = writer.write(out.lastUs, std::span(pending).subspan(at, n));
            at += n;
            ++out.records;
            if (portEventEvery > 0 && ++reads % portEventEvery == 0) {
                ok = ok && writer.writeEvent(out.lastUs);
                ++out.records;
            }
        }
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(at));
    }
    writer.close();
    out.ok = ok;
    return out;
}

}  // namespace orlix
