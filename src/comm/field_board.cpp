#include "comm/field_board.h"

namespace orlix {

const FieldValue& FieldBoard::operator[](int i) const {
    static const FieldValue kEmpty{};
    return inRange(i) ? fields_[i] : kEmpty;
}

std::bitset<FieldBoard::kFieldCount> FieldBoard::takeWritten() {
    const std::bitset<kFieldCount> out = written_;
    written_.reset();
    return out;
}

}  // namespace orlix
