#pragma once
// One attempt to hand a notice over, by the kind of receiver: the Notifier's
// means of delivery (notifier.h), with no queue and no retries of their own.
//
// Each function calls `done` exactly once, from the event loop of `context`'s
// thread (or at once, from inside the call, when the attempt cannot even
// start), with whether the notice was delivered and a one-line detail that
// holds no credentials and no message text. Replies and processes are
// cleaned up by the functions themselves; all their signals are connected
// with `context`, so once `context` is gone nothing is called any more and
// a sendmail command still running is killed with it.
#include <QString>
#include <QUrl>
#include <chrono>
#include <functional>
#include <string>

class QNetworkAccessManager;
class QObject;

namespace orlix::hub {

using AttemptDone = std::function<void(bool delivered, std::string detail)>;

// POSTs `json` to an http or https URL (Content-Type application/json, no
// redirects followed). A user and password in the URL go out as HTTP Basic
// authorization, not in the request line. Delivered on a 2xx status;
// fails after `timeout` without data.
void postWebhook(QNetworkAccessManager& network, QObject* context, const std::string& url,
                 const std::string& json, std::chrono::milliseconds timeout, AttemptDone done);

// Runs `command` (split into words by QProcess::splitCommand: blanks separate
// them, double quotes group them, single quotes are plain characters; no
// shell is run), writes `message` to its standard input and closes it.
// Delivered on exit status 0; the detail of a failure carries the command's
// standard error as one line.
// Killed when still running after `timeout`.
void runSendmail(QObject* context, const std::string& command, const std::string& message,
                 std::chrono::milliseconds timeout, AttemptDone done);

// "http://host:port" (the port only when given): what a log may say of a
// webhook's URL. "an unreadable URL" when it cannot be parsed.
std::string shownUrl(const QUrl& url);

// "10 s", "1 min", "250 ms".
std::string durationText(std::chrono::milliseconds duration);

// `text` as one line of at most `maxBytes` bytes: control characters become
// blanks, runs of blanks one blank, and a cut ends at a UTF-8 character
// boundary with "...".
std::string oneLine(std::string_view text, std::size_t maxBytes);

}  // namespace orlix::hub
