#include "FaultDriver.h"

#include <algorithm>
#include <cstring>

namespace zendal::test {

QByteArray FaultDriver::garbage() {
    return QByteArray::fromHex("C3925ED7E4B1F00C");
}

void FaultDriver::arm(Match match, int occurrence, Fault fault, std::function<void()> unplug,
                      int keepBytes) {
    match_ = std::move(match);
    remaining_ = occurrence;
    fault_ = fault;
    unplug_ = std::move(unplug);
    keep_ = keepBytes;
    fired_ = false;
}

void FaultDriver::disarm() {
    match_ = {};
    fault_ = Fault::None;
}

Transferred FaultDriver::write(PortHandle h, std::span<const std::uint8_t> bytes) {
    const Transferred done = inner_.write(h, bytes);
    if (done.status != PortStatus::Ok || fault_ == Fault::None || !match_) return done;
    if (!match_(bytesOf(bytes)) || --remaining_ > 0) return done;
    fired_ = true;
    // Whatever the pedal answered so far.
    QByteArray answer;
    const Transferred queued = inner_.queued(h);
    if (queued.status == PortStatus::Ok && queued.count > 0) {
        answer.resize(qsizetype(queued.count));
        const Transferred got =
            inner_.read(h, std::span(reinterpret_cast<std::uint8_t*>(answer.data()), queued.count));
        answer.resize(qsizetype(got.count));
    }
    if (fault_ == Fault::Garbage) {
        held_ += garbage();
    } else {
        held_ += answer.left(keep_);
        if (unplug_) unplug_();
    }
    disarm();
    return done;
}

Transferred FaultDriver::read(PortHandle h, std::span<std::uint8_t> into) {
    if (held_.isEmpty()) return inner_.read(h, into);
    // Bytes the host had received before the fault are still read.
    const auto n = std::min<std::size_t>(into.size(), std::size_t(held_.size()));
    std::memcpy(into.data(), held_.constData(), n);
    held_.remove(0, qsizetype(n));
    return {PortStatus::Ok, n};
}

PortStatus FaultDriver::purge(PortHandle h, PurgeQueue queues) {
    const PortStatus s = inner_.purge(h, queues);
    if (s == PortStatus::Ok && queues != PurgeQueue::Transmit) held_.clear();
    return s;
}

Transferred FaultDriver::queued(PortHandle h) {
    if (!held_.isEmpty()) return {PortStatus::Ok, std::size_t(held_.size())};
    return inner_.queued(h);
}

}  // namespace zendal::test
