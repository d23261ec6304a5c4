#include "link/D2xxLibraryDriver.h"

#include <dlfcn.h>

#include <QFile>
#include <algorithm>
#include <cstring>

namespace zendal {

// The library's integer types differ in width between its builds (32-bit DWORD,
// ULONG of either width). The calls below are declared so that either width
// works on a little-endian 64-bit ABI: integers go in as full registers, results
// are cut to 32 bits, and every count the library writes lands in a zeroed
// 64-bit cell whose low half is the value.
struct D2xxLibraryDriver::Api {
    using Wide = unsigned long;
    Wide (*ListDevices)(void*, void*, Wide) = nullptr;
    Wide (*OpenEx)(void*, Wide, void**) = nullptr;
    Wide (*Close)(void*) = nullptr;
    Wide (*Read)(void*, void*, Wide, std::uint64_t*) = nullptr;
    Wide (*Write)(void*, void*, Wide, std::uint64_t*) = nullptr;
    Wide (*SetBaudRate)(void*, Wide) = nullptr;
    Wide (*SetDataCharacteristics)(void*, unsigned char, unsigned char, unsigned char) = nullptr;
    Wide (*Purge)(void*, Wide) = nullptr;
    Wide (*GetQueueStatus)(void*, std::uint64_t*) = nullptr;
    Wide (*SetLatencyTimer)(void*, unsigned char) = nullptr;   // optional
    Wide (*GetLatencyTimer)(void*, unsigned char*) = nullptr;  // optional
};

// The library's handle.
struct D2xxLibraryDriver::Native {
    void* handle;
};

namespace {

using FT_HANDLE = void*;

// FT_ListDevices flags and FT_Purge masks, as the library defines them.
constexpr unsigned long FT_LIST_NUMBER_ONLY = 0x80000000u;
constexpr unsigned long FT_LIST_BY_INDEX = 0x40000000u;
constexpr unsigned long FT_OPEN_BY_SERIAL_NUMBER = 1u;
constexpr unsigned long FT_OPEN_BY_DESCRIPTION = 2u;

PortStatus status(unsigned long s) {
    return static_cast<PortStatus>(s & 0xFFFFFFFFu);
}

// What the library says about a device pulled out under an open handle.
PortStatus ioStatus(unsigned long s) {
    const PortStatus st = status(s);
    return st == PortStatus::IoError || st == PortStatus::DeviceNotFound ? PortStatus::Unplugged
                                                                         : st;
}

std::uint32_t low32(std::uint64_t v) {
    return static_cast<std::uint32_t>(v & 0xFFFFFFFFu);
}

template <typename F>
bool bind(void* library, const char* name, F& target) {
    void* symbol = ::dlsym(library, name);
    if (!symbol) return false;
    static_assert(sizeof(F) == sizeof(void*));
    std::memcpy(&target, &symbol, sizeof(void*));
    return true;
}

}  // namespace

QString D2xxLibraryDriver::libraryPathFromEnvironment() {
    if (qEnvironmentVariableIsSet("ZENDAL_FTD2XX_LIBRARY")) {
        return qEnvironmentVariable("ZENDAL_FTD2XX_LIBRARY");
    }
    return QStringLiteral("libftd2xx.so");
}

D2xxLibraryDriver::D2xxLibraryDriver(const QString& path) {
    const QString file = path.isEmpty() ? libraryPathFromEnvironment() : path;
    if (file.isEmpty()) {
        loadError_ = QStringLiteral("FTDI library switched off");
        return;
    }
    void* library = ::dlopen(QFile::encodeName(file).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* why = ::dlerror();
        loadError_ = why ? QString::fromLocal8Bit(why) : file;
        return;
    }
    auto* api = new Api;
    const bool complete =
        bind(library, "FT_ListDevices", api->ListDevices) &&
        bind(library, "FT_OpenEx", api->OpenEx) && bind(library, "FT_Close", api->Close) &&
        bind(library, "FT_Read", api->Read) && bind(library, "FT_Write", api->Write) &&
        bind(library, "FT_SetBaudRate", api->SetBaudRate) &&
        bind(library, "FT_SetDataCharacteristics", api->SetDataCharacteristics) &&
        bind(library, "FT_Purge", api->Purge) &&
        bind(library, "FT_GetQueueStatus", api->GetQueueStatus);
    if (!complete) {
        loadError_ = QStringLiteral("%1 lacks a D2XX call").arg(file);
        delete api;
        ::dlclose(library);
        return;
    }
    bind(library, "FT_SetLatencyTimer", api->SetLatencyTimer);
    bind(library, "FT_GetLatencyTimer", api->GetLatencyTimer);
    library_ = library;
    api_ = api;
}

D2xxLibraryDriver::~D2xxLibraryDriver() {
    for (const auto& [h, n] : handles_) {
        if (api_) api_->Close(n->handle);
        delete n;
    }
    delete api_;
    if (library_) ::dlclose(library_);
}

D2xxLibraryDriver::Native* D2xxLibraryDriver::native(PortHandle handle) const {
    const auto it = handles_.find(handle);
    return it == handles_.end() ? nullptr : it->second;
}

bool D2xxLibraryDriver::listed(std::uint32_t index, std::uint32_t what, QByteArray* text) {
    // Room to spare in case the library writes past its 64 bytes.
    char answer[256] = {};
    // The library takes the index in place of a pointer.
    void* byIndex = reinterpret_cast<void*>(static_cast<std::uintptr_t>(index));
    if (status(api_->ListDevices(byIndex, answer, FT_LIST_BY_INDEX | what)) != PortStatus::Ok)
        return false;
    answer[63] = '\0';
    *text = QByteArray(answer);
    return true;
}

DeviceListing D2xxLibraryDriver::listDevices() {
    DeviceListing listing;
    if (!api_) return listing;
    std::uint64_t count = 0;
    listing.status = status(api_->ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY));
    if (listing.status != PortStatus::Ok) return listing;
    for (std::uint32_t i = 0; i < low32(count); ++i) {
        DeviceEntry entry;
        if (!listed(i, FT_OPEN_BY_SERIAL_NUMBER, &entry.serial)) continue;
        listed(i, FT_OPEN_BY_DESCRIPTION, &entry.description);
        listing.devices.push_back(entry);
    }
    return listing;
}

Opened D2xxLibraryDriver::open(const QByteArray& serial) {
    if (!api_) return {PortStatus::DeviceNotFound, {}};
    QByteArray text = serial;  // the library wants a NUL-terminated, writable string
    FT_HANDLE opened = nullptr;
    const PortStatus s = status(api_->OpenEx(text.data(), FT_OPEN_BY_SERIAL_NUMBER, &opened));
    if (s != PortStatus::Ok) return {s, {}};
    if (!opened) return {PortStatus::DeviceNotOpened, {}};
    const PortHandle h{nextHandle_++};
    if (nextHandle_ == 0) nextHandle_ = 1;
    handles_.emplace(h, new Native{opened});
    return {PortStatus::Ok, h};
}

PortStatus D2xxLibraryDriver::close(PortHandle handle) {
    Native* n = native(handle);
    if (!n) return PortStatus::InvalidHandle;
    const PortStatus s = status(api_->Close(n->handle));
    if (s == PortStatus::Ok) {
        handles_.erase(handle);
        delete n;
    }
    return s;
}

Transferred D2xxLibraryDriver::read(PortHandle handle, std::span<std::uint8_t> into) {
    Native* n = native(handle);
    if (!n) return {PortStatus::InvalidHandle, 0};
    std::uint64_t got = 0;
    const PortStatus s =
        ioStatus(api_->Read(n->handle, into.data(), static_cast<unsigned long>(into.size()), &got));
    return {s, std::min<std::size_t>(low32(got), into.size())};
}

Transferred D2xxLibraryDriver::write(PortHandle handle, std::span<const std::uint8_t> bytes) {
    Native* n = native(handle);
    if (!n) return {PortStatus::InvalidHandle, 0};
    std::uint64_t sent = 0;
    // The library's prototype is not const-correct; it only reads the bytes.
    void* data = const_cast<std::uint8_t*>(bytes.data());
    const PortStatus s =
        ioStatus(api_->Write(n->handle, data, static_cast<unsigned long>(bytes.size()), &sent));
    return {s, std::min<std::size_t>(low32(sent), bytes.size())};
}

Transferred D2xxLibraryDriver::queued(PortHandle handle) {
    Native* n = native(handle);
    if (!n) return {PortStatus::InvalidHandle, 0};
    std::uint64_t count = 0;
    const PortStatus s = ioStatus(api_->GetQueueStatus(n->handle, &count));
    return {s, s == PortStatus::Ok ? low32(count) : 0u};
}

PortStatus D2xxLibraryDriver::setBaudRate(PortHandle handle, std::uint32_t baud) {
    Native* n = native(handle);
    return n ? status(api_->SetBaudRate(n->handle, baud)) : PortStatus::InvalidHandle;
}

PortStatus D2xxLibraryDriver::setFraming(PortHandle handle, Framing framing) {
    Native* n = native(handle);
    return n ? status(api_->SetDataCharacteristics(n->handle, framing.wordLength, framing.stopBits,
                                                   framing.parity))
             : PortStatus::InvalidHandle;
}

PortStatus D2xxLibraryDriver::purge(PortHandle handle, PurgeQueue queues) {
    Native* n = native(handle);
    return n ? status(api_->Purge(n->handle, static_cast<unsigned long>(queues)))
             : PortStatus::InvalidHandle;
}

DeviceKind D2xxLibraryDriver::kind(PortHandle handle) {
    return native(handle) ? DeviceKind::Hardware : DeviceKind::None;
}

PortStatus D2xxLibraryDriver::setLatencyTimer(PortHandle handle, std::uint8_t ms) {
    Native* n = native(handle);
    if (!n) return PortStatus::InvalidHandle;
    if (!api_->SetLatencyTimer) return PortStatus::NotSupported;
    return status(api_->SetLatencyTimer(n->handle, ms < 1 ? 1 : ms));
}

PortStatus D2xxLibraryDriver::latencyTimer(PortHandle handle, std::uint8_t& ms) {
    Native* n = native(handle);
    if (!n) return PortStatus::InvalidHandle;
    if (!api_->GetLatencyTimer) return PortStatus::NotSupported;
    unsigned char value = 0;
    const PortStatus s = status(api_->GetLatencyTimer(n->handle, &value));
    if (s == PortStatus::Ok) ms = value;
    return s;
}

}  // namespace zendal
