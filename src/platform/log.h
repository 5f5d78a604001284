#pragma once
// The logging interface of the layers below the windows (comm/, database/,
// the headless tools). A message names its category ("orlix.serial",
// "orlix.database", ...) and level. By default it goes to stderr as one line,
// "orlix.database: warning: <message>"; a Qt program installs a sink that
// hands it to a QLoggingCategory of the same name instead, so one set of
// switches covers both.
//
// The switches are Qt's: QT_LOGGING_RULES, e.g.
//   QT_LOGGING_RULES="orlix.*.debug=true;orlix.database.warning=false"
// Without a rule, info and above are on and debug is off.
//
// Log failures and state changes, never a frame or a sample: every line is
// something a user may need to read.
#include <string_view>

namespace orlix::log {

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
// whether a category is on; the stderr writer follows QT_LOGGING_RULES.
void setSink(Sink sink);

// Whether `rules` (QT_LOGGING_RULES syntax: "name.level=true|false" entries
// separated by ';' or newlines, '*' at the start and/or end of the name)
// switch category/level on. Later rules win; without a matching rule debug
// is off and the other levels are on.
bool enabledByRules(std::string_view rules, std::string_view category, Level level);

// The name of a level as used in the rules and the stderr line.
std::string_view levelName(Level level);

}  // namespace orlix::log
