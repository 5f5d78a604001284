#pragma once
// The shared module state through which the decoders hand the latest plant
// values to the analyzer: raw values per quantity, the master's fault texts
// (current and previous) and the closing flag.
#include <array>
#include <cstdint>
#include <string>

namespace orlix {

struct LiveStore {
    // Latest raw value per plant quantity (index table: value indices 0..49;
    // 17, 27..29, 37..39 and 47..51 are never written and stay 0).
    std::array<std::int32_t, 52> LiveValues{};
    // Current texts of the Error, Com Error and ProtectErr fields (0..2);
    // entry 3 is unused. The monitor's load sets 0..2 to "Normal".
    std::array<std::string, 4> FaultStatus{};
    // FaultStatus as it was before the latest A5 frame.
    std::array<std::string, 4> PrevFaultStatus{};
    bool AppClosing = false;
};

}  // namespace orlix
