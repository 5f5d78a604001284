#pragma once
// Logging in a Qt program: the messages of base/log.h (the one logging
// front end of every layer) go to Qt's logging categories of the same names,
// "orlix.serial", "orlix.database" ..., so that QT_LOGGING_RULES switches
// them like any Qt program's, and each line reads
// "orlix.serial: warning: <message>".
namespace orlix {

// Sends base/log.h's messages to the Qt categories and sets a message
// pattern that shows the category and level, unless QT_MESSAGE_PATTERN is
// set. Call once, at the start of main().
void installQtLogSink();

}  // namespace orlix
