#include "protocol/Messages.h"

#include "core/Hex.h"

namespace zendal::messages {

QString deviceInfoRequest() {
    return QStringLiteral("0600");
}

QString storeSettings(int paramCount) {
    return QStringLiteral("03") + hex2(static_cast<unsigned>(paramCount));
}

QString midiChannel(int channel) {
    return QStringLiteral("07") + hex2(static_cast<unsigned>(channel));
}

QString liveMode(bool on) {
    return on ? QStringLiteral("0A0100") : QStringLiteral("0A0000");
}

QString settingsRequest(int paramCount) {
    return QStringLiteral("02") + hex2(static_cast<unsigned>(paramCount));
}

QString parameterValue(const QString& address4, std::uint32_t value) {
    return QStringLiteral("01") + address4 + hex8(value << 13);
}

QString reverse(bool on, int index) {
    return (on ? QStringLiteral("0801") : QStringLiteral("08FF")) +
           hex2(static_cast<unsigned>(index));
}

QString bypass(bool on) {
    return on ? QStringLiteral("0D01") : QStringLiteral("0D00");
}

QString enterBootloader() {
    return QStringLiteral("0500010203040506");
}

QString eepromErase(const QString& i2cAddress) {
    return QStringLiteral("0B") + i2cAddress + QStringLiteral("00") + QStringLiteral("0000");
}

QString eepromRead(const QString& i2cAddress) {
    return QStringLiteral("0C") + i2cAddress + QStringLiteral("0000") + QStringLiteral("0000");
}

QString assign(const QVector<std::uint8_t>& parameterBytes, const QVector<std::uint8_t>& ledBytes,
               std::uint8_t bypassAssignment, std::uint8_t presetAssignment) {
    QString text = QStringLiteral("04");
    for (int i = 0; i < 16; ++i) text += hex2(i < parameterBytes.size() ? parameterBytes[i] : 0xFF);
    for (int j = 0; j < 4; ++j) text += hex2(j < ledBytes.size() ? ledBytes[j] : 0xFF);
    text += hex2(bypassAssignment);
    text += hex2(presetAssignment);
    return text;
}

QString imageForDestination(const QString& imageHex, int bank) {
    if (bank < 0 || bank > 2) return imageHex;
    return hex2(kBankCodes[bank]) + imageHex.mid(2);
}

}  // namespace zendal::messages
