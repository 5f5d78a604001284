// orlix-monitor --capture, as a program: a folder gets the day's file at
// start-up, and the monitor ends normally on SIGTERM with the file a valid
// capture.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "capture/capture_reader.h"
#include "capture/capture_writer.h"
#include "base/clock.h"
#include "process.h"

extern char** environ;

namespace orlix {
namespace {

namespace fs = std::filesystem;

#ifdef ORLIX_MONITOR_BIN
TEST(MonitorCapture, AFolderGetsTheDayFileAndTheMonitorEndsCleanly) {
    const fs::path dir = test::tempPath("captures");
    fs::create_directories(dir);
    const fs::path err = test::tempPath("monitor.err");
    const std::string dayBefore = CaptureWriter::dayFileName(unixMicrosNow());

    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> args{ORLIX_MONITOR_BIN, "--capture", dir.string() + "/", "--port",
                                  "Com1=" + (dir / "replay.pcap").string()};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&fa);

    const std::string dayAfter = CaptureWriter::dayFileName(unixMicrosNow() + 30'000'000);
    auto dayFile = [&]() -> fs::path {
        for (const std::string& name : {dayBefore, dayAfter})
            if (fs::exists(dir / name)) return dir / name;
        return {};
    };
    for (int i = 0; i < 1500 && dayFile().empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const fs::path file = dayFile();
    // The file comes before the window; SIGTERM closes the window once it is up.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    ::kill(pid, SIGTERM);
    int ws = 0;
    ASSERT_EQ(::waitpid(pid, &ws, 0), pid);
    ASSERT_FALSE(file.empty()) << test::readFile(err);
    EXPECT_TRUE(WIFEXITED(ws) && WEXITSTATUS(ws) == 0) << test::readFile(err);

    CaptureReader reader;
    ASSERT_EQ(reader.open(file.string()), CaptureReader::Open::Ok);
    CaptureRecord rec;
    EXPECT_EQ(reader.next(rec), CaptureReader::Next::End);  // nothing was read: the port never opened
    fs::remove_all(dir);
    fs::remove(err);
}
#endif

}  // namespace
}  // namespace orlix
