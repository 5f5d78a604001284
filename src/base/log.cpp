#include "base/log.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>
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
    static const std::string rules = [] {
        const char* r = std::getenv("QT_LOGGING_RULES");
        return std::string(r != nullptr ? r : "");
    }();
    if (!enabledByRules(rules, category, level)) return;
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

std::optional<std::string> RepeatFilter::pass(std::string_view text, Clock::time_point now) {
    auto it = seen_.find(text);
    if (it == seen_.end()) {
        if (seen_.size() >= kMaxTexts) seen_.clear();
        seen_.emplace(std::string(text), Seen{now, 0});
        std::string line(text);
        line += " (repeats are counted and written at most once a minute)";
        return line;
    }
    Seen& s = it->second;
    ++s.unreported;
    const auto since = now - s.lastLine;
    if (since < kReportInterval) return std::nullopt;
    std::string line(text);
    line += " (again ";
    line += std::to_string(s.unreported);
    line += s.unreported == 1 ? " time" : " times";
    line += " in the last ";
    line += std::to_string(std::chrono::duration_cast<std::chrono::seconds>(since).count());
    line += " s)";
    s.lastLine = now;
    s.unreported = 0;
    return line;
}

std::uint64_t RepeatFilter::unreported(std::string_view text) const {
    const auto it = seen_.find(text);
    return it == seen_.end() ? 0 : it->second.unreported;
}

void failure(std::string_view category, std::string_view text, Level level) {
    static std::mutex mutex;
    static RepeatFilter filter;
    std::string key(category);
    key.push_back('\n');  // a category name holds no newline
    key.append(text);
    std::optional<std::string> line;
    {
        std::lock_guard lock(mutex);
        line = filter.pass(key);
    }
    if (line) write(category, level, std::string_view(*line).substr(category.size() + 1));
}

std::string currentExceptionText() {
    const std::exception_ptr e = std::current_exception();
    if (!e) return {};
    try {
        std::rethrow_exception(e);
    } catch (const std::exception& x) {
        return x.what();
    } catch (...) {
        return "unknown exception";
    }
}

void caughtException(std::string_view category, std::string_view context) noexcept {
    try {
        std::string text(context);
        text += " failed: ";
        text += currentExceptionText();
        failure(category, text);
    } catch (const std::exception&) {
        // Out of memory while forming the line: a fixed line still goes out.
        std::fputs("orlix: a failure could not be logged (out of memory)\n", stderr);
    }
}

}  // namespace orlix::log
