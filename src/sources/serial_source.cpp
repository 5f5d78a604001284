#include "sources/serial_source.h"

#include <QSerialPortInfo>

#include "sources/port_permission.h"

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

SerialSource::SerialSource(std::string path, QObject* parent) : QObject(parent), path_(std::move(path)) {
    connect(&port_, &QSerialPort::readyRead, this, [this] { readWaiting(); });
    connect(&port_, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) { handleError(e); });
}

SerialSource::~SerialSource() {
    if (port_.isOpen()) port_.close();
}

void SerialSource::setBaudRate(int baud) {
    baud_ = baud;
    if (port_.isOpen()) port_.setBaudRate(baud);
}

OpenResult SerialSource::open() {
    if (port_.isOpen()) return OpenResult::AlreadyOpen;
    port_.setPortName(QString::fromStdString(path_));
    // Errors raised while opening are answered by the result, not as trouble
    // on a running source.
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
    openHint_.clear();
    if (!ok) {
        openError_ = port_.errorString().toStdString();
        if (const auto denial = portDenial(path_)) openHint_ = denialText(*denial);
        port_.clearError();
        return OpenResult::Failed;
    }
    port_.clearError();
    openError_.clear();
    deliverUp();
    return OpenResult::Ok;
}

bool SerialSource::close() {
    if (!port_.isOpen()) return true;
    port_.close();
    port_.clearError();
    return !port_.isOpen();
}

bool SerialSource::isOpen() const { return port_.isOpen(); }

void SerialSource::readWaiting() {
    const QByteArray data = port_.readAll();
    if (data.isEmpty()) return;
    deliverRead({reinterpret_cast<const std::uint8_t*>(data.constData()), static_cast<std::size_t>(data.size())});
}

void SerialSource::handleError(QSerialPort::SerialPortError error) {
    if (error == QSerialPort::NoError || opening_) return;
    // A device that went away means the source is lost. A failing read means
    // the same: a tty read only fails or ends at a hang-up (a closed
    // pseudo-terminal reports it this way), and the port would report it
    // again at once, over and over, if it stayed open.
    const bool gone = error == QSerialPort::ResourceError || error == QSerialPort::DeviceNotFoundError ||
                      error == QSerialPort::ReadError;
    // The kind of error first: after a hang-up the port's text may be a
    // left-over system message.
    troubleText_ = std::string(errorKind(error)) + ": " + port_.errorString().toStdString();
    deliverEvent(gone ? PortTrouble::Lost : PortTrouble::Other);
}

std::vector<SystemPort> systemSerialPorts() {
    std::vector<SystemPort> out;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        out.push_back({info.portName().toStdString(), info.systemLocation().toStdString()});
    return out;
}

}  // namespace orlix
