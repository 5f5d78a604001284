#include "sampling/site_payloads.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "base/clock.h"

namespace orlix {
namespace {

// Runs Python's json module over `payloads` (one per line) and returns what
// the script prints for them.
std::string parseWithPython(const std::vector<std::string>& payloads, const std::string& script) {
    const auto dir = std::filesystem::temp_directory_path();
    const auto in = dir / ("orlix_json_" + std::to_string(::getpid()) + ".txt");
    const auto py = dir / ("orlix_json_" + std::to_string(::getpid()) + ".py");
    {
        std::ofstream f(in, std::ios::binary);
        for (const std::string& p : payloads) f << p << '\n';
        std::ofstream(py) << "import json, sys\n"
                             "for line in open(sys.argv[1], encoding='utf-8'):\n"
                             "    o = json.loads(line)\n"
                          << script;
    }
    std::string out;
    const std::string cmd = std::string(ORLIX_PYTHON3) + " " + py.string() + " " + in.string() + " 2>&1";
    if (FILE* p = ::popen(cmd.c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        ::pclose(p);
    }
    std::filesystem::remove(in);
    std::filesystem::remove(py);
    return out;
}

TEST(SitePayloads, SampleCarriesEveryColumnByNameAndTheExactTime) {
    std::array<std::int16_t, kSampleValueColumns> v{};
    for (std::size_t i = 0; i < v.size(); ++i) v[i] = static_cast<std::int16_t>(i * 1000 - 32768 + (i == 49));
    v[49] = 32767;
    const DateTime t = makeDateTime({2024, 2, 29, 23, 59, 58}) + 0.2 / 86400;
    const std::string json = sampleJson(v, t, 3600);
    const std::string out = parseWithPython(
        {json}, "    print(o['time'], repr(o['time_days']), list(o)[1], o['utc_offset'], list(o['values'])[0],\n"
                "          list(o['values'])[-1], len(o['values']), o['values']['Pd'], o['values']['Sub3_free3'],\n"
                "          o['values']['Te1'])\n");
    // "<time> <time_days> utc_offset +01:00 Pd Sub3_free3 50 -32768 32767 -8768"
    const std::size_t sp1 = out.find(' '), sp2 = out.find(' ', sp1 + 1);
    ASSERT_NE(sp2, std::string::npos) << out;
    EXPECT_EQ(out.substr(0, sp1), "2024-02-29T23:59:58") << json;
    EXPECT_EQ(std::stod(out.substr(sp1 + 1, sp2 - sp1 - 1)), t) << "Python reads back the same double";
    EXPECT_EQ(out.substr(sp2 + 1), "utc_offset +01:00 Pd Sub3_free3 50 -32768 32767 -8768\n") << json;
    // time_days reads back to the same double.
    const std::size_t at = json.find("\"time_days\": ") + 13;
    EXPECT_EQ(std::stod(json.substr(at, json.find(',', at) - at)), t);
    // A time ISO 8601 cannot write is null, not a broken text.
    EXPECT_NE(sampleJson(v, -800000, 0).find("\"time\": null, \"utc_offset\": \"+00:00\""), std::string::npos);
}

// Offsets east and west of Greenwich, whole and half hours, the widest
// there are; seconds of an old local mean time are dropped.
TEST(SitePayloads, UtcOffsetIsSignedHoursAndMinutes) {
    const DateTime t = makeDateTime({2025, 7, 1, 8, 5, 0});
    const std::pair<int, const char*> cases[] = {
        {0, "+00:00"},       {3600, "+01:00"},    {7200, "+02:00"},    {-12600, "-03:30"}, {20700, "+05:45"},
        {50400, "+14:00"},   {-43200, "-12:00"},  {3208, "+00:53"},    {-59, "+00:00"},
    };
    for (const auto& [seconds, text] : cases) {
        const std::string expected = std::string("\"utc_offset\": \"") + text + "\"";
        EXPECT_NE(sampleJson({}, t, seconds).find(expected), std::string::npos) << seconds;
        EXPECT_NE(faultJson(0, t, seconds, "x").find(expected), std::string::npos) << seconds;
    }
}

TEST(SitePayloads, FaultTextsOfAnyBytesStayValidJson) {
    const DateTime t = makeDateTime({2025, 7, 1, 8, 5, 0});
    std::vector<std::string> payloads{faultJson(0, t, 7200, "EEPROM"),
                                      faultJson(1, t, 7200, "quote\" back\\ tab\t nl\n"),
                                      faultJson(2, t, -12600, "\xe5\x8e\x8b\xe5\x8a\x9b \xff\xc0\x80 "
                                                              "\xed\xa0\x80 end")};
    const std::string out =
        parseWithPython(payloads, "    print(o['list'], o['time'], o['utc_offset'], list(o), repr(o['status']))\n");
    const std::string keys = "['list', 'time', 'utc_offset', 'status'] ";
    EXPECT_EQ(out,
              "Err 2025-07-01T08:05:00 +02:00 " + keys + "'EEPROM'\n"
              "ComErr 2025-07-01T08:05:00 +02:00 " + keys + "'quote\" back\\\\ tab\\t nl\\n'\n"
              "ProtErr 2025-07-01T08:05:00 -03:30 " + keys +
              "'\xe5\x8e\x8b\xe5\x8a\x9b \xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd "
              "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd end'\n");
    // Random bytes: every payload parses and the status survives as far as
    // it was valid text.
    std::mt19937 rng(11);
    std::vector<std::string> fuzz;
    for (int n = 0; n < 300; ++n) {
        std::string s(rng() % 40, '\0');
        for (char& c : s) c = static_cast<char>(rng());
        fuzz.push_back(faultJson(static_cast<int>(rng() % 3), t, 0, s));
    }
    EXPECT_EQ(parseWithPython(fuzz, "    assert o['list'] in ('Err', 'ComErr', 'ProtErr'); print('ok')\n").size(),
              3u * 300);
}

}  // namespace
}  // namespace orlix
