#pragma once

#include <QChar>
#include <QString>
#include <cstdint>

// Hexadecimal text as the pedal's messages, logs and files write it: upper-case
// digits, fixed widths.
namespace zendal {

// The value of one hexadecimal digit (either case), or -1.
inline int hexValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    return -1;
}

// Two digits of the low byte: 0x0B → "0B".
inline QString hex2(unsigned value) {
    return QStringLiteral("%1").arg(value & 0xFFu, 2, 16, QLatin1Char('0')).toUpper();
}

// Eight digits: 0x08000000 → "08000000".
inline QString hex8(std::uint32_t value) {
    return QStringLiteral("%1").arg(value, 8, 16, QLatin1Char('0')).toUpper();
}

}  // namespace zendal
