#include "decode_capture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/capture_file.h"
#include "sampling/capture_database.h"

namespace orlix {

long readHead(int fd, std::uint8_t* head, std::size_t want) {
    std::size_t got = 0;
    while (got < want) {
        const ssize_t n = ::read(fd, head + got, want - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return static_cast<long>(got);
}

namespace {

struct PrefixedFd {
    int fd;
    std::vector<std::uint8_t> prefix;
    std::size_t at = 0;
};

ssize_t prefixedRead(void* cookie, char* buf, std::size_t size) {
    auto* p = static_cast<PrefixedFd*>(cookie);
    if (p->at < p->prefix.size()) {
        const std::size_t n = std::min(size, p->prefix.size() - p->at);
        std::memcpy(buf, p->prefix.data() + p->at, n);
        p->at += n;
        return static_cast<ssize_t>(n);
    }
    for (;;) {
        const ssize_t n = ::read(p->fd, buf, size);
        if (n < 0 && errno == EINTR) continue;
        return n;
    }
}

int prefixedClose(void* cookie) {
    delete static_cast<PrefixedFd*>(cookie);
    return 0;
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

}  // namespace

std::FILE* streamWithPrefix(int fd, std::vector<std::uint8_t> prefix) {
    auto* cookie = new PrefixedFd{fd, std::move(prefix)};
    cookie_io_functions_t io{};
    io.read = prefixedRead;
    io.close = prefixedClose;
    std::FILE* f = ::fopencookie(cookie, "rb", io);
    if (!f) delete cookie;
    return f;
}

bool openCapture(CaptureReader& reader, const std::string& name, bool seekable, int fd,
                 std::vector<std::uint8_t> head) {
    const CaptureReader::Open o =
        seekable ? reader.open(name) : reader.openStream(streamWithPrefix(fd, std::move(head)), name);
    if (o == CaptureReader::Open::Ok) return true;
    std::fprintf(stderr, "orlix-decode: %s\n", reader.error().c_str());
    return false;
}

InputKind detectInput(int fd, bool seekable, const std::string& name, std::vector<std::uint8_t>& head,
                      CaptureReader& capture) {
    head.resize(4);
    const long n = readHead(fd, head.data(), head.size());
    if (n < 0) {
        std::fprintf(stderr, "orlix-decode: read error on %s: %s\n", name.c_str(), std::strerror(errno));
        return InputKind::Failed;
    }
    head.resize(static_cast<std::size_t>(n));
    const bool isCapture = looksLikeCapture(head);
    if (seekable) {
        if (::lseek(fd, 0, SEEK_SET) != 0) {
            std::fprintf(stderr, "orlix-decode: cannot read %s again: %s\n", name.c_str(), std::strerror(errno));
            return InputKind::Failed;
        }
        head.clear();
    }
    if (!isCapture) return InputKind::Raw;
    return openCapture(capture, name, seekable, fd, std::move(head)) ? InputKind::Capture : InputKind::Failed;
}

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

}  // namespace orlix
