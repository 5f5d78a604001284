#include "hub/notice_transport.h"

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QTimer>
#include <memory>

namespace orlix::hub {
namespace {

// The standard error kept of a sendmail command: its first lines say why.
constexpr qsizetype kStderrKeep = 4096;
constexpr std::size_t kDetailBytes = 300;

std::string basicAuthorization(const QUrl& url) {
    const QByteArray pair = url.userName(QUrl::FullyDecoded).toUtf8() + ':' + url.password(QUrl::FullyDecoded).toUtf8();
    return "Basic " + pair.toBase64().toStdString();
}

void replaceAll(std::string& text, const std::string& what, const std::string& with) {
    if (what.empty()) return;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
}

// Qt's error texts may quote the URL whole; the detail names it as
// shownUrl() does, and never with its user or password.
std::string withoutSecrets(std::string text, const QUrl& url) {
    for (const QUrl::FormattingOptions form : {QUrl::FormattingOptions(QUrl::PrettyDecoded),
                                               QUrl::FormattingOptions(QUrl::FullyEncoded),
                                               QUrl::FormattingOptions(QUrl::RemovePassword)})
        replaceAll(text, url.toString(form).toStdString(), shownUrl(url));
    if (!url.userInfo().isEmpty()) {
        for (const QUrl::ComponentFormattingOptions form : {QUrl::PrettyDecoded, QUrl::FullyEncoded, QUrl::FullyDecoded})
            replaceAll(text, url.userInfo(form).toStdString(), "***");
        replaceAll(text, url.password(QUrl::FullyDecoded).toStdString(), "***");
    }
    return text;
}

std::string networkFailure(const QNetworkReply& reply, const QUrl& url, std::chrono::milliseconds timeout) {
    switch (reply.error()) {
    case QNetworkReply::ConnectionRefusedError:
        return "connection refused";
    case QNetworkReply::RemoteHostClosedError:
        return "connection closed before an answer";
    case QNetworkReply::HostNotFoundError:
        return "host " + url.host().toStdString() + " not found";
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError:  // the transfer timeout aborts the reply
        return "no answer within " + durationText(timeout);
    default:
        return oneLine(withoutSecrets(reply.errorString().toStdString(), url), kDetailBytes);
    }
}

void webhookAnswered(QNetworkReply& reply, const QUrl& url, std::chrono::milliseconds timeout, const AttemptDone& done) {
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        done(false, networkFailure(reply, url, timeout));
        return;
    }
    const int code = status.toInt();
    std::string detail = "HTTP " + std::to_string(code);
    const QString reason = reply.attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
    if (!reason.isEmpty()) detail += " " + oneLine(reason.toStdString(), 80);
    done(code >= 200 && code <= 299, detail);
}

std::string exitDetail(const QProcess& process, bool timedOut, std::chrono::milliseconds timeout,
                       const QByteArray& stderrText) {
    std::string detail;
    if (timedOut)
        detail = "no exit within " + durationText(timeout) + ", killed";
    else if (process.exitStatus() == QProcess::CrashExit)
        detail = "ended by a signal";
    else
        detail = "exit status " + std::to_string(process.exitCode());
    std::string said;
    for (const QByteArray& line : stderrText.split('\n')) {
        const std::string text = oneLine(line.toStdString(), kDetailBytes);
        if (!text.empty()) said += (said.empty() ? "" : "; ") + text;
    }
    if (!said.empty()) detail += ": " + oneLine(said, kDetailBytes);
    return detail;
}

}  // namespace

std::string shownUrl(const QUrl& url) {
    if (!url.isValid() || url.host().isEmpty()) return "an unreadable URL";
    std::string shown = url.scheme().toStdString() + "://" + url.host(QUrl::FullyEncoded).toStdString();
    if (url.port() != -1) shown += ":" + std::to_string(url.port());
    return shown;
}

std::string durationText(std::chrono::milliseconds duration) {
    const auto ms = duration.count();
    if (ms != 0 && ms % 60000 == 0) return std::to_string(ms / 60000) + " min";
    if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
    return std::to_string(ms) + " ms";
}

std::string oneLine(std::string_view text, std::size_t maxBytes) {
    std::string out;
    for (const char c : text) {
        const bool blank = static_cast<unsigned char>(c) < 0x20 || c == 0x7F || c == ' ';
        if (blank) {
            if (!out.empty() && out.back() != ' ') out.push_back(' ');
        } else {
            out.push_back(c);
        }
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    if (out.size() <= maxBytes) return out;
    std::size_t cut = maxBytes > 3 ? maxBytes - 3 : 0;
    while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
    out.resize(cut);
    return out + "...";
}

void postWebhook(QNetworkAccessManager& network, QObject* context, const std::string& url,
                 const std::string& json, std::chrono::milliseconds timeout, AttemptDone done) {
    const QUrl target(QString::fromStdString(url), QUrl::StrictMode);
    const QString scheme = target.scheme();
    if (!target.isValid() || target.host().isEmpty() || (scheme != "http" && scheme != "https")) {
        done(false, "not an http or https URL");
        return;
    }
    QNetworkRequest request(target.adjusted(QUrl::RemoveUserInfo));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArrayLiteral("orlix-hub"));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(static_cast<int>(timeout.count()));
    if (!target.userInfo().isEmpty())
        request.setRawHeader("Authorization", QByteArray::fromStdString(basicAuthorization(target)));

    QNetworkReply* reply = network.post(request, QByteArray::fromStdString(json));
    QObject::connect(reply, &QNetworkReply::finished, context, [reply, target, timeout, done = std::move(done)] {
        reply->deleteLater();
        webhookAnswered(*reply, target, timeout, done);
    });
}

void runSendmail(QObject* context, const std::string& command, const std::string& message,
                 std::chrono::milliseconds timeout, AttemptDone done) {
    QStringList words = QProcess::splitCommand(QString::fromStdString(command));
    if (words.isEmpty()) {
        done(false, "no sendmail command is set");
        return;
    }
    auto* process = new QProcess(context);
    const QString program = words.takeFirst();
    process->setProgram(program);
    process->setArguments(words);
    process->setStandardOutputFile(QProcess::nullDevice());

    struct Run {
        QByteArray stderrText;
        bool timedOut = false;
    };
    auto run = std::make_shared<Run>();
    auto* timer = new QTimer(process);
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, process, [process, run] {
        run->timedOut = true;
        process->kill();
    });
    QObject::connect(process, &QProcess::readyReadStandardError, context, [process, run] {
        run->stderrText += process->readAllStandardError();
        if (run->stderrText.size() > kStderrKeep) run->stderrText.truncate(kStderrKeep);
    });
    QObject::connect(process, &QProcess::errorOccurred, context, [process, program, done](QProcess::ProcessError e) {
        if (e != QProcess::FailedToStart) return;  // the others end in finished()
        process->deleteLater();
        done(false, "cannot run " + program.toStdString() + ": " + process->errorString().toStdString());
    });
    QObject::connect(process, &QProcess::finished, context, [process, run, timeout, done] {
        process->deleteLater();
        run->stderrText += process->readAllStandardError();
        done(process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0 && !run->timedOut,
             exitDetail(*process, run->timedOut, timeout, run->stderrText));
    });
    process->start();
    timer->start(timeout);
    process->write(message.data(), static_cast<qint64>(message.size()));
    process->closeWriteChannel();
}

}  // namespace orlix::hub
