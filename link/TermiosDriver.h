#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>
#include <map>

#include "link/FtDriver.h"

struct termios;

namespace zendal {

// The kernel's serial ports (ftdi_sio's /dev/ttyUSB*, cdc-acm's /dev/ttyACM*)
// offered with D2XX semantics. Only ports whose USB vendor is FTDI (0403) are
// listed, with the USB serial number and product string; extra ports given by
// path (a pseudo-terminal of zendal-pedal-sim, a port the listing cannot see)
// are listed after them with the path as their serial number. I/O is plain
// POSIX termios, non-blocking, raw.
class TermiosDriver : public FtDriver {
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

    FT_STATUS ListDevices(void* arg1, void* arg2, std::uint32_t flags) override;
    FT_STATUS OpenEx(const char* serial, std::uint32_t flags, FT_HANDLE* handle) override;
    FT_STATUS Close(FT_HANDLE handle) override;
    FT_STATUS Read(FT_HANDLE handle, void* buffer, std::uint32_t toRead,
                   std::uint32_t* bytesRead) override;
    FT_STATUS Write(FT_HANDLE handle, const void* buffer, std::uint32_t toWrite,
                    std::uint32_t* bytesWritten) override;
    FT_STATUS SetBaudRate(FT_HANDLE handle, std::uint32_t baud) override;
    FT_STATUS SetDataCharacteristics(FT_HANDLE handle, std::uint8_t wordLength,
                                     std::uint8_t stopBits, std::uint8_t parity) override;
    FT_STATUS Purge(FT_HANDLE handle, std::uint32_t mask) override;
    FT_STATUS GetQueueStatus(FT_HANDLE handle, std::uint32_t* queued) override;
    int ReadyFd(FT_HANDLE handle) override;
    DeviceKind Kind(FT_HANDLE handle) override;
    FT_STATUS SetLatencyTimer(FT_HANDLE handle, std::uint8_t ms) override;
    FT_STATUS GetLatencyTimer(FT_HANDLE handle, std::uint8_t* ms) override;
    QString devicePath(std::uint32_t index) override;
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
    Open* find(FT_HANDLE handle);
    FT_STATUS applyAttributes(Open& port, const ::termios& attributes);
    FT_STATUS failIo(const Open& port, const char* what, int error);

    Options options_;
    QVector<Port> listed_;  // snapshot of the last count
    std::map<FT_HANDLE, Open> open_;
    FT_HANDLE nextHandle_ = 1;
    QString lastError_;
};

}  // namespace zendal
