#include "capture/capture_writer.h"

#include <fcntl.h>
#include <pcap/pcap.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <utility>
#include <ctime>

#include "capture/capture_file.h"
#include "capture/capture_reader.h"
#include "base/clock.h"
#include "base/folders.h"
#include "base/log.h"

namespace orlix {
namespace {

constexpr int kMaxDayFiles = 99;

bool isFolderPath(const std::string& path) {
    if (!path.empty() && path.back() == '/') return true;
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

// The header pcap_dump_open writes on this machine for our link type: a file
// shorter than this that is a prefix of it is a header a killed writer left
// half-written.
bool isPrefixOfOurHeader(int fd, std::size_t size) {
    pcap_file_header h{};
    h.magic = kPcapMagicMicro;
    h.version_major = PCAP_VERSION_MAJOR;
    h.version_minor = PCAP_VERSION_MINOR;
    h.snaplen = kCaptureSnapLength;
    h.linktype = kCaptureLinkType;
    unsigned char want[sizeof h];
    std::memcpy(want, &h, sizeof h);
    unsigned char got[sizeof h] = {};
    if (size > sizeof h || ::pread(fd, got, size, 0) != static_cast<ssize_t>(size)) return false;
    // Bytes 8..15 (time zone and accuracy) are zero in both writers' output.
    return std::memcmp(got, want, size) == 0;
}

// Files this process started (found empty and gave a header), by device and
// inode: a writer that may not continue other files may continue these (a
// reopen after a log rotation, a capture stopped and started again), as
// their times come from this program's own clock. `add` notes one.
bool startedHere(const struct stat& st, bool add) {
    static std::mutex mutex;
    static std::set<std::pair<dev_t, ino_t>> files;
    std::lock_guard lock(mutex);
    if (add) files.insert({st.st_dev, st.st_ino});
    return files.count({st.st_dev, st.st_ino}) > 0;
}

}  // namespace

CaptureWriter::CaptureWriter(std::string target, SteadyNow steadyNow, bool continueExisting)
    : target_(std::move(target)),
      folder_(isFolderPath(target_)),
      continueExisting_(continueExisting),
      steadyNow_(std::move(steadyNow)) {
    dead_ = pcap_open_dead_with_tstamp_precision(kCaptureLinkType, kCaptureSnapLength, PCAP_TSTAMP_PRECISION_MICRO);
}

CaptureWriter::~CaptureWriter() {
    close();
    if (dead_) pcap_close(dead_);
}

std::chrono::steady_clock::time_point CaptureWriter::now() const {
    return steadyNow_ ? steadyNow_() : std::chrono::steady_clock::now();
}

std::string CaptureWriter::dayFileName(std::int64_t timeUs, int n) {
    std::time_t tt = static_cast<std::time_t>(timeUs / 1'000'000 - (timeUs % 1'000'000 < 0 ? 1 : 0));
    std::tm lt{};
    localtime_r(&tt, &lt);
    char buf[48];
    if (n <= 1)
        std::snprintf(buf, sizeof buf, "orlix-%04d%02d%02d.pcap", lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday);
    else
        std::snprintf(buf, sizeof buf, "orlix-%04d%02d%02d-%d.pcap", lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday,
                      n);
    return buf;
}

void CaptureWriter::failWith(std::string message) {
    // One line per failure: a retry that fails the same way says nothing.
    if (const auto line = failures_.pass(message)) log::warning(log::kCapture, *line);
    failed_ = true;
    error_ = std::move(message);
}

void CaptureWriter::succeeded() {
    if (failed_) log::info(log::kCapture, "capturing again to " + file_);
    else log::info(log::kCapture, "capturing to " + file_);
    failures_.reset();
    failed_ = false;
    error_.clear();
}

// Checks an existing, non-empty file before appending to it, and cuts off an
// incomplete last record so that the next record does not land inside it.
CaptureWriter::FileOpen CaptureWriter::prepareExisting(const std::string& path, int fd) {
    struct stat st{};
    if (::fstat(fd, &st) != 0) {
        error_ = path + ": " + std::strerror(errno);
        return FileOpen::Failed;
    }
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (size == 0) {
        startedHere(st, true);
        return FileOpen::Ok;
    }
    if (!continueExisting_ && !startedHere(st, false)) {
        error_ = path + ": exists, and a capture at another time scale continues only a file it started; left "
                        "as it is";
        return FileOpen::Refused;
    }
    if (size < kCaptureFileHeaderBytes) {
        if (!isPrefixOfOurHeader(fd, static_cast<std::size_t>(size)) || ::ftruncate(fd, 0) != 0) {
            error_ = path + ": exists and is not a bus capture; left as it is";
            return FileOpen::Refused;
        }
        return FileOpen::Ok;
    }
    CaptureReader reader(false);
    if (reader.open(path) != CaptureReader::Open::Ok) {
        error_ = reader.error() + "; left as it is";
        return FileOpen::Refused;
    }
    CaptureRecord r;
    CaptureReader::Next n;
    while ((n = reader.next(r)) == CaptureReader::Next::Record) {
    }
    if (n == CaptureReader::Next::Failed) {
        error_ = reader.error() + "; left as it is";
        return FileOpen::Refused;
    }
    if (reader.incompleteEnd()) {
        if (::ftruncate(fd, static_cast<off_t>(reader.consumedBytes())) != 0) {
            error_ = path + ": cannot cut off an incomplete last record: " + std::strerror(errno);
            return FileOpen::Refused;
        }
        log::info(log::kCapture, path + ": cut off an incomplete last record of " +
                                           std::to_string(reader.pendingBytes()) + " bytes before appending");
    }
    return FileOpen::Ok;
}

CaptureWriter::FileOpen CaptureWriter::openFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        const int e = errno;
        error_ = "cannot write the capture " + path + ": " + std::strerror(e);
        // A name that is taken by something we may not open (a folder, a
        // file without permission) leaves other names of a folder free.
        return e == EISDIR || (e == EACCES && ::access(path.c_str(), F_OK) == 0) ? FileOpen::Refused
                                                                                 : FileOpen::Failed;
    }
    // Two writers on one file would interleave their records.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error_ = path + ": another program is writing this capture";
        ::close(fd);
        return FileOpen::Refused;
    }
    const FileOpen prepared = prepareExisting(path, fd);
    if (prepared != FileOpen::Ok) {
        ::close(fd);
        return prepared;
    }
    // Writes a header into an empty file; checks link type, snapshot length
    // and byte order of a file that has one, and appends at its end.
    dumper_ = pcap_dump_open_append(dead_, path.c_str());
    if (!dumper_ || pcap_dump_flush(dumper_) != 0) {
        error_ = path + ": " + pcap_geterr(dead_) + "; left as it is";
        if (dumper_) pcap_dump_close(dumper_);
        dumper_ = nullptr;
        ::close(fd);
        return FileOpen::Refused;
    }
    lockFd_ = fd;
    file_ = path;
    lastPathCheck_ = now();
    sincePathCheck_ = 0;
    return FileOpen::Ok;
}

bool CaptureWriter::openFor(std::int64_t timeUs) {
    lastAttempt_ = now();
    lastTimeUs_ = timeUs;
    if (!dead_) {
        failWith("cannot start a capture: libpcap gave no handle");
        return false;
    }
    FileOpen r = FileOpen::Failed;
    if (!folder_) {
        r = openFile(target_);
    } else {
        // A folder named with a trailing '/' that does not exist yet is made,
        // as the user asked for one (again, when it was removed meanwhile).
        if (!makeFolders(target_, error_)) {
            failWith(error_);
            return false;
        }
        for (int n = 1; n <= kMaxDayFiles; ++n) {
            r = openFile(joinPath(target_, dayFileName(timeUs, n)));
            if (r != FileOpen::Refused) break;
        }
        nextMidnightUs_ = nextLocalMidnightMicros(timeUs);
    }
    if (r != FileOpen::Ok) {
        failWith(error_);
        return false;
    }
    dirty_ = false;
    succeeded();
    return true;
}

bool CaptureWriter::ensureOpen(std::int64_t timeUs) {
    if (dumper_) {
        if (!folder_ || timeUs < nextMidnightUs_) return true;
        close();  // a new day: a new file (a failed flush is counted and said)
        return openFor(timeUs);
    }
    if (failed_ && now() - lastAttempt_ < kRetryInterval) return false;
    return openFor(timeUs);
}

bool CaptureWriter::open(std::int64_t timeUs) {
    if (dumper_) return true;
    return openFor(timeUs);
}

void CaptureWriter::dump(std::int64_t timeUs, std::span<const std::uint8_t> bytes) {
    pcap_pkthdr h{};
    h.ts.tv_sec = static_cast<time_t>(timeUs / 1'000'000);
    h.ts.tv_usec = static_cast<suseconds_t>(timeUs % 1'000'000);
    if (h.ts.tv_usec < 0) {
        h.ts.tv_usec += 1'000'000;
        --h.ts.tv_sec;
    }
    do {
        const std::size_t n = std::min<std::size_t>(bytes.size(), kCaptureSnapLength);
        h.caplen = h.len = static_cast<bpf_u_int32>(n);
        pcap_dump(reinterpret_cast<u_char*>(dumper_), &h, bytes.data());
        ++unflushed_;
        bytes = bytes.subspan(n);
    } while (!bytes.empty());
    // A full buffer is written out inside pcap_dump: its error is caught
    // here, while errno still tells why.
    if (writeErrno_ == 0 && std::ferror(pcap_dump_file(dumper_))) writeErrno_ = errno != 0 ? errno : EIO;
    if (!dirty_) {
        dirty_ = true;
        dirtySince_ = now();
    }
}

bool CaptureWriter::write(std::int64_t timeUs, std::span<const std::uint8_t> bytes) {
    lastTimeUs_ = timeUs;
    if (!ensureOpen(timeUs)) {
        ++lost_;
        return false;
    }
    dump(timeUs, bytes);
    poll();
    return dumper_ != nullptr;
}

bool CaptureWriter::writeEvent(std::int64_t timeUs) { return write(timeUs, {}); }

void CaptureWriter::poll() {
    if (!dumper_) return;
    if (dirty_ && now() - dirtySince_ >= kFlushAge) flush();
    else if (now() - lastPathCheck_ >= kFlushAge) followPath(true);
}

bool CaptureWriter::flush() { return flushChecked(true); }

// The buffer goes to the file the path names; a file taken away is left
// first (and with `reopen`, a new one started at the path).
bool CaptureWriter::flushChecked(bool reopen) {
    if (!dumper_) return !failed_;
    const std::uint64_t lostBefore = lost_;
    if (!followPath(reopen)) return lost_ == lostBefore && !failed_;
    if (!flushBuffer()) return false;
    // Still there after the flush: these records are in the file.
    if (pathState() == PathState::Ours) sincePathCheck_ = 0;
    return true;
}

CaptureWriter::PathState CaptureWriter::pathState() const {
    struct stat mine{};
    if (lockFd_ < 0 || ::fstat(lockFd_, &mine) != 0) return PathState::Ours;  // cannot tell: carry on
    if (mine.st_nlink == 0) return PathState::Removed;
    struct stat named{};
    if (::stat(file_.c_str(), &named) != 0)
        return errno == ENOENT || errno == ENOTDIR ? PathState::MovedAway : PathState::Ours;
    return named.st_dev == mine.st_dev && named.st_ino == mine.st_ino ? PathState::Ours : PathState::MovedAway;
}

// True when the path still names the open file. Otherwise the file is left:
// a removed one with its records since the last check counted as lost, one
// moved away with the buffer written into it; with `reopen` the capture
// goes on in a new file at the path.
bool CaptureWriter::followPath(bool reopen) {
    lastPathCheck_ = now();
    const PathState state = pathState();
    if (state == PathState::Ours) {
        sincePathCheck_ = 0;
        return true;
    }
    const std::string path = file_;
    const std::string next = reopen ? "; going on in a new file there" : "";
    if (state == PathState::Removed) {
        const std::uint64_t lost = sincePathCheck_ + unflushed_;
        written_ -= sincePathCheck_;
        lost_ += sincePathCheck_;  // the unflushed ones are counted as the file is dropped
        sincePathCheck_ = 0;
        log::warning(log::kCapture, "the capture " + path + " was removed while it was written: " +
                                        (lost == 0 ? std::string("no record") : std::to_string(lost) + " records") +
                                        " lost" + next);
        dropFile();
    } else {
        // Renamed away (log rotation): the old file keeps what was written.
        if (flushBuffer()) dropFile();
        log::info(log::kCapture, "the capture " + path + " was moved away" + next);
    }
    if (reopen && !dumper_) openFor(lastTimeUs_);
    return false;
}

bool CaptureWriter::flushBuffer() {
    if (!dumper_) return !failed_;
    dirty_ = false;
    // A write that failed before (the buffer filled up) leaves the stream's
    // error mark; the flush checks both.
    std::FILE* f = pcap_dump_file(dumper_);
    errno = 0;
    if (pcap_dump_flush(dumper_) == 0 && !std::ferror(f)) {
        written_ += unflushed_;
        sincePathCheck_ += unflushed_;
        unflushed_ = 0;
        return true;
    }
    // The disk is full or gone: the records since the last good flush are
    // lost; the file is given up and opened again after a while (cutting
    // off what was written only in part).
    const int e = writeErrno_ != 0 ? writeErrno_ : errno != 0 ? errno : EIO;
    const std::string path = file_;
    dropFile();
    lastAttempt_ = now();
    failWith("cannot write the capture " + path + ": " + std::strerror(e));
    return false;
}

bool CaptureWriter::close() {
    const bool ok = !dumper_ || flushChecked(false);
    dropFile();
    return ok;
}

// Closes the file without caring for what is in its buffer: what was not
// flushed counts as lost.
void CaptureWriter::dropFile() {
    if (dumper_) {
        lost_ += unflushed_;
        unflushed_ = 0;
        std::FILE* f = pcap_dump_file(dumper_);
        std::clearerr(f);
        pcap_dump_close(dumper_);
        dumper_ = nullptr;
    }
    if (lockFd_ >= 0) ::close(lockFd_);
    lockFd_ = -1;
    file_.clear();
    dirty_ = false;
    writeErrno_ = 0;
}

}  // namespace orlix
