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
    FT_HANDLE open(const char* serial) {
        FT_HANDLE h = 0;
        EXPECT_EQ(driver.OpenEx(serial, FT_OPEN_BY_SERIAL_NUMBER, &h), FT_OK);
        return h;
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
    const FT_HANDLE a = open("FT4XYZ");
    const FT_HANDLE b = open("FT5ABC");
    EXPECT_GE(a, 1u);
    EXPECT_LT(a, 1000u);
    EXPECT_NE(a, b);
    EXPECT_EQ(driver.Kind(a), DeviceKind::Hardware);
    EXPECT_EQ(driver.ReadyFd(a), -1);  // the library has no descriptor: waits poll
    EXPECT_EQ(driver.Close(a), FT_OK);
    EXPECT_EQ(driver.Close(a), FT_INVALID_HANDLE);
    EXPECT_EQ(driver.Kind(a), DeviceKind::None);
    EXPECT_EQ(fake.openCount(), 1);
}

TEST_F(FtdiLibrary, CallsReachTheLibraryWithTheirArguments) {
    const FT_HANDLE h = open("FT5ABC");
    std::uint32_t n = 0;
    ASSERT_EQ(driver.Write(h, "\x0A\x01\x00", 3, &n), FT_OK);
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(fake.tx(1), QByteArray("\x0A\x01\x00", 3));

    const unsigned char reply[] = {'3', '\r', '\n', 0xAA};
    fake.pushRx(1, reply, sizeof reply);
    std::uint32_t queued = 0;
    ASSERT_EQ(driver.GetQueueStatus(h, &queued), FT_OK);
    EXPECT_EQ(queued, 4u);
    char buffer[8] = {};
    ASSERT_EQ(driver.Read(h, buffer, 2, &n), FT_OK);
    EXPECT_EQ(QByteArray(buffer, static_cast<int>(n)), QByteArray("3\r"));

    EXPECT_EQ(driver.SetBaudRate(h, 115200), FT_OK);
    EXPECT_EQ(fake.baud(1), 115200ul);
    EXPECT_EQ(driver.SetBaudRate(h, 12), FT_INVALID_BAUD_RATE);
    EXPECT_EQ(driver.SetDataCharacteristics(h, 8, 0, 2), FT_OK);
    EXPECT_EQ(fake.characteristics(1), (8u << 16) | (0u << 8) | 2u);
    EXPECT_EQ(driver.Purge(h, FT_PURGE_RX), FT_OK);
    EXPECT_EQ(driver.GetQueueStatus(h, &queued), FT_OK);
    EXPECT_EQ(queued, 0u);
    EXPECT_EQ(fake.purges(1), 1);
    EXPECT_EQ(driver.SetLatencyTimer(h, 1), FT_OK);
    EXPECT_EQ(fake.latency(1), 1u);
    std::uint8_t ms = 0;
    EXPECT_EQ(driver.GetLatencyTimer(h, &ms), FT_OK);
    EXPECT_EQ(ms, 1);
}

TEST_F(FtdiLibrary, LibraryStatusesComeThrough) {
    FT_HANDLE h = 0;
    EXPECT_EQ(driver.OpenEx("NOPE", FT_OPEN_BY_SERIAL_NUMBER, &h), FT_DEVICE_NOT_FOUND);
    h = open("FT4XYZ");
    EXPECT_EQ(driver.OpenEx("FT4XYZ", FT_OPEN_BY_SERIAL_NUMBER, &h), FT_DEVICE_NOT_OPENED);
    fake.fail("FT_Read", FT_IO_ERROR);
    char buffer[4];
    std::uint32_t n = 99;
    EXPECT_EQ(driver.Read(h, buffer, 4, &n), FT_IO_ERROR);
    EXPECT_EQ(n, 0u);
    fake.fail("FT_ListDevices", FT_INSUFFICIENT_RESOURCES);
    std::uint32_t count = 5;
    EXPECT_EQ(driver.ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(count, 5u);
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
        std::uint32_t count = 9;
        EXPECT_EQ(driver.ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK) << c.why;
        EXPECT_EQ(count, 0u) << c.why;
        FT_HANDLE h = 0;
        EXPECT_EQ(driver.OpenEx("X", FT_OPEN_BY_SERIAL_NUMBER, &h), FT_DEVICE_NOT_FOUND) << c.why;
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
