#pragma once
// A simulated plant's bytes as a bus capture, the way a monitor reading the
// line would have captured them: the stream at 1200 baud (10 bits a byte)
// cut into reads of a fixed size, each stamped with the time its last byte
// arrived. For tests and benchmarks that need captures with plant times.
#include <cstdint>
#include <string>
#include <vector>

namespace orlix {

// Microseconds one byte takes on the line, times 3 (25000 / 3 us).
inline constexpr std::int64_t kByteMicrosTimes3 = 25000;

struct PlantCapture {
    std::vector<std::uint8_t> bytes;  // the whole stream, when asked for
    std::uint64_t records = 0;
    std::int64_t lastUs = 0;  // time of the last record
    bool ok = false;
};

// Writes `frames` frames of PlantModel(seed) to the capture `path` (a new
// file), from `startUs` on, in reads of `readBytes` bytes. With
// `portEventEvery` > 0, a port event record follows every that many reads.
PlantCapture writePlantCapture(const std::string& path, std::uint32_t seed, std::uint64_t frames,
                               std::int64_t startUs, std::size_t readBytes, bool keepBytes = false,
                               std::uint64_t portEventEvery = 0);

}  // namespace orlix
