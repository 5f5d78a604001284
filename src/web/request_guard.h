#pragma once
// Limits on what one connection may send before the HTTP server parses it.
// Qt HTTP Server 6.4 keeps a whole request in memory (the socket's read
// transaction and the parsed body) with no bound, and reserves the body's
// declared Content-Length at its first byte; so every byte of a connection
// passes through a guard first, which knows just enough HTTP/1.1 to find
// where a request's head and body end:
//
//  - a head (request line and header lines) of at most kMaxHeadBytes;
//  - a body of at most kMaxBodyBytes, announced by Content-Length (a
//    chunked body is refused: the pages always send a length);
//  - after a request that asks for an upgrade (the WebSocket), the bytes are
//    no longer HTTP and pass without a look.
//
// Several requests may follow one another on a connection; each is checked.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace orlix::web {

class RequestGuard {
public:
    static constexpr std::size_t kMaxHeadBytes = 16 * 1024;
    static constexpr std::size_t kMaxBodyBytes = 64 * 1024;

    enum class Verdict {
        Pass,           // nothing wrong so far
        Upgraded,       // the rest of the connection is not HTTP
        HeadTooLarge,   // 431
        BodyTooLarge,   // 413
        LengthRequired, // 411: chunked or otherwise unmeasured body
        Malformed,      // 400: a Content-Length that is no number, or two that differ
    };

    // The bytes that arrived next. Once a verdict other than Pass is given
    // it stays.
    Verdict feed(std::span<const std::uint8_t> bytes);
    Verdict verdict() const { return verdict_; }

    // The HTTP status that goes with a refusal (0 for Pass and Upgraded).
    static int statusOf(Verdict v);

private:
    Verdict endOfHead();
    Verdict verdict_ = Verdict::Pass;
    std::string head_;                 // the head read so far
    std::uint64_t bodyLeft_ = 0;       // body bytes still to come
    bool upgradeAfterBody_ = false;
};

}  // namespace orlix::web
