#pragma once
// Colours are plain RGB values below the windows; only the windows turn them
// into QColor.
#include <cstdint>

namespace orlix {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend constexpr bool operator==(Rgb, Rgb) = default;
};

inline constexpr Rgb kRed{255, 0, 0};
inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kBlue{0, 0, 255};
inline constexpr Rgb kPurple{140, 80, 160};
inline constexpr Rgb kGreenOk{80, 183, 80};

}  // namespace orlix
