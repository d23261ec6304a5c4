// The device list both programs build: serial ports, FTDI's library and the
// in-process virtual pedal, chosen by the environment.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include "app/devices/Devices.h"
#include "link/Communication.h"
#include "link/FrameCodec.h"
#include "link/PortReadyWatcher.h"
#include "protocol/PedalConnection.h"
#include "protocol/PedalInfo.h"

using namespace zendal;

namespace {

class DeviceSetup : public ::testing::Test {
  protected:
    void SetUp() override {
        QDir(sysfs.path()).mkpath(QStringLiteral("tty"));
        qputenv("ZENDAL_SYSFS_TTY", (sysfs.path() + QStringLiteral("/tty")).toLocal8Bit());
        qputenv("ZENDAL_FTD2XX_LIBRARY", "");
        qunsetenv("ZENDAL_EXTRA_PORTS");
        qunsetenv("ZENDAL_VIRTUAL_PEDAL");
        connection.makeProcessPort();
        d2xx().setErrorSink([](const QString&) {});
    }
    void TearDown() override {
        qunsetenv("ZENDAL_SYSFS_TTY");
        qunsetenv("ZENDAL_FTD2XX_LIBRARY");
        qunsetenv("ZENDAL_EXTRA_PORTS");
        qunsetenv("ZENDAL_VIRTUAL_PEDAL");
        d2xx().setDriver(nullptr);
        d2xx().setErrorSink({});
    }
    static QStringList serials(Devices& devices) {
        QStringList out;
        for (const auto& d : devices.hub().listDevices().devices) {
            out.append(QString::fromLocal8Bit(d.serial) + '@' + d.backend);
        }
        return out;
    }
    QTemporaryDir sysfs;
    PedalConnection connection;
};

TEST_F(DeviceSetup, EnvironmentChoosesWhatIsListed) {
    QTemporaryDir dir;
    const QString port = dir.filePath(QStringLiteral("port"));
    QFile(port).open(QIODevice::WriteOnly);
    qputenv("ZENDAL_EXTRA_PORTS", port.toLocal8Bit());
    qputenv("ZENDAL_VIRTUAL_PEDAL", "1");
    qputenv("ZENDAL_FTD2XX_LIBRARY", FAKE_FTD2XX_PATH);
    void* fake = ::dlopen(FAKE_FTD2XX_PATH, RTLD_NOW);
    ASSERT_NE(fake, nullptr);
    auto addDevice =
        reinterpret_cast<int (*)(const char*, const char*)>(::dlsym(fake, "fake_add_device"));
    reinterpret_cast<void (*)()>(::dlsym(fake, "fake_reset"))();
    addDevice("FTLIB1", "FT230X Basic UART");
    {
        Devices devices;
        ASSERT_NE(devices.ftdiLibrary(), nullptr);
        EXPECT_TRUE(devices.virtualPedalEnabled());
        EXPECT_EQ(serials(devices),
                  (QStringList{port + "@serial", "FTLIB1@ftd2xx", "ZVP00001@virtual"}));
    }
    ::dlclose(fake);
}

TEST_F(DeviceSetup, VirtualPedalIsListedOnlyWhileEnabled) {
    Devices devices;
    EXPECT_EQ(devices.ftdiLibrary(), nullptr);
    EXPECT_FALSE(devices.virtualPedalEnabled());
    EXPECT_EQ(serials(devices), QStringList());
    devices.setVirtualPedalEnabled(true);
    EXPECT_EQ(serials(devices), QStringList{"ZVP00001@virtual"});
    devices.setVirtualPedalEnabled(false);
    EXPECT_EQ(serials(devices), QStringList());
}

TEST_F(DeviceSetup, PortModuleTalksToTheVirtualPedal) {
    Devices devices;
    devices.setVirtualPedalEnabled(true);
    devices.installInto(d2xx());
    const auto listed = communication::ListAttachedDevices();
    ASSERT_EQ(listed.size(), 1);
    EXPECT_EQ(listed[0].description, QByteArray("FT230X Basic UART"));
    communication::SetPortParameters(FT_PARITY_NONE);
    ASSERT_TRUE(communication::OpenAndConfigure(QString::fromLatin1(listed[0].serial)));
    EXPECT_EQ(d2xx().openDeviceKind(), DeviceKind::VirtualInProcess);

    const PedalInfoReply reply = queryPedalInfo(connection);
    ASSERT_TRUE(reply.ok());
    EXPECT_EQ(parsePedalInfo(reply.reply).effect, devices.virtualPedal().effectId());

    // The front panel speaks through the same port.
    devices.virtualPedal().switchBank(2);
    ASSERT_EQ(WaitForFirstByte(30000), WaitOutcome::Ok);
    const std::uint32_t n = d2xx().ReadFTDevice();
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(d2xx().FTReceiveBuffer.data()), int(n)),
              QByteArray("02"));

    // Switched off from the menu while linked: the link fails, unlinking works.
    devices.setVirtualPedalEnabled(false);
    EXPECT_NE(d2xx().GetFTQueueStatus(), FT_OK);
    EXPECT_EQ(d2xx().CloseFTDevice(), FT_OK);
}

TEST_F(DeviceSetup, GoingAwayUninstallsTheHub) {
    D2XXUnit unit;
    {
        Devices devices;
        devices.setVirtualPedalEnabled(true);
        devices.installInto(unit);
        ASSERT_EQ(unit.Open_USB_Device_By_Serial_Number(QStringLiteral("ZVP00001")), FT_OK);
    }
    ASSERT_EQ(unit.GetFTDeviceCount(), FT_OK);
    EXPECT_EQ(unit.FTDeviceCount, 0u);
    EXPECT_EQ(unit.readyFd(), -1);
}

TEST_F(DeviceSetup, ReadyWatcherWakesTheTickForBytesAndForAFailedLine) {
    Devices devices;
    devices.setVirtualPedalEnabled(true);
    devices.installInto(d2xx());
    ASSERT_EQ(d2xx().Open_USB_Device_By_Serial_Number(QStringLiteral("ZVP00001")), FT_OK);
    PortReadyWatcher watcher;
    bool woken = false;
    QObject::connect(&watcher, &PortReadyWatcher::ready, [&] { woken = true; });
    auto waitForWake = [&] {
        woken = false;
        QEventLoop loop;
        QTimer limit;
        QObject::connect(&watcher, &PortReadyWatcher::ready, &loop, &QEventLoop::quit);
        QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
        limit.start(30000);
        if (!woken) loop.exec();
        return woken;
    };
    watcher.start();
    ASSERT_TRUE(waitForWake()) << "a first look right after starting";
    devices.virtualPedal().turnKnob(2, 5, 1023);
    ASSERT_TRUE(waitForWake());
    std::uint32_t n = d2xx().ReadFTDevice();
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(d2xx().FTReceiveBuffer.data()), int(n)),
              QByteArray::fromHex("AA020503FF"));

    devices.virtualPedal().unplug();
    ASSERT_TRUE(waitForWake());
    EXPECT_NE(d2xx().GetFTQueueStatus(), FT_OK);
    ASSERT_TRUE(waitForWake()) << "still looking, slowly";
    watcher.stop();
    EXPECT_FALSE(watcher.isActive());
    d2xx().CloseFTDevice();
}

}  // namespace
