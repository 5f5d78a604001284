#include "fleet/fleet_options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace orlix {
namespace {

constexpr std::int64_t kSecondUs = 1'000'000;

// splitmix64, as the plant model draws its numbers: the same everywhere.
std::uint64_t nextRandom(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// A whole number from 1 to `sites`, or 0.
std::size_t siteNumber(std::string_view text, std::size_t sites) {
    std::size_t n = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), n);
    if (r.ec != std::errc{} || r.ptr != text.data() + text.size() || n < 1 || n > sites) return 0;
    return n;
}

}  // namespace

std::string fleetSiteName(const std::string& prefix, std::size_t index) {
    char digits[24];
    std::snprintf(digits, sizeof digits, "%04zu", index + 1);
    return prefix + digits;
}

std::optional<std::int64_t> parseDuration(std::string_view text) {
    double unit = 1;
    if (!text.empty()) {
        switch (text.back()) {
            case 's': unit = 1; break;
            case 'm': unit = 60; break;
            case 'h': unit = 3600; break;
            case 'd': unit = 86400; break;
            default: unit = 0; break;
        }
        if (unit != 0) text.remove_suffix(1);
        else unit = 1;
    }
    double value = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (text.empty() || r.ec != std::errc{} || r.ptr != text.data() + text.size()) return std::nullopt;
    const double us = value * unit * static_cast<double>(kSecondUs);
    // Up to about a thousand years: anything longer is a typing error.
    if (!(us >= 0 && us < 3.2e16)) return std::nullopt;
    return static_cast<std::int64_t>(std::llround(us));
}

std::optional<FleetOutage> parseOutage(std::string_view text, const std::string& prefix, std::size_t sites,
                                       std::string& error) {
    const std::size_t c2 = text.rfind(':');
    const std::size_t c1 = c2 == std::string_view::npos || c2 == 0 ? std::string_view::npos : text.rfind(':', c2 - 1);
    if (c1 == std::string_view::npos) {
        error = "needs SITE:AFTER:FOR";
        return std::nullopt;
    }
    const std::string_view site = text.substr(0, c1);
    std::size_t number = siteNumber(site, sites);
    for (std::size_t i = 0; number == 0 && i < sites && site.starts_with(prefix); ++i)
        if (fleetSiteName(prefix, i) == site) number = i + 1;
    if (number == 0) {
        error = "no site " + std::string(site) + " among " + fleetSiteName(prefix, 0) + " ... " +
                fleetSiteName(prefix, sites - 1);
        return std::nullopt;
    }
    const auto after = parseDuration(text.substr(c1 + 1, c2 - c1 - 1));
    const auto span = parseDuration(text.substr(c2 + 1));
    if (!after || !span || *span == 0) {
        error = "AFTER and FOR need durations like 90s, 15m, 2h (FOR above 0)";
        return std::nullopt;
    }
    return FleetOutage{number - 1, *after, *span};
}

std::vector<FleetOutage> randomOutages(std::size_t count, std::uint32_t seed, std::size_t sites, std::int64_t spanUs) {
    constexpr std::int64_t kShortest = 120 * kSecondUs, kLongest = 600 * kSecondUs;
    std::vector<FleetOutage> out;
    if (sites == 0) return out;
    std::uint64_t state = 0x6F75746167657321ull ^ seed;  // a stream apart from the plants'
    for (std::size_t n = 0; n < count; ++n) {
        FleetOutage o;
        o.site = static_cast<std::size_t>(nextRandom(state) % sites);
        o.forUs = kShortest + static_cast<std::int64_t>(nextRandom(state) % (kLongest - kShortest + 1));
        const std::int64_t room = std::max<std::int64_t>(spanUs - o.forUs, 1);
        o.afterUs = static_cast<std::int64_t>(nextRandom(state) % static_cast<std::uint64_t>(room));
        out.push_back(o);
    }
    return out;
}

}  // namespace orlix
