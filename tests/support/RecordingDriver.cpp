#include "support/RecordingDriver.h"

#include <algorithm>
#include <cstring>

namespace zendal::test {

QStringList RecordingDriver::hexWrites() const {
    QStringList out;
    for (const QByteArray& w : writes) out.append(QString::fromLatin1(w.toHex().toUpper()));
    return out;
}

QByteArray RecordingDriver::allWritten() const {
    QByteArray all;
    for (const QByteArray& w : writes) all += w;
    return all;
}

void RecordingDriver::record(const QByteArray& bytes) {
    writes.append(bytes);
    sent.append(Sent{bytes, baud_, framing_});
}

Opened RecordingDriver::open(const QByteArray& serial) {
    const Opened opened = inner_.open(serial);
    // What a driver starts with; a test that configures nothing still sees it.
    if (opened.status == PortStatus::Ok) {
        baud_ = 115200;
        framing_ = Framing{};
    }
    return opened;
}

Transferred RecordingDriver::write(PortHandle h, std::span<const std::uint8_t> bytes) {
    const QByteArray data = bytesOf(bytes);
    if (beforeWrite) beforeWrite(data);
    if (!data.isEmpty()) {
        auto it = canned_.find(static_cast<std::uint8_t>(data.at(0)));
        if (it != canned_.end() && !it->second.empty()) {
            // Answered here; the pedal never sees the message. The port must
            // still be open for it to count as written.
            const Transferred q = inner_.queued(h);
            if (q.status != PortStatus::Ok) return {q.status, 0};
            record(data);
            extra_ += it->second.front();
            it->second.pop_front();
            if (afterWrite) afterWrite(data);
            return {PortStatus::Ok, bytes.size()};
        }
    }
    const Transferred done = inner_.write(h, bytes);
    if (done.status == PortStatus::Ok || recordFailedWrites) record(data);
    if (afterWrite) afterWrite(data);
    return done;
}

Transferred RecordingDriver::read(PortHandle h, std::span<std::uint8_t> into) {
    if (beforeRead) beforeRead();
    if (extra_.isEmpty()) return inner_.read(h, into);
    const Transferred q = inner_.queued(h);
    if (q.status != PortStatus::Ok) return {q.status, 0};
    const auto n = std::min<std::size_t>(into.size(), std::size_t(extra_.size()));
    std::memcpy(into.data(), extra_.constData(), n);
    extra_.remove(0, qsizetype(n));
    if (n == into.size()) return {PortStatus::Ok, n};
    const Transferred more = inner_.read(h, into.subspan(n));
    return {more.status, n + more.count};
}

Transferred RecordingDriver::queued(PortHandle h) {
    if (extra_.isEmpty() && !pieces_.empty()) {
        extra_ = pieces_.front();
        pieces_.pop_front();
    }
    Transferred q = inner_.queued(h);
    if (q.status == PortStatus::Ok) q.count += std::size_t(extra_.size());
    return q;
}

PortStatus RecordingDriver::setBaudRate(PortHandle h, std::uint32_t baud) {
    const PortStatus s = inner_.setBaudRate(h, baud);
    if (s == PortStatus::Ok) baud_ = baud;
    return s;
}

PortStatus RecordingDriver::setFraming(PortHandle h, Framing framing) {
    parities.append(framing.parity);
    const PortStatus s = inner_.setFraming(h, framing);
    if (s == PortStatus::Ok) framing_ = framing;
    return s;
}

PortStatus RecordingDriver::purge(PortHandle h, PurgeQueue queues) {
    const PortStatus s = inner_.purge(h, queues);
    if (s != PortStatus::Ok) return s;
    purges.append(queues);
    if (queues != PurgeQueue::Transmit) {
        ++receivePurges;
        extra_.clear();
    }
    return s;
}

PortStatus RecordingDriver::setLatencyTimer(PortHandle h, std::uint8_t ms) {
    if (!latencySupported) return PortStatus::NotSupported;
    latencyWrites.append(ms);
    return inner_.setLatencyTimer(h, ms);
}

}  // namespace zendal::test
