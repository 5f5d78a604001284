// Any bytes as what a browser sends the office's pages: a connection's
// bytes through the request guard (in reads cut where the input says), a
// Cookie header, query parameters, a JSON body and its members, an Origin,
// and --http's address. Nothing crashes; what is taken is in its form.
#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "web/http_address.h"
#include "web/http_input.h"
#include "web/request_guard.h"

namespace {

using namespace orlix::web;

void check(bool ok) {
    if (!ok) std::abort();
}

void guard(std::string_view text) {
    RequestGuard whole, cut;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const RequestGuard::Verdict v = whole.feed({bytes, text.size()});
    // The same bytes in reads of 1..7 bytes come to the same verdict.
    const std::size_t step = text.empty() ? 1 : static_cast<std::size_t>(bytes[0] % 7) + 1;
    for (std::size_t at = 0; at < text.size(); at += step) cut.feed({bytes + at, std::min(step, text.size() - at)});
    check(cut.verdict() == v);
    const int status = RequestGuard::statusOf(v);
    check(status == 0 || (status >= 400 && status < 500));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    guard(text);
    if (const auto token = sessionToken(text)) check(token->size() == kSessionTokenChars);
    if (const auto t = parseInstant(text)) check(text.size() >= 20);
    if (const auto n = parseBoundedInt(text, -5, 5)) check(*n >= -5 && *n <= 5);
    if (const auto k = valueColumnIndex(text)) check(*k >= 0 && *k < 50);
    const QByteArray body(text.data(), static_cast<qsizetype>(size));
    if (const auto o = jsonObjectBody(body))
        for (const char* name : {"name", "password", "site", "until"})
            if (const auto s = stringMember(*o, name, 64)) check(!s->empty() && s->size() <= 64);
    originFits(text, "127.0.0.1:8080");
    std::string error;
    if (!parseHttpAddress(text, error)) check(!error.empty());
    return 0;
}
