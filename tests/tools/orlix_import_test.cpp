// Runs orlix-import on generated Jet files: exit statuses, messages, the
// refusal to overwrite, the progress lines, and a cancel that leaves nothing.
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include <gtest/gtest.h>

#include "database/sample_database.h"
#include "jet_test_util.h"
#include "process.h"

namespace orlix {
namespace {

namespace fs = std::filesystem;

struct Folder {
    fs::path dir = test::tempPath("import");
    Folder() { fs::create_directories(dir); }
    ~Folder() { fs::remove_all(dir); }
    std::string file(const char* name) const { return (dir / name).string(); }
    std::size_t entries() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {})); }
};

TEST(OrlixImport, ConvertsAndReportsProgressLines) {
    Folder f;
    testing::makeJetFile(f.file("old.mdb"), 9000);
    const auto r = test::runProgram({ORLIX_IMPORT_BIN, "--progress-lines", f.file("old.mdb"), f.file("new.mdb")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(countRecords(f.file("new.mdb")), 9000);
    EXPECT_EQ(test::splitLines(r.out),
              (std::vector<std::string>{"progress 0 9000", "progress 4096 9000", "progress 8192 9000",
                                        "progress 9000 9000"}));
    EXPECT_NE(r.err.find("9000 records written"), std::string::npos) << r.err;
}

TEST(OrlixImport, BadInputExitsTwoWithAMessageAndWritesNothing) {
    Folder f;
    testing::makeJetFile(f.file("old.mdb"), 45);
    testing::makeJetFile(f.file("foreign.mdb"), 5, "foreign");
    std::ofstream(f.file("taken.mdb")) << "keep me";
    std::ofstream(f.file("text.mdb")) << "not a database";
    struct Case {
        std::vector<std::string> args;
        const char* says;
    };
    const std::vector<Case> cases = {
        {{}, "expects OLD.mdb and NEW.mdb"},
        {{f.file("old.mdb")}, "expects OLD.mdb and NEW.mdb"},
        {{"--bogus", f.file("old.mdb"), f.file("n.mdb")}, "Unknown option 'bogus'"},
        {{f.file("none.mdb"), f.file("n.mdb")}, "no such file"},
        {{f.file("old.mdb"), f.file("taken.mdb")}, "exists already; it is not overwritten"},
        {{f.file("old.mdb"), f.file("old.mdb")}, "the same file"},
        {{f.file("text.mdb"), f.file("n.mdb")}, "is not a Jet 4.0"},
        {{f.file("foreign.mdb"), f.file("n.mdb")}, "holds no sample table emp1"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{ORLIX_IMPORT_BIN};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto r = test::runProgram(args);
        EXPECT_EQ(r.status, 2) << c.says;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    EXPECT_EQ(f.entries(), 4u);
    EXPECT_EQ(test::readFile(f.file("taken.mdb")), "keep me");
}

// libmdb writes its own warnings to standard error as it reads a damaged
// file; they come out as one line that counts them and quotes the first,
// before the program's own line, and nothing of libmdb's besides.
TEST(OrlixImport, LibmdbsWarningsAboutADamagedFileAreOneCountedLine) {
    Folder f;
    testing::makeJetFile(f.file("damaged.mdb"), 1000, "damaged");
    const auto r = test::runProgram({ORLIX_IMPORT_BIN, f.file("damaged.mdb"), f.file("n.mdb")});
    EXPECT_EQ(r.status, 2);
    const std::vector<std::string> lines = test::splitLines(r.err);
    ASSERT_EQ(lines.size(), 2u) << r.err;
    EXPECT_TRUE(std::regex_match(lines[0], std::regex("orlix-import: libmdb wrote [1-9][0-9]* warnings? while reading " +
                                                      f.file("damaged.mdb") + "; the first: .*page .*")))
        << lines[0];
    EXPECT_EQ(lines[1], "orlix-import: " + f.file("damaged.mdb") +
                            " is damaged: its sample table cannot be read whole; nothing written");
    // A sound file: not a word from libmdb.
    testing::makeJetFile(f.file("old.mdb"), 45);
    const auto ok = test::runProgram({ORLIX_IMPORT_BIN, f.file("old.mdb"), f.file("new.mdb")});
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(test::splitLines(ok.err), std::vector<std::string>{"orlix-import: 45 records written to " + f.file("new.mdb")});
}

TEST(OrlixExport, ReadsAnOlderRecordingThroughItsConvertedCopy) {
    Folder f;
    testing::makeJetFile(f.file("old.mdb"), 100);
    const auto fromJet = test::runProgram({ORLIX_EXPORT_BIN, f.file("old.mdb")});
    ASSERT_EQ(fromJet.status, 0) << fromJet.err;
    // The copy sits beside the Jet file and exports the same lines.
    ASSERT_TRUE(fs::exists(f.file("old.sqlite.mdb")));
    const auto fromCopy = test::runProgram({ORLIX_EXPORT_BIN, f.file("old.sqlite.mdb")});
    EXPECT_EQ(fromJet.out, fromCopy.out);
    EXPECT_EQ(test::splitLines(fromJet.out).size(), 101u);  // header and 100 records
    // A second export reuses the copy instead of converting again.
    const auto stamp = fs::last_write_time(f.file("old.sqlite.mdb"));
    EXPECT_EQ(test::runProgram({ORLIX_EXPORT_BIN, f.file("old.mdb")}).out, fromJet.out);
    EXPECT_EQ(fs::last_write_time(f.file("old.sqlite.mdb")), stamp);
    // A Jet file without the sample table is refused with exit 2.
    testing::makeJetFile(f.file("foreign.mdb"), 5, "foreign");
    const auto foreign = test::runProgram({ORLIX_EXPORT_BIN, f.file("foreign.mdb")});
    EXPECT_EQ(foreign.status, 2);
    EXPECT_FALSE(foreign.err.empty());
}

TEST(OrlixImport, HelpAndVersion) {
    const auto version = test::runProgram({ORLIX_IMPORT_BIN, "--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("orlix-import 4.0 (git ", 0), 0u) << version.out;
    const auto help = test::runProgram({ORLIX_IMPORT_BIN, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: orlix-import", 0), 0u);
    EXPECT_EQ(test::runProgram({ORLIX_IMPORT_BIN, "--help"}, "", "/dev/full").status, 1);
}

TEST(OrlixImport, InterruptCancelsAndLeavesNothing) {
    Folder f;
    testing::makeJetFile(f.file("old.mdb"), 60000);
    // The tool interrupts itself as soon as it reports progress: a shell
    // runs it and sends SIGINT on the first progress line.
    const std::string script = std::string("'") + ORLIX_IMPORT_BIN + "' --progress-lines '" + f.file("old.mdb") +
                               "' '" + f.file("new.mdb") +
                               "' & pid=$!; while [ ! -s '" + f.file("out") +
                               "' ]; do sleep 0.01; done; kill -INT $pid; wait $pid";
    const auto r = test::runProgram({"/bin/sh", "-c", script}, "", f.file("out"));
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_NE(r.err.find("cancelled; nothing written"), std::string::npos) << r.err;
    fs::remove(f.file("out"));
    EXPECT_EQ(f.entries(), 1u);
}

}  // namespace
}  // namespace orlix
