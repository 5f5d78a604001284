#pragma once
// The contents of the monitor's 160 value fields Text1(0..159): a text and a
// text colour each. The decoders write here; the monitor window repaints the
// fields that changed.
#include <bitset>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/rgb.h"

namespace orlix {

struct FieldValue {
    std::string text;
    std::optional<Rgb> colour;  // unset until a decoder sets it
};

class FieldBoard {
public:
    static constexpr int kFieldCount = 160;

    // Out-of-range indices read as an empty field.
    const FieldValue& operator[](int i) const;

    // Both mark the field changed when the value differs; out-of-range
    // indices are ignored.
    void setText(int i, std::string_view t);
    void setColour(int i, Rgb c);

    // Every text empty, colours kept (the "Cls" button).
    void clearTexts();
    // Counts the calls of clearTexts(), so a decoder that skips unchanged
    // rows notices that the board was emptied behind its back.
    std::uint64_t clearGeneration() const { return clearGeneration_; }

    // Fields changed since the last call; resets the record.
    std::bitset<kFieldCount> takeChanged();
    const std::bitset<kFieldCount>& changed() const { return changed_; }

private:
    FieldValue fields_[kFieldCount];
    std::bitset<kFieldCount> changed_;
    std::uint64_t clearGeneration_ = 0;
};

}  // namespace orlix
