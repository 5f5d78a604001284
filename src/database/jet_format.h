#pragma once
// What this program reads of a Jet 4.0 (Access 2000) file by itself: the
// header that tells such a file from any other, and the bytes of one `emp1`
// record once the Jet library has located its cells on a page. Everything
// else about the format (catalog, table definitions, usage maps, pages) is
// left to the library. Plain functions over bytes, so that they can be
// fuzzed without a file.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "database/sample_database.h"

namespace orlix {

// Bytes needed to recognise the header: the file magic, "Standard Jet DB"
// and the format version.
inline constexpr std::size_t kJetHeaderBytes = 0x18;

// True when `head` starts like a Jet 4.0 database: 00 01 00 00, the text
// "Standard Jet DB" ending in a zero byte, and version 1 at 0x14. Jet 3
// (version 0) and the later Access formats are not Jet 4.0.
bool isJet4Header(std::span<const std::uint8_t> head);

// Reads the first bytes of `path` and checks them; false when the file
// cannot be read or is shorter than a header.
bool isJet4File(const std::string& path);

// Where the library found one cell of the current record on its page:
// `length` 0 for a NULL cell.
struct JetCell {
    int start = 0;
    int length = 0;
};

// Turns the cells of one `emp1` record into a record as it stands: 50
// Integers (2 bytes), Time (an 8-byte double, copied bit for bit), Number (a
// 4-byte Long), all little-endian. A NULL cell sets its bit in `missing`. A
// Time that is not a number cannot be stored as one and counts as missing.
// False when a cell has the wrong size or lies outside the page: the record
// is damaged.
bool decodeSampleRecord(std::span<const std::uint8_t> page,
                        const std::array<JetCell, kSampleTableColumns>& cells, StoredRecord& out);

}  // namespace orlix
