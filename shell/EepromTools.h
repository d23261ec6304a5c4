#pragma once

#include <QByteArray>
#include <QString>

// The pedal's settings memory: two EEPROMs on its I2C bus at addresses 50 and
// 51 (hexadecimal). Used by the console's service tools, the main window's
// "Erase Settings" and zendalctl.
namespace zendal {

class PedalConnection;

// Sends 0B <addr> 00 00 00 (logged as "erase message: ..."), purging the
// transmit queue first, then pauses 100 ms. An empty address sends the four
// bytes 0B 00 00 00. A non-hexadecimal address sends nothing (false).
bool EraseEEPROM(const QString& i2cAddr);

// Sends 0C <addr> 00 00 00 00 (the text logged), then pauses 4000 ms. The dump
// (AB and 16,384 bytes) arrives through the receive tick. False when nothing
// was sent.
bool ReadEEPROM(const QString& i2cAddr);

constexpr int kEepromBytes = 16384;
constexpr unsigned char kEepromDumpMarker = 0xAB;

struct EepromDump {
    enum class Outcome { Ok, NotSent, NoAnswer, Short, BadMarker, PortError };
    Outcome outcome = Outcome::NoAnswer;
    QByteArray bytes;  // the memory (without the marker) when Ok; what came otherwise
    QString describe() const;
};

// For tools that wait for the dump themselves (zendalctl): sends the read
// message and collects AB + 16,384 bytes for at most limitMs. Knob reports and
// other messages before the dump are handed on, not taken for it.
EepromDump ReadEepromDump(PedalConnection& connection, const QString& i2cAddr, int limitMs);

// "0000: FF FF ..." lines of 16 bytes each.
QString HexDump(const QByteArray& bytes);

}  // namespace zendal
