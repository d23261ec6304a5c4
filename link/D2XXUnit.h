#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <functional>

#include "link/PortDriver.h"

namespace zendal {

// The port module: the one open device, the port settings, the fixed transmit
// and receive buffers, and the failure texts. One operation per driver call,
// no queueing, no retries, no threads. The pedal connection owns one.
class D2XXUnit {
  public:
    static constexpr std::uint32_t kBufferSize = 65536;
    static constexpr int kAnswerBufferSize = 64;
    static constexpr int kOpenSerialMax = 49;

    D2XXUnit();

    // --- module state ---
    std::uint32_t FTHandle = 0;
    std::uint32_t FTBaudRate = 0;
    std::uint8_t FTWordLength = 0;
    std::uint8_t FTStopBits = 0;
    std::uint8_t FTParity = 0;
    std::uint32_t FTDeviceCount = 0;
    QByteArray FT_Device_String;  // 8-bit text of the last successful listing call
    std::uint32_t FTQueueCount = 0;
    bool ShowFTErrors = true;

    std::array<char, kAnswerBufferSize> serialAnswer{};
    std::array<char, kAnswerBufferSize> descriptionAnswer{};
    std::array<char, kOpenSerialMax + 1> openBuffer{};
    std::array<std::uint8_t, kBufferSize> FTReceiveBuffer{};
    std::array<std::uint8_t, kBufferSize> FTTransmitBuffer{};

    // --- operations (each returns the driver status unless noted) ---
    FT_STATUS GetFTDeviceCount();
    FT_STATUS GetFTDeviceSerialNo(std::uint32_t index);
    FT_STATUS GetFTDeviceDescription(std::uint32_t index);
    FT_STATUS Open_USB_Device_By_Serial_Number(const QString& serial);
    FT_STATUS CloseFTDevice();
    FT_STATUS GetFTQueueStatus();
    std::uint32_t ReadFTDevice();                  // bytes read, now at FTReceiveBuffer[0..]
    std::uint32_t WriteFTDevice(std::uint32_t n);  // bytes written from FTTransmitBuffer
    FT_STATUS SetFTBaudRate();
    FT_STATUS SetFTDataCharacteristics();
    FT_STATUS PurgeFTReceive();
    FT_STATUS PurgeFTTransmit();

    // Shows "label + status text" through the error sink while ShowFTErrors is
    // set, followed on a line of its own by the backend's reason when it gave one
    // ("Cannot open /dev/ttyUSB0: it is in use by another program.").
    void ReportFTError(const QString& label, FT_STATUS status, const QString& reason = {});
    static QString StatusText(FT_STATUS status);

    // --- beyond the library ---
    void setDriver(PortDriver* driver);  // nullptr: no devices
    PortDriver& driver() { return *driver_; }
    PortHandle handle() const { return PortHandle{FTHandle}; }
    // Where a modal box would show failures; the windows install one. Without a
    // sink, failures only go to the log.
    void setErrorSink(std::function<void(const QString&)> sink) { errorSink_ = std::move(sink); }
    // Readiness descriptor of the open device, or -1.
    int readyFd();
    DeviceKind openDeviceKind();
    bool isOpen() const { return open_; }
    FT_STATUS SetLatencyTimer(std::uint8_t ms);
    FT_STATUS GetLatencyTimer(std::uint8_t* ms);
    // The open device went away (the last call on it said so): its handle is
    // dead even if the device is back, and only closing it helps.
    bool deviceGone() const { return gone_; }

  private:
    FT_STATUS noted(PortStatus status);
    FT_STATUS listingAt(std::uint32_t index, bool serial);

    PortDriver* driver_;
    bool gone_ = false;
    bool open_ = false;
    std::function<void(const QString&)> errorSink_;
};

// The process port: the unit installed with setProcessPort (the editor's and
// zendalctl's one pedal connection), or a unit of its own until then. Kept for
// code that has not yet been handed its connection.
D2XXUnit& d2xx();
void setProcessPort(D2XXUnit* unit);

}  // namespace zendal
