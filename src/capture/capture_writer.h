#pragma once
// Writes a bus capture (see capture_file.h) with libpcap: each port read is
// one record stamped with a time the caller gives (the wall-clock time of the
// read, so that replays and tests control it).
//
// Target. A file, or a folder (an existing one, or a path ending in '/'): a
// folder receives one file per local day, PATH/orlix-YYYYMMDD.pcap, and a new
// one starts with the first record stamped at or after local midnight.
//
// Existing files are continued, never overwritten: a capture of ours is
// appended to, after an incomplete last record (left by a killed writer) has
// been cut off. A file that is no capture of ours, or one that another
// writer holds, is left alone: for a folder the next free name of the day is
// taken (orlix-YYYYMMDD-2.pcap, -3, ...), for a file the writer fails. A
// writer told not to continue (its times run at another pace than the wall
// clock's) treats every non-empty file so, except one that this program
// started itself (reopened after a log rotation).
//
// Flushing. Records reach the file once the oldest unflushed one is
// kFlushAge old: at the next write() or poll(). A caller that writes rarely
// calls poll() at least once a second, so that a killed process loses at
// most the last 2 s; the file is readable while it is written (a reader may
// see an incomplete last record, see capture_reader.h).
//
// Failures (a folder without write permission, a full disk) are returned,
// logged once with their cause under "orlix.capture", and cost only the
// records that could not be written; opening is tried again every
// kRetryInterval. Not thread-safe: one thread writes.
//
// The file taken away. At every flush, and at a poll() at least every
// kFlushAge, the writer checks that the path still names the file it
// writes (device and inode). A file removed while written (link count 0)
// takes with it the records written since the last check that found it:
// they count as lost, with one warning saying how many. A file renamed away
// (log rotation) keeps its records and is closed with a note. Either way the
// writer goes on in a new file at the same path, made as at the start (a
// removed folder is made again); a file that has appeared there meanwhile
// is continued or left alone as above.
#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "base/log.h"

struct pcap;         // libpcap's pcap_t
struct pcap_dumper;  // libpcap's pcap_dumper_t

namespace orlix {

class CaptureWriter {
public:
    using SteadyNow = std::function<std::chrono::steady_clock::time_point()>;
    static constexpr std::chrono::milliseconds kFlushAge{1000};
    static constexpr std::chrono::seconds kRetryInterval{10};

    // `steadyNow` replaces the monotonic clock that paces flushes and
    // retries (tests); empty means std::chrono::steady_clock.
    // `continueExisting` false: an existing capture is left alone as a
    // foreign file is.
    explicit CaptureWriter(std::string target, SteadyNow steadyNow = {}, bool continueExisting = true);
    ~CaptureWriter();
    CaptureWriter(const CaptureWriter&) = delete;
    CaptureWriter& operator=(const CaptureWriter&) = delete;

    // Opens the file for time `timeUs` now rather than at the first write,
    // so that a failure shows at once. The capture header is on disk when
    // this returns true.
    bool open(std::int64_t timeUs);
    // One port read; more than 65535 bytes become several records.
    bool write(std::int64_t timeUs, std::span<const std::uint8_t> bytes);
    // A port event other than a receive: a record of length 0.
    bool writeEvent(std::int64_t timeUs);
    // Flushes when the oldest unflushed record is kFlushAge old.
    void poll();
    // Flushes now. False when the data could not be written: the records
    // since the last good flush are lost (counted in recordsLost()).
    bool flush();
    // Flushes and closes the current file; false when the flush failed.
    bool close();

    bool folderTarget() const { return folder_; }
    const std::string& target() const { return target_; }
    // The file being written; "" while none is open.
    const std::string& currentFile() const { return file_; }
    // The last failure; "" once writing works (again).
    const std::string& error() const { return error_; }
    // Records known to be in the file: flushed without an error.
    std::uint64_t recordsWritten() const { return written_; }
    // Records that did not reach a file: given while none could be written,
    // or in a flush that failed.
    std::uint64_t recordsLost() const { return lost_; }

    // The day file's name for local date of `timeUs`: "orlix-YYYYMMDD.pcap",
    // or with `-N` before the extension for N >= 2.
    static std::string dayFileName(std::int64_t timeUs, int n = 1);

private:
    enum class FileOpen { Ok, Refused, Failed };
    bool ensureOpen(std::int64_t timeUs);
    bool openFor(std::int64_t timeUs);
    FileOpen openFile(const std::string& path);
    FileOpen prepareExisting(const std::string& path, int fd);
    enum class PathState { Ours, Removed, MovedAway };
    PathState pathState() const;
    bool followPath(bool reopen);
    bool flushChecked(bool reopen);
    bool flushBuffer();
    void dump(std::int64_t timeUs, std::span<const std::uint8_t> bytes);
    void failWith(std::string message);
    void dropFile();
    void succeeded();
    std::chrono::steady_clock::time_point now() const;

    std::string target_;
    bool folder_ = false;
    bool continueExisting_ = true;
    SteadyNow steadyNow_;
    ::pcap* dead_ = nullptr;
    ::pcap_dumper* dumper_ = nullptr;
    int lockFd_ = -1;
    std::string file_;
    std::string error_;
    log::RepeatFilter failures_;
    bool failed_ = false;
    bool dirty_ = false;
    std::chrono::steady_clock::time_point dirtySince_{};
    std::chrono::steady_clock::time_point lastAttempt_{};
    std::chrono::steady_clock::time_point lastPathCheck_{};
    std::int64_t lastTimeUs_ = 0;  // of the last record given
    std::int64_t nextMidnightUs_ = 0;
    std::uint64_t written_ = 0;
    std::uint64_t unflushed_ = 0;
    std::uint64_t sincePathCheck_ = 0;  // flushed since the path last named the file
    int writeErrno_ = 0;  // why a write of the stream's buffer failed
    std::uint64_t lost_ = 0;
};

}  // namespace orlix
