#include "ParamsTestSupport.h"

#include <QRect>
#include <cstring>

#include "link/D2XXUnit.h"

namespace zendal::test {

RecordingDriver::RecordingDriver() : StandInDevice("PARAMS1") {
    d2xx().setDriver(this);
    d2xx().Open_USB_Device_By_Serial_Number(QStringLiteral("PARAMS1"));
}

RecordingDriver::~RecordingDriver() {
    d2xx().setDriver(nullptr);
}

QStringList RecordingDriver::writtenHex() const {
    QStringList out;
    for (const QByteArray& w : writes) out << QString::fromLatin1(w.toHex().toUpper());
    return out;
}

FT_STATUS RecordingDriver::Write(FT_HANDLE, const void* buffer, std::uint32_t toWrite,
                                 std::uint32_t* bytesWritten) {
    const QByteArray bytes(static_cast<const char*>(buffer), static_cast<qsizetype>(toWrite));
    writes.append(bytes);
    *bytesWritten = toWrite;
    if (bytes.size() == 2 && static_cast<std::uint8_t>(bytes[0]) == 0x02 && answerRequest)
        pending += answerRequest(bytes);
    if (bytes == QByteArray::fromHex("0600")) pending += infoReply;
    return FT_OK;
}

QByteArray settingsReplyText(const QVector<std::uint8_t>& record) {
    QByteArray out;
    for (std::uint8_t b : record) out += QByteArray::number(b) + "\r\n";
    return out;
}

RecordBuilder::RecordBuilder(int paramCount) : bytes(4 * paramCount + 41, 0), n(paramCount) {
    for (int i = 0; i < 16; ++i) {
        bytes[4 * n + i] = 0xFF;       // not assigned
        bytes[4 * n + 22 + i] = 0xFF;  // normal
    }
    bytes[4 * n + 16] = 0xFF;
    bytes[4 * n + 17] = 0xFF;
    for (int j = 0; j < 4; ++j) bytes[4 * n + 18 + j] = 0xFF;
    bytes[4 * n + 38] = 0;  // preset mode
}

RecordBuilder& RecordBuilder::value(int i, std::uint32_t v) {
    return word(i, v << 13);
}

RecordBuilder& RecordBuilder::word(int i, std::uint32_t w) {
    for (int k = 0; k < 4; ++k) bytes[4 * i + k] = static_cast<std::uint8_t>(w >> (24 - 8 * k));
    return *this;
}

RecordBuilder& RecordBuilder::assignment(int i, std::uint8_t b) {
    bytes[4 * n + i] = b;
    return *this;
}

RecordBuilder& RecordBuilder::bypass(std::uint8_t b) {
    bytes[4 * n + 16] = b;
    return *this;
}

RecordBuilder& RecordBuilder::preset(std::uint8_t b) {
    bytes[4 * n + 17] = b;
    return *this;
}

RecordBuilder& RecordBuilder::led(int j, std::uint8_t b) {
    bytes[4 * n + 18 + j] = b;
    return *this;
}

RecordBuilder& RecordBuilder::reverse(int i, std::uint8_t b) {
    bytes[4 * n + 22 + i] = b;
    return *this;
}

RecordBuilder& RecordBuilder::mode(std::uint8_t b, std::uint8_t number) {
    bytes[4 * n + 38] = b;
    bytes[4 * n + 39] = number;
    return *this;
}

RecordBuilder& RecordBuilder::midi(std::uint8_t b) {
    bytes[4 * n + 40] = b;
    return *this;
}

TControlDescriptor makeDescriptor(int pots, const QStringList& switchSection,
                                  const QStringList& multis, const QStringList& readbacks,
                                  const QStringList& addresses) {
    TControlDescriptor d;
    d.pot_count = pots;
    d.switch_count = static_cast<int>(switchSection.size());
    d.multi_count = static_cast<int>(multis.size());
    d.param_count = d.pot_count + d.switch_count + d.multi_count;
    d.readback_count = static_cast<int>(readbacks.size());
    int i = 0;
    for (; i < pots; ++i) {
        d.control_names[i] = QStringLiteral("Pot%1").arg(i);
        d.captions[i] = d.control_names[i];
    }
    for (const QString& line : switchSection) {
        d.control_names[i] = line;
        const QStringList parts = line.split(QLatin1Char(':'));
        d.captions[i] = parts.value(0).remove(QLatin1Char('@'));
        if (line.contains(QLatin1Char('@'))) {
            d.is_button[i] = true;
        } else {
            d.off_texts[i] = parts.value(1);
            d.on_texts[i] = parts.value(2);
        }
        ++i;
    }
    for (const QString& line : multis) {
        d.control_names[i] = line;
        const QStringList parts = line.split(QLatin1Char(';'));
        d.captions[i] = parts.value(0);
        d.options[i] = parts.mid(1);
        d.option_counts[i] = static_cast<int>(parts.size() - 1);
        ++i;
    }
    for (int j = 0; j < readbacks.size(); ++j) d.readback_names[j] = readbacks[j];
    for (int k = 0; k < 16; ++k)
        d.param_addresses[k] =
            k < addresses.size()
                ? addresses[k]
                : QStringLiteral("%1").arg(k + 1, 4, 16, QLatin1Char('0')).toUpper();
    return d;
}

}  // namespace zendal::test
