#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>
#include <cstdint>

// Discovery and linking without any window: the main window's menu handlers
// call these and show the results in their labels and menus.
namespace zendal::communication {

// Stores 115200 baud, 8 data bits, 1 stop bit and the parity (FT_PARITY_NONE or
// FT_PARITY_EVEN) in the port module; does not touch the device.
void SetPortParameters(std::uint8_t parity);

struct ListedDevice {
    QByteArray serial;       // FT_Device_String after GetFTDeviceSerialNo
    QByteArray description;  // FT_Device_String after GetFTDeviceDescription
};

// GetFTDeviceCount, then serial and description of each index in order (a
// failing listing call keeps the previous FT_Device_String, as the port module
// does). Logs nothing. Empty when the count fails or is 0.
QVector<ListedDevice> ListAttachedDevices();

// Open by serial number, then SetFTBaudRate and SetFTDataCharacteristics with
// the stored settings. Logs "serial number: ", "FT_HANDLE: 0x........" and
// "baud rate = ". True when the open succeeded.
bool OpenAndConfigure(const QString& serial);

// The bootloader probe: SetPortParameters(even), SetFTDataCharacteristics,
// write 7F, ReceiveText in upgrade form (bounded by the ACK time limit).
// Returns the reply ("79" is the acknowledge; empty when nothing came).
QString ProbeBootloader();

}  // namespace zendal::communication
