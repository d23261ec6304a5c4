#include "protocol/PedalSequences.h"

#include "link/FrameCodec.h"
#include "link/Timeouts.h"
#include "protocol/Messages.h"
#include "protocol/PedalConnection.h"

namespace zendal::sequences {

namespace {

ExchangeRequest writeOnly(const QString& hex, int pauseMs) {
    ExchangeRequest request;
    request.bytes = Hex2String(hex);
    request.reply = ReplyKind::None;
    request.pauseAfterWriteMs = pauseMs;
    return request;
}

ExchangeResult writeAndPause(PedalConnection& connection, const QString& hex, int pauseMs) {
    // The pause belongs to the exchange: nothing else writes while the pedal
    // needs its time.
    return connection.exchange(writeOnly(hex, pauseMs));
}

}  // namespace

ExchangeResult requestSettings(PedalConnection& connection, int paramCount) {
    ExchangeRequest request;
    request.bytes = Hex2String(messages::settingsRequest(paramCount));
    request.reply = ReplyKind::Text;
    request.limitMs = timeouts::kSettingsReplyMs;
    request.pauseAfterWriteMs = messages::kSettingsRequestPauseMs;
    return connection.exchange(request);
}

ExchangeResult storeSettings(PedalConnection& connection, int paramCount) {
    return writeAndPause(connection, messages::storeSettings(paramCount), messages::kStorePauseMs);
}

ExchangeResult eraseEeprom(PedalConnection& connection, const QString& i2cAddress) {
    return writeAndPause(connection, messages::eepromErase(i2cAddress),
                         messages::kEepromErasePauseMs);
}

ExchangeResult readEeprom(PedalConnection& connection, const QString& i2cAddress) {
    ExchangeRequest request;
    request.bytes = Hex2String(messages::eepromRead(i2cAddress));
    request.reply = ReplyKind::Dump;
    request.limitMs = timeouts::kEepromDumpMs;
    return connection.exchange(request);
}

ExchangeResult sendEffectImage(PedalConnection& connection, const QByteArray& image) {
    ExchangeRequest bypass =
        writeOnly(messages::bypass(true), messages::kBypassBeforeUploadPauseMs);
    bypass.purgeTransmitFirst = false;
    const ExchangeResult result = connection.exchange(bypass);
    if (!result.ok()) return result;
    ExchangeRequest upload;
    upload.bytes = image;
    upload.reply = ReplyKind::None;
    upload.purgeTransmitFirst = false;
    return connection.exchange(upload);
}

QString probeBootloader(PedalConnection& connection) {
    ExchangeRequest request;
    request.bytes = QByteArray(1, char(0x7F));
    request.reply = ReplyKind::Ack;
    request.limitMs = timeouts::kBootloaderAckMs;
    request.parity = FT_PARITY_EVEN;
    request.purgeTransmitFirst = false;
    const ExchangeResult result = connection.exchange(request);
    return result.ok() ? BytesToHex(result.bytes.left(1)) : QString();
}

ExchangeResult restartIntoBootloader(PedalConnection& connection) {
    if (connection.busy()) return connection.exchange(ExchangeRequest());
    connection.applyParity(FT_PARITY_NONE);
    const ExchangeResult result = connection.exchange(writeOnly(messages::bypass(true), 0));
    if (!result.ok()) return result;
    // The bypass may still be in the transmit queue: a purge would drop it.
    ExchangeRequest restart =
        writeOnly(messages::enterBootloader(), messages::kEnterBootloaderPauseMs);
    restart.purgeTransmitFirst = false;
    return connection.exchange(restart);
}

}  // namespace zendal::sequences
