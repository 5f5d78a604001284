#include "platform/logging.h"

#include <QtGlobal>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "base/log.h"

namespace orlix {

// Info and above are on by default, debug is off: the same default as the
// stderr writer of the plain layers.
Q_LOGGING_CATEGORY(lcApp, log::kApp, QtInfoMsg)
Q_LOGGING_CATEGORY(lcSerial, log::kSerial, QtInfoMsg)
Q_LOGGING_CATEGORY(lcDatabase, log::kDatabase, QtInfoMsg)
Q_LOGGING_CATEGORY(lcUi, log::kUi, QtInfoMsg)
Q_LOGGING_CATEGORY(lcChart, log::kChart, QtInfoMsg)
Q_LOGGING_CATEGORY(lcComm, log::kComm, QtInfoMsg)

namespace {

using CategoryFn = const QLoggingCategory& (*)();

struct Known {
    const char* name;
    CategoryFn category;
};
constexpr Known kKnown[] = {{log::kApp, &lcApp},     {log::kSerial, &lcSerial}, {log::kDatabase, &lcDatabase},
                            {log::kUi, &lcUi},       {log::kChart, &lcChart},   {log::kComm, &lcComm}};

// The category object of a name: one of ours, or one made on first use and
// kept for the run (QLoggingCategory keeps a pointer to its name, which the
// map's key holds).
const QLoggingCategory& categoryNamed(std::string_view name) {
    for (const Known& k : kKnown)
        if (name == k.name) return k.category();
    static std::mutex mutex;
    static std::map<std::string, std::unique_ptr<QLoggingCategory>, std::less<>> others;
    std::lock_guard lock(mutex);
    auto it = others.find(name);
    if (it == others.end()) {
        it = others.emplace(std::string(name), nullptr).first;
        it->second = std::make_unique<QLoggingCategory>(it->first.c_str(), QtInfoMsg);
    }
    return *it->second;
}

void qtSink(std::string_view category, log::Level level, std::string_view message) {
    const QLoggingCategory& cat = categoryNamed(category);
    const QMessageLogger logger(nullptr, 0, nullptr, cat.categoryName());
    const QByteArray text(message.data(), static_cast<qsizetype>(message.size()));
    switch (level) {
        case log::Level::Debug:
            if (cat.isDebugEnabled()) logger.debug("%s", text.constData());
            break;
        case log::Level::Info:
            if (cat.isInfoEnabled()) logger.info("%s", text.constData());
            break;
        case log::Level::Warning:
            if (cat.isWarningEnabled()) logger.warning("%s", text.constData());
            break;
        case log::Level::Critical:
            if (cat.isCriticalEnabled()) logger.critical("%s", text.constData());
            break;
    }
}

}  // namespace

void installQtLogSink() {
    if (qEnvironmentVariableIsEmpty("QT_MESSAGE_PATTERN"))
        qSetMessagePattern(QStringLiteral("%{if-category}%{category}: %{endif}%{type}: %{message}"));
    log::setSink(&qtSink);
}

}  // namespace orlix
