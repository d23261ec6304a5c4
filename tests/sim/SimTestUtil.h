#pragma once

#include <QByteArray>
#include <QList>

#include "sim/VirtualPedal.h"

namespace zendal::simtest {

// "06 00" -> the two bytes 06 00 (blanks ignored).
inline QByteArray hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text));
}

// An effect image as the catalogue carries them: code, big-endian length, 16
// big-endian parameter addresses, id, version, "ZDMO", then filler.
inline QByteArray makeImage(quint8 code, int id, int version, int length,
                            const VirtualPedal::AddressTable& addresses = {}) {
    QByteArray image(length, '\0');
    image[0] = static_cast<char>(code);
    image[1] = static_cast<char>(length >> 8);
    image[2] = static_cast<char>(length & 0xFF);
    for (int i = 0; i < 16 && 4 + 2 * i < length; ++i) {
        image[3 + 2 * i] = static_cast<char>(addresses[i] >> 8);
        image[4 + 2 * i] = static_cast<char>(addresses[i] & 0xFF);
    }
    if (length > 36) {
        image[35] = static_cast<char>(id);
        image[36] = static_cast<char>(version);
    }
    if (length > 40) image.replace(37, 4, "ZDMO");
    for (int i = 41; i < length; ++i) image[i] = static_cast<char>((i * 37) & 0xFF);
    return image;
}

// The values of a reply of decimal numbers each closed by CR LF; an empty list
// when the text is not exactly that.
inline QList<int> decimalValues(const QByteArray& text) {
    QList<int> values;
    int start = 0;
    while (start < text.size()) {
        const int cr = text.indexOf("\r\n", start);
        if (cr < 0) return {};
        bool ok = false;
        const QByteArray field = text.mid(start, cr - start);
        const int v = field.toInt(&ok);
        if (!ok || field.isEmpty()) return {};
        values.append(v);
        start = cr + 2;
    }
    return values;
}

// An image for the microcontroller that reports `version` after GO.
inline QByteArray firmwareImage(int size, int version, bool withMagic = true) {
    QByteArray image(size, '\0');
    for (int i = 0; i < size; ++i) image[i] = static_cast<char>((i * 131 + 7) & 0xFF);
    if (withMagic) {
        image.replace(0x200, 8, QByteArray("ZDMOFW\0\0", 8));
        image[0x208] = static_cast<char>(version);
    }
    return image;
}

}  // namespace zendal::simtest
