#include "FaultDriver.h"

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

FT_STATUS FaultDriver::Write(FT_HANDLE h, const void* buffer, std::uint32_t n,
                             std::uint32_t* done) {
    const FT_STATUS s = inner_.Write(h, buffer, n, done);
    if (s != FT_OK || fault_ == Fault::None || !match_) return s;
    if (!match_(QByteArray(static_cast<const char*>(buffer), int(n))) || --remaining_ > 0) return s;
    fired_ = true;
    // Whatever the pedal answered so far.
    QByteArray answer;
    std::uint32_t queued = 0;
    if (inner_.GetQueueStatus(h, &queued) == FT_OK && queued > 0) {
        answer.resize(int(queued));
        std::uint32_t got = 0;
        inner_.Read(h, answer.data(), queued, &got);
        answer.resize(int(got));
    }
    if (fault_ == Fault::Garbage) {
        held_ += garbage();
    } else {
        held_ += answer.left(keep_);
        if (unplug_) unplug_();
    }
    disarm();
    return s;
}

FT_STATUS FaultDriver::Read(FT_HANDLE h, void* buffer, std::uint32_t toRead, std::uint32_t* got) {
    if (held_.isEmpty()) return inner_.Read(h, buffer, toRead, got);
    // Bytes the host had received before the fault are still read.
    const auto n = std::min<std::uint32_t>(toRead, std::uint32_t(held_.size()));
    std::memcpy(buffer, held_.constData(), n);
    held_.remove(0, int(n));
    *got = n;
    return FT_OK;
}

FT_STATUS FaultDriver::Purge(FT_HANDLE h, std::uint32_t mask) {
    const FT_STATUS s = inner_.Purge(h, mask);
    if (s == FT_OK && (mask & FT_PURGE_RX)) held_.clear();
    return s;
}

FT_STATUS FaultDriver::GetQueueStatus(FT_HANDLE h, std::uint32_t* queued) {
    if (!held_.isEmpty()) {
        *queued = std::uint32_t(held_.size());
        return FT_OK;
    }
    return inner_.GetQueueStatus(h, queued);
}

}  // namespace zendal::test
