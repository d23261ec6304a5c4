#include "shell/EepromTools.h"

#include <algorithm>

#include "core/Clock.h"
#include "core/Hex.h"
#include "core/Log.h"
#include "link/D2XXUnit.h"
#include "link/FrameCodec.h"
#include "link/Timeouts.h"
#include "protocol/Messages.h"
#include "protocol/PedalConnection.h"

namespace zendal {

bool EraseEEPROM(const QString& i2cAddr) {
    const QString text = messages::eepromErase(i2cAddr);
    DebugPrint(QStringLiteral("erase message: ") + text);
    if (!SendHexMessage(text, -1, /*purgeFirst=*/true)) return false;
    clock().pause(messages::kEepromErasePauseMs);
    return true;
}

bool ReadEEPROM(const QString& i2cAddr) {
    const QString text = messages::eepromRead(i2cAddr);
    DebugPrint(text);
    if (!SendHexMessage(text)) return false;
    clock().pause(messages::kEepromReadPauseMs);
    return true;
}

QString EepromDump::describe() const {
    switch (outcome) {
        case Outcome::Ok:
            return QStringLiteral("%1 bytes read").arg(bytes.size());
        case Outcome::NotSent:
            return QStringLiteral("the read message was not sent (address not hexadecimal)");
        case Outcome::NoAnswer:
            return QStringLiteral("the pedal did not answer the memory read");
        case Outcome::Short:
            return QStringLiteral("the pedal's answer ended after %1 of %2 bytes")
                .arg(std::max<qsizetype>(0, bytes.size() - 1))
                .arg(kEepromBytes);
        case Outcome::BadMarker:
            return QStringLiteral("the pedal's answer does not start with AB");
        case Outcome::PortError:
            return QStringLiteral("the port failed while waiting for the memory dump");
    }
    return {};
}

EepromDump ReadEepromDump(PedalConnection& connection, const QString& i2cAddr, int limitMs) {
    EepromDump dump;
    const QString text = messages::eepromRead(i2cAddr);
    DebugPrint(text);
    if (!std::all_of(text.begin(), text.end(), [](QChar c) { return hexValue(c) >= 0; })) {
        dump.outcome = EepromDump::Outcome::NotSent;
        return dump;
    }
    // The connection keeps knob reports and anything else the pedal says
    // before the dump out of it, and bounds the whole wait.
    ExchangeRequest request;
    request.bytes = Hex2String(text);
    request.reply = ReplyKind::Dump;
    request.limitMs = limitMs;
    const ExchangeResult r = connection.exchange(request);
    switch (r.outcome) {
        case ExchangeResult::Outcome::Reply:
            dump.outcome = EepromDump::Outcome::Ok;
            dump.bytes = r.bytes.mid(1, kEepromBytes);
            break;
        case ExchangeResult::Outcome::TimedOut:
            dump.outcome =
                r.bytes.isEmpty() ? EepromDump::Outcome::NoAnswer : EepromDump::Outcome::Short;
            dump.bytes = r.bytes;
            break;
        case ExchangeResult::Outcome::Unplugged:
            dump.outcome = EepromDump::Outcome::PortError;
            dump.bytes = r.bytes;
            break;
        case ExchangeResult::Outcome::Busy:
            dump.outcome = EepromDump::Outcome::NotSent;
            break;
    }
    return dump;
}

QString HexDump(const QByteArray& bytes) {
    QString out;
    for (qsizetype offset = 0; offset < bytes.size(); offset += 16) {
        out += QStringLiteral("%1:").arg(offset, 4, 16, QLatin1Char('0')).toUpper();
        const qsizetype end = std::min<qsizetype>(offset + 16, bytes.size());
        for (qsizetype i = offset; i < end; ++i) {
            out += QStringLiteral(" %1")
                       .arg(static_cast<unsigned char>(bytes[i]), 2, 16, QLatin1Char('0'))
                       .toUpper();
        }
        out += QLatin1Char('\n');
    }
    return out;
}

}  // namespace zendal
