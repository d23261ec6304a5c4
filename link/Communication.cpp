#include "link/Communication.h"

#include "core/Log.h"
#include "link/D2XXUnit.h"
#include "link/FrameCodec.h"
#include "link/Timeouts.h"

namespace zendal::communication {

void SetPortParameters(std::uint8_t parity) {
    D2XXUnit& port = d2xx();
    port.FTBaudRate = 115200;
    port.FTWordLength = FT_BITS_8;
    port.FTStopBits = FT_STOP_BITS_1;
    port.FTParity = parity;
}

QVector<ListedDevice> ListAttachedDevices() {
    D2XXUnit& port = d2xx();
    QVector<ListedDevice> devices;
    if (port.GetFTDeviceCount() != FT_OK) return devices;
    for (std::uint32_t i = 0; i < port.FTDeviceCount; ++i) {
        ListedDevice device;
        port.GetFTDeviceSerialNo(i);
        device.serial = port.FT_Device_String;
        port.GetFTDeviceDescription(i);
        device.description = port.FT_Device_String;
        devices.append(device);
    }
    return devices;
}

bool OpenAndConfigure(const QString& serial) {
    D2XXUnit& port = d2xx();
    DebugPrint(QStringLiteral("serial number: ") + serial);
    if (port.Open_USB_Device_By_Serial_Number(serial) != FT_OK) return false;
    port.SetFTBaudRate();
    port.SetFTDataCharacteristics();
    // Replies should reach us as soon as they arrive rather than after the
    // adapter's default 16 ms; a backend without the notion just says so.
    port.SetLatencyTimer(1);
    DebugPrint(QStringLiteral("FT_HANDLE: 0x") +
               QStringLiteral("%1").arg(port.FTHandle, 8, 16, QLatin1Char('0')).toUpper());
    DebugPrint(QStringLiteral("baud rate = %1").arg(port.FTBaudRate));
    return true;
}

QString ProbeBootloader() {
    D2XXUnit& port = d2xx();
    SetPortParameters(FT_PARITY_EVEN);
    port.SetFTDataCharacteristics();
    port.FTTransmitBuffer[0] = 0x7F;
    port.WriteFTDevice(1);
    return ReceiveText(timeouts::kBootloaderAckMs, TextForm::BootloaderByte).text;
}

}  // namespace zendal::communication
