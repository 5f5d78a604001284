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
    // indices are ignored. (Inline: the decoders call them for every row.)
    void setText(int i, std::string_view t) {
        if (i < 0 || i >= kFieldCount) return;
        std::string& cur = fields_[i].text;
        if (sameText(cur, t)) return;
        if (t.size() <= cur.size()) {
            // Overwrite in place (and cut the tail): cheaper than a new
            // assignment for these short texts.
            char* p = cur.data();
            for (std::size_t k = 0; k < t.size(); ++k) p[k] = t[k];
            if (t.size() < cur.size()) cur.resize(t.size());
        } else {
            cur.assign(t.data(), t.size());
        }
        changed_.set(static_cast<std::size_t>(i));
    }
    void setColour(int i, Rgb c) {
        if (i < 0 || i >= kFieldCount) return;
        std::optional<Rgb>& cur = fields_[i].colour;
        if (cur && *cur == c) return;
        cur = c;
        changed_.set(static_cast<std::size_t>(i));
    }

    // Every text empty, colours kept (the "Cls" button).
    void clearTexts();
    // Counts the calls of clearTexts(), so a decoder that skips unchanged
    // rows notices that the board was emptied behind its back.
    std::uint64_t clearGeneration() const { return clearGeneration_; }

    // Fields changed since the last call; resets the record.
    std::bitset<kFieldCount> takeChanged();
    const std::bitset<kFieldCount>& changed() const { return changed_; }

private:
    // Field texts are a few characters long: a plain loop beats a library
    // call here.
    static bool sameText(const std::string& a, std::string_view b) {
        if (a.size() != b.size()) return false;
        const char* p = a.data();
        for (std::size_t k = 0; k < b.size(); ++k)
            if (p[k] != b[k]) return false;
        return true;
    }

    FieldValue fields_[kFieldCount];
    std::bitset<kFieldCount> changed_;
    std::uint64_t clearGeneration_ = 0;
};

}  // namespace orlix
