#pragma once
// Logging in the Qt layers: one QLoggingCategory per area, named
// "orlix.<area>", switched by QT_LOGGING_RULES like any Qt program's. The
// layers below Qt log through platform/log.h; installQtLogSink() routes
// those messages into categories of the same names.
#include <QLoggingCategory>

namespace orlix {

Q_DECLARE_LOGGING_CATEGORY(lcSerial)    // orlix.serial: port open, close, errors
Q_DECLARE_LOGGING_CATEGORY(lcDatabase)  // orlix.database: sample database failures
Q_DECLARE_LOGGING_CATEGORY(lcUi)        // orlix.ui: failures inside window event handlers
Q_DECLARE_LOGGING_CATEGORY(lcApp)       // orlix.app: start-up, options, helper processes

// Sends the messages of platform/log.h to QLoggingCategory objects of the
// same names (and sets a message pattern that shows the category, unless
// QT_MESSAGE_PATTERN is set). Call once, after the QCoreApplication exists.
void installQtLogSink();

}  // namespace orlix
