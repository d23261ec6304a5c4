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

namespace {

FT_STATUS status(unsigned long s) {
    return static_cast<FT_STATUS>(s & 0xFFFFFFFFu);
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
    if (api_) {
        for (const auto& [h, native] : handles_) api_->Close(native);
    }
    delete api_;
    if (library_) ::dlclose(library_);
}

void* D2xxLibraryDriver::native(FT_HANDLE handle) const {
    const auto it = handles_.find(handle);
    return it == handles_.end() ? nullptr : it->second;
}

FT_STATUS D2xxLibraryDriver::ListDevices(void* arg1, void* arg2, std::uint32_t flags) {
    if (!api_) {
        if (flags & FT_LIST_NUMBER_ONLY) {
            if (!arg1) return FT_INVALID_PARAMETER;
            *static_cast<std::uint32_t*>(arg1) = 0;
            return FT_OK;
        }
        return FT_DEVICE_NOT_FOUND;
    }
    if (flags & FT_LIST_NUMBER_ONLY) {
        if (!arg1) return FT_INVALID_PARAMETER;
        std::uint64_t count = 0;
        const FT_STATUS s = status(api_->ListDevices(&count, nullptr, flags));
        if (s == FT_OK) *static_cast<std::uint32_t*>(arg1) = low32(count);
        return s;
    }
    if (!arg2) return FT_INVALID_PARAMETER;
    // Room to spare in case the library writes past 64 bytes; the caller's
    // buffer gets at most 63 characters and a NUL.
    char answer[256] = {};
    const FT_STATUS s = status(api_->ListDevices(arg1, answer, flags));
    if (s == FT_OK) {
        answer[63] = '\0';
        std::memcpy(arg2, answer, std::strlen(answer) + 1);
    }
    return s;
}

FT_STATUS D2xxLibraryDriver::OpenEx(const char* serial, std::uint32_t flags, FT_HANDLE* handle) {
    if (!api_) return FT_DEVICE_NOT_FOUND;
    if (!serial || !handle) return FT_INVALID_PARAMETER;
    void* opened = nullptr;
    const FT_STATUS s = status(api_->OpenEx(const_cast<char*>(serial), flags, &opened));
    if (s != FT_OK) return s;
    if (!opened) return FT_DEVICE_NOT_OPENED;
    const FT_HANDLE h = nextHandle_++;
    if (nextHandle_ == 0) nextHandle_ = 1;
    handles_.emplace(h, opened);
    *handle = h;
    return FT_OK;
}

FT_STATUS D2xxLibraryDriver::Close(FT_HANDLE handle) {
    void* n = native(handle);
    if (!n) return FT_INVALID_HANDLE;
    const FT_STATUS s = status(api_->Close(n));
    if (s == FT_OK) handles_.erase(handle);
    return s;
}

FT_STATUS D2xxLibraryDriver::Read(FT_HANDLE handle, void* buffer, std::uint32_t toRead,
                                  std::uint32_t* bytesRead) {
    void* n = native(handle);
    if (!n) return FT_INVALID_HANDLE;
    if (!bytesRead) return FT_INVALID_PARAMETER;
    std::uint64_t got = 0;
    const FT_STATUS s = status(api_->Read(n, buffer, toRead, &got));
    *bytesRead = std::min(low32(got), toRead);
    return s;
}

FT_STATUS D2xxLibraryDriver::Write(FT_HANDLE handle, const void* buffer, std::uint32_t toWrite,
                                   std::uint32_t* bytesWritten) {
    void* n = native(handle);
    if (!n) return FT_INVALID_HANDLE;
    if (!bytesWritten) return FT_INVALID_PARAMETER;
    std::uint64_t sent = 0;
    const FT_STATUS s = status(api_->Write(n, const_cast<void*>(buffer), toWrite, &sent));
    *bytesWritten = std::min(low32(sent), toWrite);
    return s;
}

FT_STATUS D2xxLibraryDriver::SetBaudRate(FT_HANDLE handle, std::uint32_t baud) {
    void* n = native(handle);
    return n ? status(api_->SetBaudRate(n, baud)) : FT_INVALID_HANDLE;
}

FT_STATUS D2xxLibraryDriver::SetDataCharacteristics(FT_HANDLE handle, std::uint8_t wordLength,
                                                    std::uint8_t stopBits, std::uint8_t parity) {
    void* n = native(handle);
    return n ? status(api_->SetDataCharacteristics(n, wordLength, stopBits, parity))
             : FT_INVALID_HANDLE;
}

FT_STATUS D2xxLibraryDriver::Purge(FT_HANDLE handle, std::uint32_t mask) {
    void* n = native(handle);
    return n ? status(api_->Purge(n, mask)) : FT_INVALID_HANDLE;
}

FT_STATUS D2xxLibraryDriver::GetQueueStatus(FT_HANDLE handle, std::uint32_t* queued) {
    void* n = native(handle);
    if (!n) return FT_INVALID_HANDLE;
    if (!queued) return FT_INVALID_PARAMETER;
    std::uint64_t count = 0;
    const FT_STATUS s = status(api_->GetQueueStatus(n, &count));
    if (s == FT_OK) *queued = low32(count);
    return s;
}

DeviceKind D2xxLibraryDriver::Kind(FT_HANDLE handle) {
    return native(handle) ? DeviceKind::Hardware : DeviceKind::None;
}

FT_STATUS D2xxLibraryDriver::SetLatencyTimer(FT_HANDLE handle, std::uint8_t ms) {
    void* n = native(handle);
    if (!n) return FT_INVALID_HANDLE;
    if (!api_->SetLatencyTimer) return FT_NOT_SUPPORTED;
    return status(api_->SetLatencyTimer(n, ms < 1 ? 1 : ms));
}

FT_STATUS D2xxLibraryDriver::GetLatencyTimer(FT_HANDLE handle, std::uint8_t* ms) {
    void* n = native(handle);
    if (!n) return FT_INVALID_HANDLE;
    if (!ms) return FT_INVALID_PARAMETER;
    if (!api_->GetLatencyTimer) return FT_NOT_SUPPORTED;
    unsigned char value = 0;
    const FT_STATUS s = status(api_->GetLatencyTimer(n, &value));
    if (s == FT_OK) *ms = value;
    return s;
}

}  // namespace zendal
