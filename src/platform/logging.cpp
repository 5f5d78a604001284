#include "platform/logging.h"

#include <QLoggingCategory>
#include <QtGlobal>
#include <array>
#include <memory>
#include <string_view>

#include "base/log.h"

namespace orlix {
namespace {

constexpr std::size_t kCategoryCount = std::size(log::kCategories);

// One Qt category per name of base/log.h, made once. Info and above are on
// by default, debug is off: the same default as the stderr writer.
const std::array<std::unique_ptr<QLoggingCategory>, kCategoryCount>& categories() {
    static const auto all = [] {
        std::array<std::unique_ptr<QLoggingCategory>, kCategoryCount> a;
        for (std::size_t i = 0; i < kCategoryCount; ++i)
            a[i] = std::make_unique<QLoggingCategory>(log::kCategories[i], QtInfoMsg);
        return a;
    }();
    return all;
}

// A name that is not among them is a programming error; such lines go to
// orlix.app rather than being lost.
const QLoggingCategory& categoryNamed(std::string_view name) {
    const auto& all = categories();
    for (std::size_t i = 0; i < kCategoryCount; ++i)
        if (name == log::kCategories[i]) return *all[i];
    return *all[0];
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
    categories();
    log::setSink(&qtSink);
}

}  // namespace orlix
