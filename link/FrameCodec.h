#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>
#include <cstdint>

namespace zendal {

class D2XXUnit;

// Conversions between message text (hexadecimal digit pairs) and bytes, and the
// two receive operations that wait for a solicited reply.

// Converts the first n pairs of text into bytes at the start of FTTransmitBuffer;
// stops at the first pair that is not two hexadecimal digits. Returns the count stored.
int HexToBytes(const QString& text, int n);
// (text length div 2) bytes converted the same way; bytes after a bad pair are 0.
QByteArray Hex2String(const QString& text);
// Integer value of hexadecimal text ("$" or "0x" prefix optional, blanks trimmed).
// Throws ConversionError.
qint64 HexToInt(const QString& text);
// True when every character is a hexadecimal digit and the length is even.
bool IsHexText(const QString& text);
// Two upper-case digits per byte.
QString BytesToHex(const QByteArray& bytes);

// The decoded settings reply (shared with the settings record).
QVector<std::uint8_t>& ReceiveArray();

// Decodes decimal numbers closed by CR LF into ReceiveArray, with the pedal
// protocol's quirks kept. Returns the number of fields found (0: ReceiveArray
// unchanged). Throws ConversionError for a digit of B, C, E or F.
int DecodeReply(const QByteArray& bytes);

enum class WaitOutcome { Ok, TimedOut, PortError };

struct TextReply {
    QString text;
    WaitOutcome outcome = WaitOutcome::Ok;
    bool ok() const { return outcome == WaitOutcome::Ok; }
};

// How a text reply is read: the firmware's text, or the bootloader's one-byte
// answer (given as two upper-case hexadecimal digits).
enum class TextForm { Firmware, BootloaderByte };

// Waits (at most limitMs) for a reply and returns it as text in the given
// form. The limit bounds the whole reply: a line still talking after it (and
// one last pause) ends the wait with TimedOut and what came so far.
TextReply ReceiveText(D2XXUnit& port, int limitMs, TextForm form);
// The same on the process's port.
TextReply ReceiveText(int limitMs, TextForm form = TextForm::Firmware);

struct SettingsReply {
    WaitOutcome outcome = WaitOutcome::Ok;
    int fields = 0;  // numbers decoded into ReceiveArray
    bool ok() const { return outcome == WaitOutcome::Ok; }
};

// Waits (at most limitMs) for a reply of decimal numbers, decodes it into
// ReceiveArray. Throws ConversionError like DecodeReply. A line still talking
// after the limit ends the wait with TimedOut, ReceiveArray unchanged.
SettingsReply ReceiveSettingsReply(int limitMs);

// Waits until at least one byte is queued on the port. Ok, TimedOut, or
// PortError when the queue status fails (for instance after Unlink).
WaitOutcome WaitForFirstByte(D2XXUnit& port, int limitMs);
// The same on the process's port.
WaitOutcome WaitForFirstByte(int limitMs);

// Sleeps ms while keeping the user interface responsive.
void SleepProcessingEvents(int ms);

// Composes, converts and writes one message: HexToBytes(text, n), optional
// PurgeFTTransmit, WriteFTDevice(n). n defaults to half the text (a lone last
// digit is never sent). Refuses (returns false, writes nothing) when the text
// holds a pair that is not hexadecimal, so stale buffer bytes never go out.
bool SendHexMessage(const QString& text, int n = -1, bool purgeFirst = false);

}  // namespace zendal
