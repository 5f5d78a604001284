#include "sources/serial_source.h"

#include <QSerialPortInfo>

#include "sources/port_permission.h"
#include "platform/logging.h"

namespace orlix {
namespace {

const char* errorKind(QSerialPort::SerialPortError error) {
    switch (error) {
        case QSerialPort::DeviceNotFoundError: return "device not found";
        case QSerialPort::PermissionError: return "permission error";
        case QSerialPort::OpenError: return "open error";
        case QSerialPort::WriteError: return "write error";
        case QSerialPort::ReadError: return "read error";
        case QSerialPort::ResourceError: return "resource error";
        case QSerialPort::UnsupportedOperationError: return "unsupported operation";
        case QSerialPort::TimeoutError: return "timeout";
        case QSerialPort::NotOpenError: return "not open";
        default: return "error";
    }
}

}  // namespace

QtSerialLink::QtSerialLink(QObject* parent) : QObject(parent) {
    connect(&port_, &QSerialPort::readyRead, this, [this] {
        if (onReadyRead) onReadyRead();
    });
    connect(&port_, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError e) { handleError(e); });
}

QtSerialLink::~QtSerialLink() {
    // No callbacks into a window that may already be gone.
    onReadyRead = nullptr;
    onTrouble = nullptr;
    if (port_.isOpen()) port_.close();
}

void QtSerialLink::setPortPath(const std::string& path) {
    if (path == path_) return;
    path_ = path;
    // Another port: its first failure is news, and opening it is no reconnect.
    lost_ = false;
    failedOpens_ = 0;
    openFailures_.reset();
    portErrors_.reset();
}

void QtSerialLink::setBaudRate(int baud) {
    baud_ = baud;
    if (port_.isOpen()) port_.setBaudRate(baud);
}

OpenResult QtSerialLink::open() {
    if (port_.isOpen()) return OpenResult::AlreadyOpen;
    port_.setPortName(QString::fromStdString(path_));
    // Errors raised while opening are answered by the result, not as trouble
    // on a running link.
    opening_ = true;
    const bool ok = port_.open(QIODevice::ReadOnly);
    if (ok) {
        port_.setBaudRate(baud_);
        port_.setDataBits(QSerialPort::Data8);
        port_.setParity(QSerialPort::NoParity);
        port_.setStopBits(QSerialPort::OneStop);
        port_.setFlowControl(QSerialPort::NoFlowControl);
        port_.clear(QSerialPort::Input);  // discard what waited before
    }
    opening_ = false;
    if (ok) {
        port_.clearError();
        openHint_.clear();
        logOpened();
        return OpenResult::Ok;
    }
    ++failedOpens_;
    openHint_.clear();
    if (const auto denial = portDenial(path_)) openHint_ = denialText(*denial);
    std::string why = "cannot open " + path_ + ": " + port_.errorString().toStdString();
    if (!openHint_.empty()) why += ". " + openHint_;
    if (const auto line = openFailures_.pass(why)) qCWarning(lcSerial).noquote() << QString::fromStdString(*line);
    port_.clearError();
    return OpenResult::Failed;
}

void QtSerialLink::logOpened() {
    const QString path = QString::fromStdString(path_);
    const QString after = failedOpens_ > 0 ? QStringLiteral(" after %1 failed attempts").arg(failedOpens_) : QString();
    if (lost_)
        qCInfo(lcSerial).noquote() << QStringLiteral("reconnected to %1%2").arg(path, after);
    else
        qCInfo(lcSerial).noquote() << QStringLiteral("opened %1 read-only at %2 baud%3").arg(path).arg(baud_).arg(after);
    lost_ = false;
    failedOpens_ = 0;
    openFailures_.reset();
    portErrors_.reset();
}

bool QtSerialLink::close() {
    if (!port_.isOpen()) return true;
    port_.close();
    port_.clearError();
    if (port_.isOpen()) {
        qCWarning(lcSerial).noquote() << QStringLiteral("cannot close %1").arg(QString::fromStdString(path_));
        return false;
    }
    qCInfo(lcSerial).noquote() << QStringLiteral("closed %1").arg(QString::fromStdString(path_));
    return true;
}

bool QtSerialLink::isOpen() const { return port_.isOpen(); }

std::vector<std::uint8_t> QtSerialLink::readAll() {
    const QByteArray data = port_.readAll();
    return {reinterpret_cast<const std::uint8_t*>(data.constData()),
            reinterpret_cast<const std::uint8_t*>(data.constData()) + data.size()};
}

void QtSerialLink::handleError(QSerialPort::SerialPortError error) {
    if (error == QSerialPort::NoError || opening_) return;
    // A device that went away means the link is lost. A failing read means
    // the same: a tty read only fails or ends at a hang-up (a closed
    // pseudo-terminal reports it this way), and the port would report it
    // again at once, over and over, if it stayed open.
    const bool gone = error == QSerialPort::ResourceError || error == QSerialPort::DeviceNotFoundError ||
                      error == QSerialPort::ReadError;
    // The kind of error first: after a hang-up the port's text may be a
    // left-over system message.
    const std::string why = std::string(errorKind(error)) + ": " + port_.errorString().toStdString();
    if (gone && !lost_) {
        lost_ = true;
        qCWarning(lcSerial).noquote() << QString::fromStdString("lost " + path_ + " (" + why + ")");
    } else if (!gone) {
        if (const auto line = portErrors_.pass("error on " + path_ + " (" + why + ")"))
            qCWarning(lcSerial).noquote() << QString::fromStdString(*line);
    }
    if (!onTrouble) return;
    onTrouble(gone ? PortTrouble::Lost : PortTrouble::Other);
}

std::vector<SystemPort> systemSerialPorts() {
    std::vector<SystemPort> out;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        out.push_back({info.portName().toStdString(), info.systemLocation().toStdString()});
    return out;
}

}  // namespace orlix
