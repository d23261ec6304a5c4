// The port module over a scripted driver: statuses, failure texts, the
// listing string, the open buffer and the read rules.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "link/D2XXUnit.h"
#include "support/ScriptedDriver.h"

using namespace zendal;
using zendal::test::ScriptedDriver;

namespace {

class PortModule : public ::testing::Test {
  protected:
    void SetUp() override {
        unit->setDriver(&driver);
        unit->setErrorSink([this](const QString& text) { shown.append(text); });
        driver.devices = {{"FT111", "FT230X Basic UART", {}}, {"FT222", "Other UART", {}}};
    }
    void openFirst() {
        ASSERT_EQ(unit->Open_USB_Device_By_Serial_Number(QStringLiteral("FT111")), FT_OK);
    }
    QByteArray received(int n) const {
        return QByteArray(reinterpret_cast<const char*>(unit->FTReceiveBuffer.data()), n);
    }

    std::unique_ptr<D2XXUnit> unit = std::make_unique<D2XXUnit>();
    ScriptedDriver driver;
    QStringList shown;
};

TEST_F(PortModule, FailureTextIsLabelThenStatusText) {
    struct Case {
        FT_STATUS status;
        const char* text;
    };
    const Case cases[] = {
        {1, "FT_Write - Invalid handle..."},
        {2, "FT_Write - Device not found..."},
        {3, "FT_Write - Device not opened..."},
        {4, "FT_Write - General IO error..."},
        {5, "FT_Write - Insufficient resources..."},
        {6, "FT_Write - Invalid parameter..."},
        {7, "FT_Write - Invalid baud rate..."},
        {8, "FT_Write Device not opened for erase..."},
        {9, "FT_Write Device not opened for write..."},
        {10, "FT_Write - Failed to write..."},
        {11, "FT_Write - EEPROM read failed..."},
        {12, "FT_Write - EEPROM write failed..."},
        {13, "FT_Write - EEPROM erase failed..."},
        {14, "FT_Write - EEPROM not present..."},
        {15, "FT_Write - EEPROM not programmed..."},
        {16, "FT_Write - Invalid arguments..."},
        {17, "FT_Write - Other error ..."},
        // Beyond the library's table: still say which call failed and how.
        {18, "FT_Write - Unknown error (status 18)..."},
        {1000, "FT_Write - Unknown error (status 1000)..."},
    };
    openFirst();
    for (const Case& c : cases) {
        shown.clear();
        driver.fail[ScriptedDriver::Call::Write] = c.status;
        EXPECT_EQ(unit->WriteFTDevice(3), 0u);
        EXPECT_EQ(shown, QStringList{QString::fromLatin1(c.text)}) << c.status;
    }
}

TEST_F(PortModule, EveryOperationReportsItsOwnLabel) {
    struct Case {
        ScriptedDriver::Call call;  // driver call made to fail
        std::function<void(D2XXUnit&)> operation;
        const char* label;
    };
    const Case cases[] = {
        {ScriptedDriver::Call::List, [](D2XXUnit& u) { u.GetFTDeviceCount(); }, "GetFTDeviceCount"},
        {ScriptedDriver::Call::List, [](D2XXUnit& u) { u.GetFTDeviceSerialNo(0); },
         "GetFTDeviceSerialNo"},
        {ScriptedDriver::Call::List, [](D2XXUnit& u) { u.GetFTDeviceDescription(0); },
         "GetFTDeviceDescription"},
        {ScriptedDriver::Call::Open,
         [](D2XXUnit& u) { u.Open_USB_Device_By_Serial_Number("FT222"); },
         "Open_USB_Device_By_Serial_Number"},
        {ScriptedDriver::Call::Close, [](D2XXUnit& u) { u.CloseFTDevice(); }, "FT_Close"},
        {ScriptedDriver::Call::Queued, [](D2XXUnit& u) { u.GetFTQueueStatus(); },
         "FT_GetQueueStatus"},
        {ScriptedDriver::Call::Read, [](D2XXUnit& u) { u.ReadFTDevice(); }, "FT_Read"},
        {ScriptedDriver::Call::Write, [](D2XXUnit& u) { u.WriteFTDevice(1); }, "FT_Write"},
        {ScriptedDriver::Call::BaudRate, [](D2XXUnit& u) { u.SetFTBaudRate(); }, "FT_SetBaudRate"},
        {ScriptedDriver::Call::Framing, [](D2XXUnit& u) { u.SetFTDataCharacteristics(); },
         "FT_SetDataCharacteristics"},
        {ScriptedDriver::Call::Purge, [](D2XXUnit& u) { u.PurgeFTReceive(); }, "FT_Purge RX"},
        {ScriptedDriver::Call::Purge, [](D2XXUnit& u) { u.PurgeFTTransmit(); }, "FT_Purge TX"},
    };
    for (const Case& c : cases) {
        driver.isOpen = false;
        driver.fail.clear();
        openFirst();
        shown.clear();
        driver.fail[c.call] = FT_IO_ERROR;
        c.operation(*unit);
        EXPECT_EQ(shown, QStringList{QString::fromLatin1(c.label) + " - General IO error..."})
            << c.label;
    }
}

TEST_F(PortModule, FailuresAreSilentWhileShowFTErrorsIsOff) {
    openFirst();
    unit->ShowFTErrors = false;
    driver.fail[ScriptedDriver::Call::Write] = FT_INVALID_HANDLE;
    EXPECT_EQ(unit->WriteFTDevice(2), 0u);
    driver.fail[ScriptedDriver::Call::Queued] = FT_IO_ERROR;
    EXPECT_EQ(unit->GetFTQueueStatus(), FT_IO_ERROR);
    EXPECT_TRUE(shown.isEmpty());
}

TEST_F(PortModule, WriteOnAClosedDeviceFailsWithInvalidHandle) {
    openFirst();
    ASSERT_EQ(unit->CloseFTDevice(), FT_OK);
    EXPECT_EQ(unit->WriteFTDevice(2), 0u);
    EXPECT_EQ(shown, QStringList{"FT_Write - Invalid handle..."});
}

TEST_F(PortModule, CountWithNoDeviceSucceedsWithZero) {
    driver.devices.clear();
    unit->FTDeviceCount = 7;
    EXPECT_EQ(unit->GetFTDeviceCount(), FT_OK);
    EXPECT_EQ(unit->FTDeviceCount, 0u);
    EXPECT_TRUE(shown.isEmpty());
}

TEST_F(PortModule, ListingCallsShareOneString) {
    ASSERT_EQ(unit->GetFTDeviceSerialNo(1), FT_OK);
    EXPECT_EQ(unit->FT_Device_String, QByteArray("FT222"));
    ASSERT_EQ(unit->GetFTDeviceDescription(1), FT_OK);
    EXPECT_EQ(unit->FT_Device_String, QByteArray("Other UART"));

    // A failing call keeps what the last successful one left.
    EXPECT_EQ(unit->GetFTDeviceSerialNo(5), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(unit->FT_Device_String, QByteArray("Other UART"));
    driver.fail[ScriptedDriver::Call::List] = FT_IO_ERROR;
    EXPECT_EQ(unit->GetFTDeviceDescription(0), FT_IO_ERROR);
    EXPECT_EQ(unit->FT_Device_String, QByteArray("Other UART"));
}

TEST_F(PortModule, AnswerWithoutTerminatorIsCutAtTheBuffer) {
    driver.devices = {{QByteArray(63, 'S'), "d", {}}};
    ASSERT_EQ(unit->GetFTDeviceSerialNo(0), FT_OK);
    EXPECT_EQ(unit->FT_Device_String, QByteArray(63, 'S'));
}

TEST_F(PortModule, OpenUsesTheFirst49CharactersOfTheSerial) {
    const QByteArray serial60(60, 'X');
    driver.devices = {{serial60.left(49), "long", {}}};
    EXPECT_EQ(unit->Open_USB_Device_By_Serial_Number(QString::fromLatin1(serial60)), FT_OK);
    EXPECT_EQ(driver.openedWith, serial60.left(49));
    EXPECT_EQ(unit->FTHandle, driver.handleToGive.id);
    EXPECT_TRUE(unit->isOpen());
}

TEST_F(PortModule, FailedOpenKeepsTheEarlierHandle) {
    openFirst();
    EXPECT_EQ(unit->Open_USB_Device_By_Serial_Number(QStringLiteral("NOPE")), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(unit->FTHandle, driver.handleToGive.id);
    EXPECT_EQ(shown, QStringList{"Open_USB_Device_By_Serial_Number - Device not found..."});
}

TEST_F(PortModule, CloseKeepsTheHandleValue) {
    openFirst();
    ASSERT_EQ(unit->CloseFTDevice(), FT_OK);
    EXPECT_EQ(unit->FTHandle, driver.handleToGive.id);
    EXPECT_FALSE(unit->isOpen());
}

TEST_F(PortModule, ReadLeavesTheTailOfAnEarlierRead) {
    openFirst();
    driver.arriveNow("0123456789");
    ASSERT_EQ(unit->ReadFTDevice(), 10u);
    driver.arriveNow("abc");
    ASSERT_EQ(unit->ReadFTDevice(), 3u);
    EXPECT_EQ(received(10), QByteArray("abc3456789"));
}

TEST_F(PortModule, ReadAsksForAtMostTheBufferSize) {
    openFirst();
    driver.queueOverride = 70000;
    unit->ReadFTDevice();
    EXPECT_EQ(driver.lastReadAsked, D2XXUnit::kBufferSize);
}

TEST_F(PortModule, ReadOfAnEmptyQueueReturnsAtOnceAndKeepsTheBuffer) {
    openFirst();
    driver.arriveNow("xyz");
    unit->ReadFTDevice();
    EXPECT_EQ(unit->ReadFTDevice(), 0u);
    EXPECT_EQ(driver.lastReadAsked, 0u);
    EXPECT_EQ(received(3), QByteArray("xyz"));
}

TEST_F(PortModule, ReadIgnoresAQueueStatusFailureButReportsAReadFailure) {
    openFirst();
    driver.arriveNow("xyz");
    driver.fail[ScriptedDriver::Call::Queued] = FT_IO_ERROR;
    EXPECT_EQ(unit->ReadFTDevice(), 0u);  // asked for 0 bytes
    EXPECT_TRUE(shown.isEmpty());
    driver.fail.clear();
    driver.fail[ScriptedDriver::Call::Read] = FT_IO_ERROR;
    EXPECT_EQ(unit->ReadFTDevice(), 0u);
    EXPECT_EQ(shown, QStringList{"FT_Read - General IO error..."});
}

TEST_F(PortModule, WriteSendsTheFirstBytesOfTheTransmitBuffer) {
    openFirst();
    const std::uint8_t message[] = {0x0A, 0x01, 0x00, 0x99};
    std::copy(std::begin(message), std::end(message), unit->FTTransmitBuffer.begin());
    EXPECT_EQ(unit->WriteFTDevice(3), 3u);
    EXPECT_EQ(driver.written, QByteArray::fromHex("0a0100"));
}

TEST_F(PortModule, SettingsAndPurgesReachTheDriver) {
    openFirst();
    unit->FTBaudRate = 115200;
    unit->FTWordLength = 8;
    unit->FTStopBits = 0;
    unit->FTParity = 2;
    EXPECT_EQ(unit->SetFTBaudRate(), FT_OK);
    EXPECT_EQ(unit->SetFTDataCharacteristics(), FT_OK);
    EXPECT_EQ(driver.baud, 115200u);
    EXPECT_EQ(driver.wordLength, 8);
    EXPECT_EQ(driver.stopBits, 0);
    EXPECT_EQ(driver.parity, 2);
    unit->PurgeFTReceive();
    unit->PurgeFTTransmit();
    EXPECT_EQ(driver.purges, (QVector<PurgeQueue>{PurgeQueue::Receive, PurgeQueue::Transmit}));
}

TEST_F(PortModule, ReadinessAndKindOnlyWhileOpen) {
    driver.readyDescriptor = 42;
    driver.deviceKind = DeviceKind::PseudoTerminal;
    EXPECT_EQ(unit->readyFd(), -1);
    EXPECT_EQ(unit->openDeviceKind(), DeviceKind::None);
    openFirst();
    EXPECT_EQ(unit->readyFd(), 42);
    EXPECT_EQ(unit->openDeviceKind(), DeviceKind::PseudoTerminal);
}

}  // namespace
