#include "sim/VirtualPedalLine.h"

#include <bit>

namespace zendal {

namespace {

bool hasParityBit(LineParity p) {
    return p != LineParity::None && p != LineParity::Unknown;
}

int parityBit(LineParity p, quint8 data) {
    const int ones = std::popcount(static_cast<unsigned>(data)) % 2;
    switch (p) {
        case LineParity::Even:
            return ones;
        case LineParity::Odd:
            return 1 - ones;
        case LineParity::Mark:
            return 1;
        default:
            return 0;
    }
}

quint8 dataMask(int dataBits) {
    return static_cast<quint8>((1u << dataBits) - 1u);
}

}  // namespace

int UartFormat::frameBits() const {
    return 1 + dataBits + (hasParityBit(parity) ? 1 : 0) + stopBits;
}

std::vector<ReceivedChar> reframe(const QByteArray& bytes, const UartFormat& from,
                                  const UartFormat& to) {
    std::vector<char> line;
    line.reserve(std::size_t(bytes.size()) * std::size_t(from.frameBits()) + 16);
    for (char c : bytes) {
        const quint8 data = static_cast<quint8>(c) & dataMask(from.dataBits);
        line.push_back(0);
        for (int i = 0; i < from.dataBits; ++i) line.push_back(char((data >> i) & 1));
        if (hasParityBit(from.parity)) line.push_back(char(parityBit(from.parity, data)));
        for (int i = 0; i < from.stopBits; ++i) line.push_back(1);
    }
    // Idle after the burst: a character that started late still ends.
    const int receiverBits = 1 + to.dataBits + (hasParityBit(to.parity) ? 1 : 0) + 1;
    line.insert(line.end(), std::size_t(receiverBits), 1);

    std::vector<ReceivedChar> out;
    int previous = 1;  // the line was idle
    std::size_t i = 0;
    while (i < line.size()) {
        if (!(line[i] == 0 && previous == 1)) {
            previous = line[i++];
            continue;
        }
        if (i + std::size_t(receiverBits) > line.size()) break;
        std::size_t p = i + 1;
        quint8 data = 0;
        for (int b = 0; b < to.dataBits; ++b) data |= quint8(line[p++] << b);
        bool error = false;
        if (hasParityBit(to.parity)) error = line[p++] != parityBit(to.parity, data);
        const int stop = line[p];
        error = error || stop == 0;
        out.push_back({data, error, int(p)});
        previous = stop;
        i = p + 1;
    }
    return out;
}

}  // namespace zendal
