// The guard in front of Qt's HTTP parser: what it lets through and what it
// stops, whatever way the bytes are cut into reads.
#include "web/request_guard.h"

#include <gtest/gtest.h>

#include <string>

namespace orlix::web {
namespace {

using V = RequestGuard::Verdict;

V feedAll(RequestGuard& g, const std::string& s, std::size_t chunk) {
    V v = V::Pass;
    for (std::size_t at = 0; at < s.size(); at += chunk) {
        const std::string piece = s.substr(at, chunk);
        v = g.feed({reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size()});
    }
    return v;
}

V verdictOf(const std::string& s) {
    // Every cut must agree with the one-read verdict.
    RequestGuard whole;
    const V v = feedAll(whole, s, s.size() + 1);
    for (const std::size_t chunk : {1u, 3u, 17u}) {
        RequestGuard cut;
        EXPECT_EQ(feedAll(cut, s, chunk), v) << "chunk " << chunk;
    }
    return v;
}

TEST(RequestGuard, PassesRequestsWithBodiesAndPipelinedRequests) {
    const std::string post = "POST /api/login HTTP/1.1\r\nHost: h\r\nContent-Length: 5\r\n\r\nhello";
    EXPECT_EQ(verdictOf(post), V::Pass);
    EXPECT_EQ(verdictOf(post + post + "GET / HTTP/1.1\r\nHost: h\r\n\r\n"), V::Pass);
    // The body's bytes are not taken for the next head, even when they look like one.
    EXPECT_EQ(verdictOf("POST / HTTP/1.1\r\nContent-Length: 4\r\n\r\n\r\n\r\nGET / HTTP/1.1\r\n\r\n"), V::Pass);
    EXPECT_EQ(verdictOf("GET / HTTP/1.1\nHost: h\n\n"), V::Pass);  // bare line feeds
}

TEST(RequestGuard, RefusesOversizedHeadsAndBodiesBeforeTheyArrive) {
    EXPECT_EQ(verdictOf("GET / HTTP/1.1\r\nX: " + std::string(RequestGuard::kMaxHeadBytes, 'a') + "\r\n\r\n"),
              V::HeadTooLarge);
    // The declared length decides, before a byte of the body came.
    EXPECT_EQ(verdictOf("POST / HTTP/1.1\r\nContent-Length: 2000000000\r\n\r\n"), V::BodyTooLarge);
    EXPECT_EQ(verdictOf("POST / HTTP/1.1\r\nContent-Length: " + std::to_string(RequestGuard::kMaxBodyBytes + 1) +
                        "\r\n\r\n"),
              V::BodyTooLarge);
    EXPECT_EQ(verdictOf("POST / HTTP/1.1\r\nContent-Length: " + std::to_string(RequestGuard::kMaxBodyBytes) +
                        "\r\n\r\n" + std::string(RequestGuard::kMaxBodyBytes, 'x')),
              V::Pass);
    EXPECT_EQ(verdictOf("POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n"),
              V::LengthRequired);
}

TEST(RequestGuard, RefusesLengthsThatCannotBeReadOrDisagree) {
    EXPECT_EQ(verdictOf("POST / HTTP/1.1\r\nContent-Length: 12a\r\n\r\n"), V::Malformed);
    EXPECT_EQ(verdictOf("POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n"), V::Malformed);
    EXPECT_EQ(verdictOf("POST / HTTP/1.1\r\nContent-Length: 99999999999999999999999\r\n\r\n"), V::Malformed);
    EXPECT_EQ(verdictOf("POST / HTTP/1.1\r\nContent-Length: 3\r\ncontent-length: 4\r\n\r\n"), V::Malformed);
    EXPECT_EQ(verdictOf("POST / HTTP/1.1\r\nContent-Length: 3\r\nContent-Length: 3\r\n\r\nabc"), V::Pass);
}

TEST(RequestGuard, AnUpgradedConnectionIsNoLongerReadAndAVerdictStays) {
    RequestGuard g;
    const std::string up = "GET /live HTTP/1.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n\r\n";
    EXPECT_EQ(feedAll(g, up, 7), V::Upgraded);
    const std::string frames(100000, '\xff');  // WebSocket frames, no HTTP at all
    EXPECT_EQ(feedAll(g, frames, 4096), V::Upgraded);

    RequestGuard refused;
    feedAll(refused, "POST / HTTP/1.1\r\nContent-Length: x\r\n\r\n", 5);
    EXPECT_EQ(feedAll(refused, "GET / HTTP/1.1\r\n\r\n", 100), V::Malformed);
    EXPECT_EQ(RequestGuard::statusOf(V::Malformed), 400);
    EXPECT_EQ(RequestGuard::statusOf(V::BodyTooLarge), 413);
    EXPECT_EQ(RequestGuard::statusOf(V::Upgraded), 0);
}

}  // namespace
}  // namespace orlix::web
