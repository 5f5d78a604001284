#pragma once
// Bus captures: every port read with the wall-clock time of that read, in a
// classic pcap file that tcpdump, Wireshark and scapy open.
//
//  - link type 147 (USER0), snapshot length 65535, microsecond time stamps;
//  - one record per port read: its bytes, stamped with the time of the read
//    in microseconds since 1970-01-01 UTC;
//  - a port event other than a receive (break, framing error, lost adapter)
//    is a record of length 0;
//  - a read longer than 65535 bytes becomes several records with one time.
//
// The writer is capture_writer.h, the reader capture_reader.h.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace orlix {

inline constexpr int kCaptureLinkType = 147;  // LINKTYPE_USER0 / DLT_USER0
inline constexpr int kCaptureSnapLength = 65535;
inline constexpr std::size_t kCaptureFileHeaderBytes = 24;
inline constexpr std::size_t kCaptureRecordHeaderBytes = 16;
// The magic number our writer puts first: classic pcap, microsecond stamps,
// in the byte order of the machine that wrote it.
inline constexpr std::uint32_t kPcapMagicMicro = 0xA1B2C3D4u;

inline std::uint32_t littleEndian32(const std::uint8_t* b) {
    return std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 | std::uint32_t{b[2]} << 16 | std::uint32_t{b[3]} << 24;
}

// True for the four magic numbers of a classic pcap file: either byte
// order, microsecond or nanosecond stamps (16-byte record headers).
inline bool isClassicPcap(const std::uint8_t (&magic)[4]) {
    const std::uint32_t m = littleEndian32(magic);
    return m == kPcapMagicMicro || m == 0xD4C3B2A1u || m == 0xA1B23C4Du || m == 0x4D3CB2A1u;
}

// True when `head` (the first bytes of a file, at least 4) starts like a
// file the reader opens: a classic pcap file or a pcapng file.
inline bool looksLikeCapture(std::span<const std::uint8_t> head) {
    if (head.size() < 4) return false;
    const std::uint8_t magic[4] = {head[0], head[1], head[2], head[3]};
    return isClassicPcap(magic) || littleEndian32(magic) == 0x0A0D0D0Au;  // pcapng section header
}

// True for a regular file that starts like a capture (looksLikeCapture). Only
// a regular file is read: a device or a link to one (a pseudo-terminal
// linked into a temporary folder) would block the read or lose the bytes.
bool isCaptureFile(const std::string& path);

}  // namespace orlix
