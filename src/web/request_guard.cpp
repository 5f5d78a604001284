#include "web/request_guard.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace orlix::web {
namespace {

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x >= 'A' && x <= 'Z' ? x + 32 : x) == (y >= 'A' && y <= 'Z' ? y + 32 : y);
           });
}

// The head's header lines, as the guard needs them.
struct HeadFacts {
    std::optional<std::uint64_t> length;
    bool lengthsDiffer = false;
    bool badLength = false;
    bool chunked = false;
    bool upgrade = false;
};

void takeLine(std::string_view line, HeadFacts& f) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return;
    const std::string_view name = trimmed(line.substr(0, colon));
    const std::string_view value = trimmed(line.substr(colon + 1));
    if (sameName(name, "content-length")) {
        std::uint64_t n = 0;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
        if (value.empty() || ec != std::errc() || end != value.data() + value.size()) {
            f.badLength = true;
        } else {
            if (f.length && *f.length != n) f.lengthsDiffer = true;
            f.length = n;
        }
    } else if (sameName(name, "transfer-encoding")) {
        f.chunked = true;  // any coding leaves the length unknown
    } else if (sameName(name, "upgrade")) {
        f.upgrade = !value.empty();
    }
}

}  // namespace

int RequestGuard::statusOf(Verdict v) {
    switch (v) {
        case Verdict::HeadTooLarge: return 431;
        case Verdict::BodyTooLarge: return 413;
        case Verdict::LengthRequired: return 411;
        case Verdict::Malformed: return 400;
        default: return 0;
    }
}

RequestGuard::Verdict RequestGuard::feed(std::span<const std::uint8_t> bytes) {
    std::size_t at = 0;
    while (verdict_ == Verdict::Pass && at < bytes.size()) {
        if (bodyLeft_ > 0) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(bodyLeft_, bytes.size() - at));
            bodyLeft_ -= n;
            at += n;
            if (bodyLeft_ == 0 && upgradeAfterBody_) verdict_ = Verdict::Upgraded;
            continue;
        }
        const char c = static_cast<char>(bytes[at++]);
        // Blank lines between requests are allowed (and ignored) by HTTP/1.1.
        if (head_.empty() && (c == '\r' || c == '\n')) continue;
        head_ += c;
        if (head_.size() > kMaxHeadBytes) {
            verdict_ = Verdict::HeadTooLarge;
        } else if (c == '\n' && (head_.ends_with("\n\n") || head_.ends_with("\n\r\n"))) {
            verdict_ = endOfHead();
        }
    }
    return verdict_;
}

RequestGuard::Verdict RequestGuard::endOfHead() {
    HeadFacts f;
    std::string_view rest = head_;
    const std::size_t firstLineEnd = rest.find('\n');
    rest.remove_prefix(firstLineEnd + 1);  // the request line
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        takeLine(rest.substr(0, end), f);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    }
    head_.clear();
    if (f.badLength || f.lengthsDiffer) return Verdict::Malformed;
    if (f.chunked) return Verdict::LengthRequired;
    if (f.length && *f.length > kMaxBodyBytes) return Verdict::BodyTooLarge;
    bodyLeft_ = f.length.value_or(0);
    upgradeAfterBody_ = f.upgrade;
    if (f.upgrade && bodyLeft_ == 0) return Verdict::Upgraded;
    return Verdict::Pass;
}

}  // namespace orlix::web
