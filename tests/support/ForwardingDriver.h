#pragma once

#include "link/FtDriver.h"

namespace zendal::test {

// Passes every call to another driver (usually the virtual pedal's). Test
// drivers that watch or disturb the line derive from it and override only the
// calls they change.
class ForwardingDriver : public FtDriver {
  public:
    explicit ForwardingDriver(FtDriver& inner) : inner_(inner) {}

    FT_STATUS ListDevices(void* a, void* b, std::uint32_t f) override {
        return inner_.ListDevices(a, b, f);
    }
    FT_STATUS OpenEx(const char* s, std::uint32_t f, FT_HANDLE* h) override {
        return inner_.OpenEx(s, f, h);
    }
    FT_STATUS Close(FT_HANDLE h) override { return inner_.Close(h); }
    FT_STATUS Read(FT_HANDLE h, void* b, std::uint32_t n, std::uint32_t* got) override {
        return inner_.Read(h, b, n, got);
    }
    FT_STATUS Write(FT_HANDLE h, const void* b, std::uint32_t n, std::uint32_t* done) override {
        return inner_.Write(h, b, n, done);
    }
    FT_STATUS SetBaudRate(FT_HANDLE h, std::uint32_t baud) override {
        return inner_.SetBaudRate(h, baud);
    }
    FT_STATUS SetDataCharacteristics(FT_HANDLE h, std::uint8_t w, std::uint8_t s,
                                     std::uint8_t p) override {
        return inner_.SetDataCharacteristics(h, w, s, p);
    }
    FT_STATUS Purge(FT_HANDLE h, std::uint32_t m) override { return inner_.Purge(h, m); }
    FT_STATUS GetQueueStatus(FT_HANDLE h, std::uint32_t* q) override {
        return inner_.GetQueueStatus(h, q);
    }
    int ReadyFd(FT_HANDLE h) override { return inner_.ReadyFd(h); }
    DeviceKind Kind(FT_HANDLE h) override { return inner_.Kind(h); }
    FT_STATUS SetLatencyTimer(FT_HANDLE h, std::uint8_t ms) override {
        return inner_.SetLatencyTimer(h, ms);
    }
    FT_STATUS GetLatencyTimer(FT_HANDLE h, std::uint8_t* ms) override {
        return inner_.GetLatencyTimer(h, ms);
    }
    QString devicePath(std::uint32_t index) override { return inner_.devicePath(index); }
    QString lastError() const override { return inner_.lastError(); }

  protected:
    FtDriver& inner_;
};

}  // namespace zendal::test
