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
#include "platform/std_output.h"
#include "platform/version.h"

namespace {

constexpr const char* kUsage =
    "usage: orlix-plant-sim [--seed N] [--speed K] [--frames N] [--capture FILE]\n"
    "                       [--link PATH | --stdout]\n"
    "       orlix-plant-sim --help | --version\n"
    "\n"
    "Writes the bus frames of a simulated plant (alternating A5 and 5A frames,\n"
    "slowly varying values, a fault now and then, an occasional corrupted frame\n"
    "and a little line noise) paced at the real line rate of 1200 baud.\n"
    "\n"
    "  --seed N        the plant's random seed (default 1); equal seeds give\n"
    "                  equal byte streams\n"
    "  --speed K       K times the real pace (default 1); 0 sends as fast as the\n"
    "                  reader takes the bytes\n"
    "  --frames N      stop after N frames (default: run until SIGINT/SIGTERM)\n"
    "  --capture FILE  also write what is sent to FILE, a pcap bus capture: one\n"
    "                  record per frame, stamped with its send time (an\n"
    "                  existing capture is continued)\n"
    "  --link PATH     make a symbolic link PATH to the port (removed at exit)\n"
    "  --stdout        write the bytes to stdout instead of a pseudo-terminal\n"
    "\n"
    "Without --stdout the path of the port to open is printed on the first line\n"
    "of stdout.\n";

volatile sig_atomic_t gStop = 0;
void onSignal(int) { gStop = 1; }

bool parseU64(std::string_view s, unsigned long long& v) {
    auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    return r.ec == std::errc{} && r.ptr == s.data() + s.size();
}

int usageError(const std::string& msg) {
    std::fprintf(stderr, "orlix-plant-sim: %s\nTry 'orlix-plant-sim --help'.\n", msg.c_str());
    return 2;
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
        capture.reset();  // flushes
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
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (a == "--help" || a == "-h") {
            return orlix::writeStdout("orlix-plant-sim", kUsage) ? 0 : 1;
        } else if (a == "--version") {
            return orlix::writeStdout("orlix-plant-sim", std::string("orlix-plant-sim ") + orlix::versionText() + "\n")
                       ? 0
                       : 1;
        } else if (a == "--seed") {
            const char* v = value();
            if (!v || !parseU64(v, o.seed) || o.seed > 0xFFFFFFFFull) return usageError("--seed needs a number 0..4294967295");
        } else if (a == "--frames") {
            const char* v = value();
            if (!v || !parseU64(v, o.frames)) return usageError("--frames needs a whole number");
            o.framesGiven = true;
        } else if (a == "--speed") {
            const char* v = value();
            char* end = nullptr;
            if (v) o.speed = std::strtod(v, &end);
            if (!v || end == v || *end != '\0' || !(o.speed >= 0) || o.speed > 1e6)
                return usageError("--speed needs a number from 0 to 1000000");
        } else if (a == "--capture") {
            const char* v = value();
            if (!v) return usageError("--capture needs a file name");
            o.capturePath = v;
        } else if (a == "--link") {
            const char* v = value();
            if (!v) return usageError("--link needs a path");
            o.linkPath = v;
        } else if (a == "--stdout") {
            o.toStdout = true;
        } else {
            return usageError("unknown argument '" + std::string(a) + "'");
        }
    }
    if (o.toStdout && !o.linkPath.empty()) return usageError("--link and --stdout exclude each other");
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
        if (sim.capture && !sim.capture->write(sentAt, bytes)) {
            std::fprintf(stderr, "orlix-plant-sim: %s\n", sim.capture->error().c_str());
            return 1;
        }
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
    return status;
}

}  // namespace

int main(int argc, char** argv) { return run(argc, argv); }
