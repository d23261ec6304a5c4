#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

namespace zendal {

// What ends the wait for a reply.
enum class ReplyKind {
    None,   // nothing is awaited: the request is only written
    Text,   // ASCII that ends when the line goes quiet
    Lines,  // ASCII of `lines` fields, each closed by CR LF
    Ack,    // one byte (the bootloader's acknowledge)
    Dump,   // AB and the 16,384 bytes of the settings memory
};

struct ExchangeRequest {
    QByteArray bytes;
    ReplyKind reply = ReplyKind::Text;
    // Bounds the whole wait, from the end of the pause to the last byte.
    int limitMs = 3000;
    // Line parity for this exchange only (FT_PARITY_*); the previous setting
    // is back when exchange returns, whatever happened.
    std::optional<std::uint8_t> parity;
    int pauseAfterWriteMs = 0;  // the pedal needs time (also when no reply is awaited)
    bool purgeTransmitFirst = true;
    int lines = 0;      // for ReplyKind::Lines
    int quietMs = 100;  // a Text reply has ended after this much silence
};

struct ExchangeResult {
    enum class Outcome { Reply, TimedOut, Unplugged, Busy };
    Outcome outcome = Outcome::Reply;
    QByteArray bytes;  // the reply without knob reports (what came, also on TimedOut)
    bool ok() const { return outcome == Outcome::Reply; }
    QString text() const { return QString::fromLatin1(bytes); }
};

}  // namespace zendal
