#include "capture/capture_input.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "capture/capture_file.h"

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
                 std::vector<std::uint8_t> head, std::string& error) {
    const CaptureReader::Open o =
        seekable ? reader.open(name) : reader.openStream(streamWithPrefix(fd, std::move(head)), name);
    if (o == CaptureReader::Open::Ok) return true;
    error = reader.error();
    return false;
}

InputKind detectInput(int fd, bool seekable, const std::string& name, std::vector<std::uint8_t>& head,
                      CaptureReader& capture, std::string& error) {
    head.resize(4);
    const long n = readHead(fd, head.data(), head.size());
    if (n < 0) {
        error = "read error on " + name + ": " + std::strerror(errno);
        return InputKind::Failed;
    }
    head.resize(static_cast<std::size_t>(n));
    const bool isCapture = looksLikeCapture(head);
    if (seekable) {
        if (::lseek(fd, 0, SEEK_SET) != 0) {
            error = "cannot read " + name + " again: " + std::strerror(errno);
            return InputKind::Failed;
        }
        head.clear();
    }
    if (!isCapture) return InputKind::Raw;
    return openCapture(capture, name, seekable, fd, std::move(head), error) ? InputKind::Capture : InputKind::Failed;
}

}  // namespace orlix
