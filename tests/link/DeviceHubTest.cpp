// The device hub: several backends as one list, handle routing, switching a
// backend off.
#include <gtest/gtest.h>

#include "ScriptedDriver.h"
#include "link/D2XXUnit.h"
#include "link/DeviceHub.h"

using namespace zendal;
using zendal::test::ScriptedDriver;

namespace {

class Hub : public ::testing::Test {
  protected:
    void SetUp() override {
        serial.devices = {{"A1", "FT230X Basic UART", "/dev/ttyUSB0"},
                          {"SHARED", "x", "/dev/ttyUSB1"}};
        serial.handleToGive = 7;
        library.devices = {{"SHARED", "seen twice", {}}, {"B2", "Library UART", {}}};
        library.handleToGive = 7;  // same number as the other backend: the hub must tell them apart
        hub.addBackend(&serial, QStringLiteral("serial"));
        hub.addBackend(&library, QStringLiteral("ftd2xx"));
    }
    QStringList serials() {
        QStringList out;
        for (const auto& d : hub.devices()) out.append(QString::fromLatin1(d.serial));
        return out;
    }
    FT_HANDLE open(const char* sn) {
        FT_HANDLE h = 0;
        EXPECT_EQ(hub.OpenEx(sn, FT_OPEN_BY_SERIAL_NUMBER, &h), FT_OK) << sn;
        return h;
    }

    ScriptedDriver serial, library;
    DeviceHub hub;
};

TEST_F(Hub, ListsBackendsInOrderKeepingTheFirstOfASharedSerial) {
    EXPECT_EQ(serials(), (QStringList{"A1", "SHARED", "B2"}));
    const auto devices = hub.devices();
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
    EXPECT_EQ(hub.devicePath(0), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(unit.GetFTDeviceSerialNo(3), FT_DEVICE_NOT_FOUND);
}

TEST_F(Hub, HandlesAreTheHubsOwnAndRouteToTheOpeningBackend) {
    const FT_HANDLE a = open("A1");
    const FT_HANDLE b = open("B2");
    EXPECT_NE(a, 0u);
    EXPECT_NE(b, 0u);
    EXPECT_NE(a, b);
    EXPECT_EQ(hub.backendOf(a), &serial);
    EXPECT_EQ(hub.backendOf(b), &library);

    std::uint32_t n = 0;
    EXPECT_EQ(hub.Write(b, "\x06\x00", 2, &n), FT_OK);
    EXPECT_EQ(library.written, QByteArray("\x06\x00", 2));
    EXPECT_TRUE(serial.written.isEmpty());

    serial.arriveNow("02");
    std::uint32_t queued = 0;
    EXPECT_EQ(hub.GetQueueStatus(a, &queued), FT_OK);
    EXPECT_EQ(queued, 2u);
    EXPECT_EQ(hub.GetQueueStatus(b, &queued), FT_OK);
    EXPECT_EQ(queued, 0u);

    serial.readyFd = 33;
    serial.kind = DeviceKind::PseudoTerminal;
    EXPECT_EQ(hub.ReadyFd(a), 33);
    EXPECT_EQ(hub.Kind(a), DeviceKind::PseudoTerminal);
    EXPECT_EQ(hub.Kind(b), DeviceKind::Hardware);
}

TEST_F(Hub, SharedSerialOpensOnTheBackendThatListedIt) {
    const FT_HANDLE h = open("SHARED");
    EXPECT_EQ(hub.backendOf(h), &serial);
    EXPECT_FALSE(library.isOpen);
}

TEST_F(Hub, ClosedAndUnknownHandlesAreInvalid) {
    const FT_HANDLE h = open("A1");
    EXPECT_EQ(hub.Close(h), FT_OK);
    std::uint32_t n = 0;
    EXPECT_EQ(hub.Write(h, "x", 1, &n), FT_INVALID_HANDLE);
    EXPECT_EQ(hub.Close(h), FT_INVALID_HANDLE);
    EXPECT_EQ(hub.GetQueueStatus(0, &n), FT_INVALID_HANDLE);
    // A new open never reuses a handle that a stale caller might still hold.
    EXPECT_NE(open("A1"), h);
}

TEST_F(Hub, FailedCloseKeepsTheRouteSoItCanBeRetried) {
    const FT_HANDLE h = open("A1");
    serial.fail["Close"] = FT_IO_ERROR;
    EXPECT_EQ(hub.Close(h), FT_IO_ERROR);
    serial.fail.clear();
    EXPECT_EQ(hub.Close(h), FT_OK);
}

TEST_F(Hub, DisabledBackendIsNotListedAndItsOpenDeviceReadsAsUnplugged) {
    const FT_HANDLE h = open("B2");
    hub.setBackendEnabled(&library, false);
    EXPECT_FALSE(hub.backendEnabled(&library));
    EXPECT_EQ(serials(), (QStringList{"A1", "SHARED"}));
    EXPECT_FALSE(library.isOpen) << "closed underneath";

    std::uint32_t n = 0;
    EXPECT_EQ(hub.GetQueueStatus(h, &n), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(hub.Write(h, "x", 1, &n), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(hub.ReadyFd(h), -1);
    EXPECT_EQ(hub.Kind(h), DeviceKind::None);
    EXPECT_EQ(hub.Close(h), FT_OK) << "unlinking still works";

    FT_HANDLE again = 0;
    EXPECT_EQ(hub.OpenEx("B2", FT_OPEN_BY_SERIAL_NUMBER, &again), FT_DEVICE_NOT_FOUND);
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
    serial.fail["OpenEx"] = FT_DEVICE_NOT_OPENED;
    serial.error = QStringLiteral("Permission denied opening /dev/ttyUSB0: ...");
    FT_HANDLE h = 0;
    EXPECT_EQ(hub.OpenEx("A1", FT_OPEN_BY_SERIAL_NUMBER, &h), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(hub.lastError(), serial.error);
    EXPECT_EQ(hub.OpenEx("NOBODY", FT_OPEN_BY_SERIAL_NUMBER, &h), FT_DEVICE_NOT_OPENED);
    serial.fail.clear();
    EXPECT_EQ(hub.OpenEx("NOBODY", FT_OPEN_BY_SERIAL_NUMBER, &h), FT_DEVICE_NOT_FOUND);
}

TEST_F(Hub, ListingFailureOfOneBackendHidesOnlyItsDevices) {
    serial.fail["ListDevices"] = FT_IO_ERROR;
    EXPECT_EQ(serials(), (QStringList{"SHARED", "B2"}));
}

}  // namespace
