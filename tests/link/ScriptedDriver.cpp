#include "ScriptedDriver.h"

#include <algorithm>
#include <cstring>

namespace zendal::test {

FT_STATUS ScriptedDriver::forced(const char* call) const {
    const auto it = fail.find(QString::fromLatin1(call));
    return it == fail.end() ? FT_OK : it->second;
}

FT_STATUS ScriptedDriver::checkHandle(FT_HANDLE handle, const char* call) const {
    if (const FT_STATUS s = forced(call)) return s;
    return isOpen && handle == handleToGive ? FT_OK : FT_INVALID_HANDLE;
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
}

FT_STATUS ScriptedDriver::ListDevices(void* arg1, void* arg2, std::uint32_t flags) {
    if (const FT_STATUS s = forced("ListDevices")) return s;
    if (flags & FT_LIST_NUMBER_ONLY) {
        *static_cast<std::uint32_t*>(arg1) = static_cast<std::uint32_t>(devices.size());
        return FT_OK;
    }
    const auto index = static_cast<int>(reinterpret_cast<std::uintptr_t>(arg1));
    if (index >= devices.size()) return FT_DEVICE_NOT_FOUND;
    const QByteArray text =
        (flags & FT_OPEN_BY_SERIAL_NUMBER) ? devices[index].serial : devices[index].description;
    const auto n = std::min<qsizetype>(text.size(), 63);
    std::memcpy(arg2, text.constData(), static_cast<std::size_t>(n));
    static_cast<char*>(arg2)[n] = '\0';
    return FT_OK;
}

QString ScriptedDriver::devicePath(std::uint32_t index) {
    return index < static_cast<std::uint32_t>(devices.size()) ? devices[int(index)].path
                                                              : QString();
}

FT_STATUS ScriptedDriver::OpenEx(const char* serial, std::uint32_t, FT_HANDLE* handle) {
    openedWith = QByteArray(serial);
    if (const FT_STATUS s = forced("OpenEx")) return s;
    const bool known = std::any_of(devices.begin(), devices.end(),
                                   [&](const Device& d) { return d.serial == openedWith; });
    if (!known) return FT_DEVICE_NOT_FOUND;
    if (isOpen) return FT_DEVICE_NOT_OPENED;
    isOpen = true;
    *handle = handleToGive;
    return FT_OK;
}

FT_STATUS ScriptedDriver::Close(FT_HANDLE handle) {
    if (const FT_STATUS s = checkHandle(handle, "Close")) return s;
    isOpen = false;
    return FT_OK;
}

FT_STATUS ScriptedDriver::Read(FT_HANDLE handle, void* buffer, std::uint32_t toRead,
                               std::uint32_t* bytesRead) {
    lastReadAsked = toRead;
    *bytesRead = 0;
    if (const FT_STATUS s = checkHandle(handle, "Read")) return s;
    if (onRead) onRead();
    release();
    const auto n = std::min<qsizetype>(toRead, queue_.size());
    std::memcpy(buffer, queue_.constData(), static_cast<std::size_t>(n));
    queue_.remove(0, n);
    *bytesRead = static_cast<std::uint32_t>(n);
    return FT_OK;
}

FT_STATUS ScriptedDriver::Write(FT_HANDLE handle, const void* buffer, std::uint32_t toWrite,
                                std::uint32_t* bytesWritten) {
    *bytesWritten = 0;
    if (const FT_STATUS s = checkHandle(handle, "Write")) return s;
    const QByteArray bytes(static_cast<const char*>(buffer), static_cast<int>(toWrite));
    written += bytes;
    *bytesWritten = toWrite;
    if (onWrite) onWrite(bytes);
    return FT_OK;
}

FT_STATUS ScriptedDriver::SetBaudRate(FT_HANDLE handle, std::uint32_t b) {
    if (const FT_STATUS s = checkHandle(handle, "SetBaudRate")) return s;
    baud = b;
    return FT_OK;
}

FT_STATUS ScriptedDriver::SetDataCharacteristics(FT_HANDLE handle, std::uint8_t w, std::uint8_t s,
                                                 std::uint8_t p) {
    if (const FT_STATUS st = checkHandle(handle, "SetDataCharacteristics")) return st;
    wordLength = w;
    stopBits = s;
    parity = p;
    return FT_OK;
}

FT_STATUS ScriptedDriver::Purge(FT_HANDLE handle, std::uint32_t mask) {
    if (const FT_STATUS s = checkHandle(handle, "Purge")) return s;
    purges.append(mask);
    if (mask & FT_PURGE_RX) {
        release();
        queue_.clear();
    }
    return FT_OK;
}

FT_STATUS ScriptedDriver::GetQueueStatus(FT_HANDLE handle, std::uint32_t* queued) {
    if (const FT_STATUS s = checkHandle(handle, "GetQueueStatus")) return s;
    release();
    *queued = static_cast<std::uint32_t>(queue_.size()) + queueOverride;
    return FT_OK;
}

}  // namespace zendal::test
