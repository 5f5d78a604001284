#pragma once
// The contents of the monitor's 160 value fields Text1(0..159): a text and a
// text colour each. The decoders write here; the monitor window repaints the
// fields that changed.
#include <bitset>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "platform/rgb.h"

namespace orlix {

struct FieldValue {
    std::string text;
    std::optional<Rgb> colour;  // unset until a decoder sets it
};

// A field text of at most 16 characters in a 16-byte block whose bytes after
// the text are 0. Field texts are that short; in this form the board compares
// and stores them with a few word operations, without a loop per character.
struct BlockText {
    static constexpr std::size_t kSize = 16;
    char s[kSize]{};
    std::uint8_t n = 0;

    constexpr BlockText() = default;
    // t is cut to kSize characters.
    constexpr explicit BlockText(std::string_view t) {
        for (const char c : t) {
            if (n == kSize) break;
            s[n++] = c;
        }
    }
    constexpr std::string_view view() const { return {s, n}; }
};

class FieldBoard {
public:
    static constexpr int kFieldCount = 160;

    // Out-of-range indices read as an empty field. The board is used from one
    // thread: a text is turned into the field's std::string when it is read.
    const FieldValue& operator[](int i) const {
        if (i < 0 || i >= kFieldCount) return emptyField();
        if (pending_.test(static_cast<std::size_t>(i))) formText(i);
        return fields_[i];
    }

    // Both mark the field changed when the value differs; out-of-range
    // indices are ignored. (Inline: the decoders call them for every row.)
    void setText(int i, std::string_view t) {
        if (t.size() <= BlockText::kSize) {
            char b[BlockText::kSize] = {};
            for (std::size_t k = 0; k < t.size(); ++k) b[k] = t[k];
            setBlockText(i, b, t.size());
        } else {
            setLongText(i, t);
        }
    }
    void setText(int i, const BlockText& t) { setBlockText(i, t.s, t.n); }
    // The text of n <= 16 characters at s, where s[n..15] are readable and 0.
    void setBlockText(int i, const char* s, std::size_t n) {
        if (i < 0 || i >= kFieldCount) return;
        Block& cur = blocks_[i];
        std::uint64_t a0, a1, b0, b1;
        std::memcpy(&a0, s, 8);
        std::memcpy(&a1, s + 8, 8);
        std::memcpy(&b0, cur.s, 8);
        std::memcpy(&b1, cur.s + 8, 8);
        if (((a0 ^ b0) | (a1 ^ b1)) == 0 && cur.n == n) return;
        std::memcpy(cur.s, &a0, 8);
        std::memcpy(cur.s + 8, &a1, 8);
        cur.n = static_cast<std::uint8_t>(n);
        pending_.set(static_cast<std::size_t>(i));
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
    // Each field's text as a block; n == kLong when the text is longer than a
    // block and held in the field's std::string alone (the block is then 0).
    struct alignas(8) Block {
        char s[BlockText::kSize]{};
        std::uint8_t n = 0;
    };
    static constexpr std::uint8_t kLong = 0xFF;

    void setLongText(int i, std::string_view t);
    void formText(int i) const;
    static const FieldValue& emptyField();

    Block blocks_[kFieldCount];
    // Fields whose std::string does not hold the block's text yet.
    mutable std::bitset<kFieldCount> pending_;
    mutable FieldValue fields_[kFieldCount];
    std::bitset<kFieldCount> changed_;
    std::uint64_t clearGeneration_ = 0;
};

}  // namespace orlix
