#include "link/D2XXUnit.h"

#include <cstring>

#include "core/Clock.h"
#include "core/Log.h"

namespace zendal {

FT_STATUS NullFtDriver::ListDevices(void* arg1, void* /*arg2*/, std::uint32_t flags) {
    if (flags & FT_LIST_NUMBER_ONLY) {
        if (!arg1) return FT_INVALID_PARAMETER;
        *static_cast<std::uint32_t*>(arg1) = 0;
        return FT_OK;
    }
    return FT_DEVICE_NOT_FOUND;
}

namespace {
NullFtDriver& nullDriver() {
    static NullFtDriver d;
    return d;
}

QByteArray textFromAnswer(const std::array<char, D2XXUnit::kAnswerBufferSize>& buffer) {
    const void* nul = std::memchr(buffer.data(), 0, buffer.size());
    const auto length = nul ? static_cast<const char*>(nul) - buffer.data()
                            : static_cast<std::ptrdiff_t>(buffer.size());
    return QByteArray(buffer.data(), static_cast<int>(length));
}
}  // namespace

D2XXUnit::D2XXUnit() : driver_(&nullDriver()) {}

void D2XXUnit::setDriver(FtDriver* driver) {
    driver_ = driver ? driver : &nullDriver();
    open_ = false;
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
    const FT_STATUS s = driver_->ListDevices(&FTDeviceCount, nullptr, FT_LIST_NUMBER_ONLY);
    if (s != FT_OK) ReportFTError(QStringLiteral("GetFTDeviceCount"), s);
    return s;
}

FT_STATUS D2XXUnit::GetFTDeviceSerialNo(std::uint32_t index) {
    serialAnswer.fill(0);
    const FT_STATUS s =
        driver_->ListDevices(reinterpret_cast<void*>(static_cast<std::uintptr_t>(index)),
                             serialAnswer.data(), FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER);
    if (s == FT_OK) {
        FT_Device_String = textFromAnswer(serialAnswer);
    } else {
        ReportFTError(QStringLiteral("GetFTDeviceSerialNo"), s);
    }
    return s;
}

FT_STATUS D2XXUnit::GetFTDeviceDescription(std::uint32_t index) {
    descriptionAnswer.fill(0);
    const FT_STATUS s =
        driver_->ListDevices(reinterpret_cast<void*>(static_cast<std::uintptr_t>(index)),
                             descriptionAnswer.data(), FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION);
    if (s == FT_OK) {
        FT_Device_String = textFromAnswer(descriptionAnswer);
    } else {
        ReportFTError(QStringLiteral("GetFTDeviceDescription"), s);
    }
    return s;
}

FT_STATUS D2XXUnit::Open_USB_Device_By_Serial_Number(const QString& serial) {
    const QByteArray local = serial.toLocal8Bit().left(kOpenSerialMax);
    openBuffer.fill(0);
    std::memcpy(openBuffer.data(), local.constData(), static_cast<std::size_t>(local.size()));
    FT_HANDLE handle = FTHandle;
    const FT_STATUS s = driver_->OpenEx(openBuffer.data(), FT_OPEN_BY_SERIAL_NUMBER, &handle);
    if (s == FT_OK) {
        FTHandle = handle;
        open_ = true;
    } else {
        ReportFTError(QStringLiteral("Open_USB_Device_By_Serial_Number"), s, driver_->lastError());
    }
    return s;
}

FT_STATUS D2XXUnit::CloseFTDevice() {
    const FT_STATUS s = driver_->Close(FTHandle);
    if (s == FT_OK) {
        open_ = false;
    } else {
        ReportFTError(QStringLiteral("FT_Close"), s);
    }
    // A wait in progress must notice at once that the device is gone.
    clock().wake();
    return s;
}

FT_STATUS D2XXUnit::GetFTQueueStatus() {
    const FT_STATUS s = driver_->GetQueueStatus(FTHandle, &FTQueueCount);
    if (s != FT_OK) ReportFTError(QStringLiteral("FT_GetQueueStatus"), s);
    return s;
}

std::uint32_t D2XXUnit::ReadFTDevice() {
    std::uint32_t waiting = 0;
    driver_->GetQueueStatus(FTHandle, &waiting);  // status deliberately ignored
    if (waiting > kBufferSize) waiting = kBufferSize;
    std::uint32_t got = 0;
    const FT_STATUS s = driver_->Read(FTHandle, FTReceiveBuffer.data(), waiting, &got);
    if (s != FT_OK) {
        ReportFTError(QStringLiteral("FT_Read"), s);
        return 0;
    }
    return got > waiting ? waiting : got;
}

std::uint32_t D2XXUnit::WriteFTDevice(std::uint32_t n) {
    if (n > kBufferSize) n = kBufferSize;
    std::uint32_t written = 0;
    const FT_STATUS s = driver_->Write(FTHandle, FTTransmitBuffer.data(), n, &written);
    if (s != FT_OK) {
        ReportFTError(QStringLiteral("FT_Write"), s);
        return 0;
    }
    return written;
}

FT_STATUS D2XXUnit::SetFTBaudRate() {
    const FT_STATUS s = driver_->SetBaudRate(FTHandle, FTBaudRate);
    if (s != FT_OK) ReportFTError(QStringLiteral("FT_SetBaudRate"), s);
    return s;
}

FT_STATUS D2XXUnit::SetFTDataCharacteristics() {
    const FT_STATUS s =
        driver_->SetDataCharacteristics(FTHandle, FTWordLength, FTStopBits, FTParity);
    if (s != FT_OK) ReportFTError(QStringLiteral("FT_SetDataCharacteristics"), s);
    return s;
}

FT_STATUS D2XXUnit::PurgeFTReceive() {
    const FT_STATUS s = driver_->Purge(FTHandle, FT_PURGE_RX);
    if (s != FT_OK) ReportFTError(QStringLiteral("FT_Purge RX"), s);
    return s;
}

FT_STATUS D2XXUnit::PurgeFTTransmit() {
    const FT_STATUS s = driver_->Purge(FTHandle, FT_PURGE_TX);
    if (s != FT_OK) ReportFTError(QStringLiteral("FT_Purge TX"), s);
    return s;
}

int D2XXUnit::readyFd() {
    return open_ ? driver_->ReadyFd(FTHandle) : -1;
}

DeviceKind D2XXUnit::openDeviceKind() {
    return open_ ? driver_->Kind(FTHandle) : DeviceKind::None;
}

FT_STATUS D2XXUnit::SetLatencyTimer(std::uint8_t ms) {
    return driver_->SetLatencyTimer(FTHandle, ms);
}

FT_STATUS D2XXUnit::GetLatencyTimer(std::uint8_t* ms) {
    return driver_->GetLatencyTimer(FTHandle, ms);
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
