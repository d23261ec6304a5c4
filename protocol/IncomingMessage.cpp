#include "protocol/IncomingMessage.h"

#include "core/Errors.h"
#include "link/FrameCodec.h"

namespace zendal::incoming {

QString asciiText(const QByteArray& bytes) {
    QString text;
    text.reserve(bytes.size());
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        text.append(u > 127 ? QChar(u'?') : QChar(char16_t(u)));
    }
    return text;
}

int parseDecimal(const QString& text) {
    int i = 0;
    const int n = int(text.size());
    while (i < n && text.at(i).unicode() <= 32) ++i;  // leading blanks are accepted
    bool negative = false;
    if (i < n && (text.at(i) == u'-' || text.at(i) == u'+')) {
        negative = text.at(i) == u'-';
        ++i;
    }
    if (i >= n) throw ConversionError(text);
    qint64 value = 0;
    for (; i < n; ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < u'0' || c > u'9') throw ConversionError(text);
        value = value * 10 + (c - u'0');
        if (value > 2147483647LL + (negative ? 1 : 0)) throw ConversionError(text);
    }
    return int(negative ? -value : value);
}

Message classify(const QByteArray& bytes) {
    Message m;
    m.bytes = bytes;
    m.text = asciiText(bytes);
    bool recognised = false;
    if (m.text.startsWith(u'0')) {
        m.value = parseDecimal(m.text.mid(1));
        m.number = Message::Number::Bank;
        recognised = true;
    } else if (m.text.startsWith(u'1')) {
        m.value = int(HexToInt(m.text.mid(1)) % 65536);
        m.number = Message::Number::Effect;
        recognised = true;
    }
    if (m.text == QLatin1String("Upload complete")) {
        m.answer = Message::Answer::UploadComplete;
    } else if (m.text == QLatin1String("Upload Failed")) {
        m.answer = Message::Answer::UploadFailed;
    } else if (!recognised) {
        m.answer = Message::Answer::Unknown;
    }
    if (!bytes.isEmpty()) {
        const auto first = static_cast<std::uint8_t>(bytes.at(0));
        m.controlReport = first == kControlReport;
        m.dump = first == kDump;
    }
    return m;
}

QString statusText(const Message& message) {
    switch (message.answer) {
        case Message::Answer::UploadComplete:
            return QStringLiteral("Upload complete");
        case Message::Answer::UploadFailed:
            return QStringLiteral("Upload Failed");
        case Message::Answer::Unknown:
            return QStringLiteral("Upload Status Unknown");
        case Message::Answer::None:
            break;
    }
    return {};
}

QStringList dumpLogLines(const QByteArray& message) {
    QStringList lines;
    lines.reserve(kDumpDataBytes);
    for (int i = 0; i < kDumpDataBytes; ++i) {
        const auto byte =
            i + 1 < message.size() ? static_cast<std::uint8_t>(message.at(i + 1)) : 0u;
        lines.append(
            QStringLiteral("%1: %2").arg(i).arg(unsigned(byte), 2, 16, QLatin1Char('0')).toUpper());
    }
    return lines;
}

bool dumpIsErased(const QByteArray& message) {
    if (message.size() < kDumpMessageBytes) return false;
    for (int i = 1; i < kDumpMessageBytes; ++i)
        if (static_cast<std::uint8_t>(message.at(i)) != 0xFF) return false;
    return true;
}

void DumpAssembler::begin(const QByteArray& first, qint64 deadlineMs) {
    active_ = true;
    deadline_ = deadlineMs;
    data_ = first.left(kDumpMessageBytes);
}

void DumpAssembler::append(const QByteArray& chunk, QByteArray* rest) {
    const qsizetype room = kDumpMessageBytes - data_.size();
    data_.append(chunk.left(room));
    if (rest) *rest = chunk.size() > room ? chunk.mid(room) : QByteArray();
}

QByteArray DumpAssembler::take() {
    QByteArray out = data_.left(kDumpMessageBytes);
    reset();
    return out;
}

void DumpAssembler::reset() {
    active_ = false;
    deadline_ = 0;
    data_.clear();
}

}  // namespace zendal::incoming
