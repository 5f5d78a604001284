// The bytes this program reads of a Jet file by itself: the header check on
// the input's start, and one sample record decoded from a page whose cell
// places come from the input's first bytes (as a damaged file could make
// the Jet library report them).
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "database/jet_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> in(data, size);
    (void)orlix::isJet4Header(in);

    std::array<orlix::JetCell, orlix::kSampleTableColumns> cells{};
    std::size_t at = 0;
    for (auto& c : cells) {
        std::int16_t v[2] = {};
        if (at + sizeof v <= size) std::memcpy(v, data + at, sizeof v);
        at += sizeof v;
        c = {v[0], v[1] & 0x0F};
    }
    const std::span<const std::uint8_t> page = at < size ? in.subspan(at) : std::span<const std::uint8_t>{};
    orlix::StoredRecord r;
    (void)orlix::decodeSampleRecord(page, cells, r);
    return 0;
}
