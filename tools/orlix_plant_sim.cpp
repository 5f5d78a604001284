// orlix-plant-sim: a simulated plant on a virtual serial port. Opens a
// pseudo-terminal pair, prints the port a monitor should open, and writes the
// plant model's frames paced at the line rate (1200 baud, 10 bits a byte).
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/plant_model.h"
#include "capture/capture_writer.h"
#include "base/clock.h"
#include "platform/option_reader.h"

namespace {

orlix::ProgramText programText() {
    return {"orlix-plant-sim",
            {"orlix-plant-sim [--seed N] [--speed K] [--frames N] [--capture FILE] [--link PATH | --stdout]",
             "orlix-plant-sim --help | --version"},
            "Writes the bus frames of a simulated plant (alternating A5 and 5A frames,\n"
            "slowly varying values, a fault now and then, an occasional corrupted frame\n"
            "and a little line noise) paced at the real line rate of 1200 baud.",
            "Without --stdout the path of the port to open is printed on the first line\n"
            "of stdout.\n"
            "\n"
            "Exit status: 0 done, 1 the capture could not be written whole, 2 usage\n"
            "error or a capture or port that cannot be opened."};
}

std::vector<orlix::OptionSpec> optionSpecs() {
    return {{{"seed"}, "N", "The plant's random seed (default 1); equal seeds give equal byte streams."},
            {{"speed"}, "K", "K times the real pace (default 1); 0 sends as fast as the reader takes the bytes."},
            {{"frames"}, "N", "Stop after N frames (default: run until SIGINT/SIGTERM)."},
            {{"capture"}, "FILE", "Also write what is sent to FILE, a pcap bus capture: one record per frame, "
                                  "stamped with its send time (an existing capture is continued)."},
            {{"link"}, "PATH", "Make a symbolic link PATH to the port (removed at exit)."},
            {{"stdout"}, "", "Write the bytes to standard output instead of a pseudo-terminal."}};
}

volatile sig_atomic_t gStop = 0;
void onSignal(int) { gStop = 1; }

bool parseU64(std::string_view s, unsigned long long& v) {
    auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    return r.ec == std::errc{} && r.ptr == s.data() + s.size();
}

void addNanos(timespec& t, double seconds) {
    const long long ns = static_cast<long long>(seconds * 1e9);
    t.tv_sec += static_cast<time_t>(ns / 1000000000LL);
    t.tv_nsec += static_cast<long>(ns % 1000000000LL);
    if (t.tv_nsec >= 1000000000L) {
        t.tv_nsec -= 1000000000L;
        ++t.tv_sec;
    }
}

// SIGINT, SIGTERM and SIGHUP end the run in order (the link is removed);
// a reader that goes away is seen as a failed write.
void catchStopSignals() {
    struct sigaction sa{};
    sa.sa_handler = onSignal;
    ::sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    // A file-size limit makes a write fail (and be said) instead of ending
    // the process without a word.
    ::signal(SIGXFSZ, SIG_IGN);
}

// Sleeps until `deadline`; false when a stop signal arrived.
bool sleepUntil(const timespec& deadline) {
    while (!gStop) {
        const int r = ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr);
        if (r == 0) return true;
        if (r != EINTR) return true;
    }
    return false;
}

struct Sim {
    int out = -1;        // pty master or stdout
    int slave = -1;      // our own hold on the pty's slave side
    bool pty = false;
    std::unique_ptr<orlix::CaptureWriter> capture;
    bool captureWhole = true;  // every frame sent reached the capture
    std::uint64_t lostFrames = 0, writtenFrames = 0;
    std::string link;

    // Writes all bytes. On a pseudo-terminal nobody may be reading: when its
    // buffer is full the unread bytes are dropped, as on a bus line nobody
    // listens to. Returns false when the reader is gone (stdout closed).
    bool write(const std::vector<std::uint8_t>& bytes) {
        std::size_t done = 0;
        int fullRounds = 0;
        while (done < bytes.size() && !gStop) {
            const ssize_t n = ::write(out, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == EAGAIN && pty) {
                if (++fullRounds > 2) return true;  // give up on this frame
                ::tcflush(slave, TCIFLUSH);
                continue;
            }
            if (n < 0 && errno == EAGAIN) {
                timespec t{0, 5000000};
                ::nanosleep(&t, nullptr);
                continue;
            }
            return false;
        }
        return true;
    }

    // Gives a reader up to `seconds` to take what is still queued.
    void drain(double seconds) const {
        if (!pty) return;
        for (int i = 0; i < static_cast<int>(seconds * 50) && !gStop; ++i) {
            int queued = 0;
            if (::ioctl(slave, FIONREAD, &queued) != 0 || queued == 0) return;
            timespec t{0, 20000000};
            ::nanosleep(&t, nullptr);
        }
    }

    void close() {
        if (!link.empty()) ::unlink(link.c_str());
        if (capture && !capture->close()) captureWhole = false;
        if (capture && capture->recordsLost() > 0) captureWhole = false;
        if (capture) lostFrames = capture->recordsLost();
        if (capture) writtenFrames = capture->recordsWritten();
        capture.reset();
        if (pty) {
            ::close(out);
            ::close(slave);
        }
    }
};

int openPty(Sim& sim, std::string& path) {
    const int m = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m < 0 || ::grantpt(m) != 0 || ::unlockpt(m) != 0) {
        std::fprintf(stderr, "orlix-plant-sim: cannot open a pseudo-terminal: %s\n", std::strerror(errno));
        return -1;
    }
    const char* name = ::ptsname(m);
    if (name == nullptr) {
        std::fprintf(stderr, "orlix-plant-sim: cannot name the pseudo-terminal: %s\n", std::strerror(errno));
        return -1;
    }
    path = name;
    // Hold the slave side open ourselves so the port exists (and writes
    // succeed) while no monitor has it open, and make it raw so every byte
    // arrives unchanged (no CR/LF mapping, no echo).
    const int s = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (s < 0) {
        std::fprintf(stderr, "orlix-plant-sim: cannot open %s: %s\n", name, std::strerror(errno));
        return -1;
    }
    termios t{};
    if (::tcgetattr(s, &t) == 0) {
        ::cfmakeraw(&t);
        ::cfsetispeed(&t, B1200);
        ::cfsetospeed(&t, B1200);
        ::tcsetattr(s, TCSANOW, &t);
    }
    ::fcntl(m, F_SETFL, ::fcntl(m, F_GETFL) | O_NONBLOCK);
    sim.out = m;
    sim.slave = s;
    sim.pty = true;
    return 0;
}

struct Options {
    unsigned long long seed = 1, frames = 0;
    bool framesGiven = false, toStdout = false;
    double speed = 1;
    std::string capturePath, linkPath;
};

// Reads the command line into `o`. Returns the exit status when the program
// ends here (help, version, a usage error), otherwise -1.
int parseArgs(int argc, char** argv, Options& o) {
    orlix::OptionReader r(programText(), optionSpecs());
    if (const auto end = r.read(argc, argv)) return *end;
    if (!r.positionals().empty()) return r.usageError("unexpected argument '" + r.positionals().front() + "'");
    if (r.isSet("seed") && (!parseU64(r.value("seed"), o.seed) || o.seed > 0xFFFFFFFFull))
        return r.usageError("--seed needs a number 0..4294967295");
    if (r.isSet("frames")) {
        if (!parseU64(r.value("frames"), o.frames)) return r.usageError("--frames needs a whole number");
        o.framesGiven = true;
    }
    if (r.isSet("speed")) {
        const std::string v = r.value("speed");
        char* end = nullptr;
        o.speed = std::strtod(v.c_str(), &end);
        if (v.empty() || *end != '\0' || !(o.speed >= 0) || o.speed > 1e6)
            return r.usageError("--speed needs a number from 0 to 1000000");
    }
    o.capturePath = r.value("capture");
    if (r.isSet("capture") && o.capturePath.empty()) return r.usageError("--capture needs a file name");
    o.linkPath = r.value("link");
    if (r.isSet("link") && o.linkPath.empty()) return r.usageError("--link needs a path");
    o.toStdout = r.isSet("stdout");
    if (o.toStdout && !o.linkPath.empty()) return r.usageError("--link and --stdout exclude each other");
    return -1;
}

// Opens the capture file and the port (or stdout), makes the link and
// prints the port's path. Returns the exit status on failure, otherwise -1.
int openOutputs(Sim& sim, const Options& o) {
    if (!o.capturePath.empty()) {
        sim.capture = std::make_unique<orlix::CaptureWriter>(o.capturePath);
        if (!sim.capture->open(orlix::unixMicrosNow())) {
            std::fprintf(stderr, "orlix-plant-sim: %s\n", sim.capture->error().c_str());
            return 2;
        }
    }
    if (o.toStdout) {
        sim.out = STDOUT_FILENO;
        return -1;
    }
    std::string path;
    if (openPty(sim, path) != 0) return 1;
    if (!o.linkPath.empty()) {
        struct stat st{};
        if (::lstat(o.linkPath.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) ::unlink(o.linkPath.c_str());
        if (::symlink(path.c_str(), o.linkPath.c_str()) != 0) {
            std::fprintf(stderr, "orlix-plant-sim: cannot make the link %s: %s\n", o.linkPath.c_str(),
                         std::strerror(errno));
            return 1;
        }
        sim.link = o.linkPath;
    }
    std::printf("%s\n", path.c_str());
    std::fflush(stdout);
    return -1;
}

// Writes the plant's frames at the paced rate until the frame count, a stop
// signal or a gone reader ends it. Returns the exit status.
int streamFrames(Sim& sim, const Options& o) {
    orlix::PlantModel plant(static_cast<std::uint32_t>(o.seed));
    std::vector<std::uint8_t> bytes;
    timespec next{};
    ::clock_gettime(CLOCK_MONOTONIC, &next);
    for (unsigned long long n = 0; !gStop && (!o.framesGiven || n < o.frames); ++n) {
        bytes.clear();
        plant.appendNextFrame(bytes);
        const std::int64_t sentAt = orlix::unixMicrosNow();
        if (!sim.write(bytes)) break;  // the reader went away
        // A capture that cannot be written has said why (orlix.capture).
        if (sim.capture && !sim.capture->write(sentAt, bytes)) return 1;
        if (o.speed > 0) {
            addNanos(next, static_cast<double>(bytes.size()) * 10.0 / 1200.0 / o.speed);
            if (!sleepUntil(next)) break;
        }
    }
    return 0;
}

int run(int argc, char** argv) {
    Options o;
    if (const int status = parseArgs(argc, argv, o); status >= 0) return status;
    catchStopSignals();
    Sim sim;
    if (const int status = openOutputs(sim, o); status >= 0) {
        sim.close();
        return status;
    }
    const int status = streamFrames(sim, o);
    sim.drain(2.0);
    sim.close();
    if (!sim.captureWhole) {
        std::fprintf(stderr, "orlix-plant-sim: the capture %s is incomplete: %llu of %llu records were written\n",
                     o.capturePath.c_str(), static_cast<unsigned long long>(sim.writtenFrames),
                     static_cast<unsigned long long>(sim.writtenFrames + sim.lostFrames));
        return 1;
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) { return run(argc, argv); }
