#pragma once
// The serial port on Qt Serial Port, opened for reading only.
#include <QObject>
#include <QSerialPort>
#include <string>
#include <vector>

#include "platform/serial_port.h"

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
    std::vector<std::uint8_t> readAll() override;

private:
    void handleError(QSerialPort::SerialPortError error);

    QSerialPort port_;
    std::string path_;
    int baud_ = 1200;
    bool opening_ = false;
};

// The serial ports the system has right now, as {name shown, device path},
// e.g. {"ttyUSB0", "/dev/ttyUSB0"}.
struct SystemPort {
    std::string name;
    std::string path;
};
std::vector<SystemPort> systemSerialPorts();

}  // namespace orlix
