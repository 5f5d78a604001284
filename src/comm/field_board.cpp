#include "comm/field_board.h"

namespace orlix {

namespace {
const FieldValue kEmptyField{};
}

const FieldValue& FieldBoard::operator[](int i) const {
    if (i < 0 || i >= kFieldCount) return kEmptyField;
    return fields_[i];
}

void FieldBoard::clearTexts() {
    for (int i = 0; i < kFieldCount; ++i) {
        if (!fields_[i].text.empty()) {
            fields_[i].text.clear();
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
