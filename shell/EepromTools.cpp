#include "shell/EepromTools.h"

#include <algorithm>

#include "core/Clock.h"
#include "core/Log.h"
#include "link/D2XXUnit.h"
#include "link/FrameCodec.h"
#include "link/Timeouts.h"
#include "protocol/Messages.h"

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

EepromDump ReadEepromDump(const QString& i2cAddr, int limitMs) {
    EepromDump dump;
    const QString text = messages::eepromRead(i2cAddr);
    DebugPrint(text);
    if (!SendHexMessage(text)) {
        dump.outcome = EepromDump::Outcome::NotSent;
        return dump;
    }
    Clock& c = clock();
    D2XXUnit& port = d2xx();
    const qint64 deadline = c.nowMs() + limitMs;
    QByteArray received;
    for (;;) {
        const qint64 left = deadline - c.nowMs();
        if (left <= 0) break;
        const WaitOutcome w = WaitForFirstByte(static_cast<int>(left));
        if (w == WaitOutcome::PortError) {
            dump.outcome = EepromDump::Outcome::PortError;
            dump.bytes = received;
            return dump;
        }
        if (w == WaitOutcome::TimedOut) break;
        const std::uint32_t n = port.ReadFTDevice();
        received.append(reinterpret_cast<const char*>(port.FTReceiveBuffer.data()),
                        static_cast<qsizetype>(n));
        if (!received.isEmpty() && static_cast<unsigned char>(received[0]) != kEepromDumpMarker) {
            break;
        }
        if (received.size() >= kEepromBytes + 1) break;
    }
    if (received.isEmpty()) {
        dump.outcome = EepromDump::Outcome::NoAnswer;
    } else if (static_cast<unsigned char>(received[0]) != kEepromDumpMarker) {
        dump.outcome = EepromDump::Outcome::BadMarker;
        dump.bytes = received;
    } else if (received.size() < kEepromBytes + 1) {
        dump.outcome = EepromDump::Outcome::Short;
        dump.bytes = received;
    } else {
        dump.outcome = EepromDump::Outcome::Ok;
        dump.bytes = received.mid(1, kEepromBytes);
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
