// orlix-decode: the decoder's machine-readable face. Reads raw bus bytes or a
// bus capture (from a file or standard input), or any port the monitor
// reads (a serial device, a capture replayed on its clock, a remote site),
// runs it through the same receive path as the monitor window, and writes
// one line per checksum byte; or turns a capture into a sample database.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
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

#include "base/clock.h"
#include "base/json.h"
#include "capture/capture_file.h"
#include "capture/capture_input.h"
#include "comm/receive_path.h"
#include "database/sample_database.h"
#include "platform/logging.h"
#include "platform/option_reader.h"
#include "platform/quit_signals.h"
#include "sampling/capture_database.h"
#include "sources/port.h"
#include "sources/replay_clock.h"

namespace orlix {
namespace {

constexpr const char* kProgram = "orlix-decode";

ProgramText programText() {
    return {kProgram,
            {"orlix-decode [--json | --csv] [--chunk N] [--clock HH:MM:SS] [--line-buffered] [FILE | -]",
             "orlix-decode [--json | --csv] [--clock HH:MM:SS] --port PATH [--baud N]",
             "orlix-decode --db OUT.mdb CAPTURE.pcap", "orlix-decode --help | --version"},
            "Decodes bus frames and writes one line per frame. The input is raw bus\n"
            "bytes or a pcap bus capture (told apart by its first bytes): each record\n"
            "of a capture is one read (one of length 0 another port event), and the\n"
            "error-memory times are the records' times. FILE | - is the input (standard\n"
            "input for - or no FILE).\n"
            "\n"
            "--json (default) writes one JSON object per checksum byte, good or bad:\n"
            "  {\"frame\": n, \"kind\": \"A5\"|\"5A\", \"check\": \"Right\"|\"Error\",\n"
            "   \"fields\": [[text, \"#RRGGBB\"|null] x 160], \"live\": [52 values],\n"
            "   \"errors\": [{\"list\": n, \"entry\": \"<time><status>\"}, ...]}\n"
            "--csv writes a header, then one row per good frame: frame, kind and the\n"
            "live values 0..49 under the sample table's column names.",
            "Exit status: 0 done, 1 read or write error, 2 usage error or unreadable\n"
            "input (a missing file, a closed standard input, a port that cannot be\n"
            "opened)."};
}

std::vector<OptionSpec> optionSpecs() {
    return {
        {{"json"}, "", "One JSON object per checksum byte (the default)."},
        {{"csv"}, "", "A header, then one row per good frame with the 50 sample values."},
        {{"chunk"}, "N", "Hand raw input to the receiver in reads of N bytes (default 4096); each read is one "
                         "receive event."},
        {{"clock"}, "HH:MM:SS", "Time of day used for error-memory entries (default: now, or the record time of "
                                "a capture)."},
        {{"line-buffered"}, "", "Write each line out at once (so it is whenever the output is a terminal or the "
                                "input a port)."},
        {{"db"}, "OUT.mdb", "Make the sample database OUT.mdb from a capture: a sample every 4 s of capture time, "
                            "recorded as the analyzer records; never overwrites a file."},
        {{"port", "serial"}, "PATH", "Decode live from a port until interrupted or the port is lost: a serial "
                                     "device (opened read-only, 8N1), a bus capture (replayed on its own clock) "
                                     "or a remote site mqtt://host[:port]/PREFIX/SITE."},
        {{"baud"}, "N", "Line rate of a serial device for --port (default 1200)."},
        {{"tls-ca"}, "FILE", "Remote sites on mqtts://: the CA certificate to check the broker against."},
        {{"tls-cert"}, "FILE", "Remote sites on mqtts://: a client certificate."},
        {{"tls-key"}, "FILE", "Remote sites on mqtts://: the client certificate's key."},
        {{"mqtt-password-file"}, "FILE", "Remote sites: the broker password, from the first line of FILE."},
    };
}

volatile sig_atomic_t gStop = 0;
void onSignal(int) { gStop = 1; }

void fail(const std::string& msg) { std::fprintf(stderr, "%s: %s\n", kProgram, msg.c_str()); }

void appendInt(std::string& out, long long v) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

// Forms a line for every checksum byte, with the error-memory entries the
// frame added, and writes it to standard output.
class LineWriter final : public FrameObserver, public ErrorMemorySink {
public:
    LineWriter(bool csv, const FieldBoard& board, const LiveStore& store) : csv_(csv), board_(board), store_(store) {}

    void addErrorEntry(int list, const std::string& entry) override { entries_.emplace_back(list, entry); }

    void writeHeader() {
        if (!csv_) return;
        line_ = "frame,kind";
        for (int i = 0; i < kSampleValueColumns; ++i) {
            line_ += ',';
            line_ += kEmp1Columns[static_cast<std::size_t>(i)];
        }
        writeLine();
    }

    void onChecksum(int frameKind, bool good) override {
        ++frame_;
        line_.clear();
        if (csv_) {
            entries_.clear();
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
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            if (i) line_ += ',';
            line_ += "{\"list\":";
            appendInt(line_, entries_[i].first);
            line_ += ",\"entry\":";
            appendJsonString(line_, entries_[i].second);
            line_ += '}';
        }
        line_ += "]}";
        entries_.clear();
        writeLine();
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

    void writeLine() {
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
    std::vector<std::pair<int, std::string>> entries_;
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

constexpr long kBaudRates[] = {50,   75,   110,  134,  150,   200,   300,   600,    1200,
                                1800, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400};

struct Options {
    bool csv = false;
    long chunk = 4096;
    std::optional<DateTime> clock;
    std::string file;  // "" or "-" for stdin
    std::string port;
    long baud = 1200;
    bool lineBuffered = false;
    std::string db;  // --db: the database to make
    BrokerOptions siteBroker;
};

// Checks what the reader found; the exit status when the program ends here.
std::optional<int> checkOptions(const OptionReader& r, Options& o) {
    o.csv = r.isSet("csv");
    o.lineBuffered = r.isSet("line-buffered");
    o.db = r.value("db");
    o.port = r.value("port");
    o.siteBroker = {{}, r.value("mqtt-password-file"), r.value("tls-ca"), r.value("tls-cert"), r.value("tls-key")};
    if (r.isSet("chunk")) {
        const auto n = parseNumber(r.value("chunk"));
        if (!n || *n < 1 || *n > (1L << 24))
            return r.usageError("--chunk needs a whole number from 1 to 16777216, not '" + r.value("chunk") + "'");
        o.chunk = *n;
    }
    if (r.isSet("clock")) {
        o.clock = parseClock(r.value("clock"));
        if (!o.clock) return r.usageError("--clock needs a time of day HH:MM:SS, not '" + r.value("clock") + "'");
    }
    if (r.isSet("baud")) {
        const auto n = parseNumber(r.value("baud"));
        if (!n || std::find(std::begin(kBaudRates), std::end(kBaudRates), *n) == std::end(kBaudRates))
            return r.usageError("--baud needs a standard line rate (e.g. 600, 1200, 2400), not '" + r.value("baud") +
                                "'");
        if (o.port.empty()) return r.usageError("--baud applies to --port only");
        o.baud = *n;
    }
    if (r.positionals().size() > 1) return r.usageError("only one input may be named");
    if (!r.positionals().empty()) o.file = r.positionals().front();
    if (!o.port.empty() && !o.file.empty()) return r.usageError("--port and an input file exclude each other");
    if (!o.db.empty() && !o.port.empty())
        return r.usageError("--db makes a database from a capture file, not from --port");
    if (const std::string why = unusablePort(o.port); !why.empty())
        return r.usageError("--port " + portAsGiven(o.port) + ": " + why);
    if (const std::string why = checkBrokerOptions(o.siteBroker); !why.empty()) return r.usageError(why);
    return std::nullopt;
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
// the exit status: 0 done, 1 not everything stored (also a database that
// cannot be made) or the capture broken off, 2 a file of that name exists.
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
    if (!r.created) return r.existed ? 2 : 1;
    if (r.ok && r.busRecords == 0)
        std::fprintf(stderr, "orlix-decode: %s holds no bus bytes: no samples\n", reader.name().c_str());
    else if (r.ok && r.samples == 0)
        std::fprintf(stderr, "orlix-decode: %s spans less than one sample interval (4 s): no samples\n",
                     reader.name().c_str());
    if (terminal)
        std::fprintf(stderr, "%llu capture records, %llu samples, %lld records in %s\n",
                     static_cast<unsigned long long>(r.records), static_cast<unsigned long long>(r.samples),
                     static_cast<long long>(r.storedRecords), dbPath.c_str());
    return r.ok ? 0 : 1;
}

// Lines are written out one by one only where someone watches them come.
void setOutputBuffering(bool lineBuffered) {
    lineBuffered = lineBuffered || ::isatty(STDOUT_FILENO) == 1;
    std::setvbuf(stdout, nullptr, lineBuffered ? _IOLBF : _IOFBF, lineBuffered ? 0 : 1 << 16);
}

// Feeds raw bytes to the receive path in reads of `chunk` bytes: first
// `head` (bytes a pipe gave up already), then the rest of `fd`. Returns the
// exit status.
int decodeRaw(int fd, std::span<const std::uint8_t> head, long chunk, bool fill, const std::string& name,
              ReceivePath& path, const LineWriter& out) {
    for (std::size_t at = 0; at < head.size(); at += static_cast<std::size_t>(chunk))
        path.onRead(head.subspan(at, std::min(head.size() - at, static_cast<std::size_t>(chunk))));
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(chunk));
    while (!gStop && !out.failed()) {
        const long n = readSome(fd, buf.data(), chunk, fill, !fill);
        if (n < 0) {
            fail("read error on " + name + ": " + std::strerror(errno));
            return 1;
        }
        if (n > 0) path.onRead(std::span(buf.data(), static_cast<std::size_t>(n)));
        if (n < chunk && (fill || n == 0)) break;  // end of input
    }
    return 0;
}

// Feeds every record of a capture to the receive path, with the record's
// time on `recordTime`. Returns the exit status.
int decodeCapture(CaptureReader& capture, ReceivePath& path, const LineWriter& out, CaptureTimeClock& recordTime) {
    CaptureRecord rec;
    CaptureReader::Next next = CaptureReader::Next::End;
    while (!gStop && !out.failed() && (next = capture.next(rec)) == CaptureReader::Next::Record) {
        recordTime.set(rec.timeUs);
        if (rec.portEvent()) path.onPortEvent(PortTrouble::Other);
        else path.onRead(rec.bytes);
    }
    capture.finish();  // an incomplete last record is logged
    if (next != CaptureReader::Next::Failed) return 0;
    fail(capture.error());
    return 1;
}

// The end of a run: a failed output is said (a reader that went away is a
// normal end).
int endOutput(int status, LineWriter& out) {
    if (std::fflush(stdout) != 0 && !out.failed()) out.markFailed(errno);
    if (out.failed() && out.writeErrno() != EPIPE) {
        fail(std::string("cannot write the output: ") + std::strerror(out.writeErrno()));
        return 1;
    }
    return status;
}

// Opens FILE (or standard input) for decoding; -1 after a message.
int openInput(const Options& o, std::string& name) {
    name = "stdin";
    if (o.file.empty() || o.file == "-") {
        if (::fcntl(STDIN_FILENO, F_GETFD) < 0) {
            // Closed, not empty: reading it would pass for an empty capture.
            fail("standard input is closed; name a FILE or pipe the capture in");
            return -1;
        }
        return STDIN_FILENO;
    }
    name = o.file;
    const int fd = ::open(o.file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) fail("cannot read " + o.file + ": " + std::strerror(errno));
    return fd;
}

int runFile(const Options& o) {
    std::string name;
    const int fd = openInput(o, name);
    if (fd < 0) return 2;
    struct stat st{};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        fail("cannot read " + name + ": Is a directory");
        return 2;
    }
    const bool fill = S_ISREG(st.st_mode);
    std::vector<std::uint8_t> head;
    CaptureReader capture;
    std::string error;
    // stdin, even from a file, is read as a stream; a named file by its path.
    const InputKind kind = detectInput(fd, fill && fd != STDIN_FILENO, name, head, capture, error);
    if (kind == InputKind::Failed) {
        fail(error);
        return 2;
    }
    if (!o.db.empty()) {
        if (kind == InputKind::Capture) return captureToDatabaseCommand(capture, o.db);
        fail("--db needs a pcap bus capture; " + name + " holds raw bytes without times");
        return 2;
    }
    setOutputBuffering(o.lineBuffered);
    CaptureTimeClock recordTime;  // a capture's record times
    SystemClock now;
    ManualClock fixed(o.clock.value_or(0));
    const Clock& clock = o.clock ? static_cast<const Clock&>(fixed)
                                 : kind == InputKind::Capture ? static_cast<const Clock&>(recordTime) : now;
    auto path = std::make_unique<ReceivePath>(clock);
    LineWriter out(o.csv, path->board(), path->store());
    path->setFrameObserver(&out);
    path->addErrorSink(&out);
    out.writeHeader();
    const int status = kind == InputKind::Capture ? decodeCapture(capture, *path, out, recordTime)
                                                  : decodeRaw(fd, head, o.chunk, fill, name, *path, out);
    if (fd != STDIN_FILENO) ::close(fd);
    return endOutput(status, out);
}

// Ends the live run when the port is lost (a hang-up, the end of a replay,
// a remote site gone) or the output fails.
class LiveEnd final : public ReadListener {
public:
    explicit LiveEnd(const LineWriter& out) : out_(out) {}
    void onRead(std::span<const std::uint8_t>) override {
        if (out_.failed()) QCoreApplication::exit(1);
    }
    void onPortEvent(PortTrouble trouble) override {
        if (trouble == PortTrouble::Lost) QCoreApplication::exit(0);
    }

private:
    const LineWriter& out_;
};

int runPort(int argc, char** argv, const Options& o) {
    QCoreApplication app(argc, argv);
    installQtLogSink();
    SystemClock wall;
    ManualClock fixed(o.clock.value_or(0));
    ReplayClock clock(o.clock ? static_cast<const Clock&>(fixed) : wall);
    SourceSettings settings;
    settings.clock = &clock;
    settings.siteBroker = o.siteBroker;
    Port port(standardSources(settings));
    auto path = std::make_unique<ReceivePath>(clock);
    LineWriter out(o.csv, path->board(), path->store());
    path->setFrameObserver(&out);
    path->addErrorSink(&out);
    LiveEnd end(out);
    port.addListener(path.get());
    port.addListener(&end);
    port.setPath(o.port);
    port.setBaudRate(static_cast<int>(o.baud));
    setOutputBuffering(true);
    out.writeHeader();
    // The port says why it cannot be opened (one log line).
    if (port.open() != OpenResult::Ok) return 2;
    QuitSignals quit([](int) { QCoreApplication::exit(0); });
    const int status = app.exec();
    port.close();
    return endOutput(status, out);
}

int run(int argc, char** argv) {
    OptionReader reader(programText(), optionSpecs());
    if (const auto end = reader.read(argc, argv)) return *end;
    Options o;
    if (const auto end = checkOptions(reader, o)) return *end;
    ::signal(SIGPIPE, SIG_IGN);
    if (!o.port.empty()) return runPort(argc, argv, o);
    struct sigaction sa{};
    sa.sa_handler = onSignal;
    ::sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    return runFile(o);
}

}  // namespace
}  // namespace orlix

int main(int argc, char** argv) { return orlix::run(argc, argv); }
