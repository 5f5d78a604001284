#include "platform/qt_serial_link.h"

#include <QSerialPortInfo>

namespace orlix {

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

void QtSerialLink::setPortPath(const std::string& path) { path_ = path; }

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
        return OpenResult::Ok;
    }
    port_.clearError();
    return OpenResult::Failed;
}

bool QtSerialLink::close() {
    if (!port_.isOpen()) return true;
    port_.close();
    port_.clearError();
    return !port_.isOpen();
}

bool QtSerialLink::isOpen() const { return port_.isOpen(); }

std::vector<std::uint8_t> QtSerialLink::readAll() {
    const QByteArray data = port_.readAll();
    return {reinterpret_cast<const std::uint8_t*>(data.constData()),
            reinterpret_cast<const std::uint8_t*>(data.constData()) + data.size()};
}

void QtSerialLink::handleError(QSerialPort::SerialPortError error) {
    if (error == QSerialPort::NoError || opening_) return;
    if (!onTrouble) return;
    // A device that went away means the link is lost. A failing read means
    // the same: a tty read only fails or ends at a hang-up (a closed
    // pseudo-terminal reports it this way), and the port would report it
    // again at once, over and over, if it stayed open.
    if (error == QSerialPort::ResourceError || error == QSerialPort::DeviceNotFoundError ||
        error == QSerialPort::ReadError)
        onTrouble(PortTrouble::Lost);
    else
        onTrouble(PortTrouble::Other);
}

std::vector<SystemPort> systemSerialPorts() {
    std::vector<SystemPort> out;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        out.push_back({info.portName().toStdString(), info.systemLocation().toStdString()});
    return out;
}

}  // namespace orlix
