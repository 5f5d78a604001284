#include "database/jet_format.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <fstream>

namespace orlix {
namespace {

constexpr std::uint8_t kMagic[4] = {0x00, 0x01, 0x00, 0x00};
constexpr char kFormatText[16] = "Standard Jet DB";  // with its terminating zero
constexpr std::size_t kVersionAt = 0x14;
constexpr std::uint32_t kJet4Version = 1;

std::uint32_t le32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

constexpr int cellSize(int column) {
    return column < kSampleValueColumns ? 2 : column == kTimeColumn ? 8 : 4;
}

}  // namespace

bool isJet4Header(std::span<const std::uint8_t> head) {
    if (head.size() < kJetHeaderBytes) return false;
    return std::memcmp(head.data(), kMagic, sizeof kMagic) == 0 &&
           std::memcmp(head.data() + 4, kFormatText, sizeof kFormatText) == 0 &&
           le32(head.data() + kVersionAt) == kJet4Version;
}

bool isJet4File(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    std::array<std::uint8_t, kJetHeaderBytes> head{};
    f.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    return f.gcount() == static_cast<std::streamsize>(head.size()) && isJet4Header(head);
}

bool decodeSampleRecord(std::span<const std::uint8_t> page,
                        const std::array<JetCell, kSampleTableColumns>& cells, StoredRecord& out) {
    out.missing = 0;
    for (int c = 0; c < kSampleTableColumns; ++c) {
        const JetCell& cell = cells[static_cast<std::size_t>(c)];
        if (cell.length == 0) {
            out.missing |= std::uint64_t{1} << c;
            continue;
        }
        if (cell.length != cellSize(c) || cell.start < 0 ||
            static_cast<std::size_t>(cell.start) + static_cast<std::size_t>(cell.length) > page.size())
            return false;
        const std::uint8_t* p = page.data() + cell.start;
        if (c < kSampleValueColumns) {
            out.values[static_cast<std::size_t>(c)] =
                static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | p[1] << 8));
        } else if (c == kTimeColumn) {
            const std::uint64_t bits = std::uint64_t{le32(p)} | std::uint64_t{le32(p + 4)} << 32;
            out.time = std::bit_cast<double>(bits);
            if (std::isnan(out.time)) out.missing |= std::uint64_t{1} << c;
        } else {
            out.number = static_cast<std::int32_t>(le32(p));
        }
    }
    return true;
}

}  // namespace orlix
