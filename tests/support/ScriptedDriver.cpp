#include "support/ScriptedDriver.h"

#include <algorithm>
#include <cstring>

namespace zendal::test {

PortStatus ScriptedDriver::forced(Call call) const {
    const auto it = fail.find(call);
    return it == fail.end() ? PortStatus::Ok : static_cast<PortStatus>(it->second);
}

PortStatus ScriptedDriver::checkHandle(PortHandle handle, Call call) const {
    if (const PortStatus s = forced(call); s != PortStatus::Ok) return s;
    if (!isOpen || handle != handleToGive) return PortStatus::InvalidHandle;
    return handleDead_ ? PortStatus::Unplugged : PortStatus::Ok;
}

void ScriptedDriver::release() {
    const qint64 now = clock().nowMs();
    for (int i = 0; i < pending_.size();) {
        if (pending_[i].atMs <= now) {
            queue_ += pending_[i].bytes;
            pending_.removeAt(i);
        } else {
            ++i;
        }
    }
    // The next piece of a reply shows up once the one before it was read.
    if (queue_.isEmpty() && !pieces_.empty()) {
        queue_ = pieces_.front();
        pieces_.pop_front();
    }
}

void ScriptedDriver::expect(const QByteArray& request, const QList<QByteArray>& pieces,
                            Failure failure) {
    script_.push_back(Step{request, pieces, failure});
}

QByteArray ScriptedDriver::garbage(qsizetype n) {
    static const QByteArray pattern = QByteArray::fromHex("C3925ED7E4B1F00C");
    QByteArray out;
    while (out.size() < n) out += pattern;
    return out.left(n);
}

void ScriptedDriver::unplug() {
    plugged_ = false;
    if (isOpen) handleDead_ = true;
    queue_.clear();
    pieces_.clear();
    pending_.clear();
}

void ScriptedDriver::replug() {
    plugged_ = true;
}

DeviceListing ScriptedDriver::listDevices() {
    DeviceListing listing;
    listing.status = forced(Call::List);
    if (listing.status != PortStatus::Ok || !plugged_) return listing;
    for (const Device& d : devices) {
        DeviceEntry entry;
        entry.serial = d.serial;
        entry.description = d.description;
        entry.path = d.path;
        entry.kind = deviceKind;
        listing.devices.push_back(entry);
    }
    return listing;
}

Opened ScriptedDriver::open(const QByteArray& serial) {
    openedWith = serial;
    if (const PortStatus s = forced(Call::Open); s != PortStatus::Ok) return {s, {}};
    const bool known =
        plugged_ && std::any_of(devices.begin(), devices.end(),
                                [&](const Device& d) { return d.serial == openedWith; });
    if (!known) return {PortStatus::DeviceNotFound, {}};
    if (isOpen) return {PortStatus::DeviceNotOpened, {}};
    isOpen = true;
    handleDead_ = false;
    return {PortStatus::Ok, handleToGive};
}

PortStatus ScriptedDriver::close(PortHandle handle) {
    if (const PortStatus s = forced(Call::Close); s != PortStatus::Ok) return s;
    if (!isOpen || handle != handleToGive) return PortStatus::InvalidHandle;
    isOpen = false;
    handleDead_ = false;
    return PortStatus::Ok;
}

Transferred ScriptedDriver::read(PortHandle handle, std::span<std::uint8_t> into) {
    lastReadAsked = into.size();
    if (const PortStatus s = checkHandle(handle, Call::Read); s != PortStatus::Ok) return {s, 0};
    if (onRead) onRead();
    release();
    const auto n = std::min<std::size_t>(into.size(), std::size_t(queue_.size()));
    std::memcpy(into.data(), queue_.constData(), n);
    queue_.remove(0, qsizetype(n));
    return {PortStatus::Ok, n};
}

Transferred ScriptedDriver::write(PortHandle handle, std::span<const std::uint8_t> bytes) {
    if (const PortStatus s = checkHandle(handle, Call::Write); s != PortStatus::Ok) return {s, 0};
    const QByteArray data(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    written += data;
    if (onWrite) onWrite(data);
    if (!script_.empty() && script_.front().request == data) {
        const Step step = script_.front();
        script_.pop_front();
        switch (step.failure) {
            case Failure::None:
                for (const QByteArray& piece : step.pieces) pieces_.push_back(piece);
                break;
            case Failure::Timeout:
                break;
            case Failure::Unplug:
                unplug();
                break;
            case Failure::Garbled:
                for (const QByteArray& piece : step.pieces)
                    pieces_.push_back(garbage(piece.size()));
                break;
        }
    } else if (!script_.empty()) {
        unexpected.append(data);
    }
    return {PortStatus::Ok, bytes.size()};
}

PortStatus ScriptedDriver::setBaudRate(PortHandle handle, std::uint32_t b) {
    if (const PortStatus s = checkHandle(handle, Call::BaudRate); s != PortStatus::Ok) return s;
    baud = b;
    return PortStatus::Ok;
}

PortStatus ScriptedDriver::setFraming(PortHandle handle, Framing framing) {
    if (const PortStatus s = checkHandle(handle, Call::Framing); s != PortStatus::Ok) return s;
    wordLength = framing.wordLength;
    stopBits = framing.stopBits;
    parity = framing.parity;
    return PortStatus::Ok;
}

PortStatus ScriptedDriver::purge(PortHandle handle, PurgeQueue queues) {
    if (const PortStatus s = checkHandle(handle, Call::Purge); s != PortStatus::Ok) return s;
    purges.append(queues);
    if (queues != PurgeQueue::Transmit) {
        release();
        queue_.clear();
    }
    return PortStatus::Ok;
}

Transferred ScriptedDriver::queued(PortHandle handle) {
    if (const PortStatus s = checkHandle(handle, Call::Queued); s != PortStatus::Ok) return {s, 0};
    release();
    return {PortStatus::Ok, std::size_t(queue_.size()) + queueOverride};
}

}  // namespace zendal::test
