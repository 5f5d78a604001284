#include "platform/qt_log.h"

#include <QtGlobal>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/log.h"

namespace orlix {

// Info and above are on by default, debug is off: the same default as the
// stderr writer of the plain layers.
Q_LOGGING_CATEGORY(lcSerial, "orlix.serial", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDatabase, "orlix.database", QtInfoMsg)
Q_LOGGING_CATEGORY(lcUi, "orlix.ui", QtInfoMsg)
Q_LOGGING_CATEGORY(lcApp, "orlix.app", QtInfoMsg)

namespace {

// The category object of a name; created on first use and kept for the run
// (QLoggingCategory keeps a pointer to its name, which the map's key holds).
QLoggingCategory& categoryNamed(std::string_view name) {
    static std::mutex mutex;
    static std::map<std::string, std::unique_ptr<QLoggingCategory>, std::less<>> categories;
    std::lock_guard lock(mutex);
    auto it = categories.find(name);
    if (it == categories.end()) {
        it = categories.emplace(std::string(name), nullptr).first;
        it->second = std::make_unique<QLoggingCategory>(it->first.c_str(), QtInfoMsg);
    }
    return *it->second;
}

void qtSink(std::string_view category, log::Level level, std::string_view message) {
    const QLoggingCategory& cat = categoryNamed(category);
    const QString text = QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size()));
    switch (level) {
        case log::Level::Debug:
            if (cat.isDebugEnabled()) QMessageLogger(nullptr, 0, nullptr, cat.categoryName()).debug("%s", qUtf8Printable(text));
            break;
        case log::Level::Info:
            if (cat.isInfoEnabled()) QMessageLogger(nullptr, 0, nullptr, cat.categoryName()).info("%s", qUtf8Printable(text));
            break;
        case log::Level::Warning:
            if (cat.isWarningEnabled()) QMessageLogger(nullptr, 0, nullptr, cat.categoryName()).warning("%s", qUtf8Printable(text));
            break;
        case log::Level::Critical:
            if (cat.isCriticalEnabled()) QMessageLogger(nullptr, 0, nullptr, cat.categoryName()).critical("%s", qUtf8Printable(text));
            break;
    }
}

}  // namespace

void installQtLogSink() {
    if (qEnvironmentVariableIsEmpty("QT_MESSAGE_PATTERN"))
        qSetMessagePattern(QStringLiteral("%{category}: %{if-debug}debug%{endif}%{if-info}info%{endif}"
                                          "%{if-warning}warning%{endif}%{if-critical}critical%{endif}"
                                          "%{if-fatal}fatal%{endif}: %{message}"));
    log::setSink(&qtSink);
}

}  // namespace orlix
