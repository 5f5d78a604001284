#pragma once
// The serial port on Qt Serial Port, opened for reading only. Opening,
// closing, a lost device and every port error are logged (orlix.serial)
// with the path and the port's own error text; an open that fails the same
// way on every retry is logged once and then counted. An open refused for
// want of permission also names the device's group and how to join it.
#include <QObject>
#include <QSerialPort>
#include <string>
#include <vector>

#include "base/log.h"
#include "sources/byte_source.h"

namespace orlix {

class QtSerialLink final : public QObject, public SerialPort {
    Q_OBJECT
public:
    explicit QtSerialLink(QObject* parent = nullptr);
    ~QtSerialLink() override;

    void setPortPath(const std::string& path) override;
    std::string portPath() const override { return path_; }
    void setBaudRate(int baud) override;
    int baudRate() const override { return baud_; }
    OpenResult open() override;
    bool close() override;
    bool isOpen() const override;
    std::string openFailureHint() const override { return openHint_; }
    std::vector<std::uint8_t> readAll() override;

private:
    void handleError(QSerialPort::SerialPortError error);
    void logOpened();

    QSerialPort port_;
    std::string path_;
    int baud_ = 1200;
    bool opening_ = false;
    bool lost_ = false;     // the device went away since the last open
    int failedOpens_ = 0;   // since the last successful open
    std::string openHint_;  // of the last failed open
    log::RepeatFilter openFailures_, portErrors_;
};

// The serial ports the system has right now, as {name shown, device path},
// e.g. {"ttyUSB0", "/dev/ttyUSB0"}.
struct SystemPort {
    std::string name;
    std::string path;
};
std::vector<SystemPort> systemSerialPorts();

}  // namespace orlix
