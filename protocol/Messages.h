#pragma once

#include <QString>
#include <QVector>
#include <cstdint>

// Every message the editor sends to the pedal, composed in one place as
// hexadecimal text (two upper-case digits per byte). The windows and zendalctl
// both use these builders; SendHexMessage (link/FrameCodec.h) writes them.
namespace zendal::messages {

// Fixed pauses after a write, in milliseconds.
constexpr int kPotPauseMs = 1;
constexpr int kBypassBeforeUploadPauseMs = 40;
constexpr int kStorePauseMs = 100;
constexpr int kAssignPauseMs = 100;
constexpr int kDeviceInfoPauseMs = 100;
constexpr int kEnterBootloaderPauseMs = 100;
constexpr int kEepromErasePauseMs = 100;
constexpr int kSettingsRequestPauseMs = 200;
constexpr int kEepromReadPauseMs = 4000;

// Bank destination codes for uploads in FX bank mode (bank 0..2).
constexpr std::uint8_t kBankCodes[3] = {0x0E, 0x0F, 0x10};

QString deviceInfoRequest();                                           // 06 00
QString storeSettings(int paramCount);                                 // 03 N
QString midiChannel(int channel);                                      // 07 ch (0 = omni)
QString liveMode(bool on);                                             // 0A 01|00 00
QString settingsRequest(int paramCount);                               // 02 N
QString parameterValue(const QString& address4, std::uint32_t value);  // 01 addr value*8192
QString reverse(bool on, int index);                                   // 08 01|FF i
QString bypass(bool on);                                               // 0D 01|00
QString enterBootloader();                                             // 05 00 01 02 03 04 05 06
QString eepromErase(const QString& i2cAddress);                        // 0B addr 00 0000
QString eepromRead(const QString& i2cAddress);                         // 0C addr 0000 0000
// 04, 16 parameter slots, 4 readback slots, bypass, preset (23 bytes).
QString assign(const QVector<std::uint8_t>& parameterBytes, const QVector<std::uint8_t>& ledBytes,
               std::uint8_t bypassAssignment, std::uint8_t presetAssignment);
// The image with byte 0 replaced by the bank code (bank 0..2), or unchanged for bank < 0.
QString imageForDestination(const QString& imageHex, int bank);

}  // namespace zendal::messages
