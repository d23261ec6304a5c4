#include "link/DeviceHub.h"

#include <cstring>

namespace zendal {

namespace {

QByteArray answerText(const char (&buffer)[64]) {
    const void* nul = std::memchr(buffer, 0, sizeof buffer);
    const auto length =
        nul ? static_cast<const char*>(nul) - buffer : static_cast<std::ptrdiff_t>(sizeof buffer);
    return QByteArray(buffer, static_cast<int>(length));
}

void* indexArgument(std::uint32_t index) {
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(index));
}

}  // namespace

void DeviceHub::addBackend(FtDriver* driver, const QString& name) {
    if (!driver || backend(driver)) return;
    backends_.append(Backend{driver, name, true});
    listedValid_ = false;
}

DeviceHub::Backend* DeviceHub::backend(FtDriver* driver) {
    for (Backend& b : backends_) {
        if (b.driver == driver) return &b;
    }
    return nullptr;
}

bool DeviceHub::backendEnabled(FtDriver* driver) const {
    for (const Backend& b : backends_) {
        if (b.driver == driver) return b.enabled;
    }
    return false;
}

void DeviceHub::setBackendEnabled(FtDriver* driver, bool enabled) {
    Backend* b = backend(driver);
    if (!b || b->enabled == enabled) return;
    b->enabled = enabled;
    listedValid_ = false;
    if (!enabled) {
        // Its devices vanish like unplugged ones: closed underneath, failing
        // every call but Close until the port module lets go of them.
        for (auto& [h, r] : routes_) {
            if (r.driver == driver && !r.gone) {
                r.driver->Close(r.handle);
                r.gone = true;
            }
        }
    }
}

void DeviceHub::refresh() {
    listed_.clear();
    for (const Backend& b : backends_) {
        if (!b.enabled) continue;
        std::uint32_t count = 0;
        if (b.driver->ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY) != FT_OK) continue;
        for (std::uint32_t i = 0; i < count; ++i) {
            char answer[64] = {};
            if (b.driver->ListDevices(indexArgument(i), answer,
                                      FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER) != FT_OK) {
                continue;
            }
            const QByteArray serial = answerText(answer);
            bool seen = false;
            for (const Entry& e : listed_) seen = seen || e.serial == serial;
            if (!seen) listed_.append(Entry{b.driver, i, serial, b.name});
        }
    }
    listedValid_ = true;
}

QVector<DeviceHub::Listed> DeviceHub::devices() {
    refresh();
    QVector<Listed> out;
    for (int i = 0; i < listed_.size(); ++i) {
        const Entry& e = listed_[i];
        char answer[64] = {};
        Listed item;
        item.serial = e.serial;
        if (e.driver->ListDevices(indexArgument(e.index), answer,
                                  FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION) == FT_OK) {
            item.description = answerText(answer);
        }
        item.path = e.driver->devicePath(e.index);
        item.backend = e.backend;
        out.append(item);
    }
    return out;
}

FT_STATUS DeviceHub::ListDevices(void* arg1, void* arg2, std::uint32_t flags) {
    if (flags & FT_LIST_NUMBER_ONLY) {
        if (!arg1) return FT_INVALID_PARAMETER;
        refresh();
        *static_cast<std::uint32_t*>(arg1) = static_cast<std::uint32_t>(listed_.size());
        return FT_OK;
    }
    if (!(flags & FT_LIST_BY_INDEX) || !arg2) return FT_INVALID_PARAMETER;
    if (!listedValid_) refresh();
    const auto index = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(arg1));
    if (index >= static_cast<std::uint32_t>(listed_.size())) return FT_DEVICE_NOT_FOUND;
    const Entry& e = listed_[static_cast<int>(index)];
    if (!backendEnabled(e.driver)) return FT_DEVICE_NOT_FOUND;
    return e.driver->ListDevices(indexArgument(e.index), arg2, flags);
}

QString DeviceHub::devicePath(std::uint32_t index) {
    if (!listedValid_ || index >= static_cast<std::uint32_t>(listed_.size())) return {};
    const Entry& e = listed_[static_cast<int>(index)];
    return e.driver->devicePath(e.index);
}

FT_STATUS DeviceHub::OpenEx(const char* serial, std::uint32_t flags, FT_HANDLE* handle) {
    lastError_.clear();
    if (!serial || !handle) return FT_INVALID_PARAMETER;
    const QByteArray wanted(serial);
    // The backend that listed the serial first opens it; a serial nobody
    // lists (a path typed by the user) is offered to every backend in turn.
    refresh();
    QVector<FtDriver*> candidates;
    for (const Entry& e : listed_) {
        if (e.serial == wanted) candidates.append(e.driver);
    }
    if (candidates.isEmpty()) {
        for (const Backend& b : backends_) {
            if (b.enabled) candidates.append(b.driver);
        }
    }
    FT_STATUS result = FT_DEVICE_NOT_FOUND;
    for (FtDriver* driver : candidates) {
        FT_HANDLE inner = 0;
        const FT_STATUS s = driver->OpenEx(serial, flags, &inner);
        if (s == FT_OK) {
            const FT_HANDLE h = nextHandle_++;
            if (nextHandle_ == 0) nextHandle_ = 1;
            routes_.emplace(h, Route{driver, inner, false});
            *handle = h;
            return FT_OK;
        }
        // The most telling failure wins: "not found" only if nobody knew it.
        if (result == FT_DEVICE_NOT_FOUND) {
            result = s;
            lastError_ = driver->lastError();
        }
    }
    return result;
}

const DeviceHub::Route* DeviceHub::route(FT_HANDLE handle) const {
    const auto it = routes_.find(handle);
    return it == routes_.end() ? nullptr : &it->second;
}

FtDriver* DeviceHub::backendOf(FT_HANDLE handle) const {
    const Route* r = route(handle);
    return r && !r->gone ? r->driver : nullptr;
}

FT_STATUS DeviceHub::Close(FT_HANDLE handle) {
    const Route* r = route(handle);
    if (!r) return FT_INVALID_HANDLE;
    if (r->gone) {
        routes_.erase(handle);
        return FT_OK;
    }
    const FT_STATUS s = r->driver->Close(r->handle);
    // A backend that no longer knows the handle has let go of it too; any
    // other failure keeps the route so that closing can be tried again.
    if (s == FT_OK || s == FT_INVALID_HANDLE) routes_.erase(handle);
    return s;
}

#define ZENDAL_ROUTE(call)                   \
    const Route* r = route(handle);          \
    if (!r) return FT_INVALID_HANDLE;        \
    if (r->gone) return FT_DEVICE_NOT_FOUND; \
    return r->driver->call;

FT_STATUS DeviceHub::Read(FT_HANDLE handle, void* buffer, std::uint32_t toRead,
                          std::uint32_t* bytesRead) {
    if (bytesRead) *bytesRead = 0;
    ZENDAL_ROUTE(Read(r->handle, buffer, toRead, bytesRead))
}

FT_STATUS DeviceHub::Write(FT_HANDLE handle, const void* buffer, std::uint32_t toWrite,
                           std::uint32_t* bytesWritten) {
    if (bytesWritten) *bytesWritten = 0;
    ZENDAL_ROUTE(Write(r->handle, buffer, toWrite, bytesWritten))
}

FT_STATUS DeviceHub::SetBaudRate(FT_HANDLE handle,
                                 std::uint32_t baud){ZENDAL_ROUTE(SetBaudRate(r->handle, baud))}

FT_STATUS DeviceHub::SetDataCharacteristics(FT_HANDLE handle, std::uint8_t wordLength,
                                            std::uint8_t stopBits, std::uint8_t parity){
    ZENDAL_ROUTE(SetDataCharacteristics(r->handle, wordLength, stopBits, parity))}

FT_STATUS DeviceHub::Purge(FT_HANDLE handle,
                           std::uint32_t mask){ZENDAL_ROUTE(Purge(r->handle, mask))}

FT_STATUS DeviceHub::GetQueueStatus(FT_HANDLE handle, std::uint32_t* queued){
    ZENDAL_ROUTE(GetQueueStatus(r->handle, queued))}

FT_STATUS DeviceHub::SetLatencyTimer(FT_HANDLE handle,
                                     std::uint8_t ms){ZENDAL_ROUTE(SetLatencyTimer(r->handle, ms))}

FT_STATUS DeviceHub::GetLatencyTimer(FT_HANDLE handle, std::uint8_t* ms) {
    ZENDAL_ROUTE(GetLatencyTimer(r->handle, ms))
}

#undef ZENDAL_ROUTE

int DeviceHub::ReadyFd(FT_HANDLE handle) {
    const Route* r = route(handle);
    return r && !r->gone ? r->driver->ReadyFd(r->handle) : -1;
}

DeviceKind DeviceHub::Kind(FT_HANDLE handle) {
    const Route* r = route(handle);
    return r && !r->gone ? r->driver->Kind(r->handle) : DeviceKind::None;
}

}  // namespace zendal
