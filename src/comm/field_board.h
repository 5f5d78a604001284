#pragma once
// The contents of the monitor's 160 value fields Text1(0..159) as the frame
// decoder last wrote them: a text and a text colour each, and which fields a
// frame wrote since the monitor last looked. The monitor window shows the
// written fields.
#include <bitset>
#include <optional>
#include <string>
#include <string_view>

#include "base/rgb.h"

namespace orlix {

class FrameDecoder;

struct FieldValue {
    std::string text;
    std::optional<Rgb> colour;  // unset until a decoder sets it
};

class FieldBoard {
public:
    static constexpr int kFieldCount = 160;

    // Out-of-range indices read as an empty field.
    const FieldValue& operator[](int i) const;

    // Fields written since the last call; resets the record. Every good frame
    // writes all fields of its kind, whether or not their values changed, so
    // a field the window shows something else in (typed over, or emptied by
    // "Cls") gets the decoded value back with the next frame of its kind.
    std::bitset<kFieldCount> takeWritten();

private:
    // Only the decoder writes: it relies on a field still holding what it
    // wrote there last. Out-of-range indices are ignored. (Inline: called for
    // every row of every frame.)
    friend class FrameDecoder;
    void setText(int i, std::string_view t) {
        if (!inRange(i)) return;
        fields_[i].text.assign(t);
        written_.set(static_cast<std::size_t>(i));
    }
    void setColour(int i, Rgb c) {
        if (!inRange(i)) return;
        fields_[i].colour = c;
        written_.set(static_cast<std::size_t>(i));
    }
    // Written again with the value it holds.
    void markWritten(int i) {
        if (inRange(i)) written_.set(static_cast<std::size_t>(i));
    }
    static bool inRange(int i) { return i >= 0 && i < kFieldCount; }

    FieldValue fields_[kFieldCount];
    std::bitset<kFieldCount> written_;
};

}  // namespace orlix
