// The device hub: several backends as one list, handle routing, switching a
// backend off, and telling the running program that the list changed.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "link/D2XXUnit.h"
#include "link/DeviceHub.h"
#include "sim/VirtualPedal.h"
#include "sim/VirtualPedalDriver.h"
#include "support/ScriptedDriver.h"

using namespace zendal;
using zendal::test::ScriptedDriver;

namespace {

std::span<const std::uint8_t> bytes(const char* text, std::size_t n) {
    return {reinterpret_cast<const std::uint8_t*>(text), n};
}

// Runs the event loop until `done` holds; generous, never a measure of speed.
bool waitUntil(const std::function<bool()>& done) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done() && elapsed.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return done();
}

class Hub : public ::testing::Test {
  protected:
    void SetUp() override {
        serial.devices = {{"A1", "FT230X Basic UART", "/dev/ttyUSB0"},
                          {"SHARED", "x", "/dev/ttyUSB1"}};
        serial.handleToGive = PortHandle{7};
        library.devices = {{"SHARED", "seen twice", {}}, {"B2", "Library UART", {}}};
        // The same number as the other backend: the hub must tell them apart.
        library.handleToGive = PortHandle{7};
        hub.addBackend(&serial, QStringLiteral("serial"));
        hub.addBackend(&library, QStringLiteral("ftd2xx"));
    }
    QStringList serials() {
        QStringList out;
        for (const auto& d : hub.listDevices().devices) out.append(QString::fromLatin1(d.serial));
        return out;
    }
    PortHandle open(const char* sn) {
        const Opened opened = hub.open(sn);
        EXPECT_EQ(opened.status, PortStatus::Ok) << sn;
        return opened.handle;
    }

    ScriptedDriver serial, library;
    DeviceHub hub;
};

TEST_F(Hub, ListsBackendsInOrderKeepingTheFirstOfASharedSerial) {
    EXPECT_EQ(serials(), (QStringList{"A1", "SHARED", "B2"}));
    const auto devices = hub.listDevices().devices;
    EXPECT_EQ(devices[1].description, QByteArray("x"));
    EXPECT_EQ(devices[1].backend, QStringLiteral("serial"));
    EXPECT_EQ(devices[2].description, QByteArray("Library UART"));
    EXPECT_EQ(devices[0].path, QStringLiteral("/dev/ttyUSB0"));
    EXPECT_TRUE(devices[2].path.isEmpty());
}

TEST_F(Hub, PortModuleListsThroughTheHub) {
    D2XXUnit unit;
    unit.setDriver(&hub);
    ASSERT_EQ(unit.GetFTDeviceCount(), FT_OK);
    ASSERT_EQ(unit.FTDeviceCount, 3u);
    ASSERT_EQ(unit.GetFTDeviceSerialNo(2), FT_OK);
    EXPECT_EQ(unit.FT_Device_String, QByteArray("B2"));
    ASSERT_EQ(unit.GetFTDeviceDescription(2), FT_OK);
    EXPECT_EQ(unit.FT_Device_String, QByteArray("Library UART"));
    EXPECT_EQ(unit.GetFTDeviceSerialNo(3), FT_DEVICE_NOT_FOUND);
}

TEST_F(Hub, HandlesAreTheHubsOwnAndRouteToTheOpeningBackend) {
    const PortHandle a = open("A1");
    const PortHandle b = open("B2");
    EXPECT_TRUE(a);
    EXPECT_TRUE(b);
    EXPECT_NE(a, b);
    EXPECT_EQ(hub.backendOf(a), &serial);
    EXPECT_EQ(hub.backendOf(b), &library);

    EXPECT_EQ(hub.write(b, bytes("\x06\x00", 2)).count, 2u);
    EXPECT_EQ(library.written, QByteArray("\x06\x00", 2));
    EXPECT_TRUE(serial.written.isEmpty());

    serial.arriveNow("02");
    EXPECT_EQ(hub.queued(a).count, 2u);
    EXPECT_EQ(hub.queued(b).count, 0u);

    serial.readyDescriptor = 33;
    serial.deviceKind = DeviceKind::PseudoTerminal;
    EXPECT_EQ(hub.readyFd(a), 33);
    EXPECT_EQ(hub.kind(a), DeviceKind::PseudoTerminal);
    EXPECT_EQ(hub.kind(b), DeviceKind::Hardware);
}

TEST_F(Hub, SharedSerialOpensOnTheBackendThatListedIt) {
    const PortHandle h = open("SHARED");
    EXPECT_EQ(hub.backendOf(h), &serial);
    EXPECT_FALSE(library.isOpen);
}

TEST_F(Hub, ClosedAndUnknownHandlesAreInvalid) {
    const PortHandle h = open("A1");
    EXPECT_EQ(hub.close(h), PortStatus::Ok);
    EXPECT_EQ(hub.write(h, bytes("x", 1)).status, PortStatus::InvalidHandle);
    EXPECT_EQ(hub.close(h), PortStatus::InvalidHandle);
    EXPECT_EQ(hub.queued(PortHandle{}).status, PortStatus::InvalidHandle);
    // A new open never reuses a handle that a stale caller might still hold.
    EXPECT_NE(open("A1"), h);
}

TEST_F(Hub, FailedCloseKeepsTheRouteSoItCanBeRetried) {
    const PortHandle h = open("A1");
    serial.fail[ScriptedDriver::Call::Close] = FT_IO_ERROR;
    EXPECT_EQ(hub.close(h), PortStatus::IoError);
    serial.fail.clear();
    EXPECT_EQ(hub.close(h), PortStatus::Ok);
}

TEST_F(Hub, DisabledBackendIsNotListedAndItsOpenDeviceReadsAsUnplugged) {
    const PortHandle h = open("B2");
    hub.setBackendEnabled(&library, false);
    EXPECT_FALSE(hub.backendEnabled(&library));
    EXPECT_EQ(serials(), (QStringList{"A1", "SHARED"}));
    EXPECT_FALSE(library.isOpen) << "closed underneath";

    EXPECT_EQ(hub.queued(h).status, PortStatus::Unplugged);
    EXPECT_EQ(hub.write(h, bytes("x", 1)).status, PortStatus::Unplugged);
    EXPECT_EQ(hub.readyFd(h), -1);
    EXPECT_EQ(hub.kind(h), DeviceKind::None);
    EXPECT_EQ(hub.close(h), PortStatus::Ok) << "unlinking still works";

    EXPECT_EQ(hub.open("B2").status, PortStatus::DeviceNotFound);
    hub.setBackendEnabled(&library, true);
    EXPECT_EQ(serials(), (QStringList{"A1", "SHARED", "B2"}));
    open("B2");
}

TEST_F(Hub, DisablingTheFirstBackendLetsTheSecondListASharedSerial) {
    hub.setBackendEnabled(&serial, false);
    EXPECT_EQ(serials(), (QStringList{"SHARED", "B2"}));
    EXPECT_EQ(hub.backendOf(open("SHARED")), &library);
}

TEST_F(Hub, UnlistedSerialIsOfferedToEveryBackendAndReportsTheTellingFailure) {
    serial.fail[ScriptedDriver::Call::Open] = FT_DEVICE_NOT_OPENED;
    serial.error = QStringLiteral("Permission denied opening /dev/ttyUSB0: ...");
    EXPECT_EQ(hub.open("A1").status, PortStatus::DeviceNotOpened);
    EXPECT_EQ(hub.lastError(), serial.error);
    EXPECT_EQ(hub.open("NOBODY").status, PortStatus::DeviceNotOpened);
    serial.fail.clear();
    EXPECT_EQ(hub.open("NOBODY").status, PortStatus::DeviceNotFound);
}

TEST_F(Hub, ListingFailureOfOneBackendHidesOnlyItsDevices) {
    serial.fail[ScriptedDriver::Call::List] = FT_IO_ERROR;
    EXPECT_EQ(serials(), (QStringList{"SHARED", "B2"}));
}

TEST_F(Hub, AQuickUnplugAndReplugLeavesTheOldHandleDeadAndTheUnitKnowsIt) {
    D2XXUnit unit;
    unit.setDriver(&hub);
    unit.ShowFTErrors = false;
    ASSERT_EQ(unit.Open_USB_Device_By_Serial_Number(QStringLiteral("A1")), FT_OK);
    serial.unplug();
    serial.replug();
    EXPECT_EQ(serials(), (QStringList{"A1", "SHARED", "B2"})) << "back in the list";
    unit.FTTransmitBuffer[0] = 0x06;
    EXPECT_EQ(unit.WriteFTDevice(1), 0u);
    EXPECT_TRUE(unit.deviceGone());
    EXPECT_EQ(unit.GetFTQueueStatus(), FT_IO_ERROR);
    ASSERT_EQ(unit.CloseFTDevice(), FT_OK);
    EXPECT_FALSE(unit.deviceGone());
    ASSERT_EQ(unit.Open_USB_Device_By_Serial_Number(QStringLiteral("A1")), FT_OK);
    EXPECT_EQ(unit.WriteFTDevice(1), 1u);
}

// --- telling the running program ---

TEST(HubChanges, SwitchingABackendOnOrOffIsAChange) {
    ScriptedDriver backend;
    DeviceHub hub;
    hub.addBackend(&backend, QStringLiteral("one"));
    QSignalSpy changed(&hub, &DeviceHub::devicesChanged);
    hub.setBackendEnabled(&backend, false);
    hub.setBackendEnabled(&backend, true);
    ASSERT_TRUE(waitUntil([&] { return changed.count() > 0; }));
    // One burst, told once.
    QCoreApplication::processEvents(QEventLoop::AllEvents, DeviceListWatcher::kSettleMs);
    EXPECT_EQ(changed.count(), 1);
}

TEST(HubChanges, TheVirtualPedalsCableReachesTheSignal) {
    VirtualPedal pedal;
    VirtualPedalDriver driver(pedal);
    DeviceHub hub;
    hub.addBackend(&driver, QStringLiteral("virtual"));
    driver.setPlugHandler([&hub] { hub.notifyDevicesChanged(); });
    QSignalSpy changed(&hub, &DeviceHub::devicesChanged);

    pedal.unplug();
    ASSERT_TRUE(waitUntil([&] { return changed.count() == 1; }));
    EXPECT_TRUE(hub.listDevices().devices.empty());
    pedal.replug();
    ASSERT_TRUE(waitUntil([&] { return changed.count() == 2; }));
    EXPECT_EQ(hub.listDevices().devices.size(), 1u);
}

TEST(HubChanges, ANodeComingAndGoingInAWatchedFolderIsAChange) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    DeviceHub hub;
    ASSERT_TRUE(hub.watchKernelDevices({folder.path(), folder.filePath("missing")}));
    EXPECT_EQ(hub.watcher().folders(), QStringList{folder.path()}) << "missing folders skipped";
    QSignalSpy changed(&hub, &DeviceHub::devicesChanged);

    QFile node(folder.filePath("ttyUSB0"));
    ASSERT_TRUE(node.open(QIODevice::WriteOnly));
    node.close();
    ASSERT_TRUE(waitUntil([&] { return changed.count() == 1; }));
    ASSERT_TRUE(QFile::remove(folder.filePath("ttyUSB0")));
    ASSERT_TRUE(waitUntil([&] { return changed.count() == 2; }));
}

TEST(HubChanges, NothingIsToldWhileNothingChanges) {
    QTemporaryDir folder;
    DeviceHub hub;
    ASSERT_TRUE(hub.watchKernelDevices({folder.path()}));
    QSignalSpy changed(&hub, &DeviceHub::devicesChanged);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 3 * DeviceListWatcher::kSettleMs);
    EXPECT_EQ(changed.count(), 0);
}

}  // namespace
