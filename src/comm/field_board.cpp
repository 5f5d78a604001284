#include "comm/field_board.h"

namespace orlix {

namespace {
const FieldValue kEmptyField{};
}

const FieldValue& FieldBoard::emptyField() { return kEmptyField; }

void FieldBoard::formText(int i) const {
    fields_[i].text.assign(blocks_[i].s, blocks_[i].n);
    pending_.reset(static_cast<std::size_t>(i));
}

void FieldBoard::setLongText(int i, std::string_view t) {
    if (i < 0 || i >= kFieldCount) return;
    Block& cur = blocks_[i];
    if (cur.n == kLong && fields_[i].text == t) return;
    fields_[i].text.assign(t.data(), t.size());
    cur = Block{};
    cur.n = kLong;
    pending_.reset(static_cast<std::size_t>(i));
    changed_.set(static_cast<std::size_t>(i));
}

void FieldBoard::clearTexts() {
    for (int i = 0; i < kFieldCount; ++i) {
        if (blocks_[i].n != 0) {
            blocks_[i] = Block{};
            fields_[i].text.clear();
            pending_.reset(static_cast<std::size_t>(i));
            changed_.set(static_cast<std::size_t>(i));
        }
    }
    ++clearGeneration_;
}

std::bitset<FieldBoard::kFieldCount> FieldBoard::takeChanged() {
    std::bitset<kFieldCount> out = changed_;
    changed_.reset();
    return out;
}

}  // namespace orlix
