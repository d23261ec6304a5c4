#include "link/D2XXUnit.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <span>

#include "core/Clock.h"
#include "core/Log.h"

namespace zendal {

namespace {
NullPortDriver& nullDriver() {
    static NullPortDriver d;
    return d;
}

// The library writes NUL-terminated text into a 64-byte answer buffer.
void fillAnswer(std::array<char, D2XXUnit::kAnswerBufferSize>& buffer, const QByteArray& text) {
    buffer.fill(0);
    const auto n = std::min<std::size_t>(static_cast<std::size_t>(text.size()), buffer.size() - 1);
    std::memcpy(buffer.data(), text.constData(), n);
}

QByteArray textFromAnswer(const std::array<char, D2XXUnit::kAnswerBufferSize>& buffer) {
    const void* nul = std::memchr(buffer.data(), 0, buffer.size());
    const auto length = nul ? static_cast<const char*>(nul) - buffer.data()
                            : static_cast<std::ptrdiff_t>(buffer.size());
    return QByteArray(buffer.data(), static_cast<int>(length));
}
}  // namespace

D2XXUnit::D2XXUnit() : driver_(&nullDriver()) {}

void D2XXUnit::setDriver(PortDriver* driver) {
    driver_ = driver ? driver : &nullDriver();
    open_ = false;
    gone_ = false;
}

FT_STATUS D2XXUnit::noted(PortStatus status) {
    if (status == PortStatus::Unplugged && open_) gone_ = true;
    return ftStatus(status);
}

QString D2XXUnit::StatusText(FT_STATUS status) {
    switch (status) {
        case 1:
            return QStringLiteral(" - Invalid handle...");
        case 2:
            return QStringLiteral(" - Device not found...");
        case 3:
            return QStringLiteral(" - Device not opened...");
        case 4:
            return QStringLiteral(" - General IO error...");
        case 5:
            return QStringLiteral(" - Insufficient resources...");
        case 6:
            return QStringLiteral(" - Invalid parameter...");
        case 7:
            return QStringLiteral(" - Invalid baud rate...");
        case 8:
            return QStringLiteral(" Device not opened for erase...");
        case 9:
            return QStringLiteral(" Device not opened for write...");
        case 10:
            return QStringLiteral(" - Failed to write...");
        case 11:
            return QStringLiteral(" - EEPROM read failed...");
        case 12:
            return QStringLiteral(" - EEPROM write failed...");
        case 13:
            return QStringLiteral(" - EEPROM erase failed...");
        case 14:
            return QStringLiteral(" - EEPROM not present...");
        case 15:
            return QStringLiteral(" - EEPROM not programmed...");
        case 16:
            return QStringLiteral(" - Invalid arguments...");
        case 17:
            return QStringLiteral(" - Other error ...");
        default:
            return QStringLiteral(" - Unknown error (status %1)...").arg(status);
    }
}

void D2XXUnit::ReportFTError(const QString& label, FT_STATUS status, const QString& reason) {
    if (status == FT_OK || !ShowFTErrors) return;
    QString text = label + StatusText(status);
    if (!reason.isEmpty()) text += QLatin1Char('\n') + reason;
    if (errorSink_) {
        errorSink_(text);
    } else {
        DebugPrint(text);
    }
}

FT_STATUS D2XXUnit::GetFTDeviceCount() {
    const DeviceListing listing = driver_->listDevices();
    const FT_STATUS s = ftStatus(listing.status);
    if (s == FT_OK) {
        FTDeviceCount = static_cast<std::uint32_t>(listing.devices.size());
    } else {
        ReportFTError(QStringLiteral("GetFTDeviceCount"), s);
    }
    return s;
}

FT_STATUS D2XXUnit::listingAt(std::uint32_t index, bool serial) {
    auto& answer = serial ? serialAnswer : descriptionAnswer;
    answer.fill(0);
    // Every listing call looks afresh, as the library's does.
    const DeviceListing listing = driver_->listDevices();
    FT_STATUS s = ftStatus(listing.status);
    if (s == FT_OK && index >= listing.devices.size()) s = FT_DEVICE_NOT_FOUND;
    if (s == FT_OK) {
        const DeviceEntry& entry = listing.devices[index];
        fillAnswer(answer, serial ? entry.serial : entry.description);
        FT_Device_String = textFromAnswer(answer);
    } else {
        ReportFTError(serial ? QStringLiteral("GetFTDeviceSerialNo")
                             : QStringLiteral("GetFTDeviceDescription"),
                      s);
    }
    return s;
}

FT_STATUS D2XXUnit::GetFTDeviceSerialNo(std::uint32_t index) {
    return listingAt(index, true);
}

FT_STATUS D2XXUnit::GetFTDeviceDescription(std::uint32_t index) {
    return listingAt(index, false);
}

FT_STATUS D2XXUnit::Open_USB_Device_By_Serial_Number(const QString& serial) {
    const QByteArray local = serial.toLocal8Bit().left(kOpenSerialMax);
    openBuffer.fill(0);
    std::memcpy(openBuffer.data(), local.constData(), static_cast<std::size_t>(local.size()));
    const Opened opened = driver_->open(QByteArray(openBuffer.data()));
    const FT_STATUS s = ftStatus(opened.status);
    if (s == FT_OK) {
        FTHandle = opened.handle.id;
        open_ = true;
        gone_ = false;
    } else {
        ReportFTError(QStringLiteral("Open_USB_Device_By_Serial_Number"), s, driver_->lastError());
    }
    return s;
}

FT_STATUS D2XXUnit::CloseFTDevice() {
    const FT_STATUS s = ftStatus(driver_->close(handle()));
    if (s == FT_OK) {
        open_ = false;
        gone_ = false;
    } else {
        ReportFTError(QStringLiteral("FT_Close"), s);
    }
    // A wait in progress must notice at once that the device is gone.
    clock().wake();
    return s;
}

FT_STATUS D2XXUnit::GetFTQueueStatus() {
    const Transferred queued = driver_->queued(handle());
    const FT_STATUS s = noted(queued.status);
    if (s == FT_OK) {
        FTQueueCount = static_cast<std::uint32_t>(
            std::min<std::size_t>(queued.count, std::numeric_limits<std::uint32_t>::max()));
    } else {
        ReportFTError(QStringLiteral("FT_GetQueueStatus"), s);
    }
    return s;
}

std::uint32_t D2XXUnit::ReadFTDevice() {
    const Transferred queued = driver_->queued(handle());  // status deliberately ignored
    noted(queued.status);
    const std::size_t waiting =
        queued.status == PortStatus::Ok ? std::min<std::size_t>(queued.count, kBufferSize) : 0;
    const Transferred got = driver_->read(handle(), std::span(FTReceiveBuffer).first(waiting));
    const FT_STATUS s = noted(got.status);
    if (s != FT_OK) {
        ReportFTError(QStringLiteral("FT_Read"), s);
        return 0;
    }
    return static_cast<std::uint32_t>(std::min(got.count, waiting));
}

std::uint32_t D2XXUnit::WriteFTDevice(std::uint32_t n) {
    if (n > kBufferSize) n = kBufferSize;
    const Transferred sent = driver_->write(handle(), std::span(FTTransmitBuffer).first(n));
    const FT_STATUS s = noted(sent.status);
    if (s != FT_OK) {
        ReportFTError(QStringLiteral("FT_Write"), s);
        return 0;
    }
    return static_cast<std::uint32_t>(std::min<std::size_t>(sent.count, n));
}

FT_STATUS D2XXUnit::SetFTBaudRate() {
    const FT_STATUS s = noted(driver_->setBaudRate(handle(), FTBaudRate));
    if (s != FT_OK) ReportFTError(QStringLiteral("FT_SetBaudRate"), s);
    return s;
}

FT_STATUS D2XXUnit::SetFTDataCharacteristics() {
    const FT_STATUS s =
        noted(driver_->setFraming(handle(), Framing{FTWordLength, FTStopBits, FTParity}));
    if (s != FT_OK) ReportFTError(QStringLiteral("FT_SetDataCharacteristics"), s);
    return s;
}

FT_STATUS D2XXUnit::PurgeFTReceive() {
    const FT_STATUS s = noted(driver_->purge(handle(), PurgeQueue::Receive));
    if (s != FT_OK) ReportFTError(QStringLiteral("FT_Purge RX"), s);
    return s;
}

FT_STATUS D2XXUnit::PurgeFTTransmit() {
    const FT_STATUS s = noted(driver_->purge(handle(), PurgeQueue::Transmit));
    if (s != FT_OK) ReportFTError(QStringLiteral("FT_Purge TX"), s);
    return s;
}

int D2XXUnit::readyFd() {
    return open_ ? driver_->readyFd(handle()) : -1;
}

DeviceKind D2XXUnit::openDeviceKind() {
    return open_ ? driver_->kind(handle()) : DeviceKind::None;
}

FT_STATUS D2XXUnit::SetLatencyTimer(std::uint8_t ms) {
    return noted(driver_->setLatencyTimer(handle(), ms));
}

FT_STATUS D2XXUnit::GetLatencyTimer(std::uint8_t* ms) {
    if (!ms) return FT_INVALID_PARAMETER;
    return noted(driver_->latencyTimer(handle(), *ms));
}

namespace {
D2XXUnit* installedPort = nullptr;
}

D2XXUnit& d2xx() {
    static D2XXUnit unit;
    return installedPort ? *installedPort : unit;
}

void setProcessPort(D2XXUnit* unit) {
    installedPort = unit;
}

}  // namespace zendal
