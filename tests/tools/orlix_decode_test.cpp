// Runs orlix-decode on a capture made by the plant model and checks its
// output line by line against the same receiver and decoders run in-process.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "comm/frame_receiver.h"
#include "mini_json.h"
#include "sim/plant_model.h"
#include "process.h"

namespace orlix {
namespace {

using test::Json;

struct Expected {
    int kind;
    bool good;
    std::vector<FieldValue> fields;
    std::array<std::int32_t, 52> live;
    std::vector<std::pair<int, std::string>> errors;
};

// The reference: the library itself, fed the same bytes.
struct Reference : FrameObserver, ErrorMemorySink {
    FieldBoard board;
    LiveStore store;
    ManualClock clock;
    FrameDecoder decoder{board, store, clock, this};
    FrameReceiver receiver{decoder};
    std::vector<Expected> frames;
    std::vector<std::pair<int, std::string>> pending;

    explicit Reference(DateTime t) : clock(t) {
        for (int n = 0; n < 3; ++n) store.FaultStatus[static_cast<std::size_t>(n)] = "Normal";
    }
    void addErrorEntry(int list, const std::string& e) override { pending.emplace_back(list, e); }
    void onChecksum(int kind, bool good) override {
        Expected e{kind, good, {}, store.LiveValues, pending};
        for (int i = 0; i < FieldBoard::kFieldCount; ++i) e.fields.push_back(board[i]);
        frames.push_back(std::move(e));
        pending.clear();
    }
};

class DecodeTool : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        capture_ = new std::filesystem::path(test::tempPath("capture.bin"));
        // Close to an hour of plant time: a fault comes and goes, and there
        // are corrupted frames and line noise.
        PlantModel plant(5);
        std::vector<std::uint8_t> bytes;
        for (int i = 0; i < 6000; ++i) plant.appendNextFrame(bytes);
        std::ofstream(*capture_, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                          static_cast<std::streamsize>(bytes.size()));
        Reference* ref = new Reference(10 / 24.0 + 23 / 1440.0 + 45 / 86400.0);
        ref->receiver.onReceive(bytes, ref);
        ref_ = ref;
    }
    static void TearDownTestSuite() {
        std::filesystem::remove(*capture_);
        delete capture_;
        delete ref_;
    }
    static std::filesystem::path* capture_;
    static Reference* ref_;
};
std::filesystem::path* DecodeTool::capture_ = nullptr;
Reference* DecodeTool::ref_ = nullptr;

std::string colourText(const std::optional<Rgb>& c) {
    if (!c) return "null";
    char buf[16];
    std::snprintf(buf, sizeof buf, "#%02X%02X%02X", c->r, c->g, c->b);
    return buf;
}

bool isColourText(const std::string& s) {
    if (s.size() != 7 || s[0] != '#') return false;
    for (std::size_t i = 1; i < 7; ++i)
        if (!((s[i] >= '0' && s[i] <= '9') || (s[i] >= 'A' && s[i] <= 'F'))) return false;
    return true;
}

TEST_F(DecodeTool, JsonLineForEveryChecksumByte) {
    const auto r = test::runProgram({ORLIX_DECODE_BIN, "--clock", "10:23:45", "--chunk", "100", capture_->string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    ASSERT_FALSE(r.out.empty());
    ASSERT_EQ(r.out.back(), '\n');
    const auto lines = test::splitLines(r.out);
    const auto& want = ref_->frames;
    ASSERT_EQ(lines.size(), want.size());

    std::size_t bad = 0, withErrors = 0;
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const auto j = test::JsonReader(lines[n]).parse();
        ASSERT_TRUE(j.has_value()) << "line " << n + 1 << " is not JSON";
        ASSERT_EQ(j->type, Json::Type::Object);
        ASSERT_EQ(j->keys, (std::vector<std::string>{"frame", "kind", "check", "fields", "live", "errors"}));
        const Expected& e = want[n];
        EXPECT_EQ(j->get("frame")->num, static_cast<double>(n + 1));
        EXPECT_EQ(j->get("kind")->str, e.kind == 1 ? "5A" : "A5");
        EXPECT_EQ(j->get("check")->str, e.good ? "Right" : "Error");
        bad += !e.good;

        const Json& fields = *j->get("fields");
        ASSERT_EQ(fields.arr.size(), 160u);
        for (int i = 0; i < 160; ++i) {
            const Json& f = fields.arr[static_cast<std::size_t>(i)];
            ASSERT_EQ(f.arr.size(), 2u);
            ASSERT_EQ(f.arr[0].type, Json::Type::String);
            ASSERT_EQ(f.arr[0].str, e.fields[static_cast<std::size_t>(i)].text) << "line " << n + 1 << " field " << i;
            const Json& c = f.arr[1];
            if (c.type == Json::Type::Null) {
                ASSERT_FALSE(e.fields[static_cast<std::size_t>(i)].colour.has_value());
            } else {
                ASSERT_EQ(c.type, Json::Type::String);
                ASSERT_TRUE(isColourText(c.str)) << c.str;
                ASSERT_EQ(c.str, colourText(e.fields[static_cast<std::size_t>(i)].colour));
            }
        }
        const Json& live = *j->get("live");
        ASSERT_EQ(live.arr.size(), 52u);
        for (std::size_t i = 0; i < 52; ++i) ASSERT_EQ(live.arr[i].num, e.live[i]) << "line " << n + 1;

        const Json& errors = *j->get("errors");
        ASSERT_EQ(errors.type, Json::Type::Array);
        ASSERT_EQ(errors.arr.size(), e.errors.size()) << "line " << n + 1;
        withErrors += !e.errors.empty();
        for (std::size_t k = 0; k < e.errors.size(); ++k) {
            EXPECT_EQ(errors.arr[k].get("list")->num, e.errors[k].first);
            EXPECT_EQ(errors.arr[k].get("entry")->str, e.errors[k].second);
            EXPECT_EQ(errors.arr[k].get("entry")->str.substr(0, 8), "10:23:45");
        }
    }
    // The capture must exercise what the contract covers.
    EXPECT_GT(bad, 0u);
    EXPECT_GT(withErrors, 1u);
}

TEST_F(DecodeTool, ReadSizeAndStdinDoNotChangeTheOutput) {
    const auto a = test::runProgram({ORLIX_DECODE_BIN, "--clock", "01:02:03", capture_->string()});
    const auto b = test::runProgram({ORLIX_DECODE_BIN, "--clock", "01:02:03", "--chunk", "1", "-"}, capture_->string());
    ASSERT_EQ(a.status, 0);
    ASSERT_EQ(b.status, 0);
    EXPECT_EQ(a.out, b.out);
    EXPECT_NE(a.out.find("01:02:03"), std::string::npos);
}

TEST_F(DecodeTool, CsvHeaderAndOneRowPerGoodFrame) {
    const auto r = test::runProgram({ORLIX_DECODE_BIN, "--csv", capture_->string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto lines = test::splitLines(r.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0],
              "frame,kind,Pd,Ps,Td,Ts,Toil,Ta,Te,PMV,AC,FreqMain,FreqTotal,SubUnit1,SubUnit2,SubUnit3,"
              "EPCode_Tar,FunSpeed,Main_Valves,Main_free,Pd_Temp,Ps_Temp,Td1,Ts1,Toil1,Ta1,Te1,PMV1,"
              "Sub1_Valves,Sub1_free1,Sub1_free2,Sub1_free3,Td2,Ts2,Toil2,Ta2,Te2,PMV2,Sub2_Valves,"
              "Sub2_free1,Sub2_free2,Sub2_free3,Td3,Ts3,Toil3,Ta3,Te3,PMV3,Sub3_Valves,Sub3_free1,"
              "Sub3_free2,Sub3_free3");
    std::vector<std::string> want;
    for (std::size_t n = 0; n < ref_->frames.size(); ++n) {
        const Expected& e = ref_->frames[n];
        if (!e.good) continue;
        std::string row = std::to_string(n + 1) + (e.kind == 1 ? ",5A" : ",A5");
        for (int i = 0; i < 50; ++i) row += "," + std::to_string(e.live[static_cast<std::size_t>(i)]);
        want.push_back(row);
    }
    ASSERT_EQ(lines.size(), want.size() + 1);
    for (std::size_t i = 0; i < want.size(); ++i) ASSERT_EQ(lines[i + 1], want[i]);
}

TEST(DecodeToolErrors, UnreadableInputAndBadUsageExitWithTwo) {
    const std::string missing = test::tempPath("missing").string();
    auto r = test::runProgram({ORLIX_DECODE_BIN, missing});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(test::splitLines(r.err).size(), 1u) << r.err;
    EXPECT_NE(r.err.find(missing), std::string::npos);

    r = test::runProgram({ORLIX_DECODE_BIN, std::filesystem::temp_directory_path().string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(test::splitLines(r.err).size(), 1u) << r.err;

    for (std::vector<std::string> args : {std::vector<std::string>{"--chunk", "0"}, {"--chunk"}, {"--bogus"},
                                          {"--clock", "25:00:00"}, {"a", "b"}, {"--baud", "1200"},
                                          {"--serial", "/dev/null", "--baud", "1234"}}) {
        args.insert(args.begin(), ORLIX_DECODE_BIN);
        r = test::runProgram(args);
        EXPECT_EQ(r.status, 2) << args[1];
        EXPECT_FALSE(r.err.empty()) << args[1];
    }
    // A port that cannot be opened: one line, with the cause.
    r = test::runProgram({ORLIX_DECODE_BIN, "--serial", "/dev/null"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(test::splitLines(r.err).size(), 1u) << r.err;
    EXPECT_NE(r.err.find("cannot open /dev/null: Inappropriate ioctl for device"), std::string::npos) << r.err;

    r = test::runProgram({ORLIX_DECODE_BIN, "--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("--serial"), std::string::npos);
}

TEST_F(DecodeTool, OutputThatCannotBeWrittenIsAnError) {
    for (const std::string& out : {std::string("/dev/full"), test::kClosed}) {
        const auto r = test::runProgram({ORLIX_DECODE_BIN, "--csv", capture_->string()}, "", out);
        EXPECT_EQ(r.status, 1) << out;
        EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
    }
}

TEST(DecodeToolErrors, EmptyInputGivesNoLines) {
    auto r = test::runProgram({ORLIX_DECODE_BIN, "-"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    r = test::runProgram({ORLIX_DECODE_BIN, "--csv"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(test::splitLines(r.out).size(), 1u);
}

}  // namespace
}  // namespace orlix
