#pragma once
// The receivers the notifier's tests deliver to, both on 127.0.0.1 and a
// free port: an HTTP server that records every request and answers with
// the statuses it is told (or not at all), and the SMTP sink
// (smtp_sink.py on Debian's aiosmtpd) that records every message.
#include <QByteArray>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace orlix::test {

class HttpReceiver {
public:
    struct Request {
        QByteArray method, target, body;
        std::map<QByteArray, QByteArray> headers;  // names in lower case
    };
    // The status of each next request, in turn; 0 leaves it unanswered.
    // Once the list is used up every request gets 200.
    explicit HttpReceiver(std::deque<int> answers = {}) : answers_(std::move(answers)) {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                auto buffer = std::make_shared<QByteArray>();
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                    *buffer += socket->readAll();
                    while (takeRequest(*socket, *buffer)) {}
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    std::string url(const std::string& userInfo = "", const std::string& path = "/hooks/alarm") const {
        return "http://" + userInfo + "127.0.0.1:" + std::to_string(server_.serverPort()) + path;
    }
    const std::vector<Request>& requests() const { return requests_; }

private:
    // Takes one whole request off the front of `buffer` and answers it.
    bool takeRequest(QTcpSocket& socket, QByteArray& buffer) {
        const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
        if (headEnd < 0) return false;
        Request r;
        const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        r.method = first.value(0);
        r.target = first.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0) r.headers[lines[i].left(colon).trimmed().toLower()] = lines[i].mid(colon + 1).trimmed();
        }
        const qsizetype length = r.headers["content-length"].toLongLong();
        if (buffer.size() < headEnd + 4 + length) return false;
        r.body = buffer.mid(headEnd + 4, length);
        buffer.remove(0, headEnd + 4 + length);
        requests_.push_back(std::move(r));
        const int status = answers_.empty() ? 200 : answers_.front();
        if (!answers_.empty()) answers_.pop_front();
        if (status != 0) {
            const QByteArray reason = status == 500 ? "Internal Server Error" : status < 300 ? "OK" : "Other";
            socket.write("HTTP/1.1 " + QByteArray::number(status) + " " + reason + "\r\nContent-Length: 0\r\n\r\n");
        }
        return true;
    }

    QTcpServer server_;
    std::deque<int> answers_;
    std::vector<Request> requests_;
};

// A port on 127.0.0.1 that nothing listens on (it was free a moment ago).
inline quint16 closedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

class SmtpSink {
public:
    struct Mail {
        std::string from;
        std::vector<std::string> to;
        std::string data;  // as received, line ends CRLF
    };
    SmtpSink() {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(&process_, &QProcess::readyReadStandardOutput, [this] {
            while (process_.canReadLine()) take(QJsonDocument::fromJson(process_.readLine()).object());
        });
        process_.start(ORLIX_HUB_PYTHON3, {ORLIX_SMTP_SINK_PY});
    }
    ~SmtpSink() {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(5000)) process_.kill();
        process_.waitForFinished();
    }
    // 0 until it listens.
    int port() const { return port_; }
    const std::vector<Mail>& mails() const { return mails_; }

private:
    void take(const QJsonObject& o) {
        if (o.contains("port")) {
            port_ = o["port"].toInt();
            return;
        }
        Mail m;
        m.from = o["from"].toString().toStdString();
        for (const auto& to : o["to"].toArray()) m.to.push_back(to.toString().toStdString());
        m.data = QByteArray::fromBase64(o["data"].toString().toLatin1()).toStdString();
        mails_.push_back(std::move(m));
    }

    QProcess process_;
    int port_ = 0;
    std::vector<Mail> mails_;
};

}  // namespace orlix::test
