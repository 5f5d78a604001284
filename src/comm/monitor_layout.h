#pragma once
// The monitor window as data: every value field with its caption, panel, row
// and column, the five panels and the top-row controls, all in twips. The
// window builds itself from these tables; the field index is the contract with
// the frame decoders.
#include <array>
#include <string_view>

#include "base/rgb.h"

namespace orlix {

inline constexpr int kTwipsPerPixel = 15;
inline constexpr int kFieldCount = 160;
inline constexpr int kPanelCount = 5;

// Design client area of the window.
inline constexpr int kDesignWidthTwips = 15150;
inline constexpr int kDesignHeightTwips = 10755;

constexpr int twipsToPixels(int twips) {
    // Round half away from zero so that -30 twips gives -2 pixels.
    return twips >= 0 ? (twips + kTwipsPerPixel / 2) / kTwipsPerPixel
                      : -((-twips + kTwipsPerPixel / 2) / kTwipsPerPixel);
}

struct TwipsRect {
    int left = 0, top = 0, width = 0, height = 0;
};

struct PanelLayout {
    std::string_view caption;
    TwipsRect rect;
    Rgb captionColour;
};

// One value field and its caption label, positions relative to the panel.
struct FieldLayout {
    int index = 0;
    std::string_view caption;
    int panel = 0;
    int row = 0;     // 1-based row inside the panel
    int column = 0;  // 1-based column inside the panel
    TwipsRect caption_rect;
    TwipsRect field_rect;
};

enum class TopKind { Button, Frame, Option, List, ValueLabel, CaptionLabel };

// A control of the top row. `parent` names the frame an option button stands
// in (empty: the window itself).
struct TopControl {
    std::string_view name;
    TopKind kind;
    std::string_view caption;
    TwipsRect rect;
    std::string_view parent;
    double pointSize;
};

const std::array<PanelLayout, kPanelCount>& panelLayouts();
// All 160 fields, in field-index order (entry i describes field i).
const std::array<FieldLayout, kFieldCount>& fieldLayouts();
const std::array<TopControl, 17>& topControls();

// The horizontal line under the top row, from (x1, y1) to (x2, y2), 2 twips wide.
struct LineLayout {
    int x1, y1, x2, y2;
};
inline constexpr LineLayout kLine1{0, 484, 15150, 469};

inline constexpr double kFieldPointSize = 9.0;
inline constexpr double kCaptionPointSize = 9.75;
inline constexpr double kPanelPointSize = 12.0;
inline constexpr int kHiddenUnderField = 80;  // lies beneath field 126
inline constexpr int kHiddenOverField = 126;

}  // namespace orlix
