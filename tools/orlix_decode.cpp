// orlix-decode: the decoder's machine-readable face. Reads a byte capture (a
// raw byte file or a pcap bus capture, from a file or stdin, or a live serial
// port), runs it through the same receiver and decoders as the monitor
// window, and writes one line per checksum byte, or turns a pcap capture into
// a sample database.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "comm/field_board.h"
#include "comm/frame_decoder.h"
#include "comm/frame_receiver.h"
#include "comm/live_store.h"
#include "database/sample_database.h"
#include "capture/capture_input.h"
#include "sampling/capture_database.h"
#include "capture/capture_file.h"
#include "base/clock.h"
#include "platform/std_output.h"
#include "platform/version.h"

namespace orlix {
namespace {

constexpr const char* kUsage =
    "usage: orlix-decode [--json | --csv] [--chunk N] [--clock HH:MM:SS] [--line-buffered] [FILE | -]\n"
    "       orlix-decode [--json | --csv] [--clock HH:MM:SS] --serial PATH [--baud N]\n"
    "       orlix-decode --db OUT.mdb CAPTURE.pcap\n"
    "       orlix-decode --help | --version\n"
    "\n"
    "Decodes bus frames and writes one line per frame. The input is raw bus\n"
    "bytes or a pcap bus capture (told apart by its first bytes): each record\n"
    "of a capture is one read (one of length 0 another port event), and the\n"
    "error-memory times are the records' times.\n"
    "\n"
    "  --json            (default) one JSON object per checksum byte, good or bad:\n"
    "                    {\"frame\": n, \"kind\": \"A5\"|\"5A\", \"check\": \"Right\"|\"Error\",\n"
    "                     \"fields\": [[text, \"#RRGGBB\"|null] x 160], \"live\": [52 values],\n"
    "                     \"errors\": [{\"list\": n, \"entry\": \"<time><status>\"}, ...]}\n"
    "  --csv             a header, then one row per good frame: frame, kind and\n"
    "                    the live values 0..49 under the sample table's column names\n"
    "  --chunk N         hand raw input to the receiver in reads of N bytes\n"
    "                    (default 4096); each read is one receive event\n"
    "  --clock HH:MM:SS  time of day used for error-memory entries (default:\n"
    "                    now, or the record time of a capture)\n"
    "  --line-buffered   write each line out at once (so it is whenever the\n"
    "                    output is a terminal or the input --serial)\n"
    "  --db OUT.mdb      make the sample database OUT.mdb from a capture: a\n"
    "                    sample every 4 s of capture time, recorded as the\n"
    "                    analyzer records; never overwrites a file\n"
    "  --serial PATH     decode live from a serial port (opened read-only, raw,\n"
    "                    8N1) until interrupted or the port hangs up\n"
    "  --baud N          line rate for --serial (default 1200)\n"
    "  FILE | -          the capture to read; stdin for - or no FILE\n"
    "  --help, --version this text, or the version and build commit\n"
    "\n"
    "Exit status: 0 done, 1 read or write error, 2 usage error or unreadable\n"
    "input (a missing file, a closed standard input).\n";

volatile sig_atomic_t gStop = 0;
void onSignal(int) { gStop = 1; }

void usageError(const std::string& msg) {
    std::fprintf(stderr, "orlix-decode: %s\n", msg.c_str());
    std::fprintf(stderr, "Try 'orlix-decode --help'.\n");
}

void appendJsonString(std::string& out, std::string_view s) {
    out.push_back('"');
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04X", c);
                    out += buf;
                } else {
                    out.push_back(ch);  // UTF-8 passes through unchanged
                }
        }
    }
    out.push_back('"');
}

void appendInt(std::string& out, long long v) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

struct EntryCollector : ErrorMemorySink {
    std::vector<std::pair<int, std::string>> entries;
    void addErrorEntry(int list, const std::string& entry) override { entries.emplace_back(list, entry); }
};

class LineWriter : public FrameObserver {
public:
    LineWriter(bool csv, const FieldBoard& board, const LiveStore& store, EntryCollector& errors)
        : csv_(csv), board_(board), store_(store), errors_(errors) {}

    void writeHeader() {
        if (!csv_) return;
        line_ = "frame,kind";
        for (int i = 0; i < kSampleValueColumns; ++i) {
            line_ += ',';
            line_ += kEmp1Columns[static_cast<std::size_t>(i)];
        }
        emit();
    }

    void onChecksum(int frameKind, bool good) override {
        ++frame_;
        line_.clear();
        if (csv_) {
            errors_.entries.clear();
            if (good) writeCsvRow(frameKind);
            return;
        }
        line_ += "{\"frame\":";
        appendInt(line_, static_cast<long long>(frame_));
        line_ += frameKind == 1 ? ",\"kind\":\"5A\"" : ",\"kind\":\"A5\"";
        line_ += good ? ",\"check\":\"Right\"" : ",\"check\":\"Error\"";
        line_ += ",\"fields\":[";
        for (int i = 0; i < FieldBoard::kFieldCount; ++i) {
            if (i) line_ += ',';
            const FieldValue& f = board_[i];
            line_ += '[';
            appendJsonString(line_, f.text);
            if (f.colour) {
                char buf[16];
                std::snprintf(buf, sizeof buf, ",\"#%02X%02X%02X\"]", f.colour->r, f.colour->g, f.colour->b);
                line_ += buf;
            } else {
                line_ += ",null]";
            }
        }
        line_ += "],\"live\":[";
        for (std::size_t i = 0; i < store_.LiveValues.size(); ++i) {
            if (i) line_ += ',';
            appendInt(line_, store_.LiveValues[i]);
        }
        line_ += "],\"errors\":[";
        for (std::size_t i = 0; i < errors_.entries.size(); ++i) {
            if (i) line_ += ',';
            line_ += "{\"list\":";
            appendInt(line_, errors_.entries[i].first);
            line_ += ",\"entry\":";
            appendJsonString(line_, errors_.entries[i].second);
            line_ += '}';
        }
        line_ += "]}";
        errors_.entries.clear();
        emit();
    }

    bool failed() const { return failed_; }
    int writeErrno() const { return writeErrno_; }
    void markFailed(int err) {
        failed_ = true;
        writeErrno_ = err;
    }

private:
    // Formed in place: a row is written for every good frame, and forming
    // it must cost little beside the decoding.
    void writeCsvRow(int frameKind) {
        char row[24 + 3 + kSampleValueColumns * 12 + 1];
        char* p = std::to_chars(row, row + 24, frame_).ptr;
        std::memcpy(p, frameKind == 1 ? ",5A" : ",A5", 3);
        p += 3;
        for (int i = 0; i < kSampleValueColumns; ++i) {
            *p++ = ',';
            p = std::to_chars(p, p + 11, store_.LiveValues[static_cast<std::size_t>(i)]).ptr;
        }
        *p++ = '\n';
        put(row, static_cast<std::size_t>(p - row));
    }

    void emit() {
        line_ += '\n';
        put(line_.data(), line_.size());
    }

    void put(const char* data, std::size_t size) {
        if (failed_) return;
        if (std::fwrite(data, 1, size, stdout) != size || std::ferror(stdout)) {
            failed_ = true;
            writeErrno_ = errno;
        }
    }

    bool csv_;
    const FieldBoard& board_;
    const LiveStore& store_;
    EntryCollector& errors_;
    std::string line_;
    std::uint64_t frame_ = 0;
    bool failed_ = false;
    int writeErrno_ = 0;
};

std::optional<long> parseNumber(std::string_view s) {
    long v = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (r.ec != std::errc{} || r.ptr != s.data() + s.size()) return std::nullopt;
    return v;
}

std::optional<DateTime> parseClock(std::string_view s) {
    if (s.size() != 8 || s[2] != ':' || s[5] != ':') return std::nullopt;
    auto h = parseNumber(s.substr(0, 2)), m = parseNumber(s.substr(3, 2)), sec = parseNumber(s.substr(6, 2));
    if (!h || !m || !sec || *h < 0 || *h > 23 || *m < 0 || *m > 59 || *sec < 0 || *sec > 59) return std::nullopt;
    return (*h * 3600 + *m * 60 + *sec) / kSecondsPerDay;
}

std::optional<speed_t> baudConstant(long baud) {
    struct Rate { long baud; speed_t c; };
    static constexpr Rate kRates[] = {{50, B50},       {75, B75},       {110, B110},     {134, B134},
                                      {150, B150},     {200, B200},     {300, B300},     {600, B600},
                                      {1200, B1200},   {1800, B1800},   {2400, B2400},   {4800, B4800},
                                      {9600, B9600},   {19200, B19200}, {38400, B38400}, {57600, B57600},
                                      {115200, B115200}, {230400, B230400}};
    for (const Rate& r : kRates)
        if (r.baud == baud) return r.c;
    return std::nullopt;
}

struct Options {
    bool csv = false;
    long chunk = 4096;
    std::optional<DateTime> clock;
    std::string file;  // "" or "-" for stdin
    std::string serial;
    long baud = 1200;
    bool baudGiven = false;
    bool lineBuffered = false;
    std::string db;  // --db: the database to make
};

// Returns 0 to go on, or the exit status (+1) to end with.
int parseArgs(int argc, char** argv, Options& o) {
    // --help and --version end the run: 0 when their text was written, 1
    // when standard output failed.
    const auto show = [](const std::string& text) { return writeStdout("orlix-decode", text) ? 1 : 2; };
    bool haveFile = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                usageError(std::string("option ") + name + " needs a value");
                return nullptr;
            }
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            return show(kUsage);
        } else if (a == "--version") {
            return show(std::string("orlix-decode ") + versionText() + "\n");
        } else if (a == "--json") {
            o.csv = false;
        } else if (a == "--csv") {
            o.csv = true;
        } else if (a == "--chunk") {
            const char* v = value("--chunk");
            if (!v) return 3;
            auto n = parseNumber(v);
            if (!n || *n < 1 || *n > (1L << 24)) {
                usageError(std::string("--chunk needs a whole number from 1 to 16777216, not '") + v + "'");
                return 3;
            }
            o.chunk = *n;
        } else if (a == "--clock") {
            const char* v = value("--clock");
            if (!v) return 3;
            o.clock = parseClock(v);
            if (!o.clock) {
                usageError(std::string("--clock needs a time of day HH:MM:SS, not '") + v + "'");
                return 3;
            }
        } else if (a == "--line-buffered") {
            o.lineBuffered = true;
        } else if (a == "--db") {
            const char* v = value("--db");
            if (!v) return 3;
            o.db = v;
        } else if (a == "--serial") {
            const char* v = value("--serial");
            if (!v) return 3;
            o.serial = v;
        } else if (a == "--baud") {
            const char* v = value("--baud");
            if (!v) return 3;
            auto n = parseNumber(v);
            if (!n || !baudConstant(*n)) {
                usageError(std::string("--baud needs a standard line rate (e.g. 600, 1200, 2400), not '") + v + "'");
                return 3;
            }
            o.baud = *n;
            o.baudGiven = true;
        } else if (a.size() > 1 && a[0] == '-' && a != "-") {
            usageError("unknown option '" + std::string(a) + "'");
            return 3;
        } else {
            if (haveFile) {
                usageError("only one input may be named");
                return 3;
            }
            haveFile = true;
            o.file = std::string(a);
        }
    }
    if (!o.serial.empty() && haveFile) {
        usageError("--serial and an input file exclude each other");
        return 3;
    }
    if (!o.db.empty() && !o.serial.empty()) {
        usageError("--db makes a database from a capture file, not from --serial");
        return 3;
    }
    if (o.baudGiven && o.serial.empty()) {
        usageError("--baud applies to --serial only");
        return 3;
    }
    return 0;
}

// Opens a serial port read-only in raw mode, 8N1 at the given rate.
int openSerial(const std::string& path, long baud) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        std::fprintf(stderr, "orlix-decode: cannot open %s: %s\n", path.c_str(), std::strerror(errno));
        return -1;
    }
    termios t{};
    if (!::isatty(fd) || ::tcgetattr(fd, &t) != 0) {
        std::fprintf(stderr, "orlix-decode: %s is not a serial port\n", path.c_str());
        ::close(fd);
        return -1;
    }
    ::cfmakeraw(&t);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    const speed_t s = *baudConstant(baud);
    ::cfsetispeed(&t, s);
    ::cfsetospeed(&t, s);
    if (::tcsetattr(fd, TCSANOW, &t) != 0) {
        std::fprintf(stderr, "orlix-decode: cannot set up %s: %s\n", path.c_str(), std::strerror(errno));
        ::close(fd);
        return -1;
    }
    return fd;
}

// Reads up to `want` bytes. For regular files the read is filled to `want`
// unless the file ends; for pipes, terminals and ports whatever arrived is
// one read, so a live stream is decoded as it comes. Returns the byte count,
// 0 at the end of the input, -1 on error.
long readSome(int fd, std::uint8_t* buf, long want, bool fill, bool live) {
    long got = 0;
    while (got < want && !gStop) {
        if (live) {
            pollfd p{fd, POLLIN, 0};
            const int r = ::poll(&p, 1, 250);
            if (r < 0) {
                if (errno == EINTR) continue;
                return -1;
            }
            if (r == 0) continue;
            if ((p.revents & POLLIN) == 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) return got;
        }
        const ssize_t n = ::read(fd, buf + got, static_cast<std::size_t>(want - got));
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN) continue;
            if (errno == EIO && live) return got;  // the other side hung up
            return -1;
        }
        if (n == 0) return got;
        got += n;
        if (!fill) break;
    }
    return got;
}

// Feeds raw bytes to the receiver in reads of `chunk` bytes: first `head`
// (bytes a pipe gave up already), then the rest of `fd`. Returns the exit
// status.
int decodeRaw(int fd, std::span<const std::uint8_t> head, long chunk, bool fill, bool live, const std::string& name,
              FrameReceiver& receiver, LineWriter& out) {
    for (std::size_t at = 0; at < head.size(); at += static_cast<std::size_t>(chunk))
        receiver.onReceive(head.subspan(at, std::min(head.size() - at, static_cast<std::size_t>(chunk))), &out);
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(chunk));
    while (!gStop && !out.failed()) {
        const long n = readSome(fd, buf.data(), chunk, fill, live || !fill);
        if (n < 0) {
            std::fprintf(stderr, "orlix-decode: read error on %s: %s\n", name.c_str(), std::strerror(errno));
            return 1;
        }
        if (n > 0) receiver.onReceive(std::span(buf.data(), static_cast<std::size_t>(n)), &out);
        if (n < chunk && (fill || n == 0)) break;  // end of input
    }
    return 0;
}

// Feeds every record of a capture to the receiver, with the record's time on
// `recordTime`. Returns the exit status.
int decodeCapture(CaptureReader& capture, FrameReceiver& receiver, LineWriter& out, CaptureTimeClock& recordTime) {
    CaptureRecord rec;
    CaptureReader::Next next = CaptureReader::Next::End;
    while (!gStop && !out.failed() && (next = capture.next(rec)) == CaptureReader::Next::Record) {
        recordTime.set(rec.timeUs);
        if (rec.portEvent()) receiver.onPortEvent();
        else receiver.onReceive(rec.bytes, &out);
    }
    capture.finish();  // an incomplete last record is logged
    if (next != CaptureReader::Next::Failed) return 0;
    std::fprintf(stderr, "orlix-decode: %s\n", capture.error().c_str());
    return 1;
}

// "3 d 04:12:09" of capture time.
std::string spanText(std::int64_t us) {
    const std::int64_t s = us / 1'000'000;
    char buf[48];
    if (s >= 86400)
        std::snprintf(buf, sizeof buf, "%lld d %02lld:%02lld:%02lld", static_cast<long long>(s / 86400),
                      static_cast<long long>(s / 3600 % 24), static_cast<long long>(s / 60 % 60),
                      static_cast<long long>(s % 60));
    else
        std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                      static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
    return buf;
}

// orlix-decode --db: the capture open in `reader` into the new database
// `dbPath`. A progress line goes to stderr when that is a terminal. Returns
// the exit status: 0 done, 1 not everything stored or the capture broken off,
// 2 the database cannot be made.
int captureToDatabaseCommand(CaptureReader& reader, const std::string& dbPath) {
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    struct stat st{};
    const std::uint64_t total =
        ::stat(reader.name().c_str(), &st) == 0 && S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
    bool shown = false;
    auto progress = [&](const CaptureProgress& p) {
        if (!terminal) return;
        char pct[16] = "";
        if (total > 0) std::snprintf(pct, sizeof pct, "%3d%% ", static_cast<int>(p.bytesRead * 100 / total));
        std::fprintf(stderr, "\r%s%s of capture time, %llu samples", pct, spanText(p.captureUs).c_str(),
                     static_cast<unsigned long long>(p.samples));
        std::fflush(stderr);
        shown = true;
    };
    const CaptureDatabaseResult r = captureToDatabase(reader, dbPath, progress);
    if (shown) std::fputc('\n', stderr);
    // Notes about the capture (an incomplete last record) are in the log.
    if (!r.ok) std::fprintf(stderr, "orlix-decode: %s\n", r.error.c_str());
    if (!r.created) return 2;
    if (r.ok && r.samples == 0)
        std::fprintf(stderr, "orlix-decode: %s spans less than one sample interval (4 s): no samples\n",
                     reader.name().c_str());
    if (terminal)
        std::fprintf(stderr, "%llu capture records, %llu samples, %lld records in %s\n",
                     static_cast<unsigned long long>(r.records), static_cast<unsigned long long>(r.samples),
                     static_cast<long long>(r.storedRecords), dbPath.c_str());
    return r.ok ? 0 : 1;
}

int run(int argc, char** argv) {
    Options o;
    if (int r = parseArgs(argc, argv, o); r != 0) return r - 1;

    int fd = STDIN_FILENO;
    bool live = false;
    std::string name = "stdin";
    if (o.serial.empty() && (o.file.empty() || o.file == "-") && ::fcntl(STDIN_FILENO, F_GETFD) < 0) {
        // Closed, not empty: reading it would pass for an empty capture.
        std::fprintf(stderr, "orlix-decode: standard input is closed; name a FILE or pipe the capture in\n");
        return 2;
    }
    if (!o.serial.empty()) {
        fd = openSerial(o.serial, o.baud);
        if (fd < 0) return 2;
        live = true;
        name = o.serial;
    } else if (!o.file.empty() && o.file != "-") {
        fd = ::open(o.file.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            std::fprintf(stderr, "orlix-decode: cannot read %s: %s\n", o.file.c_str(), std::strerror(errno));
            return 2;
        }
        name = o.file;
    }
    struct stat st{};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        std::fprintf(stderr, "orlix-decode: cannot read %s: Is a directory\n", name.c_str());
        return 2;
    }
    const bool fill = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);

    std::vector<std::uint8_t> head;
    CaptureReader capture;
    // stdin, even from a file, is read as a stream; a named file by its path.
    const InputKind kind = live ? InputKind::Raw : detectInput(fd, fill && fd != STDIN_FILENO, name, head, capture);
    if (kind == InputKind::Failed) return 2;
    if (!o.db.empty()) {
        if (kind == InputKind::Capture) return captureToDatabaseCommand(capture, o.db);
        std::fprintf(stderr, "orlix-decode: --db needs a pcap bus capture; %s holds raw bytes without times\n",
                     name.c_str());
        return 2;
    }
    // Lines are written out one by one only where someone watches them come.
    const bool lineBuffered = o.lineBuffered || live || ::isatty(STDOUT_FILENO) == 1;
    std::setvbuf(stdout, nullptr, lineBuffered ? _IOLBF : _IOFBF, lineBuffered ? 0 : 1 << 16);

    struct sigaction sa{};
    sa.sa_handler = onSignal;
    ::sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    CaptureTimeClock recordTime;  // a capture's record times
    std::unique_ptr<Clock> clock;
    if (o.clock) {
        clock = std::make_unique<ManualClock>(*o.clock);
    } else if (kind != InputKind::Capture) {
        clock = std::make_unique<SystemClock>();
    }
    FieldBoard board;
    LiveStore store;
    for (int n = 0; n < 3; ++n) store.FaultStatus[static_cast<std::size_t>(n)] = "Normal";
    EntryCollector errors;
    FrameDecoder decoder(board, store, clock ? *clock : recordTime, &errors);
    FrameReceiver receiver(decoder);
    LineWriter out(o.csv, board, store, errors);
    out.writeHeader();

    int status = kind == InputKind::Capture ? decodeCapture(capture, receiver, out, recordTime)
                                            : decodeRaw(fd, head, o.chunk, fill, live, name, receiver, out);
    if (fd != STDIN_FILENO) ::close(fd);
    if (std::fflush(stdout) != 0 && !out.failed()) out.markFailed(errno);
    // A reader that went away (a pipe into `head`) is a normal end; any other
    // failure to write the output is reported.
    if (out.failed() && out.writeErrno() != EPIPE) {
        std::fprintf(stderr, "orlix-decode: cannot write the output: %s\n", std::strerror(out.writeErrno()));
        status = 1;
    }
    return status;
}

}  // namespace
}  // namespace orlix

int main(int argc, char** argv) { return orlix::run(argc, argv); }
