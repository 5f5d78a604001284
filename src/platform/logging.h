#pragma once
// Logging in the Qt layers: one QLoggingCategory per area, named
// "orlix.<area>" (the names of platform/log.h), switched by
// QT_LOGGING_RULES like any Qt program's. The layers below Qt log through
// platform/log.h; installQtLogSink() routes those messages into these same
// categories.
//
//   qCWarning(lcSerial) << "cannot open" << path;
#include <QLoggingCategory>

namespace orlix {

Q_DECLARE_LOGGING_CATEGORY(lcApp)       // orlix.app: start-up, options, helper processes
Q_DECLARE_LOGGING_CATEGORY(lcSerial)    // orlix.serial: port open, close, loss, errors
Q_DECLARE_LOGGING_CATEGORY(lcDatabase)  // orlix.database: sample database operations
Q_DECLARE_LOGGING_CATEGORY(lcUi)        // orlix.ui: failures inside window event handlers
Q_DECLARE_LOGGING_CATEGORY(lcChart)     // orlix.chart: failures of the sampling tick's steps
Q_DECLARE_LOGGING_CATEGORY(lcComm)      // orlix.comm: receiver and decoder failures

// Sends the messages of platform/log.h to the categories above (or, for a
// name not among them, to a category of that name), and sets a message
// pattern that shows the category and level, "orlix.serial: warning: ...",
// unless QT_MESSAGE_PATTERN is set. Call once, at the start of main().
void installQtLogSink();

}  // namespace orlix
