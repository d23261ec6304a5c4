#pragma once

#include <QByteArray>
#include <functional>

#include "link/FtDriver.h"

namespace zendal::test {

// Sits between the editor's port module and the virtual pedal's driver and
// spoils the answer to one chosen write: the write reaches the pedal, then the
// pedal's answer is replaced with bytes that mean nothing, or the cable is
// pulled after part of the answer was received. Silence comes from the
// virtual pedal's own fault injection.
class FaultDriver : public FtDriver {
  public:
    enum class Fault { None, Garbage, Unplug };
    using Match = std::function<bool(const QByteArray& written)>;

    explicit FaultDriver(FtDriver& inner) : inner_(inner) {}

    // The `occurrence`-th write (1-based, counted from this call) that `match`
    // accepts gets the fault. For Unplug, `keepBytes` of the answer still
    // arrive before `unplug` pulls the cable.
    void arm(Match match, int occurrence, Fault fault, std::function<void()> unplug = {},
             int keepBytes = 0);
    void disarm();
    bool fired() const { return fired_; }

    FT_STATUS ListDevices(void* a, void* b, std::uint32_t f) override {
        return inner_.ListDevices(a, b, f);
    }
    FT_STATUS OpenEx(const char* s, std::uint32_t f, FT_HANDLE* h) override {
        return inner_.OpenEx(s, f, h);
    }
    FT_STATUS Close(FT_HANDLE h) override {
        held_.clear();
        return inner_.Close(h);
    }
    FT_STATUS Read(FT_HANDLE h, void* buffer, std::uint32_t toRead, std::uint32_t* got) override;
    FT_STATUS Write(FT_HANDLE h, const void* buffer, std::uint32_t n, std::uint32_t* done) override;
    FT_STATUS SetBaudRate(FT_HANDLE h, std::uint32_t b) override {
        return inner_.SetBaudRate(h, b);
    }
    FT_STATUS SetDataCharacteristics(FT_HANDLE h, std::uint8_t w, std::uint8_t s,
                                     std::uint8_t p) override {
        return inner_.SetDataCharacteristics(h, w, s, p);
    }
    FT_STATUS Purge(FT_HANDLE h, std::uint32_t mask) override;
    FT_STATUS GetQueueStatus(FT_HANDLE h, std::uint32_t* queued) override;
    int ReadyFd(FT_HANDLE h) override { return inner_.ReadyFd(h); }
    DeviceKind Kind(FT_HANDLE h) override { return inner_.Kind(h); }
    FT_STATUS SetLatencyTimer(FT_HANDLE h, std::uint8_t ms) override {
        return inner_.SetLatencyTimer(h, ms);
    }
    FT_STATUS GetLatencyTimer(FT_HANDLE h, std::uint8_t* ms) override {
        return inner_.GetLatencyTimer(h, ms);
    }

    // Bytes that are neither an ACK nor a NACK, nor any message of the pedal.
    static QByteArray garbage();

  private:
    FtDriver& inner_;
    Match match_;
    int remaining_ = 0;
    Fault fault_ = Fault::None;
    std::function<void()> unplug_;
    int keep_ = 0;
    bool fired_ = false;
    // Received before the fault and not yet read by the editor.
    QByteArray held_;
};

}  // namespace zendal::test
