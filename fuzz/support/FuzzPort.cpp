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

FT_STATUS ScriptedDriver::ListDevices(void* arg1, void* arg2, std::uint32_t flags) {
    if (flags & FT_LIST_NUMBER_ONLY) {
        *static_cast<std::uint32_t*>(arg1) = 1;
        return FT_OK;
    }
    std::strcpy(static_cast<char*>(arg2), "FUZZ0001");
    return FT_OK;
}

FT_STATUS ScriptedDriver::OpenEx(const char*, std::uint32_t, FT_HANDLE* handle) {
    *handle = kHandle;
    return FT_OK;
}

FT_STATUS ScriptedDriver::Read(FT_HANDLE, void* buffer, std::uint32_t toRead,
                               std::uint32_t* bytesRead) {
    std::uint32_t n = std::min<std::uint32_t>(toRead, static_cast<std::uint32_t>(queue_.size()));
    if (readSlice_ > 0) n = std::min(n, readSlice_);
    std::memcpy(buffer, queue_.constData(), n);
    queue_.remove(0, n);
    *bytesRead = n;
    return FT_OK;
}

FT_STATUS ScriptedDriver::Write(FT_HANDLE, const void* buffer, std::uint32_t toWrite,
                                std::uint32_t* bytesWritten) {
    // Only the start of what was written is kept: enough to see the commands.
    if (written_.size() < 4096)
        written_.append(static_cast<const char*>(buffer), static_cast<qsizetype>(toWrite));
    *bytesWritten = toWrite;
    releaseNext();
    return FT_OK;
}

FT_STATUS ScriptedDriver::Purge(FT_HANDLE, std::uint32_t mask) {
    if (mask & FT_PURGE_RX) queue_.clear();
    return FT_OK;
}

FT_STATUS ScriptedDriver::GetQueueStatus(FT_HANDLE, std::uint32_t* queued) {
    if (failNextStatus_) {
        failNextStatus_ = false;
        *queued = 0;
        return FT_IO_ERROR;
    }
    *queued = static_cast<std::uint32_t>(queue_.size());
    return FT_OK;
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
