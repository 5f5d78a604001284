// orlix-plant-sim as a program: stdout mode, capture file, and the
// pseudo-terminal that orlix-decode --serial reads from.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "sim/plant_model.h"
#include "capture/capture_reader.h"
#include "base/clock.h"
#include "process.h"

namespace orlix {
namespace {

TEST(PlantSim, StdoutCarriesTheModelsBytesAndTheCaptureHoldsEachFrameWithItsSendTime) {
    const auto cap = test::tempPath("cap.pcap");
    const std::int64_t before = unixMicrosNow();
    const auto r = test::runProgram({ORLIX_PLANT_SIM_BIN, "--stdout", "--speed", "0", "--frames", "500", "--seed", "9",
                                     "--capture", cap.string()});
    const std::int64_t after = unixMicrosNow();
    ASSERT_EQ(r.status, 0) << r.err;
    PlantModel plant(9);
    std::vector<std::uint8_t> want;
    for (int i = 0; i < 500; ++i) plant.appendNextFrame(want);
    EXPECT_EQ(r.out, std::string(want.begin(), want.end()));

    // One record per frame sent, stamped between the run's start and end.
    CaptureReader reader;
    ASSERT_EQ(reader.open(cap.string()), CaptureReader::Open::Ok) << reader.error();
    PlantModel again(9);
    CaptureRecord rec;
    std::int64_t last = before;
    int n = 0;
    while (reader.next(rec) == CaptureReader::Next::Record) {
        EXPECT_EQ(std::vector<std::uint8_t>(rec.bytes.begin(), rec.bytes.end()), again.nextFrame()) << n;
        EXPECT_FALSE(rec.timeHeld);
        EXPECT_GE(rec.timeUs, last);
        last = rec.timeUs;
        ++n;
    }
    EXPECT_EQ(n, 500);
    EXPECT_LE(last, after);
    EXPECT_FALSE(reader.incompleteEnd());
    std::filesystem::remove(cap);
}

TEST(PlantSim, CaptureThatCannotBeWrittenIsAUsageError) {
    const auto r = test::runProgram({ORLIX_PLANT_SIM_BIN, "--stdout", "--frames", "1", "--capture",
                                     "/nonexistent-folder/cap.pcap"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("/nonexistent-folder/cap.pcap"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
}

TEST(PlantSim, UsageErrors) {
    for (std::vector<std::string> args : {std::vector<std::string>{"--speed", "-1"}, {"--frames", "x"}, {"--what"},
                                          {"--stdout", "--link", "/tmp/x"}}) {
        args.insert(args.begin(), ORLIX_PLANT_SIM_BIN);
        const auto r = test::runProgram(args);
        EXPECT_EQ(r.status, 2) << args[1];
        EXPECT_FALSE(r.err.empty());
    }
}

// The simulator on a pseudo-terminal, found through its link, decoded live by
// orlix-decode --serial; the simulator ends on SIGTERM and removes the link.
TEST(PlantSim, PseudoTerminalFeedsTheSerialDecoder) {
    const auto link = test::tempPath("port");
    const auto simOut = test::tempPath("sim.out");
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, simOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const std::string linkArg = link.string();
    std::vector<std::string> args{ORLIX_PLANT_SIM_BIN, "--speed", "40", "--seed", "4", "--link", linkArg};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t sim = -1;
    ASSERT_EQ(posix_spawn(&sim, argv[0], &fa, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&fa);

    // The link and the printed path appear at once.
    for (int i = 0; i < 1000 && !std::filesystem::is_symlink(link); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(std::filesystem::is_symlink(link));
    std::string printed;
    for (int i = 0; i < 1000 && printed.empty(); ++i) {
        printed = test::readFile(simOut);
        if (printed.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(printed, std::filesystem::read_symlink(link).string() + "\n");

    // With nobody reading for a while the simulator keeps going quietly.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    int ws = 0;
    ASSERT_EQ(waitpid(sim, &ws, WNOHANG), 0);

    // Decode live until some frames have come through (the decoder writes
    // line by line), then stop the simulator: the port hangs up and the
    // decoder ends by itself.
    const auto decoded = test::tempPath("decoded.csv");
    std::thread stopper([&] {
        for (int i = 0; i < 600 && test::splitLines(test::readFile(decoded)).size() <= 20; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        kill(sim, SIGTERM);
    });
    auto r = test::runProgram({ORLIX_DECODE_BIN, "--csv", "--serial", linkArg}, "", decoded.string());
    stopper.join();
    r.out = test::readFile(decoded);
    std::filesystem::remove(decoded);
    ASSERT_EQ(waitpid(sim, &ws, 0), sim);
    EXPECT_TRUE(WIFEXITED(ws));
    EXPECT_EQ(WEXITSTATUS(ws), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
    EXPECT_EQ(r.status, 0) << r.err;
    const auto lines = test::splitLines(r.out);
    EXPECT_GT(lines.size(), 20u);  // within 30 s, however loaded the machine
    std::filesystem::remove(simOut);
}

}  // namespace
}  // namespace orlix
