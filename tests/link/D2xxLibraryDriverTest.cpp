// FTDI's library backend, loaded at run time — here a fake library built by
// the tests (fake_ftd2xx.c) that keeps its devices in memory.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>

#include "link/D2XXUnit.h"
#include "link/D2xxLibraryDriver.h"

using namespace zendal;

namespace {

// The fake's scripting calls, found in the very library the driver loaded.
struct Fake {
    void* lib = nullptr;
    void (*reset)() = nullptr;
    int (*addDevice)(const char*, const char*) = nullptr;
    void (*fail)(const char*, unsigned) = nullptr;
    void (*pushRx)(int, const unsigned char*, unsigned) = nullptr;
    unsigned (*takeTx)(int, unsigned char*, unsigned) = nullptr;
    unsigned long (*baud)(int) = nullptr;
    unsigned (*characteristics)(int) = nullptr;
    int (*purges)(int) = nullptr;
    unsigned (*latency)(int) = nullptr;
    int (*openCount)() = nullptr;

    Fake() {
        lib = ::dlopen(FAKE_FTD2XX_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!lib) return;
        bind("fake_reset", reset);
        bind("fake_add_device", addDevice);
        bind("fake_fail", fail);
        bind("fake_push_rx", pushRx);
        bind("fake_take_tx", takeTx);
        bind("fake_baud", baud);
        bind("fake_characteristics", characteristics);
        bind("fake_purges", purges);
        bind("fake_latency", latency);
        bind("fake_open_count", openCount);
        reset();
    }
    ~Fake() {
        if (lib) ::dlclose(lib);
    }
    template <typename F>
    void bind(const char* name, F& target) {
        void* symbol = ::dlsym(lib, name);
        std::memcpy(&target, &symbol, sizeof symbol);
    }
    QByteArray tx(int index) {
        unsigned char buffer[1024];
        const unsigned n = takeTx(index, buffer, sizeof buffer);
        return QByteArray(reinterpret_cast<const char*>(buffer), static_cast<int>(n));
    }
};

class FtdiLibrary : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(fake.lib, nullptr);
        fake.addDevice("FT4XYZ", "FT230X Basic UART");
        fake.addDevice("FT5ABC", "Other");
        ASSERT_TRUE(driver.available()) << driver.loadError().toStdString();
    }
    PortHandle open(const char* serial) {
        const Opened opened = driver.open(serial);
        EXPECT_EQ(opened.status, PortStatus::Ok);
        return opened.handle;
    }

    Fake fake;
    D2xxLibraryDriver driver{QStringLiteral(FAKE_FTD2XX_PATH)};
};

TEST_F(FtdiLibrary, ListsThroughThePortModule) {
    D2XXUnit unit;
    unit.setDriver(&driver);
    ASSERT_EQ(unit.GetFTDeviceCount(), FT_OK);
    EXPECT_EQ(unit.FTDeviceCount, 2u);
    ASSERT_EQ(unit.GetFTDeviceSerialNo(1), FT_OK);
    EXPECT_EQ(unit.FT_Device_String, QByteArray("FT5ABC"));
    ASSERT_EQ(unit.GetFTDeviceDescription(0), FT_OK);
    EXPECT_EQ(unit.FT_Device_String, QByteArray("FT230X Basic UART"));
    EXPECT_EQ(unit.GetFTDeviceSerialNo(2), FT_DEVICE_NOT_FOUND);
}

TEST_F(FtdiLibrary, PointerHandlesBecomeSmallNumbers) {
    const PortHandle a = open("FT4XYZ");
    const PortHandle b = open("FT5ABC");
    EXPECT_GE(a.id, 1u);
    EXPECT_LT(a.id, 1000u);
    EXPECT_NE(a, b);
    EXPECT_EQ(driver.kind(a), DeviceKind::Hardware);
    EXPECT_EQ(driver.readyFd(a), -1);  // the library has no descriptor: waits poll
    EXPECT_EQ(driver.close(a), PortStatus::Ok);
    EXPECT_EQ(driver.close(a), PortStatus::InvalidHandle);
    EXPECT_EQ(driver.kind(a), DeviceKind::None);
    EXPECT_EQ(fake.openCount(), 1);
}

TEST_F(FtdiLibrary, ListingGivesSerialAndDescriptionPerDevice) {
    const DeviceListing listing = driver.listDevices();
    ASSERT_EQ(listing.status, PortStatus::Ok);
    ASSERT_EQ(listing.devices.size(), 2u);
    EXPECT_EQ(listing.devices[0].serial, QByteArray("FT4XYZ"));
    EXPECT_EQ(listing.devices[0].description, QByteArray("FT230X Basic UART"));
    EXPECT_EQ(listing.devices[1].serial, QByteArray("FT5ABC"));
    EXPECT_EQ(listing.devices[1].kind, DeviceKind::Hardware);
}

TEST_F(FtdiLibrary, CallsReachTheLibraryWithTheirArguments) {
    const PortHandle h = open("FT5ABC");
    const std::uint8_t message[] = {0x0A, 0x01, 0x00};
    const Transferred sent = driver.write(h, message);
    ASSERT_EQ(sent.status, PortStatus::Ok);
    EXPECT_EQ(sent.count, 3u);
    EXPECT_EQ(fake.tx(1), QByteArray("\x0A\x01\x00", 3));

    const unsigned char reply[] = {'3', '\r', '\n', 0xAA};
    fake.pushRx(1, reply, sizeof reply);
    const Transferred queued = driver.queued(h);
    ASSERT_EQ(queued.status, PortStatus::Ok);
    EXPECT_EQ(queued.count, 4u);
    std::uint8_t buffer[8] = {};
    const Transferred got = driver.read(h, std::span(buffer).first(2));
    ASSERT_EQ(got.status, PortStatus::Ok);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(buffer), int(got.count)), QByteArray("3\r"));

    EXPECT_EQ(driver.setBaudRate(h, 115200), PortStatus::Ok);
    EXPECT_EQ(fake.baud(1), 115200ul);
    EXPECT_EQ(driver.setBaudRate(h, 12), PortStatus::InvalidBaudRate);
    EXPECT_EQ(driver.setFraming(h, Framing{8, 0, 2}), PortStatus::Ok);
    EXPECT_EQ(fake.characteristics(1), (8u << 16) | (0u << 8) | 2u);
    EXPECT_EQ(driver.purge(h, PurgeQueue::Receive), PortStatus::Ok);
    EXPECT_EQ(driver.queued(h).count, 0u);
    EXPECT_EQ(fake.purges(1), 1);
    EXPECT_EQ(driver.setLatencyTimer(h, 1), PortStatus::Ok);
    EXPECT_EQ(fake.latency(1), 1u);
    std::uint8_t ms = 0;
    EXPECT_EQ(driver.latencyTimer(h, ms), PortStatus::Ok);
    EXPECT_EQ(ms, 1);
}

TEST_F(FtdiLibrary, LibraryStatusesComeThrough) {
    EXPECT_EQ(driver.open("NOPE").status, PortStatus::DeviceNotFound);
    const PortHandle h = open("FT4XYZ");
    EXPECT_EQ(driver.open("FT4XYZ").status, PortStatus::DeviceNotOpened);
    fake.fail("FT_ListDevices", FT_INSUFFICIENT_RESOURCES);
    const DeviceListing listing = driver.listDevices();
    EXPECT_EQ(listing.status, static_cast<PortStatus>(FT_INSUFFICIENT_RESOURCES));
    EXPECT_TRUE(listing.devices.empty());
    // The library's I/O error on an open handle is how a pulled cable shows.
    fake.fail("FT_Read", FT_IO_ERROR);
    std::uint8_t buffer[4];
    const Transferred got = driver.read(h, buffer);
    EXPECT_EQ(got.status, PortStatus::Unplugged);
    EXPECT_EQ(got.count, 0u);
    D2XXUnit unit;
    unit.setDriver(&driver);
    unit.ShowFTErrors = false;
    ASSERT_EQ(unit.Open_USB_Device_By_Serial_Number(QStringLiteral("FT5ABC")), FT_OK);
    fake.fail("FT_GetQueueStatus", FT_IO_ERROR);
    EXPECT_EQ(unit.GetFTQueueStatus(), FT_IO_ERROR) << "the port module sees the library's status";
    EXPECT_TRUE(unit.deviceGone());
}

TEST(FtdiLibraryLoading, AbsentOrIncompleteLibraryMeansNoDevicesAndNoError) {
    struct Case {
        QString path;
        const char* why;
    };
    const Case cases[] = {
        {QStringLiteral("/nonexistent/libftd2xx.so"), "missing file"},
        {QStringLiteral(FAKE_FTD2XX_INCOMPLETE_PATH), "a call is missing"},
    };
    for (const Case& c : cases) {
        D2xxLibraryDriver driver(c.path);
        EXPECT_FALSE(driver.available()) << c.why;
        EXPECT_FALSE(driver.loadError().isEmpty()) << c.why;
        const DeviceListing listing = driver.listDevices();
        EXPECT_EQ(listing.status, PortStatus::Ok) << c.why;
        EXPECT_TRUE(listing.devices.empty()) << c.why;
        EXPECT_EQ(driver.open("X").status, PortStatus::DeviceNotFound) << c.why;
    }
}

TEST(FtdiLibraryLoading, PathComesFromTheEnvironment) {
    qputenv("ZENDAL_FTD2XX_LIBRARY", FAKE_FTD2XX_PATH);
    EXPECT_EQ(D2xxLibraryDriver::libraryPathFromEnvironment(), QStringLiteral(FAKE_FTD2XX_PATH));
    EXPECT_TRUE(D2xxLibraryDriver().available());
    qputenv("ZENDAL_FTD2XX_LIBRARY", "");
    EXPECT_FALSE(D2xxLibraryDriver().available());  // switched off
    qunsetenv("ZENDAL_FTD2XX_LIBRARY");
    EXPECT_EQ(D2xxLibraryDriver::libraryPathFromEnvironment(), QStringLiteral("libftd2xx.so"));
}

}  // namespace
