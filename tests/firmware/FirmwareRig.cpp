#include "FirmwareRig.h"

#include "core/Log.h"
#include "link/D2XXUnit.h"
#include "resources/ResourceStore.h"

namespace zendal::test {

FT_STATUS RecordingDriver::Write(FT_HANDLE h, const void* b, std::uint32_t n, std::uint32_t* done) {
    const QByteArray bytes(static_cast<const char*>(b), static_cast<int>(n));
    if (beforeWrite) beforeWrite(bytes);
    writes.append(bytes);
    return inner_.Write(h, b, n, done);
}

FT_STATUS RecordingDriver::SetLatencyTimer(FT_HANDLE h, std::uint8_t ms) {
    if (!latencySupported) return FT_NOT_SUPPORTED;
    latencyWrites.append(ms);
    return inner_.SetLatencyTimer(h, ms);
}

QByteArray RecordingDriver::allWritten() const {
    QByteArray all;
    for (const QByteArray& w : writes) all += w;
    return all;
}

namespace {
VirtualPedal::Config configFor(bool inBootloader) {
    VirtualPedal::Config c;
    c.startInBootloader = inBootloader;
    return c;
}
}  // namespace

FirmwareRig::FirmwareRig(bool inBootloader)
    : pedal(configFor(inBootloader)), inner(pedal), driver(inner) {
    Log::instance().clear();
    connection.makeProcessPort();
    D2XXUnit& port = connection.unit();
    port.setDriver(&driver);
    port.ShowFTErrors = false;
    connection.setLineSettings(FT_PARITY_NONE);
    port.Open_USB_Device_By_Serial_Number(QStringLiteral("ZVP00001"));
    port.SetFTBaudRate();
    port.SetFTDataCharacteristics();
    driver.parities.clear();
}

FirmwareRig::~FirmwareRig() {
    D2XXUnit& port = connection.unit();
    port.CloseFTDevice();
    port.setDriver(nullptr);
    port.ShowFTErrors = true;
}

void FirmwareRig::settle() {
    clock.advance(5);
    pedal.settle(clock.nowMs() * 1000);
}

QStringList FirmwareRig::log() const {
    return Log::instance().lines();
}

void FirmwareRig::clearLog() {
    Log::instance().clear();
}

QByteArray FirmwareRig::image(const QString& name) {
    return ResourceStore::instance().read(name).value_or(QByteArray());
}

QByteArray FirmwareRig::pattern(int n) {
    QByteArray bytes(n, '\0');
    for (int i = 0; i < n; ++i) bytes[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    // Stack pointer 0x20005000, reset address 0x08000009.
    const char vectors[8] = {0x00, 0x50, 0x00, 0x20, 0x09, 0x00, 0x00, 0x08};
    for (int i = 0; i < 8 && i < n; ++i) bytes[i] = vectors[i];
    return bytes;
}

}  // namespace zendal::test
