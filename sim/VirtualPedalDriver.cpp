#include "sim/VirtualPedalDriver.h"

#include "core/Clock.h"

#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

namespace zendal {

namespace {

qint64 editorNowUs() {
    return clock().nowMs() * 1000;
}

}  // namespace

VirtualPedalDriver::VirtualPedalDriver(VirtualPedal& pedal, QByteArray serial,
                                       QByteArray description)
    : pedal_(pedal),
      serial_(std::move(serial)),
      description_(std::move(description)),
      nowUs_(editorNowUs) {
    eventFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    timerFd_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    wasPlugged_ = pedal_.plugged();
    seenGeneration_ = pedal_.plugGeneration();
    listener_ = pedal_.addListener([this] { onPedal(); });
}

VirtualPedalDriver::~VirtualPedalDriver() {
    pedal_.removeListener(listener_);
    if (eventFd_ >= 0) ::close(eventFd_);
    if (timerFd_ >= 0) ::close(timerFd_);
}

void VirtualPedalDriver::onPedal() {
    refreshReady();
    // A replug between two listener calls still counts: the generation moved.
    const bool changed =
        pedal_.plugged() != wasPlugged_ || pedal_.plugGeneration() != seenGeneration_;
    wasPlugged_ = pedal_.plugged();
    seenGeneration_ = pedal_.plugGeneration();
    if (changed && plugHandler_) plugHandler_();
}

qint64 VirtualPedalDriver::now() const {
    return nowUs_();
}

void VirtualPedalDriver::refreshReady() {
    if (pedal_.wireTime()) {
        if (readyTimer_) armTimer();
        return;
    }
    if (eventFd_ < 0) return;
    const bool ready = !pedal_.plugged() || pedal_.bytesAvailable(now()) > 0;
    if (ready == readyRaised_) return;
    readyRaised_ = ready;
    if (ready) {
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(eventFd_, &one, sizeof one);
    } else {
        std::uint64_t value = 0;
        [[maybe_unused]] ssize_t n = ::read(eventFd_, &value, sizeof value);
    }
}

void VirtualPedalDriver::armTimer() {
    if (timerFd_ < 0) return;
    // Setting the timer also clears an expiry not read yet.
    itimerspec spec{};
    if (!pedal_.plugged()) {
        spec.it_value.tv_nsec = 1;  // so that a waiter wakes and sees the failure
    } else {
        const qint64 t = now();
        const qint64 next = pedal_.nextEventUs(t);
        if (next >= 0) {
            const qint64 delayNs = std::max<qint64>(1, (next - t) * 1000);
            spec.it_value.tv_sec = delayNs / 1'000'000'000;
            spec.it_value.tv_nsec = delayNs % 1'000'000'000;
        }
    }
    ::timerfd_settime(timerFd_, 0, &spec, nullptr);
}

PortStatus VirtualPedalDriver::check(PortHandle handle) const {
    if (!handle || handle != handle_) return PortStatus::InvalidHandle;
    if (!pedal_.plugged() || openGeneration_ != pedal_.plugGeneration())
        return PortStatus::Unplugged;
    return PortStatus::Ok;
}

DeviceListing VirtualPedalDriver::listDevices() {
    DeviceListing listing;
    if (!pedal_.plugged()) return listing;
    DeviceEntry entry;
    entry.serial = serial_;
    entry.description = description_;
    entry.kind = DeviceKind::VirtualInProcess;
    if (handle_) {
        entry.openable = false;
        entry.whyNot = QStringLiteral("The virtual pedal is open in this program.");
    }
    listing.devices.push_back(entry);
    return listing;
}

Opened VirtualPedalDriver::open(const QByteArray& serial) {
    if (!pedal_.plugged() || serial != serial_) return {PortStatus::DeviceNotFound, {}};
    if (handle_) return {PortStatus::DeviceNotOpened, {}};
    handle_ = PortHandle{nextHandle_++};
    openGeneration_ = pedal_.plugGeneration();
    // The line starts as the pedal expects it, so a test that skips the
    // configuration still talks.
    baud_ = 115200;
    parity_ = LineParity::None;
    eightBits_ = true;
    pedal_.setLineSettings(baud_, parity_, eightBits_);
    latencyMs_ = VirtualPedal::kDefaultLatencyMs;
    pedal_.setLatencyTimer(latencyMs_);
    refreshReady();
    return {PortStatus::Ok, handle_};
}

PortStatus VirtualPedalDriver::close(PortHandle handle) {
    if (!handle || handle != handle_) return PortStatus::InvalidHandle;
    handle_ = {};
    return PortStatus::Ok;
}

Transferred VirtualPedalDriver::read(PortHandle handle, std::span<std::uint8_t> into) {
    if (const PortStatus s = check(handle); s != PortStatus::Ok) return {s, 0};
    const QByteArray data = pedal_.takeOutput(now(), static_cast<qint64>(into.size()));
    if (!data.isEmpty()) std::memcpy(into.data(), data.constData(), std::size_t(data.size()));
    refreshReady();
    return {PortStatus::Ok, std::size_t(data.size())};
}

Transferred VirtualPedalDriver::write(PortHandle handle, std::span<const std::uint8_t> bytes) {
    if (const PortStatus s = check(handle); s != PortStatus::Ok) return {s, 0};
    pedal_.receive(QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())),
                   now());
    refreshReady();
    return {PortStatus::Ok, bytes.size()};
}

PortStatus VirtualPedalDriver::setBaudRate(PortHandle handle, std::uint32_t baud) {
    if (const PortStatus s = check(handle); s != PortStatus::Ok) return s;
    if (baud < 183 || baud > 3000000) return PortStatus::InvalidBaudRate;
    baud_ = baud;
    pedal_.setLineSettings(baud_, parity_, eightBits_);
    return PortStatus::Ok;
}

PortStatus VirtualPedalDriver::setFraming(PortHandle handle, Framing framing) {
    if (const PortStatus s = check(handle); s != PortStatus::Ok) return s;
    const auto [wordLength, stopBits, parity] = framing;
    if ((wordLength != 7 && wordLength != 8) || (stopBits != 0 && stopBits != 2) || parity > 4)
        return PortStatus::InvalidParameter;
    static constexpr LineParity kParity[] = {LineParity::None, LineParity::Odd, LineParity::Even,
                                             LineParity::Mark, LineParity::Space};
    // Two stop bits are read fine by a receiver that expects one; the word
    // length and parity are what matter.
    parity_ = kParity[parity];
    eightBits_ = wordLength == 8;
    pedal_.setLineSettings(baud_, parity_, eightBits_);
    return PortStatus::Ok;
}

PortStatus VirtualPedalDriver::purge(PortHandle handle, PurgeQueue queues) {
    if (const PortStatus s = check(handle); s != PortStatus::Ok) return s;
    if (queues != PurgeQueue::Transmit) pedal_.purgeOutput(now());
    if (queues != PurgeQueue::Receive) pedal_.purgeInput(now());
    refreshReady();
    return PortStatus::Ok;
}

Transferred VirtualPedalDriver::queued(PortHandle handle) {
    if (const PortStatus s = check(handle); s != PortStatus::Ok) return {s, 0};
    const auto count = static_cast<std::size_t>(std::max<qint64>(0, pedal_.bytesAvailable(now())));
    refreshReady();
    return {PortStatus::Ok, count};
}

int VirtualPedalDriver::readyFd(PortHandle handle) {
    if (!handle || handle != handle_) return -1;
    refreshReady();
    if (!pedal_.wireTime()) return eventFd_;
    return readyTimer_ ? timerFd_ : -1;
}

DeviceKind VirtualPedalDriver::kind(PortHandle handle) {
    return handle && handle == handle_ ? DeviceKind::VirtualInProcess : DeviceKind::None;
}

PortStatus VirtualPedalDriver::setLatencyTimer(PortHandle handle, std::uint8_t ms) {
    if (const PortStatus s = check(handle); s != PortStatus::Ok) return s;
    latencyMs_ = ms;
    pedal_.setLatencyTimer(ms);
    return PortStatus::Ok;
}

PortStatus VirtualPedalDriver::latencyTimer(PortHandle handle, std::uint8_t& ms) {
    if (const PortStatus s = check(handle); s != PortStatus::Ok) return s;
    ms = latencyMs_;
    return PortStatus::Ok;
}

}  // namespace zendal
