#pragma once
// A serial device as a byte source, on Qt Serial Port, opened for reading
// only. Every read goes to the listeners as it comes; a device that goes
// away is Lost, any other port error is Other, with the port's own text in
// troubleText(). An open refused for want of permission names the device's
// group and how to join it in openFailureHint(). Nothing is logged here:
// the port (port.h) that opens and retries says what happened.
#include <QObject>
#include <QSerialPort>
#include <string>
#include <vector>

#include "sources/byte_source.h"

namespace orlix {

class SerialSource final : public QObject, public ByteSource {
    Q_OBJECT
public:
    explicit SerialSource(std::string path, QObject* parent = nullptr);
    ~SerialSource() override;

    std::string name() const override { return path_; }
    void setBaudRate(int baud) override;
    int baudRate() const { return baud_; }
    OpenResult open() override;
    bool close() override;
    bool isOpen() const override;
    std::string openError() const override { return openError_; }
    std::string openFailureHint() const override { return openHint_; }
    std::string troubleText() const override { return troubleText_; }

private:
    void readWaiting();
    void handleError(QSerialPort::SerialPortError error);

    QSerialPort port_;
    std::string path_;
    int baud_ = 1200;
    bool opening_ = false;
    std::string openError_, openHint_, troubleText_;
};

// The serial ports the system has right now, as {name shown, device path},
// e.g. {"ttyUSB0", "/dev/ttyUSB0"}.
struct SystemPort {
    std::string name;
    std::string path;
};
std::vector<SystemPort> systemSerialPorts();

}  // namespace orlix
