#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <vector>

namespace zendal {

// What the line between host and pedal is set to. A pseudo-terminal cannot
// carry parity, so its server says Unknown and both sides accept every byte.
enum class LineParity { None, Odd, Even, Mark, Space, Unknown };

// One side's character format: what it sends and what it expects to hear.
struct UartFormat {
    int dataBits = 8;
    LineParity parity = LineParity::None;
    int stopBits = 1;

    bool operator==(const UartFormat&) const = default;
    // Bits a character takes on the line, start bit included.
    int frameBits() const;
};

// A character as a receiver took it off the line.
struct ReceivedChar {
    quint8 byte = 0;
    bool error = false;  // parity or framing error
    int endBit = 0;      // the bit (from the start of the burst) its stop bit was sampled at
};

// Sends `bytes` back to back in format `from` and samples the line as a
// receiver set to `to` does: it waits for a falling edge, takes the data bits
// least significant first, checks parity and the stop bit, and hunts again.
// When the formats differ, characters come out garbled, merged or split, as
// on a real wire. The line is idle before and after the burst.
std::vector<ReceivedChar> reframe(const QByteArray& bytes, const UartFormat& from,
                                  const UartFormat& to);

}  // namespace zendal
