// orlix-export: the records of a sample database as CSV or JSON Lines, for
// spreadsheets, pandas and the like. No display needed; the database is only
// read.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "database/converted_copy.h"
#include "database/sample_export.h"
#include "base/iso_date_time.h"
#include "platform/option_reader.h"

namespace orlix {
namespace {

constexpr const char* kProgram = "orlix-export";

ProgramText programText() {
    return {kProgram,
            {"orlix-export FILE.mdb [--from TIME] [--to TIME] [--format csv|json] [-o OUT]",
             "orlix-export --help | --version"},
            "Writes the records of a sample database in time order: the time as ISO 8601\n"
            "local time (time) and as the stored day count since 1899-12-30 (time_days),\n"
            "then the 50 values under their column names. UTF-8. The database is only\n"
            "read, never changed.\n"
            "\n"
            "TIME: YYYY-MM-DD, YYYY-MM-DDTHH:MM[:SS] or 'YYYY-MM-DD HH:MM[:SS]', local\n"
            "time; a record counts by its time as written, to the second.",
            "A Jet 4.0 recording of the earlier tool is read through its converted copy,\n"
            "FILE.sqlite.mdb beside it (or in ~/OrlixMonitorDB when that folder cannot be\n"
            "written), made on first use and reused while newer than FILE.\n"
            "\n"
            "Exit status: 0 done, 1 the output could not be written, 2 usage error or an\n"
            "input that is missing, not a sample database or damaged."};
}

std::vector<OptionSpec> optionSpecs() {
    return {{{"from"}, "TIME", "Only records from TIME on."},
            {{"to"}, "TIME", "Only records up to TIME (a date alone: up to the end of that day)."},
            {{"format"}, "csv|json", "csv (default): a header row, then one row per record; json: JSON Lines, one "
                                     "object per record."},
            {{"o", "output"}, "OUT", "Write to OUT (replaced only once the export is complete) instead of standard "
                                     "output."}};
}

constexpr int kExitWrite = 1;
constexpr int kExitInput = 2;

struct Arguments {
    std::string input;
    std::string output = "-";
    ExportOptions options;
};

// A record whose time, written to the second, lies within [from, to] is
// exported: the bounds stand half a second wider than the typed times.
constexpr DateTime kHalfSecond = 0.5 / kSecondsPerDay;

std::optional<DateTime> boundArgument(std::string_view option, std::string_view text, bool upper,
                                      std::string& error) {
    const auto t = parseIsoDateTime(text);
    if (!t) {
        error = std::string(option) + ": '" + std::string(text) +
                "' is not a time; use YYYY-MM-DD, YYYY-MM-DDTHH:MM[:SS] or 'YYYY-MM-DD HH:MM[:SS]' (local time)";
        return std::nullopt;
    }
    if (!upper) return t->value - kHalfSecond;
    const DateTime last = t->dateOnly ? t->value + 1.0 - 1.0 / kSecondsPerDay : t->value;
    return last + kHalfSecond;
}

// Checks what the reader found; nothing with `error` set when it will not do.
std::optional<Arguments> checkArguments(const OptionReader& r, std::string& error) {
    Arguments a;
    if (r.isSet("format")) {
        const std::string v = r.value("format");
        if (v != "csv" && v != "json") {
            error = "--format: '" + v + "' is neither csv nor json";
            return std::nullopt;
        }
        a.options.format = v == "csv" ? ExportFormat::Csv : ExportFormat::JsonLines;
    }
    if (r.isSet("output")) a.output = r.value("output");
    for (const char* bound : {"from", "to"}) {
        if (!r.isSet(bound)) continue;
        const bool upper = std::string_view(bound) == "to";
        const auto t = boundArgument(std::string("--") + bound, r.value(bound), upper, error);
        if (!t) return std::nullopt;
        (upper ? a.options.before : a.options.from) = t;
    }
    if (r.positionals().size() > 1) {
        error = "only one FILE can be exported at a time";
        return std::nullopt;
    }
    if (r.positionals().empty()) {
        error = "no FILE given";
        return std::nullopt;
    }
    a.input = r.positionals().front();
    if (a.options.from && a.options.before && *a.options.from >= *a.options.before) {
        error = "--from is later than --to";
        return std::nullopt;
    }
    return a;
}

// The input as a SQLite file the export reads. A sample database is read as
// it stands; a Jet 4.0 recording of the earlier tool is read through its
// converted copy (made once beside it, or in the default database folder,
// and reused while newer than the Jet file), as the analyzer's load does.
struct SqliteInput {
    std::string path;   // the SQLite file to read; empty when there is none
    std::string error;  // why there is none
};

void resolveSqliteInput(const std::string& path, SqliteInput& in) {
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    const SampleFile f = sampleFileFor(path, [terminal](std::int64_t done, std::int64_t total) {
        if (terminal && total > 0)
            std::fprintf(stderr, "\rconverting the older recording: %lld of %lld records", static_cast<long long>(done),
                         static_cast<long long>(total));
        return true;
    });
    if (terminal && f.status != ImportStatus::NotJet && !f.ok) std::fputc('\n', stderr);
    if (f.ok) {
        if (terminal && f.status == ImportStatus::Done) std::fprintf(stderr, "\nconverted copy: %s\n", f.path.c_str());
        in.path = f.path;
        return;
    }
    in.error = f.detail.empty() ? importStatusText(f.status) : f.detail;
}

// Writes to a file descriptor, all of it or an error.
class FdSink final : public ByteSink {
public:
    explicit FdSink(int fd) : fd_(fd) {}
    bool write(std::string_view bytes) override {
        while (!bytes.empty()) {
            const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                error_ = n < 0 ? errno : EIO;
                return false;
            }
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }
    int error() const { return error_; }

private:
    int fd_;
    int error_ = 0;
};

// Where the output goes: standard output, a device or pipe written
// directly, or a regular file written beside OUT and renamed over it only
// when complete, so a failed export never leaves a truncated OUT.
class Output {
public:
    enum class Opened { Ok, IsInput, Failed };

    Opened open(const std::string& out, const std::string& input, std::string& error) {
        target_ = out;
        if (out == "-") {
            fd_ = STDOUT_FILENO;
            return Opened::Ok;
        }
        std::error_code ec;
        if (std::filesystem::exists(out, ec) && std::filesystem::equivalent(out, input, ec)) {
            error = "the output " + out + " is the input file";
            return Opened::IsInput;
        }
        struct stat st{};
        if (::stat(out.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
            fd_ = ::open(out.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        } else {
            temp_ = out + ".partial-XXXXXX";
            fd_ = ::mkstemp(temp_.data());
            if (fd_ >= 0) {
                const mode_t mask = ::umask(0);
                ::umask(mask);
                ::fchmod(fd_, 0666 & ~mask);
            } else {
                temp_.clear();
            }
        }
        if (fd_ < 0) {
            error = "cannot write " + out + ": " + std::strerror(errno);
            return Opened::Failed;
        }
        return Opened::Ok;
    }

    int fd() const { return fd_; }

    // Closes and puts the file in place; false (with the reason) on failure.
    bool finish(std::string& error) {
        if (fd_ == STDOUT_FILENO) return true;
        const int rc = ::close(fd_);
        fd_ = -1;
        if (rc != 0) return fail(error, errno);
        if (!temp_.empty() && std::rename(temp_.c_str(), target_.c_str()) != 0) return fail(error, errno);
        temp_.clear();
        return true;
    }

    ~Output() {
        if (fd_ >= 0 && fd_ != STDOUT_FILENO) ::close(fd_);
        if (!temp_.empty()) ::unlink(temp_.c_str());
    }

private:
    bool fail(std::string& error, int err) {
        error = "cannot write " + target_ + ": " + std::strerror(err);
        return false;
    }

    std::string target_;
    std::string temp_;
    int fd_ = -1;
};

int run(int argc, char** argv) {
    OptionReader reader(programText(), optionSpecs());
    if (const auto end = reader.read(argc, argv)) return *end;
    std::string error;
    const auto a = checkArguments(reader, error);
    if (!a) return reader.usageError(error);

    SqliteInput in;
    resolveSqliteInput(a->input, in);
    if (in.path.empty()) {
        std::fprintf(stderr, "%s: %s: %s\n", kProgram, a->input.c_str(), in.error.c_str());
        return kExitInput;
    }
    Output out;
    if (const auto opened = out.open(a->output, a->input, error); opened != Output::Opened::Ok) {
        std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
        return opened == Output::Opened::IsInput ? kExitInput : kExitWrite;
    }
    FdSink sink(out.fd());
    const ExportResult r = exportSamples(in.path, a->options, sink);
    if (r.status == ExportStatus::WriteFailed) {
        std::fprintf(stderr, "%s: cannot write %s: %s\n", kProgram, a->output == "-" ? "the output" : a->output.c_str(),
                     std::strerror(sink.error() ? sink.error() : EIO));
        return kExitWrite;
    }
    if (r.status != ExportStatus::Done) {
        std::fprintf(stderr, "%s: %s: %s\n", kProgram, a->input.c_str(), r.message.c_str());
        return kExitInput;
    }
    if (!out.finish(error)) {
        std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
        return kExitWrite;
    }
    return 0;
}

}  // namespace
}  // namespace orlix

int main(int argc, char** argv) { return orlix::run(argc, argv); }
