#include <gtest/gtest.h>
#include <poll.h>

#include <cstdint>
#include <cstring>
#include <functional>

#include "sim/SimTestUtil.h"
#include "sim/VirtualPedalDriver.h"

using namespace zendal;
using zendal::simtest::hex;

namespace {

void* indexArg(std::uintptr_t i) {
    return reinterpret_cast<void*>(i);
}

bool readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}

// The driver's calls and statuses, without timing.
struct Opened {
    VirtualPedal pedal{VirtualPedal::Config::lenient()};
    VirtualPedalDriver driver{pedal};
    FT_HANDLE handle = 0;
    Opened() { EXPECT_EQ(driver.OpenEx("ZVP00001", FT_OPEN_BY_SERIAL_NUMBER, &handle), FT_OK); }

    FT_STATUS write(const QByteArray& bytes) {
        std::uint32_t n = 0;
        return driver.Write(handle, bytes.constData(), std::uint32_t(bytes.size()), &n);
    }
    QByteArray read(std::uint32_t max = 65536) {
        QByteArray buffer(int(max), '\0');
        std::uint32_t n = 0;
        EXPECT_EQ(driver.Read(handle, buffer.data(), max, &n), FT_OK);
        return buffer.left(int(n));
    }
    std::uint32_t queued() {
        std::uint32_t n = 0;
        EXPECT_EQ(driver.GetQueueStatus(handle, &n), FT_OK);
        return n;
    }
};

// Every call that takes a handle, with harmless arguments.
std::vector<std::pair<const char*, std::function<FT_STATUS(VirtualPedalDriver&, FT_HANDLE)>>>
handleCalls() {
    static std::uint8_t buffer[16];
    static std::uint32_t count;
    static std::uint8_t latency;
    return {
        {"Read", [](auto& d, FT_HANDLE h) { return d.Read(h, buffer, 16, &count); }},
        {"Write", [](auto& d, FT_HANDLE h) { return d.Write(h, "\x06\x00", 2, &count); }},
        {"SetBaudRate", [](auto& d, FT_HANDLE h) { return d.SetBaudRate(h, 115200); }},
        {"SetDataCharacteristics",
         [](auto& d, FT_HANDLE h) { return d.SetDataCharacteristics(h, 8, 0, 0); }},
        {"Purge", [](auto& d, FT_HANDLE h) { return d.Purge(h, FT_PURGE_RX | FT_PURGE_TX); }},
        {"GetQueueStatus", [](auto& d, FT_HANDLE h) { return d.GetQueueStatus(h, &count); }},
        {"SetLatencyTimer", [](auto& d, FT_HANDLE h) { return d.SetLatencyTimer(h, 1); }},
        {"GetLatencyTimer", [](auto& d, FT_HANDLE h) { return d.GetLatencyTimer(h, &latency); }},
    };
}

}  // namespace

TEST(VirtualPedalDriverListing, ListsOneDeviceWithItsSerialAndDescription) {
    VirtualPedal pedal;
    const QByteArray longSerial(70, 'S');
    VirtualPedalDriver driver(pedal, longSerial, "FT230X Basic UART");
    std::uint32_t count = 99;
    EXPECT_EQ(driver.ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
    EXPECT_EQ(count, 1u);

    char answer[64];
    std::memset(answer, 'x', sizeof answer);
    EXPECT_EQ(driver.ListDevices(indexArg(0), answer, FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER),
              FT_OK);
    EXPECT_EQ(QByteArray(answer), longSerial.left(63));  // the buffer holds 64 with the NUL
    EXPECT_EQ(driver.ListDevices(indexArg(0), answer, FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION),
              FT_OK);
    EXPECT_STREQ(answer, "FT230X Basic UART");
    EXPECT_EQ(driver.ListDevices(indexArg(1), answer, FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER),
              FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(driver.ListDevices(nullptr, nullptr, FT_LIST_NUMBER_ONLY), FT_INVALID_PARAMETER);
}

TEST(VirtualPedalDriverOpen, OpenAndCloseGiveTheLibrarysStatuses) {
    VirtualPedal pedal;
    VirtualPedalDriver driver(pedal);
    FT_HANDLE h = 0;
    EXPECT_EQ(driver.OpenEx("ZVP00002", FT_OPEN_BY_SERIAL_NUMBER, &h), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(h, 0u);
    EXPECT_EQ(driver.OpenEx("ZVP00001", FT_OPEN_BY_SERIAL_NUMBER, &h), FT_OK);
    EXPECT_NE(h, 0u);
    EXPECT_EQ(driver.Kind(h), DeviceKind::VirtualInProcess);
    FT_HANDLE second = 0;
    EXPECT_EQ(driver.OpenEx("ZVP00001", FT_OPEN_BY_SERIAL_NUMBER, &second), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(driver.Close(h), FT_OK);
    EXPECT_EQ(driver.Close(h), FT_INVALID_HANDLE);
    EXPECT_EQ(driver.OpenEx("FT230X Basic UART", FT_OPEN_BY_DESCRIPTION, &second), FT_OK);
    EXPECT_NE(second, h);
}

TEST(VirtualPedalDriverOpen, CallsOnAClosedOrUnknownHandleAreInvalid) {
    Opened o;
    const FT_HANDLE closed = o.handle;
    ASSERT_EQ(o.driver.Close(closed), FT_OK);
    for (const auto& [name, call] : handleCalls()) {
        EXPECT_EQ(call(o.driver, closed), FT_INVALID_HANDLE) << name;
        EXPECT_EQ(call(o.driver, 0), FT_INVALID_HANDLE) << name;
    }
    EXPECT_EQ(o.driver.ReadyFd(closed), -1);
}

TEST(VirtualPedalDriverOpen, UnplugKillsTheHandleUntilItIsClosedAndReopened) {
    Opened o;
    o.pedal.unplug();
    for (const auto& [name, call] : handleCalls())
        EXPECT_EQ(call(o.driver, o.handle), FT_IO_ERROR) << name;
    std::uint32_t count = 9;
    EXPECT_EQ(o.driver.ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
    EXPECT_EQ(count, 0u);

    o.pedal.replug();
    EXPECT_EQ(o.write(hex("06 00")), FT_IO_ERROR);  // the old handle stays dead
    EXPECT_EQ(o.driver.Close(o.handle), FT_OK);
    ASSERT_EQ(o.driver.OpenEx("ZVP00001", FT_OPEN_BY_SERIAL_NUMBER, &o.handle), FT_OK);
    EXPECT_EQ(o.write(hex("06 00")), FT_OK);
    EXPECT_EQ(o.read(), QByteArray("1\r\n38\r\n1\r\n5\r\n"));

    o.pedal.unplug();
    FT_HANDLE again = 0;
    ASSERT_EQ(o.driver.Close(o.handle), FT_OK);
    EXPECT_EQ(o.driver.OpenEx("ZVP00001", FT_OPEN_BY_SERIAL_NUMBER, &again), FT_DEVICE_NOT_FOUND);
}

TEST(VirtualPedalDriverIo, ReadsTakeWhatIsQueuedWithoutWaiting) {
    Opened o;
    EXPECT_EQ(o.queued(), 0u);
    EXPECT_TRUE(o.read().isEmpty());
    ASSERT_EQ(o.write(hex("06 00")), FT_OK);
    EXPECT_EQ(o.queued(), 13u);
    EXPECT_EQ(o.read(4), QByteArray("1\r\n3"));
    EXPECT_EQ(o.queued(), 9u);
    EXPECT_EQ(o.read(), QByteArray("8\r\n1\r\n5\r\n"));

    o.write(hex("06 00"));
    EXPECT_EQ(o.driver.Purge(o.handle, FT_PURGE_RX), FT_OK);
    EXPECT_EQ(o.queued(), 0u);
}

TEST(VirtualPedalDriverIo, LineSettingsReachThePedal) {
    Opened o;
    EXPECT_EQ(o.driver.SetBaudRate(o.handle, 0), FT_INVALID_BAUD_RATE);
    EXPECT_EQ(o.driver.SetDataCharacteristics(o.handle, 9, 0, 0), FT_INVALID_PARAMETER);
    EXPECT_EQ(o.driver.SetDataCharacteristics(o.handle, 8, 1, 0), FT_INVALID_PARAMETER);
    EXPECT_EQ(o.driver.SetDataCharacteristics(o.handle, 8, 0, 5), FT_INVALID_PARAMETER);

    // At even parity the firmware hears nothing; the bootloader hears only that.
    o.pedal.setRequireSaveHeld(false);
    ASSERT_EQ(o.driver.SetDataCharacteristics(o.handle, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_EVEN),
              FT_OK);
    o.write(hex("06 00"));
    EXPECT_EQ(o.queued(), 0u);
    ASSERT_EQ(o.driver.SetDataCharacteristics(o.handle, 8, 0, FT_PARITY_NONE), FT_OK);
    o.write(hex("05 00 01 02 03 04 05 06 7F"));
    EXPECT_EQ(o.queued(), 0u);
    ASSERT_EQ(o.driver.SetDataCharacteristics(o.handle, 8, 0, FT_PARITY_EVEN), FT_OK);
    o.write(hex("7F"));
    EXPECT_EQ(o.read(), hex("79"));

    ASSERT_EQ(o.driver.SetBaudRate(o.handle, 9600), FT_OK);
    o.write(hex("01 FE"));
    EXPECT_EQ(o.queued(), 0u);
}

TEST(VirtualPedalDriverIo, ReadyFdIsReadableExactlyWhileBytesWait) {
    Opened o;
    const int fd = o.driver.ReadyFd(o.handle);
    ASSERT_GE(fd, 0);
    EXPECT_FALSE(readable(fd));
    o.write(hex("06 00"));
    EXPECT_TRUE(readable(fd));
    o.read(5);
    EXPECT_TRUE(readable(fd));
    o.read();
    EXPECT_FALSE(readable(fd));

    o.pedal.switchBank(1);  // the pedal speaking on its own wakes waiters too
    EXPECT_TRUE(readable(fd));
    o.driver.Purge(o.handle, FT_PURGE_RX);
    EXPECT_FALSE(readable(fd));

    o.pedal.unplug();  // so that a waiter wakes and sees the failure
    EXPECT_TRUE(readable(fd));
}

TEST(VirtualPedalDriverIo, TimingUsesTheInjectedClockAndTheLatencyTimer) {
    VirtualPedal pedal;  // realistic timing is the default
    VirtualPedalDriver driver(pedal);
    qint64 now = 5'000'000;
    driver.setNowUs([&now] { return now; });
    FT_HANDLE h = 0;
    ASSERT_EQ(driver.OpenEx("ZVP00001", FT_OPEN_BY_SERIAL_NUMBER, &h), FT_OK);
    std::uint8_t latency = 0;
    EXPECT_EQ(driver.GetLatencyTimer(h, &latency), FT_OK);
    EXPECT_EQ(latency, 16);
    EXPECT_EQ(driver.SetLatencyTimer(h, 2), FT_OK);
    EXPECT_EQ(driver.GetLatencyTimer(h, &latency), FT_OK);
    EXPECT_EQ(latency, 2);
    EXPECT_EQ(pedal.latencyTimer(), 2);

    std::uint32_t n = 0;
    ASSERT_EQ(driver.Write(h, "\x06\x00", 2, &n), FT_OK);
    auto queued = [&] {
        std::uint32_t q = 99;
        EXPECT_EQ(driver.GetQueueStatus(h, &q), FT_OK);
        return q;
    };
    EXPECT_EQ(queued(), 0u);
    now += 1'500;  // all 13 bytes crossed the wire, in the chip until its timer runs out
    EXPECT_EQ(queued(), 0u);
    now += 500;
    EXPECT_EQ(queued(), 13u);

    // Reopening starts with the chip's default again.
    ASSERT_EQ(driver.Write(h, "\x06\x00", 2, &n), FT_OK);
    ASSERT_EQ(driver.Close(h), FT_OK);
    ASSERT_EQ(driver.OpenEx("ZVP00001", FT_OPEN_BY_SERIAL_NUMBER, &h), FT_OK);
    EXPECT_EQ(driver.GetLatencyTimer(h, &latency), FT_OK);
    EXPECT_EQ(latency, 16);
}

TEST(VirtualPedalDriverIo, WithTimingReadyFdWakesWhenAPacketIsDueAndSleepsAtRest) {
    VirtualPedal pedal;  // realistic timing, on the editor's (real) clock
    VirtualPedalDriver driver(pedal);
    FT_HANDLE h = 0;
    ASSERT_EQ(driver.OpenEx("ZVP00001", FT_OPEN_BY_SERIAL_NUMBER, &h), FT_OK);
    EXPECT_EQ(driver.ReadyFd(h), -1);  // the caller polls unless it asks for the timer
    driver.setReadyTimer(true);
    const int fd = driver.ReadyFd(h);
    ASSERT_GE(fd, 0);
    EXPECT_FALSE(readable(fd));
    std::uint32_t n = 0;
    ASSERT_EQ(driver.Write(h, "\x06\x00", 2, &n), FT_OK);
    // Wakes for every event on the way (bytes arriving, the packet leaving)
    // until the answer is there.
    QByteArray got;
    for (int wakes = 0; wakes < 50 && got.size() < 13; ++wakes) {
        pollfd p{fd, POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, 5000), 1);
        char buffer[64];
        ASSERT_EQ(driver.Read(h, buffer, sizeof buffer, &n), FT_OK);
        got.append(buffer, int(n));
    }
    EXPECT_EQ(got, QByteArray("1\r\n38\r\n1\r\n5\r\n"));
    EXPECT_FALSE(readable(fd));  // at rest: nothing is armed

    pedal.unplug();
    pollfd p{fd, POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 5000), 1);  // the timer is set to go off at once
}
