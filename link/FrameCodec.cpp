#include "link/FrameCodec.h"

#include <QCoreApplication>

#include "core/Clock.h"
#include "core/Errors.h"
#include "core/Hex.h"
#include "core/Log.h"
#include "link/D2XXUnit.h"
#include "link/Timeouts.h"

namespace zendal {

namespace {

// The pause after each read of a text reply: the reply has ended when a read
// after it finds nothing.
constexpr int kLastPauseMs = 100;

void processPendingEvents() {
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
}

}  // namespace

int HexToBytes(const QString& text, int n) {
    auto& buffer = d2xx().FTTransmitBuffer;
    int stored = 0;
    for (int i = 0; i < n && stored < static_cast<int>(buffer.size()); ++i) {
        if (2 * i + 1 >= text.size()) break;
        const int hi = hexValue(text.at(2 * i));
        const int lo = hexValue(text.at(2 * i + 1));
        if (hi < 0 || lo < 0) break;
        buffer[static_cast<std::size_t>(stored++)] = static_cast<std::uint8_t>(hi * 16 + lo);
    }
    return stored;
}

QByteArray Hex2String(const QString& text) {
    QByteArray out(static_cast<int>(text.size() / 2), '\0');
    for (int i = 0; i < out.size(); ++i) {
        const int hi = hexValue(text.at(2 * i));
        const int lo = hexValue(text.at(2 * i + 1));
        if (hi < 0 || lo < 0) break;
        out[i] = static_cast<char>(hi * 16 + lo);
    }
    return out;
}

bool IsHexText(const QString& text) {
    if (text.size() % 2 != 0) return false;
    for (QChar c : text)
        if (hexValue(c) < 0) return false;
    return true;
}

QString BytesToHex(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex().toUpper());
}

qint64 HexToInt(const QString& original) {
    // Trim characters with code 32 or less from both ends.
    int begin = 0;
    int end = static_cast<int>(original.size());
    while (begin < end && original.at(begin).unicode() <= 32) ++begin;
    while (end > begin && original.at(end - 1).unicode() <= 32) --end;
    const QString text = original.mid(begin, end - begin);
    QString digits;
    if (text.startsWith(QLatin1Char('$'))) {
        digits = text.mid(1);
    } else if (text.startsWith(QLatin1String("0x"))) {
        digits = text.mid(2);
    } else {
        digits = text;
    }
    if (digits.isEmpty() || digits.size() > 8) throw ConversionError(original);
    qint64 value = 0;
    for (QChar c : digits) {
        const int v = hexValue(c);
        if (v < 0) throw ConversionError(original);
        value = value * 16 + v;
    }
    return value;
}

QVector<std::uint8_t>& ReceiveArray() {
    static QVector<std::uint8_t> array;
    return array;
}

int DecodeReply(const QByteArray& bytes) {
    const QString h = BytesToHex(bytes);
    auto& array = ReceiveArray();
    int start = 0;
    int value = 0;
    bool first = true;
    int fields = 0;
    const int length = static_cast<int>(h.size());
    for (int p = 0; p < length; ++p) {
        const QChar c = h.at(p);
        if (c == QLatin1Char('A')) {
            start = p + 1;
        } else if (c == QLatin1Char('D')) {
            QString field;
            if (p - 1 >= start) field = h.mid(start, p - start).chopped(1);
            QString digits;
            if (field.size() == 2 || field.size() == 4 || field.size() == 6) {
                for (int k = 1; k < field.size(); k += 2) digits.append(field.at(k));
                int number = 0;
                for (QChar d : digits) {
                    if (d.unicode() < '0' || d.unicode() > '9') {
                        throw ConversionError(digits);
                    }
                    number = number * 10 + (d.unicode() - '0');
                }
                value = number;
            }
            if (first) {
                array.clear();
                first = false;
            }
            array.append(static_cast<std::uint8_t>(value % 256));
            ++fields;
            if (p + 1 < length && h.at(p + 1) == QLatin1Char('A')) ++p;
            start = p + 1;
        }
    }
    DebugPrint(QStringLiteral("num of bytes received: %1").arg(fields));
    DebugPrint(QStringLiteral("receive array size: %1").arg(array.size()));
    for (int i = 0; i < array.size(); ++i)
        DebugPrint(
            QStringLiteral("%1: %2").arg(i).arg(array[i], 2, 16, QLatin1Char('0')).toUpper());
    return fields;
}

void SleepProcessingEvents(int ms) {
    Clock& c = clock();
    const qint64 end = c.nowMs() + ms;
    for (qint64 now = c.nowMs(); now < end; now = c.nowMs())
        c.waitForActivity(static_cast<int>(end - now), -1);
}

WaitOutcome WaitForFirstByte(int limitMs) {
    return WaitForFirstByte(d2xx(), limitMs);
}

WaitOutcome WaitForFirstByte(D2XXUnit& port, int limitMs) {
    Clock& c = clock();
    const qint64 deadline = c.nowMs() + limitMs;
    for (;;) {
        processPendingEvents();
        if (port.GetFTQueueStatus() != FT_OK) return WaitOutcome::PortError;
        if (port.FTQueueCount > 0) return WaitOutcome::Ok;
        const qint64 now = c.nowMs();
        if (now >= deadline) return WaitOutcome::TimedOut;
        const int fd = port.readyFd();
        const int slice =
            fd >= 0 ? static_cast<int>(deadline - now)
                    : std::min<int>(timeouts::kPollSliceMs, static_cast<int>(deadline - now));
        c.waitForActivity(slice, fd);
    }
}

TextReply ReceiveText(int limitMs, TextForm form) {
    return ReceiveText(d2xx(), limitMs, form);
}

TextReply ReceiveText(D2XXUnit& port, int limitMs, TextForm form) {
    TextReply reply;
    const qint64 end = clock().nowMs() + limitMs + kLastPauseMs;
    reply.outcome = WaitForFirstByte(port, limitMs);
    if (!reply.ok()) return reply;
    const bool upgrade = form == TextForm::BootloaderByte;
    QByteArray received;
    QString hexText;
    std::uint32_t total = 0;
    for (;;) {
        processPendingEvents();
        const std::uint32_t n = port.ReadFTDevice();
        if (!upgrade) SleepProcessingEvents(kLastPauseMs);
        if (n == 0) break;
        // A pedal that keeps talking cannot hold the wait open.
        if (clock().nowMs() >= end) reply.outcome = WaitOutcome::TimedOut;
        const QByteArray chunk(reinterpret_cast<const char*>(port.FTReceiveBuffer.data()),
                               static_cast<int>(n));
        if (upgrade) {
            hexText += BytesToHex(chunk);
        } else {
            received += chunk;
        }
        total += n;
        if (!reply.ok()) break;
    }
    reply.text = upgrade ? hexText : QString::fromUtf8(received);
    DebugPrint(QStringLiteral("num of bytes received: %1").arg(total));
    DebugPrint(QStringLiteral("stringa_totale: ") + reply.text);
    port.PurgeFTReceive();
    if (upgrade) reply.text = reply.text.left(2);
    return reply;
}

SettingsReply ReceiveSettingsReply(int limitMs) {
    Clock& c = clock();
    SettingsReply reply;
    const qint64 end = c.nowMs() + limitMs + kLastPauseMs;
    reply.outcome = WaitForFirstByte(limitMs);
    if (!reply.ok()) return reply;
    D2XXUnit& port = d2xx();
    port.PurgeFTTransmit();
    QByteArray received;
    qint64 lastPiece = c.nowMs();
    for (;;) {
        processPendingEvents();
        const std::uint32_t n = port.ReadFTDevice();
        SleepProcessingEvents(10);
        if (n > 0) {
            received.append(reinterpret_cast<const char*>(port.FTReceiveBuffer.data()),
                            static_cast<int>(n));
            lastPiece = c.nowMs();
        }
        // The reply ends with a quiet spell longer than the USB latency timer
        // (its pieces may come that far apart).
        const bool quiet = c.nowMs() - lastPiece >= timeouts::kReplyQuietMs;
        if (n == 0 && quiet) break;
        if (c.nowMs() >= end) {
            if (n == 0) break;
            // Still talking after the limit: not a reply to decode.
            port.PurgeFTReceive();
            reply.outcome = WaitOutcome::TimedOut;
            return reply;
        }
    }
    try {
        reply.fields = DecodeReply(received);
    } catch (...) {
        port.PurgeFTReceive();
        throw;
    }
    port.PurgeFTReceive();
    return reply;
}

bool SendHexMessage(const QString& text, int n, bool purgeFirst) {
    if (n < 0) n = static_cast<int>(text.size() / 2);
    if (HexToBytes(text, n) < n) {
        DebugPrint(QStringLiteral("message not sent, it is not hexadecimal: ") + text);
        return false;
    }
    D2XXUnit& port = d2xx();
    if (purgeFirst) port.PurgeFTTransmit();
    port.WriteFTDevice(static_cast<std::uint32_t>(n));
    return true;
}

}  // namespace zendal
