#include "fuzz/support/FuzzPort.h"

#include <algorithm>
#include <cstring>

#include "link/D2XXUnit.h"

namespace zendal::fuzz {

QByteArray InputReader::bytes(std::size_t n) {
    const std::size_t take = std::min(n, size_ - std::min(pos_, size_));
    QByteArray out(reinterpret_cast<const char*>(data_ + pos_), static_cast<qsizetype>(take));
    pos_ += take;
    return out;
}

void ScriptedDriver::script(const QByteArray& answers, bool queueFirst) {
    answers_ = answers;
    answerPos_ = 0;
    queue_.clear();
    written_.clear();
    failNextStatus_ = false;
    readSlice_ = 0;
    if (queueFirst) releaseNext();
}

void ScriptedDriver::releaseNext() {
    if (answerPos_ >= answers_.size()) return;
    const auto length = static_cast<std::uint8_t>(answers_.at(answerPos_++));
    if (length == 0xFF) {
        failNextStatus_ = true;
        return;
    }
    if (length == 0xFE) return;
    const QByteArray answer = answers_.mid(answerPos_, length);
    answerPos_ += static_cast<int>(answer.size());
    queue_.append(answer);
}

DeviceListing ScriptedDriver::listDevices() {
    DeviceListing listing;
    DeviceEntry entry;
    entry.serial = "FUZZ0001";
    entry.description = "FUZZ0001";
    entry.kind = DeviceKind::VirtualInProcess;
    listing.devices.push_back(entry);
    return listing;
}

Transferred ScriptedDriver::read(PortHandle, std::span<std::uint8_t> into) {
    std::size_t n = std::min<std::size_t>(into.size(), std::size_t(queue_.size()));
    if (readSlice_ > 0) n = std::min(n, readSlice_);
    std::memcpy(into.data(), queue_.constData(), n);
    queue_.remove(0, qsizetype(n));
    return {PortStatus::Ok, n};
}

Transferred ScriptedDriver::write(PortHandle, std::span<const std::uint8_t> bytes) {
    // Only the start of what was written is kept: enough to see the commands.
    if (written_.size() < 4096)
        written_.append(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    releaseNext();
    return {PortStatus::Ok, bytes.size()};
}

PortStatus ScriptedDriver::purge(PortHandle, PurgeQueue queues) {
    if (queues != PurgeQueue::Transmit) queue_.clear();
    return PortStatus::Ok;
}

Transferred ScriptedDriver::queued(PortHandle) {
    if (failNextStatus_) {
        failNextStatus_ = false;
        return {PortStatus::Unplugged, 0};
    }
    return {PortStatus::Ok, std::size_t(queue_.size())};
}

PedalConnection& scriptedConnection() {
    static PedalConnection connection;
    static const bool installed = [] {
        connection.makeProcessPort();
        return true;
    }();
    (void)installed;
    return connection;
}

ScriptedDriver& openScriptedPort() {
    static VirtualClock virtualClock;
    static ScriptedDriver driver;
    static const bool installed = [] {
        setClock(&virtualClock);
        scriptedConnection();
        D2XXUnit& port = d2xx();
        port.setDriver(&driver);
        port.Open_USB_Device_By_Serial_Number(QStringLiteral("FUZZ0001"));
        return true;
    }();
    (void)installed;
    return driver;
}

}  // namespace zendal::fuzz
