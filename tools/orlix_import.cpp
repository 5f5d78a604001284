// orlix-import: converts the sample table of a Jet 4.0 (Access 2000) database
// written by the earlier tool into a new sample database. The old file is only
// read; the new one appears whole at the end or not at all.
#include <signal.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "database/jet_import.h"
#include "database/stderr_capture.h"
#include "platform/option_reader.h"

namespace orlix {
namespace {

ProgramText programText() {
    return {"orlix-import",
            {"orlix-import [--progress-lines] [--keep-aside] OLD.mdb NEW.mdb", "orlix-import --help | --version"},
            "Copies the sample table emp1 of OLD.mdb, a Jet 4.0 (Access 2000) database\n"
            "written by the earlier tool, into NEW.mdb, a new sample database that\n"
            "orlix-monitor loads. OLD.mdb is opened read-only. NEW.mdb must not exist.\n"
            "On a terminal a progress line is shown; Ctrl-C cancels and leaves no file.",
            "Exit status: 0 converted, 1 NEW.mdb could not be written, 2 usage error,\n"
            "OLD.mdb unusable (not Jet 4.0, encrypted, damaged, no conforming emp1) or\n"
            "NEW.mdb exists, 130 cancelled. --help and --version exit 1 when their\n"
            "text cannot be written."};
}

std::vector<OptionSpec> optionSpecs() {
    return {{{"progress-lines"}, "", "Write \"progress DONE TOTAL\" lines to standard output (for a program that "
                                     "runs this one)."},
            {{"keep-aside"}, "", "When NEW.mdb exists, rename it to the first free NEW.1.mdb, NEW.2.mdb, ... once "
                                 "the conversion is done."}};
}

volatile sig_atomic_t gCancel = 0;
char gTemp[PATH_MAX + 64] = {};
char gJournal[PATH_MAX + 80] = {};

// Whatever ends the process early, the half-written file goes with it.
void removeTemp() {
    if (gTemp[0]) ::unlink(gTemp);
    if (gJournal[0]) ::unlink(gJournal);
}

void onFatalSignal(int sig) {
    removeTemp();
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

// The first interrupt cancels between records; a second one (a read that
// does not come back) ends the process at once.
void onInterrupt(int sig) {
    if (gCancel) onFatalSignal(sig);
    gCancel = 1;
}

void installHandlers(const std::string& target) {
    const std::string temp = temporaryPathFor(target, static_cast<long>(::getpid()));
    std::snprintf(gTemp, sizeof gTemp, "%s", temp.c_str());
    std::snprintf(gJournal, sizeof gJournal, "%s-journal", temp.c_str());
    std::atexit(removeTemp);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::signal(sig, onInterrupt);
    for (int sig : {SIGSEGV, SIGBUS, SIGABRT, SIGFPE, SIGILL}) ::signal(sig, onFatalSignal);
}

int fail(int code, const std::string& message) {
    std::fprintf(stderr, "orlix-import: %s\n", message.c_str());
    return code;
}

struct Options {
    bool progressLines = false;
    bool keepAside = false;
    std::vector<std::string> files;
};

int run(int argc, char** argv) {
    OptionReader reader(programText(), optionSpecs());
    if (const auto end = reader.read(argc, argv)) return *end;
    Options o;
    o.progressLines = reader.isSet("progress-lines");
    o.keepAside = reader.isSet("keep-aside");
    o.files = reader.positionals();
    if (o.files.size() != 2) return reader.usageError("expects OLD.mdb and NEW.mdb");
    const std::string& source = o.files[0];
    const std::string& target = o.files[1];
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::path(source), ec))
        return fail(2, source + ": no such file");
    if (std::filesystem::equivalent(std::filesystem::path(source), std::filesystem::path(target), ec))
        return fail(2, "OLD.mdb and NEW.mdb are the same file");
    if (!o.keepAside && std::filesystem::exists(std::filesystem::path(target), ec))
        return fail(2, target + " " + importStatusText(ImportStatus::TargetExists) + "; it is not overwritten");

    installHandlers(target);
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    // libmdb's own warnings are counted and said in one line, not printed
    // one by one amid the progress line.
    StderrCapture libmdb;
    std::FILE* err = libmdb.original();
    const ImportResult r = importJetDatabase(
        source, target,
        [&](std::int64_t done, std::int64_t total) {
            if (o.progressLines) {
                std::printf("progress %lld %lld\n", static_cast<long long>(done), static_cast<long long>(total));
                std::fflush(stdout);
            }
            if (terminal) {
                std::fprintf(err, "\rorlix-import: %lld of %lld records (%d%%)", static_cast<long long>(done),
                             static_cast<long long>(total), total > 0 ? static_cast<int>(done * 100 / total) : 100);
                std::fflush(err);
            }
            return gCancel == 0;
        },
        o.keepAside ? ExistingTarget::KeepAside : ExistingTarget::Refuse);
    if (terminal) std::fputc('\n', err);
    const std::string diagnostics = diagnosticsLine("libmdb", source, libmdb.finish());
    if (!diagnostics.empty()) std::fprintf(stderr, "orlix-import: %s\n", diagnostics.c_str());
    switch (r.status) {
        case ImportStatus::Done:
            std::fprintf(stderr, "orlix-import: %lld records written to %s\n", static_cast<long long>(r.records),
                         target.c_str());
            return 0;
        case ImportStatus::Cancelled: return fail(130, "cancelled; nothing written");
        case ImportStatus::WriteFailed: return fail(1, target + " " + importStatusText(r.status));
        case ImportStatus::TargetExists:
            return fail(2, target + " " + importStatusText(r.status) + "; it is not overwritten");
        default: return fail(2, source + " " + importStatusText(r.status) + "; nothing written");
    }
}

}  // namespace
}  // namespace orlix

int main(int argc, char** argv) { return orlix::run(argc, argv); }
