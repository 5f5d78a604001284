#include "capture/capture_reader.h"

#include <pcap/pcap.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "capture/capture_file.h"
#include "base/log.h"

namespace orlix {

CaptureReader::CaptureReader(bool logNotes) : logNotes_(logNotes) {}

CaptureReader::~CaptureReader() { close(); }

void CaptureReader::close() {
    // pcap_close closes the stream it read from.
    if (pcap_) pcap_close(pcap_);
    else if (file_) std::fclose(file_);
    pcap_ = nullptr;
    file_ = nullptr;
}

CaptureReader::Open CaptureReader::fail(std::string message) {
    close();
    error_ = std::move(message);
    return Open::Failed;
}

CaptureReader::Open CaptureReader::open(const std::string& path) {
    close();
    name_ = path;
    error_.clear();
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return fail(path + ": " + std::strerror(errno));
    if (S_ISDIR(st.st_mode)) return fail(path + ": is a folder, not a capture file");
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return fail(path + ": " + std::strerror(errno));
    const bool regular = S_ISREG(st.st_mode);
    if (regular && static_cast<std::uint64_t>(st.st_size) < kCaptureFileHeaderBytes) {
        std::fclose(f);
        error_ = path + ": shorter than a capture header (" + std::to_string(st.st_size) + " of " +
                 std::to_string(kCaptureFileHeaderBytes) + " bytes)";
        return Open::Incomplete;
    }
    return start(f, regular);
}

CaptureReader::Open CaptureReader::openStream(std::FILE* stream, const std::string& name) {
    close();
    name_ = name;
    error_.clear();
    if (!stream) return fail(name + ": no stream");
    return start(stream, false);
}

CaptureReader::Open CaptureReader::start(std::FILE* stream, bool seekable) {
    file_ = stream;
    seekable_ = seekable;
    rewind_ = incomplete_ = finished_ = false;
    heldLogged_ = cutLogged_ = !logNotes_;
    records_ = heldTimes_ = pendingBytes_ = 0;
    lastTimeUs_ = 0;

    char errbuf[PCAP_ERRBUF_SIZE] = {};
    pcap_ = pcap_fopen_offline_with_tstamp_precision(stream, PCAP_TSTAMP_PRECISION_MICRO, errbuf);
    if (!pcap_) {
        // A clearer word than libpcap's for the common mistake of a raw byte
        // file given where a capture is expected.
        unsigned char head[4] = {};
        std::size_t got = 0;
        if (seekable_ && std::fseek(stream, 0, SEEK_SET) == 0) got = std::fread(head, 1, sizeof head, stream);
        if (seekable_ && !looksLikeCapture(std::span<const std::uint8_t>(head, got)))
            return fail(name_ + ": not a capture file (no pcap or pcapng header)");
        return fail(name_ + ": " + errbuf);
    }
    const int link = pcap_datalink(pcap_);
    if (link != kCaptureLinkType) {
        const char* linkName = pcap_datalink_val_to_name(link);
        return fail(name_ + ": a capture of link type " + std::to_string(link) + " (" +
                    (linkName ? linkName : "unknown") + "), not a bus capture (link type " +
                    std::to_string(kCaptureLinkType) + ", USER0)");
    }
    consumed_ = seekable_ ? static_cast<std::uint64_t>(std::ftell(file_)) : kCaptureFileHeaderBytes;
    // In a classic pcap file every record is a 16-byte header and its bytes,
    // so the offset of the next one is counted rather than asked for (a
    // system call per record). pcapng blocks, and records libpcap cuts to
    // the snapshot length, are measured by the stream.
    unsigned char magic[4] = {};
    countedOffsets_ = seekable_ && ::pread(fileno(file_), magic, sizeof magic, 0) == sizeof magic &&
                      isClassicPcap(magic);
    snapLength_ = static_cast<std::uint32_t>(pcap_snapshot(pcap_));
    return Open::Ok;
}

CaptureReader::Next CaptureReader::endOfData() {
    if (!seekable_) return Next::End;
    // Come back to the end of the last whole record next time: the file may
    // grow, and an incomplete record may be completed.
    rewind_ = true;
    if (incomplete_) {
        struct stat st{};
        if (::fstat(fileno(file_), &st) == 0 && static_cast<std::uint64_t>(st.st_size) > consumed_)
            pendingBytes_ = static_cast<std::uint64_t>(st.st_size) - consumed_;
    }
    return Next::End;
}

CaptureReader::Next CaptureReader::next(CaptureRecord& record) {
    if (!pcap_) {
        if (error_.empty()) error_ = name_ + ": not open";
        return Next::Failed;
    }
    if (rewind_) {
        // Also clears the end-of-file mark, so that fresh data is read.
        if (std::fseek(file_, static_cast<long>(consumed_), SEEK_SET) != 0) {
            error_ = name_ + ": cannot read on: " + std::strerror(errno);
            return Next::Failed;
        }
        rewind_ = false;
    }
    pcap_pkthdr* h = nullptr;
    const u_char* data = nullptr;
    const int rc = pcap_next_ex(pcap_, &h, &data);
    if (rc == PCAP_ERROR_BREAK) {  // the data ended after a whole record
        incomplete_ = false;
        pendingBytes_ = 0;
        return endOfData();
    }
    if (rc != 1) {
        if (std::feof(file_) && !std::ferror(file_)) {
            incomplete_ = true;
            return endOfData();
        }
        error_ = name_ + ": record " + std::to_string(records_ + 1) + " cannot be read: " + pcap_geterr(pcap_);
        return Next::Failed;
    }
    incomplete_ = false;
    pendingBytes_ = 0;
    finished_ = false;
    ++records_;
    if (seekable_ && !(countedOffsets_ && h->caplen < snapLength_))
        consumed_ = static_cast<std::uint64_t>(std::ftell(file_));
    else
        consumed_ += kCaptureRecordHeaderBytes + h->caplen;

    std::int64_t t = static_cast<std::int64_t>(h->ts.tv_sec) * 1'000'000 + static_cast<std::int64_t>(h->ts.tv_usec);
    record.timeHeld = records_ > 1 && t < lastTimeUs_;
    if (record.timeHeld) {
        t = lastTimeUs_;
        ++heldTimes_;
        if (!heldLogged_) {
            heldLogged_ = true;
            log::warning(log::kCapture, name_ + ": record " + std::to_string(records_) +
                                                  " is stamped before the one ahead of it; such records keep "
                                                  "the previous time");
        }
    }
    lastTimeUs_ = t;
    record.timeUs = t;
    record.bytes = std::span<const std::uint8_t>(data, h->caplen);
    if (h->caplen < h->len && !cutLogged_) {
        cutLogged_ = true;
        log::warning(log::kCapture, name_ + ": record " + std::to_string(records_) + " holds only " +
                                              std::to_string(h->caplen) + " of its " + std::to_string(h->len) +
                                              " bytes");
    }
    return Next::Record;
}

std::optional<std::string> CaptureReader::finish() {
    if (!incomplete_ || finished_) return std::nullopt;
    finished_ = true;
    std::string msg = name_ + ": the last record is incomplete";
    if (pendingBytes_ > 0) msg += " (" + std::to_string(pendingBytes_) + " bytes)";
    msg += " and was ignored; " + std::to_string(records_) + " whole records were read";
    if (logNotes_) log::warning(log::kCapture, msg);
    return msg;
}

}  // namespace orlix
