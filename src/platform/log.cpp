#include "platform/log.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace orlix::log {

namespace {

std::atomic<Sink> gSink{nullptr};

// Matches a rule's category pattern: '*' may stand at the start, the end or
// both ("orlix.*", "*.database", "*serial*", "*").
bool patternMatches(std::string_view pattern, std::string_view name) {
    const bool head = !pattern.empty() && pattern.front() == '*';
    if (head) pattern.remove_prefix(1);
    const bool tail = !pattern.empty() && pattern.back() == '*';
    if (tail) pattern.remove_suffix(1);
    if (head && tail) return name.find(pattern) != std::string_view::npos;
    if (head) return name.size() >= pattern.size() && name.substr(name.size() - pattern.size()) == pattern;
    if (tail) return name.substr(0, pattern.size()) == pattern;
    return name == pattern;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// One rule "pattern[.level]=true|false": sets `on` when it applies.
void applyRule(std::string_view rule, std::string_view category, Level level, bool& on) {
    const auto eq = rule.find('=');
    if (eq == std::string_view::npos) return;
    std::string_view lhs = trim(rule.substr(0, eq));
    const std::string_view rhs = trim(rule.substr(eq + 1));
    if (rhs != "true" && rhs != "false") return;
    for (const Level l : {Level::Debug, Level::Info, Level::Warning, Level::Critical}) {
        const std::string_view suffix = levelName(l);
        if (lhs.size() > suffix.size() && lhs.substr(lhs.size() - suffix.size()) == suffix &&
            lhs[lhs.size() - suffix.size() - 1] == '.') {
            if (l != level) return;
            lhs.remove_suffix(suffix.size() + 1);
            break;
        }
    }
    if (patternMatches(lhs, category)) on = rhs == "true";
}

void writeStderr(std::string_view category, Level level, std::string_view message) {
    const char* rules = std::getenv("QT_LOGGING_RULES");
    if (!enabledByRules(rules != nullptr ? rules : "", category, level)) return;
    std::string line;
    line.reserve(category.size() + message.size() + 16);
    line.append(category).append(": ").append(levelName(level)).append(": ").append(message).push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace

std::string_view levelName(Level level) {
    switch (level) {
        case Level::Debug: return "debug";
        case Level::Info: return "info";
        case Level::Warning: return "warning";
        case Level::Critical: return "critical";
    }
    return "warning";
}

bool enabledByRules(std::string_view rules, std::string_view category, Level level) {
    bool on = level != Level::Debug;
    while (!rules.empty()) {
        const auto end = rules.find_first_of(";\n");
        applyRule(trim(rules.substr(0, end)), category, level, on);
        if (end == std::string_view::npos) break;
        rules.remove_prefix(end + 1);
    }
    return on;
}

void setSink(Sink sink) { gSink.store(sink); }

void write(std::string_view category, Level level, std::string_view message) {
    if (const Sink s = gSink.load()) {
        s(category, level, message);
    } else {
        writeStderr(category, level, message);
    }
}

}  // namespace orlix::log
