#pragma once
// Reads a bus capture (see capture_file.h) record by record, with libpcap.
//
// Made for two kinds of caller: a tool that reads a finished file to its end,
// and a replay that polls a file which may still be growing. At the end of
// what is there now, next() answers End; a later call continues from the
// last whole record, so records appended meanwhile (also the rest of one
// that was incomplete) are read then. A caller that is done calls finish():
// an incomplete last record is then reported (returned and logged once).
//
// Record times never run backwards: a record stamped earlier than the one
// before it is given the previous record's time (logged once per file).
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>

struct pcap;  // libpcap's handle (pcap_t)

namespace orlix {

struct CaptureRecord {
    // Microseconds since 1970-01-01 00:00 UTC, never less than the previous
    // record's.
    std::int64_t timeUs = 0;
    // The bytes of one port read; empty for another port event. Valid until
    // the next call of next().
    std::span<const std::uint8_t> bytes;
    // The stored time was earlier than the previous record's.
    bool timeHeld = false;
    bool portEvent() const { return bytes.empty(); }
};

class CaptureReader {
public:
    enum class Open {
        Ok,
        // Shorter than a capture header: possibly a file that is just being
        // started. Nothing is held; open again later.
        Incomplete,
        Failed,  // error() says why
    };
    enum class Next { Record, End, Failed };

    // `logNotes` false keeps the notes about held times and cut records out
    // of the log (for a writer that reads its own file before appending).
    explicit CaptureReader(bool logNotes = true);
    ~CaptureReader();
    CaptureReader(const CaptureReader&) = delete;
    CaptureReader& operator=(const CaptureReader&) = delete;

    // Opens a capture file. Fails for a folder, an unreadable file, a file
    // that is no capture, and a capture of another link type than the bus's.
    Open open(const std::string& path);
    // Reads from an open stream (a pipe, a memory buffer) and closes it at
    // the end. A stream cannot be read again after its end, so there an
    // incomplete last record is final. `name` is used in messages.
    Open openStream(std::FILE* stream, const std::string& name);

    // The next whole record, End when none follows yet, Failed when the
    // file holds something that is no record (error() says what).
    Next next(CaptureRecord& record);

    // Bytes of an incomplete record after the last whole one, as found at
    // the last End (0 when the file ended cleanly; for a stream whose count
    // is unknown, also 0 while incompleteEnd() is true).
    std::uint64_t pendingBytes() const { return pendingBytes_; }
    bool incompleteEnd() const { return incomplete_; }
    // The reading is over. When an incomplete record was left at the end,
    // returns the message about it and logs it (once).
    std::optional<std::string> finish();

    const std::string& error() const { return error_; }
    const std::string& name() const { return name_; }
    std::uint64_t recordCount() const { return records_; }
    // Records whose stored time was earlier than the previous one's.
    std::uint64_t heldTimes() const { return heldTimes_; }
    // File offset just after the last whole record (capture header included).
    std::uint64_t consumedBytes() const { return consumed_; }

private:
    Open start(std::FILE* stream, bool seekable);
    Open fail(std::string message);
    Next endOfData();
    void close();

    ::pcap* pcap_ = nullptr;
    std::FILE* file_ = nullptr;
    bool seekable_ = false;
    bool countedOffsets_ = false;  // record offsets follow from the record sizes
    std::uint32_t snapLength_ = 0;
    bool rewind_ = false;  // seek back to consumed_ before reading on
    bool incomplete_ = false;
    bool finished_ = false;
    bool logNotes_ = true;
    bool heldLogged_ = false;
    bool cutLogged_ = false;
    std::string name_;
    std::string error_;
    std::uint64_t records_ = 0;
    std::uint64_t heldTimes_ = 0;
    std::uint64_t consumed_ = 0;
    std::uint64_t pendingBytes_ = 0;
    std::int64_t lastTimeUs_ = 0;
};

}  // namespace orlix
