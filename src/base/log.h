#pragma once
// The logging interface of the layers below the windows (comm/, chart/,
// database/, the headless tools). A message names its category
// ("orlix.serial", "orlix.database", ...) and level. By default it goes to
// stderr as one line, "orlix.database: warning: <message>"; a Qt program
// installs a sink that hands it to a QLoggingCategory of the same name
// instead, so one set of switches covers both.
//
// The switches are Qt's: QT_LOGGING_RULES, e.g.
//   QT_LOGGING_RULES="orlix.*.debug=true;orlix.database.warning=false"
// Without a rule, info and above are on and debug is off.
//
// Log failures and state changes, never a frame or a sample: every line is
// something a user may need to read. A failure that may come back on every
// tick or retry goes through failure() (or a RepeatFilter of its own), which
// writes its first occurrence and then only a count now and then.
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace orlix::log {

// The categories of this program.
inline constexpr const char* kApp = "orlix.app";            // start-up, options, helper processes
inline constexpr const char* kSerial = "orlix.serial";      // port open, close, loss, errors
inline constexpr const char* kDatabase = "orlix.database";  // sample database operations
inline constexpr const char* kUi = "orlix.ui";              // failures inside window event handlers
inline constexpr const char* kChart = "orlix.chart";        // failures of the sampling tick's steps
inline constexpr const char* kComm = "orlix.comm";          // receiver and decoder failures
inline constexpr const char* kExport = "orlix.export";      // chart images and data files that could not be written
inline constexpr const char* kCapture = "orlix.capture";    // bus capture files: writing, reading, odd records
inline constexpr const char* kMqtt = "orlix.mqtt";          // broker connection: up, lost, refused; queue overflow
inline constexpr const char* kRecord = "orlix.record";      // the unattended recorder: start, port, batches, status
inline constexpr const char* kHub = "orlix.hub";            // the office hub: ingest, store, alarms, notifications
inline constexpr const char* kWeb = "orlix.web";            // the office's pages: logins, requests refused
inline constexpr const char* kFleet = "orlix.fleet";        // the fleet simulator: start, outages, status, end

// Every category there is; a message names one of these.
inline constexpr const char* kCategories[] = {kApp,    kSerial,  kDatabase, kUi,  kChart, kComm,  kExport,
                                              kCapture, kMqtt,   kRecord,   kHub, kWeb,   kFleet};

enum class Level { Debug, Info, Warning, Critical };

using Sink = void (*)(std::string_view category, Level level, std::string_view message);

// Writes one message when its category and level are switched on.
void write(std::string_view category, Level level, std::string_view message);

inline void debug(std::string_view category, std::string_view message) {
    write(category, Level::Debug, message);
}
inline void info(std::string_view category, std::string_view message) {
    write(category, Level::Info, message);
}
inline void warning(std::string_view category, std::string_view message) {
    write(category, Level::Warning, message);
}
inline void critical(std::string_view category, std::string_view message) {
    write(category, Level::Critical, message);
}

// Replaces the stderr writer (nullptr restores it). The sink decides itself
// whether a category is on; the stderr writer follows QT_LOGGING_RULES as
// they stood at its first line (the environment is read once).
void setSink(Sink sink);

// Whether `rules` (QT_LOGGING_RULES syntax: "name.level=true|false" entries
// separated by ';' or newlines, '*' at the start and/or end of the name)
// switch category/level on. Later rules win; without a matching rule debug
// is off and the other levels are on.
bool enabledByRules(std::string_view rules, std::string_view category, Level level);

// The name of a level as used in the rules and the stderr line.
std::string_view levelName(Level level);

// Keeps a failure that recurs (on every tick, frame or retry) to a few
// lines. The first occurrence of a text passes, marked as counted from then
// on; identical repeats are only counted, and the count passes with the
// text at the first repeat that comes a minute or more after the last line
// written. Texts are kept apart: a different failure is news at once. Not
// thread-safe by itself.
class RepeatFilter {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kReportInterval{60};
    // Distinct texts remembered; beyond that the memory starts afresh.
    static constexpr std::size_t kMaxTexts = 64;

    // The line to write for this occurrence of `text`, or nothing when it
    // is a repeat to count.
    std::optional<std::string> pass(std::string_view text, Clock::time_point now = Clock::now());
    // Repeats of `text` counted but not written yet.
    std::uint64_t unreported(std::string_view text) const;
    // Forgets every text: after a recovery the next failure is news again.
    void reset() { seen_.clear(); }

private:
    struct Seen {
        Clock::time_point lastLine;
        std::uint64_t unreported = 0;
    };
    std::map<std::string, Seen, std::less<>> seen_;
};

// Writes `text` through one filter for the whole process, kept apart by
// category: the way to log a failure that may repeat. Thread-safe.
void failure(std::string_view category, std::string_view text, Level level = Level::Warning);

// For a catch block: logs the exception being handled (its what(), or
// "unknown exception") as failure(category, context + " failed: " + cause).
// Never throws.
void caughtException(std::string_view category, std::string_view context) noexcept;

// The text of the exception being handled: its what(), "unknown exception"
// for anything not derived from std::exception, "" outside a catch block.
std::string currentExceptionText();

}  // namespace orlix::log
