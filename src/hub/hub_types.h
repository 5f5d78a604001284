#pragma once
// What the office hub stores: samples of the sites' 50 values and the
// entries of their fault lists. Plain data, no Qt, no database.
#include <array>
#include <cstdint>
#include <string>

namespace orlix::hub {

inline constexpr int kValueCount = 50;

// One 4 s sample of one site.
struct HubSample {
    std::int32_t site = 0;    // sites.id
    std::int64_t timeUs = 0;  // the sample's own instant, Unix microseconds UTC
    bool late = false;        // arrived more than 60 s after its instant
    std::array<std::int16_t, kValueCount> values{};
};

// One entry of a site's fault list at one instant.
struct FaultEvent {
    std::int32_t site = 0;
    std::int64_t timeUs = 0;
    std::string list;  // Err|ComErr|ProtErr
    std::string status;
};

}  // namespace orlix::hub
