// The fleet's own texts on the command line: durations, outages, site names,
// and the outages drawn from a seed.
#include "fleet/fleet_options.h"

#include <gtest/gtest.h>

#include <set>

namespace orlix {
namespace {

constexpr std::int64_t kSecond = 1'000'000;

TEST(FleetOptions, DurationsTakeAUnitAndRefuseTheRest) {
    EXPECT_EQ(parseDuration("90"), 90 * kSecond);
    EXPECT_EQ(parseDuration("90s"), 90 * kSecond);
    EXPECT_EQ(parseDuration("15m"), 900 * kSecond);
    EXPECT_EQ(parseDuration("1.5h"), 5400 * kSecond);
    EXPECT_EQ(parseDuration("2d"), 172800 * kSecond);
    EXPECT_EQ(parseDuration("0.25"), kSecond / 4);
    EXPECT_EQ(parseDuration("0"), 0);
    for (const char* bad : {"", "s", "-5s", "5x", "5 s", "1e3", "m5", "nan", "inf", "99999999999999d", "1h30m"})
        EXPECT_FALSE(parseDuration(bad)) << bad;
}

// Sites are numbered from 1 with at least four digits; an outage names one
// by its name or number.
TEST(FleetOptions, AnOutageNamesItsSiteByNameOrNumber) {
    EXPECT_EQ(fleetSiteName("site", 0), "site0001");
    EXPECT_EQ(fleetSiteName("s", 12344), "s12345");
    std::string error;
    const auto byName = parseOutage("site0003:10m:90s", "site", 5, error);
    ASSERT_TRUE(byName) << error;
    EXPECT_EQ(byName->site, 2u);
    EXPECT_EQ(byName->afterUs, 600 * kSecond);
    EXPECT_EQ(byName->forUs, 90 * kSecond);
    const auto byNumber = parseOutage("5:0:1h", "site", 5, error);
    ASSERT_TRUE(byNumber) << error;
    EXPECT_EQ(byNumber->site, 4u);
    EXPECT_EQ(byNumber->afterUs, 0);
    // A prefix that ends in digits still finds its sites by name.
    const auto digits = parseOutage("b70012:1m:1m", "b7", 20, error);
    ASSERT_TRUE(digits) << error;
    EXPECT_EQ(digits->site, 11u);

    const std::pair<const char*, const char*> refused[] = {
        {"site0006:1m:1m", "no site site0006 among site0001 ... site0005"},
        {"0:1m:1m", "no site 0 among"},
        {"other0001:1m:1m", "no site other0001"},
        {"site0001:1m", "needs SITE:AFTER:FOR"},
        {"site0001", "needs SITE:AFTER:FOR"},
        {"site0001:1m:0", "FOR above 0"},
        {"site0001:soon:1m", "AFTER and FOR need durations"},
    };
    for (const auto& [text, why] : refused) {
        error.clear();
        EXPECT_FALSE(parseOutage(text, "site", 5, error)) << text;
        EXPECT_NE(error.find(why), std::string::npos) << text << ": " << error;
    }
}

TEST(FleetOptions, RandomOutagesFollowTheSeedAndFitTheRun) {
    const std::int64_t span = 3600 * kSecond;
    const auto a = randomOutages(50, 7, 20, span);
    const auto b = randomOutages(50, 7, 20, span);
    const auto c = randomOutages(50, 8, 20, span);
    ASSERT_EQ(a.size(), 50u);
    std::set<std::size_t> sites;
    bool differs = false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].site, b[i].site);
        EXPECT_EQ(a[i].afterUs, b[i].afterUs);
        EXPECT_EQ(a[i].forUs, b[i].forUs);
        differs = differs || a[i].site != c[i].site || a[i].afterUs != c[i].afterUs;
        EXPECT_LT(a[i].site, 20u);
        EXPECT_GE(a[i].forUs, 120 * kSecond);
        EXPECT_LE(a[i].forUs, 600 * kSecond);
        EXPECT_GE(a[i].afterUs, 0);
        EXPECT_LE(a[i].afterUs + a[i].forUs, span) << "ends within the run";
        sites.insert(a[i].site);
    }
    EXPECT_TRUE(differs) << "another seed, other outages";
    EXPECT_GT(sites.size(), 5u) << "spread over the sites";
    EXPECT_TRUE(randomOutages(0, 7, 20, span).empty());
}

}  // namespace
}  // namespace orlix
