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

void copyAnswer(const QByteArray& text, void* buffer) {
    // The library's answer buffers hold 64 bytes, NUL included.
    const int n = std::min<int>(text.size(), 63);
    std::memcpy(buffer, text.constData(), n);
    static_cast<char*>(buffer)[n] = '\0';
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
    listener_ = pedal_.addListener([this] { refreshReady(); });
}

VirtualPedalDriver::~VirtualPedalDriver() {
    pedal_.removeListener(listener_);
    if (eventFd_ >= 0) ::close(eventFd_);
    if (timerFd_ >= 0) ::close(timerFd_);
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

FT_STATUS VirtualPedalDriver::check(FT_HANDLE handle) const {
    if (handle == 0 || handle != handle_) return FT_INVALID_HANDLE;
    if (!pedal_.plugged() || openGeneration_ != pedal_.plugGeneration()) return FT_IO_ERROR;
    return FT_OK;
}

FT_STATUS VirtualPedalDriver::ListDevices(void* arg1, void* arg2, std::uint32_t flags) {
    const std::uint32_t count = pedal_.plugged() ? 1 : 0;
    if (flags & FT_LIST_NUMBER_ONLY) {
        if (arg1 == nullptr) return FT_INVALID_PARAMETER;
        *static_cast<std::uint32_t*>(arg1) = count;
        return FT_OK;
    }
    if (!(flags & FT_LIST_BY_INDEX) || arg2 == nullptr) return FT_INVALID_PARAMETER;
    const auto index = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(arg1));
    if (index >= count) return FT_DEVICE_NOT_FOUND;
    if (flags & FT_OPEN_BY_SERIAL_NUMBER) {
        copyAnswer(serial_, arg2);
        return FT_OK;
    }
    if (flags & FT_OPEN_BY_DESCRIPTION) {
        copyAnswer(description_, arg2);
        return FT_OK;
    }
    return FT_INVALID_PARAMETER;
}

FT_STATUS VirtualPedalDriver::OpenEx(const char* serial, std::uint32_t flags, FT_HANDLE* handle) {
    if (serial == nullptr || handle == nullptr) return FT_INVALID_PARAMETER;
    QByteArray wanted;
    if (flags == FT_OPEN_BY_SERIAL_NUMBER)
        wanted = serial_;
    else if (flags == FT_OPEN_BY_DESCRIPTION)
        wanted = description_;
    else
        return FT_INVALID_PARAMETER;
    if (!pedal_.plugged() || wanted != QByteArray(serial)) return FT_DEVICE_NOT_FOUND;
    if (handle_ != 0) return FT_DEVICE_NOT_OPENED;
    handle_ = nextHandle_++;
    openGeneration_ = pedal_.plugGeneration();
    // The line starts as the pedal expects it, so a test that skips the
    // configuration still talks.
    baud_ = 115200;
    parity_ = LineParity::None;
    eightBits_ = true;
    pedal_.setLineSettings(baud_, parity_, eightBits_);
    latencyMs_ = VirtualPedal::kDefaultLatencyMs;
    pedal_.setLatencyTimer(latencyMs_);
    *handle = handle_;
    refreshReady();
    return FT_OK;
}

FT_STATUS VirtualPedalDriver::Close(FT_HANDLE handle) {
    if (handle == 0 || handle != handle_) return FT_INVALID_HANDLE;
    handle_ = 0;
    return FT_OK;
}

FT_STATUS VirtualPedalDriver::Read(FT_HANDLE handle, void* buffer, std::uint32_t toRead,
                                   std::uint32_t* bytesRead) {
    if (const FT_STATUS s = check(handle); s != FT_OK) return s;
    if (bytesRead == nullptr || (buffer == nullptr && toRead > 0)) return FT_INVALID_PARAMETER;
    const QByteArray data = pedal_.takeOutput(now(), toRead);
    if (!data.isEmpty()) std::memcpy(buffer, data.constData(), data.size());
    *bytesRead = static_cast<std::uint32_t>(data.size());
    refreshReady();
    return FT_OK;
}

FT_STATUS VirtualPedalDriver::Write(FT_HANDLE handle, const void* buffer, std::uint32_t toWrite,
                                    std::uint32_t* bytesWritten) {
    if (const FT_STATUS s = check(handle); s != FT_OK) return s;
    if (bytesWritten == nullptr || (buffer == nullptr && toWrite > 0)) return FT_INVALID_PARAMETER;
    pedal_.receive(QByteArray(static_cast<const char*>(buffer), static_cast<int>(toWrite)), now());
    *bytesWritten = toWrite;
    refreshReady();
    return FT_OK;
}

FT_STATUS VirtualPedalDriver::SetBaudRate(FT_HANDLE handle, std::uint32_t baud) {
    if (const FT_STATUS s = check(handle); s != FT_OK) return s;
    if (baud < 183 || baud > 3000000) return FT_INVALID_BAUD_RATE;
    baud_ = baud;
    pedal_.setLineSettings(baud_, parity_, eightBits_);
    return FT_OK;
}

FT_STATUS VirtualPedalDriver::SetDataCharacteristics(FT_HANDLE handle, std::uint8_t wordLength,
                                                     std::uint8_t stopBits, std::uint8_t parity) {
    if (const FT_STATUS s = check(handle); s != FT_OK) return s;
    if ((wordLength != 7 && wordLength != 8) || (stopBits != 0 && stopBits != 2) || parity > 4)
        return FT_INVALID_PARAMETER;
    static constexpr LineParity kParity[] = {LineParity::None, LineParity::Odd, LineParity::Even,
                                             LineParity::Mark, LineParity::Space};
    // Two stop bits are read fine by a receiver that expects one; the word
    // length and parity are what matter.
    parity_ = kParity[parity];
    eightBits_ = wordLength == 8;
    pedal_.setLineSettings(baud_, parity_, eightBits_);
    return FT_OK;
}

FT_STATUS VirtualPedalDriver::Purge(FT_HANDLE handle, std::uint32_t mask) {
    if (const FT_STATUS s = check(handle); s != FT_OK) return s;
    if (mask & FT_PURGE_RX) pedal_.purgeOutput(now());
    if (mask & FT_PURGE_TX) pedal_.purgeInput(now());
    refreshReady();
    return FT_OK;
}

FT_STATUS VirtualPedalDriver::GetQueueStatus(FT_HANDLE handle, std::uint32_t* queued) {
    if (const FT_STATUS s = check(handle); s != FT_OK) return s;
    if (queued == nullptr) return FT_INVALID_PARAMETER;
    *queued = static_cast<std::uint32_t>(
        std::min<qint64>(pedal_.bytesAvailable(now()), std::numeric_limits<std::uint32_t>::max()));
    refreshReady();
    return FT_OK;
}

int VirtualPedalDriver::ReadyFd(FT_HANDLE handle) {
    if (handle == 0 || handle != handle_) return -1;
    refreshReady();
    if (!pedal_.wireTime()) return eventFd_;
    return readyTimer_ ? timerFd_ : -1;
}

DeviceKind VirtualPedalDriver::Kind(FT_HANDLE handle) {
    return handle != 0 && handle == handle_ ? DeviceKind::VirtualInProcess : DeviceKind::None;
}

FT_STATUS VirtualPedalDriver::SetLatencyTimer(FT_HANDLE handle, std::uint8_t ms) {
    if (const FT_STATUS s = check(handle); s != FT_OK) return s;
    latencyMs_ = ms;
    pedal_.setLatencyTimer(ms);
    return FT_OK;
}

FT_STATUS VirtualPedalDriver::GetLatencyTimer(FT_HANDLE handle, std::uint8_t* ms) {
    if (const FT_STATUS s = check(handle); s != FT_OK) return s;
    if (ms == nullptr) return FT_INVALID_PARAMETER;
    *ms = latencyMs_;
    return FT_OK;
}

}  // namespace zendal
