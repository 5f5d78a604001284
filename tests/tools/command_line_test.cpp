// The command lines of the programs: --version, --help, unknown
// options and standard streams that fail.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "process.h"

namespace orlix {
namespace {

struct Program {
    const char* name;
    const char* path;
};

std::vector<Program> programs() {
    std::vector<Program> p = {{"orlix-decode", ORLIX_DECODE_BIN},
                              {"orlix-plant-sim", ORLIX_PLANT_SIM_BIN},
                              {"orlix-export", ORLIX_EXPORT_BIN}};
#ifdef ORLIX_MONITOR_BIN
    p.push_back({"orlix-monitor", ORLIX_MONITOR_BIN});
#endif
    return p;
}

// The monitor answers --help and --version before it needs a display.
class NoDisplay : public testing::Test {
protected:
    void SetUp() override {
        for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            if (const char* old = std::getenv(v)) saved_.emplace_back(v, old);
            ::unsetenv(v);
        }
    }
    void TearDown() override {
        for (const auto& [name, value] : saved_) ::setenv(name.c_str(), value.c_str(), 1);
    }
    std::vector<std::pair<std::string, std::string>> saved_;
};

TEST_F(NoDisplay, VersionNamesProgramReleaseAndTheSameCommit) {
    std::string commit;
    for (const Program& p : programs()) {
        const auto r = test::runProgram({p.path, "--version"});
        EXPECT_EQ(r.status, 0) << p.name << r.err;
        EXPECT_EQ(r.err, "") << p.name;
        std::smatch m;
        ASSERT_TRUE(std::regex_match(r.out, m, std::regex(std::string(p.name) +
                                                          R"( 4\.0 \(git ([0-9a-f]{7,}|unknown)\)\n)")))
            << r.out;
        if (commit.empty()) commit = m[1];
        EXPECT_EQ(m[1], commit) << p.name;
    }
}

TEST_F(NoDisplay, HelpThatCannotBeWrittenFailsWithAMessage) {
    for (const Program& p : programs()) {
        auto r = test::runProgram({p.path, "--help"});
        EXPECT_EQ(r.status, 0) << p.name << r.err;
        EXPECT_NE(r.out.find("--version"), std::string::npos) << p.name;
        for (const std::string& out : {std::string("/dev/full"), test::kClosed}) {
            for (const char* flag : {"--help", "--version"}) {
                r = test::runProgram({p.path, flag}, "", out);
                EXPECT_EQ(r.status, 1) << p.name << " " << flag << " > " << out;
                EXPECT_NE(r.err.find(std::string(p.name) + ": cannot write to standard output: "), std::string::npos)
                    << p.name << ": " << r.err;
            }
        }
    }
}

TEST_F(NoDisplay, UnknownOptionIsAClearErrorWithStatusTwo) {
    for (const Program& p : programs()) {
        const auto r = test::runProgram({p.path, "--no-such-option"});
        EXPECT_EQ(r.status, 2) << p.name;
        EXPECT_EQ(r.out, "") << p.name;
        EXPECT_NE(r.err.find("no-such-option"), std::string::npos) << p.name << ": " << r.err;
        EXPECT_NE(r.err.find("--help"), std::string::npos) << p.name << ": " << r.err;
    }
}

TEST(DecodeStreams, ClosedStandardInputIsAnErrorNotAnEmptyCapture) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{ORLIX_DECODE_BIN}, {ORLIX_DECODE_BIN, "-"}, {ORLIX_DECODE_BIN, "--csv", "-"}}) {
        const auto r = test::runProgram(args, test::kClosed);
        EXPECT_EQ(r.status, 2) << args.back();
        EXPECT_EQ(r.out, "") << args.back();  // not even the CSV header
        EXPECT_NE(r.err.find("standard input is closed"), std::string::npos) << r.err;
    }
    // A named file needs no standard input.
    const auto capture = test::tempPath("cap");
    const auto sim = test::runProgram({ORLIX_PLANT_SIM_BIN, "--stdout", "--frames", "4", "--speed", "0"}, "",
                                      capture.string());
    ASSERT_EQ(sim.status, 0) << sim.err;
    const auto r = test::runProgram({ORLIX_DECODE_BIN, "--csv", capture.string()}, test::kClosed);
    std::filesystem::remove(capture);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_GE(test::splitLines(r.out).size(), 2u);
}

// The version text comes from the git commit at build time and is rewritten
// only when it changes, so a build on the same commit compiles nothing.
class VersionScript : public testing::Test {
protected:
    void SetUp() override {
        dir_ = test::tempPath("repo");
        std::filesystem::create_directories(dir_);
        out_ = dir_ / "version.cpp";
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    int sh(const std::string& command) {
        return std::system(("cd '" + dir_.string() + "' && " + command + " >/dev/null 2>&1").c_str());
    }
    std::string generate() {
        const auto r = test::runProgram({ORLIX_CMAKE_COMMAND, "-DSOURCE_DIR=" + dir_.string(),
                                         "-DTEMPLATE=" ORLIX_VERSION_TEMPLATE, "-DOUTPUT=" + out_.string(),
                                         "-DORLIX_VERSION=4.0", "-DGIT_EXECUTABLE=" + git_, "-P",
                                         ORLIX_VERSION_SCRIPT});
        EXPECT_EQ(r.status, 0) << r.err;
        return test::readFile(out_);
    }
    std::string hash() {
        const auto r = test::runProgram({git_, "-C", dir_.string(), "rev-parse", "--short=7", "HEAD"});
        return r.out.substr(0, r.out.find('\n'));
    }
    static struct timespec mtime(const std::filesystem::path& p) {
        struct stat st {};
        ::stat(p.c_str(), &st);
        return st.st_mtim;
    }

    std::filesystem::path dir_, out_;
    std::string git_ = ORLIX_GIT_EXECUTABLE;
};

TEST_F(VersionScript, FollowsTheCommitAndLeavesTheFileAloneOtherwise) {
    if (git_.empty()) GTEST_SKIP() << "no git on this machine";
    EXPECT_NE(generate().find("\"4.0 (git unknown)\""), std::string::npos);  // not a checkout yet

    const std::string git = "git -c user.name=t -c user.email=t@localhost ";
    ASSERT_EQ(sh("git init -q . && " + git + "commit -q --allow-empty -m one"), 0);
    const std::string first = hash();
    ASSERT_EQ(first.size(), 7u);
    EXPECT_NE(generate().find("\"4.0 (git " + first + ")\""), std::string::npos);

    const auto before = mtime(out_);
    ::usleep(20000);
    generate();
    const auto after = mtime(out_);
    EXPECT_TRUE(before.tv_sec == after.tv_sec && before.tv_nsec == after.tv_nsec) << "rewritten without a change";

    ASSERT_EQ(sh(git + "commit -q --allow-empty -m two"), 0);
    const std::string second = hash();
    ASSERT_NE(second, first);
    EXPECT_NE(generate().find("\"4.0 (git " + second + ")\""), std::string::npos);
}

}  // namespace
}  // namespace orlix
