#include <gtest/gtest.h>
#include <poll.h>

#include <cstdint>
#include <cstring>
#include <functional>

#include "link/D2XXUnit.h"
#include "sim/SimTestUtil.h"
#include "sim/VirtualPedalDriver.h"

using namespace zendal;
using zendal::simtest::hex;

namespace {

bool readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}

std::span<const std::uint8_t> bytesOf(const QByteArray& data) {
    return {reinterpret_cast<const std::uint8_t*>(data.constData()), std::size_t(data.size())};
}

// The driver's calls and statuses, without timing.
struct OpenPedal {
    VirtualPedal pedal{VirtualPedal::Config::lenient()};
    VirtualPedalDriver driver{pedal};
    PortHandle handle;
    OpenPedal() { reopen(); }

    void reopen() {
        const Opened opened = driver.open("ZVP00001");
        EXPECT_EQ(opened.status, PortStatus::Ok);
        handle = opened.handle;
    }
    PortStatus write(const QByteArray& bytes) {
        return driver.write(handle, bytesOf(bytes)).status;
    }
    QByteArray read(std::size_t max = 65536) {
        QByteArray buffer(qsizetype(max), '\0');
        const Transferred got =
            driver.read(handle, std::span(reinterpret_cast<std::uint8_t*>(buffer.data()), max));
        EXPECT_EQ(got.status, PortStatus::Ok);
        return buffer.left(qsizetype(got.count));
    }
    std::size_t queued() {
        const Transferred q = driver.queued(handle);
        EXPECT_EQ(q.status, PortStatus::Ok);
        return q.count;
    }
};

// Every call that takes a handle, with harmless arguments.
std::vector<std::pair<const char*, std::function<PortStatus(VirtualPedalDriver&, PortHandle)>>>
handleCalls() {
    static std::uint8_t buffer[16];
    static std::uint8_t latency;
    static const std::uint8_t request[] = {0x06, 0x00};
    return {
        {"read", [](auto& d, PortHandle h) { return d.read(h, buffer).status; }},
        {"write", [](auto& d, PortHandle h) { return d.write(h, request).status; }},
        {"setBaudRate", [](auto& d, PortHandle h) { return d.setBaudRate(h, 115200); }},
        {"setFraming", [](auto& d, PortHandle h) { return d.setFraming(h, Framing{}); }},
        {"purge", [](auto& d, PortHandle h) { return d.purge(h, PurgeQueue::Both); }},
        {"queued", [](auto& d, PortHandle h) { return d.queued(h).status; }},
        {"setLatencyTimer", [](auto& d, PortHandle h) { return d.setLatencyTimer(h, 1); }},
        {"latencyTimer", [](auto& d, PortHandle h) { return d.latencyTimer(h, latency); }},
    };
}

}  // namespace

TEST(VirtualPedalDriverListing, ListsOneDeviceWithItsSerialAndDescription) {
    VirtualPedal pedal;
    const QByteArray longSerial(70, 'S');
    VirtualPedalDriver driver(pedal, longSerial, "FT230X Basic UART");
    const DeviceListing listing = driver.listDevices();
    ASSERT_EQ(listing.status, PortStatus::Ok);
    ASSERT_EQ(listing.devices.size(), 1u);
    EXPECT_EQ(listing.devices[0].serial, longSerial);
    EXPECT_EQ(listing.devices[0].description, QByteArray("FT230X Basic UART"));
    EXPECT_EQ(listing.devices[0].kind, DeviceKind::VirtualInProcess);
    EXPECT_TRUE(listing.devices[0].openable);

    // The port module's answer buffer holds 64 bytes with the NUL.
    D2XXUnit unit;
    unit.setDriver(&driver);
    ASSERT_EQ(unit.GetFTDeviceSerialNo(0), FT_OK);
    EXPECT_EQ(unit.FT_Device_String, longSerial.left(63));
    EXPECT_EQ(unit.GetFTDeviceSerialNo(1), FT_DEVICE_NOT_FOUND);
}

TEST(VirtualPedalDriverOpen, OpenAndCloseGiveTheLibrarysStatuses) {
    VirtualPedal pedal;
    VirtualPedalDriver driver(pedal);
    EXPECT_EQ(driver.open("ZVP00002").status, PortStatus::DeviceNotFound);
    const Opened opened = driver.open("ZVP00001");
    ASSERT_EQ(opened.status, PortStatus::Ok);
    const PortHandle h = opened.handle;
    EXPECT_TRUE(h);
    EXPECT_EQ(driver.kind(h), DeviceKind::VirtualInProcess);
    EXPECT_EQ(driver.open("ZVP00001").status, PortStatus::DeviceNotOpened);
    const DeviceListing listing = driver.listDevices();
    ASSERT_EQ(listing.devices.size(), 1u);
    EXPECT_FALSE(listing.devices[0].openable) << "open already";
    EXPECT_FALSE(listing.devices[0].whyNot.isEmpty());
    EXPECT_EQ(driver.close(h), PortStatus::Ok);
    EXPECT_EQ(driver.close(h), PortStatus::InvalidHandle);
    const Opened second = driver.open("ZVP00001");
    EXPECT_EQ(second.status, PortStatus::Ok);
    EXPECT_NE(second.handle, h);
}

TEST(VirtualPedalDriverOpen, CallsOnAClosedOrUnknownHandleAreInvalid) {
    OpenPedal o;
    const PortHandle closed = o.handle;
    ASSERT_EQ(o.driver.close(closed), PortStatus::Ok);
    for (const auto& [name, call] : handleCalls()) {
        EXPECT_EQ(call(o.driver, closed), PortStatus::InvalidHandle) << name;
        EXPECT_EQ(call(o.driver, PortHandle{}), PortStatus::InvalidHandle) << name;
    }
    EXPECT_EQ(o.driver.readyFd(closed), -1);
}

TEST(VirtualPedalDriverOpen, UnplugKillsTheHandleUntilItIsClosedAndReopened) {
    OpenPedal o;
    int plugChanges = 0;
    o.driver.setPlugHandler([&plugChanges] { ++plugChanges; });
    o.pedal.unplug();
    EXPECT_EQ(plugChanges, 1);
    for (const auto& [name, call] : handleCalls())
        EXPECT_EQ(call(o.driver, o.handle), PortStatus::Unplugged) << name;
    EXPECT_TRUE(o.driver.listDevices().devices.empty());

    o.pedal.replug();
    EXPECT_EQ(plugChanges, 2);
    EXPECT_EQ(o.write(hex("06 00")), PortStatus::Unplugged);  // the old handle stays dead
    EXPECT_EQ(o.driver.close(o.handle), PortStatus::Ok);
    o.reopen();
    EXPECT_EQ(o.write(hex("06 00")), PortStatus::Ok);
    EXPECT_EQ(o.read(), QByteArray("1\r\n38\r\n1\r\n5\r\n"));

    o.pedal.unplug();
    ASSERT_EQ(o.driver.close(o.handle), PortStatus::Ok);
    EXPECT_EQ(o.driver.open("ZVP00001").status, PortStatus::DeviceNotFound);
}

TEST(VirtualPedalDriverOpen, AQuickUnplugAndReplugReachesThePortModule) {
    VirtualPedal pedal{VirtualPedal::Config::lenient()};
    VirtualPedalDriver driver(pedal);
    D2XXUnit unit;
    unit.setDriver(&driver);
    unit.ShowFTErrors = false;
    ASSERT_EQ(unit.Open_USB_Device_By_Serial_Number(QStringLiteral("ZVP00001")), FT_OK);
    // Out and back in between two ticks: listed again, but the handle is dead.
    pedal.unplug();
    pedal.replug();
    ASSERT_EQ(unit.GetFTDeviceCount(), FT_OK);
    EXPECT_EQ(unit.FTDeviceCount, 1u);
    EXPECT_EQ(unit.GetFTQueueStatus(), FT_IO_ERROR);
    EXPECT_TRUE(unit.deviceGone());
}

TEST(VirtualPedalDriverIo, ReadsTakeWhatIsQueuedWithoutWaiting) {
    OpenPedal o;
    EXPECT_EQ(o.queued(), 0u);
    EXPECT_TRUE(o.read().isEmpty());
    ASSERT_EQ(o.write(hex("06 00")), PortStatus::Ok);
    EXPECT_EQ(o.queued(), 13u);
    EXPECT_EQ(o.read(4), QByteArray("1\r\n3"));
    EXPECT_EQ(o.queued(), 9u);
    EXPECT_EQ(o.read(), QByteArray("8\r\n1\r\n5\r\n"));

    o.write(hex("06 00"));
    EXPECT_EQ(o.driver.purge(o.handle, PurgeQueue::Receive), PortStatus::Ok);
    EXPECT_EQ(o.queued(), 0u);
}

TEST(VirtualPedalDriverIo, LineSettingsReachThePedal) {
    OpenPedal o;
    EXPECT_EQ(o.driver.setBaudRate(o.handle, 0), PortStatus::InvalidBaudRate);
    EXPECT_EQ(o.driver.setFraming(o.handle, Framing{9, 0, 0}), PortStatus::InvalidParameter);
    EXPECT_EQ(o.driver.setFraming(o.handle, Framing{8, 1, 0}), PortStatus::InvalidParameter);
    EXPECT_EQ(o.driver.setFraming(o.handle, Framing{8, 0, 5}), PortStatus::InvalidParameter);

    // At even parity the firmware hears nothing; the bootloader hears only that.
    o.pedal.setRequireSaveHeld(false);
    ASSERT_EQ(o.driver.setFraming(o.handle, Framing{FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_EVEN}),
              PortStatus::Ok);
    o.write(hex("06 00"));
    EXPECT_EQ(o.queued(), 0u);
    ASSERT_EQ(o.driver.setFraming(o.handle, Framing{8, 0, FT_PARITY_NONE}), PortStatus::Ok);
    o.write(hex("05 00 01 02 03 04 05 06 7F"));
    EXPECT_EQ(o.queued(), 0u);
    ASSERT_EQ(o.driver.setFraming(o.handle, Framing{8, 0, FT_PARITY_EVEN}), PortStatus::Ok);
    o.write(hex("7F"));
    EXPECT_EQ(o.read(), hex("79"));

    ASSERT_EQ(o.driver.setBaudRate(o.handle, 9600), PortStatus::Ok);
    o.write(hex("01 FE"));
    EXPECT_EQ(o.queued(), 0u);
}

TEST(VirtualPedalDriverIo, ReadyFdIsReadableExactlyWhileBytesWait) {
    OpenPedal o;
    const int fd = o.driver.readyFd(o.handle);
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
    o.driver.purge(o.handle, PurgeQueue::Receive);
    EXPECT_FALSE(readable(fd));

    o.pedal.unplug();  // so that a waiter wakes and sees the failure
    EXPECT_TRUE(readable(fd));
}

TEST(VirtualPedalDriverIo, TimingUsesTheInjectedClockAndTheLatencyTimer) {
    VirtualPedal pedal;  // realistic timing is the default
    VirtualPedalDriver driver(pedal);
    qint64 now = 5'000'000;
    driver.setNowUs([&now] { return now; });
    PortHandle h = driver.open("ZVP00001").handle;
    ASSERT_TRUE(h);
    std::uint8_t latency = 0;
    EXPECT_EQ(driver.latencyTimer(h, latency), PortStatus::Ok);
    EXPECT_EQ(latency, 16);
    EXPECT_EQ(driver.setLatencyTimer(h, 2), PortStatus::Ok);
    EXPECT_EQ(driver.latencyTimer(h, latency), PortStatus::Ok);
    EXPECT_EQ(latency, 2);
    EXPECT_EQ(pedal.latencyTimer(), 2);

    const std::uint8_t request[] = {0x06, 0x00};
    ASSERT_EQ(driver.write(h, request).status, PortStatus::Ok);
    auto queued = [&] {
        const Transferred q = driver.queued(h);
        EXPECT_EQ(q.status, PortStatus::Ok);
        return q.count;
    };
    EXPECT_EQ(queued(), 0u);
    now += 1'500;  // all 13 bytes crossed the wire, in the chip until its timer runs out
    EXPECT_EQ(queued(), 0u);
    now += 500;
    EXPECT_EQ(queued(), 13u);

    // Reopening starts with the chip's default again.
    ASSERT_EQ(driver.write(h, request).status, PortStatus::Ok);
    ASSERT_EQ(driver.close(h), PortStatus::Ok);
    h = driver.open("ZVP00001").handle;
    ASSERT_TRUE(h);
    EXPECT_EQ(driver.latencyTimer(h, latency), PortStatus::Ok);
    EXPECT_EQ(latency, 16);
}

TEST(VirtualPedalDriverIo, WithTimingReadyFdWakesWhenAPacketIsDueAndSleepsAtRest) {
    VirtualPedal pedal;  // realistic timing, on the editor's (real) clock
    VirtualPedalDriver driver(pedal);
    const PortHandle h = driver.open("ZVP00001").handle;
    ASSERT_TRUE(h);
    EXPECT_EQ(driver.readyFd(h), -1);  // the caller polls unless it asks for the timer
    driver.setReadyTimer(true);
    const int fd = driver.readyFd(h);
    ASSERT_GE(fd, 0);
    EXPECT_FALSE(readable(fd));
    const std::uint8_t request[] = {0x06, 0x00};
    ASSERT_EQ(driver.write(h, request).status, PortStatus::Ok);
    // Wakes for every event on the way (bytes arriving, the packet leaving)
    // until the answer is there.
    QByteArray got;
    for (int wakes = 0; wakes < 50 && got.size() < 13; ++wakes) {
        pollfd p{fd, POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, 5000), 1);
        std::uint8_t buffer[64];
        const Transferred n = driver.read(h, buffer);
        ASSERT_EQ(n.status, PortStatus::Ok);
        got.append(reinterpret_cast<const char*>(buffer), qsizetype(n.count));
    }
    EXPECT_EQ(got, QByteArray("1\r\n38\r\n1\r\n5\r\n"));
    EXPECT_FALSE(readable(fd));  // at rest: nothing is armed

    pedal.unplug();
    pollfd p{fd, POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 5000), 1);  // the timer is set to go off at once
}
