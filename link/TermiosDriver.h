#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>
#include <map>

#include "link/PortDriver.h"

struct termios;

namespace zendal {

// The kernel's serial ports (ftdi_sio's /dev/ttyUSB*, cdc-acm's /dev/ttyACM*)
// offered as a port driver. Only ports whose USB vendor is FTDI (0403) are
// listed, with the USB serial number and product string; extra ports given by
// path (a pseudo-terminal of zendal-pedal-sim, a port the listing cannot see)
// are listed after them with the path as their serial number. I/O is plain
// POSIX termios, non-blocking, raw.
class TermiosDriver : public PortDriver {
  public:
    struct Options {
        QString sysfsTtyRoot = QStringLiteral("/sys/class/tty");
        QString devRoot = QStringLiteral("/dev");
        bool scanSystemPorts = true;
        QStringList extraPorts;
    };

    struct Port {
        QByteArray serial;
        QByteArray description;
        QString path;
    };

    TermiosDriver();
    explicit TermiosDriver(Options options);
    ~TermiosDriver() override;
    TermiosDriver(const TermiosDriver&) = delete;
    TermiosDriver& operator=(const TermiosDriver&) = delete;

    // Colon-separated device paths of ZENDAL_EXTRA_PORTS.
    static QStringList extraPortsFromEnvironment();
    void addExtraPort(const QString& path);

    // The ports attached now, in listing order.
    QVector<Port> scan() const;

    static constexpr const char* kPtyDescription = "Virtual Pedal (pty)";
    static constexpr const char* kSerialDescription = "Serial port";

    DeviceListing listDevices() override;
    Opened open(const QByteArray& serial) override;
    PortStatus close(PortHandle handle) override;
    Transferred read(PortHandle handle, std::span<std::uint8_t> into) override;
    Transferred write(PortHandle handle, std::span<const std::uint8_t> bytes) override;
    Transferred queued(PortHandle handle) override;
    PortStatus setBaudRate(PortHandle handle, std::uint32_t baud) override;
    PortStatus setFraming(PortHandle handle, Framing framing) override;
    PortStatus purge(PortHandle handle, PurgeQueue queues) override;
    int readyFd(PortHandle handle) override;
    DeviceKind kind(PortHandle handle) override;
    PortStatus setLatencyTimer(PortHandle handle, std::uint8_t ms) override;
    PortStatus latencyTimer(PortHandle handle, std::uint8_t& ms) override;
    QString lastError() const override { return lastError_; }

    // Whether the character device at path is a pseudo-terminal.
    static bool isPseudoTerminal(const QString& path);

  private:
    struct Open {
        int fd = -1;
        QString path;
        DeviceKind kind = DeviceKind::Hardware;
        bool latencyChanged = false;
        bool oldLowLatency = false;
    };
    Open* find(PortHandle handle);
    PortStatus applyAttributes(Open& port, const ::termios& attributes);
    // Unplugged when the error says the device is gone, else IoError.
    PortStatus failIo(const Open& port, const char* what, int error);
    PortStatus hungUp(const Open& port);

    Options options_;
    std::map<PortHandle, Open> open_;
    std::uint32_t nextHandle_ = 1;
    QString lastError_;
};

}  // namespace zendal
