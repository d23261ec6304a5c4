// Discovery, opening and the bootloader probe, without windows.
#include <gtest/gtest.h>

#include "core/Log.h"
#include "link/Communication.h"
#include "link/D2XXUnit.h"
#include "support/FakeClock.h"
#include "support/ScriptedDriver.h"

using namespace zendal;
using zendal::test::FakeClock;
using zendal::test::ScriptedDriver;

namespace {

class Linking : public ::testing::Test {
  protected:
    void SetUp() override {
        driver.devices = {{"FT111", "FT230X Basic UART", {}}, {"FT222", "Dongle", {}}};
        d2xx().setDriver(&driver);
        d2xx().setErrorSink([this](const QString& text) { shown.append(text); });
        d2xx().ShowFTErrors = true;
        d2xx().FTHandle = 0;
        Log::instance().clear();
    }
    void TearDown() override {
        d2xx().setDriver(nullptr);
        d2xx().setErrorSink({});
    }

    FakeClock clock;
    ScriptedDriver driver;
    QStringList shown;
};

TEST_F(Linking, PortParametersAreStoredNotApplied) {
    communication::SetPortParameters(FT_PARITY_EVEN);
    EXPECT_EQ(d2xx().FTBaudRate, 115200u);
    EXPECT_EQ(d2xx().FTWordLength, 8);
    EXPECT_EQ(d2xx().FTStopBits, 0);
    EXPECT_EQ(d2xx().FTParity, FT_PARITY_EVEN);
    EXPECT_EQ(driver.baud, 0u);
}

TEST_F(Linking, ListingGivesSerialAndDescriptionPerIndex) {
    const auto devices = communication::ListAttachedDevices();
    ASSERT_EQ(devices.size(), 2);
    EXPECT_EQ(devices[0].serial, QByteArray("FT111"));
    EXPECT_EQ(devices[0].description, QByteArray("FT230X Basic UART"));
    EXPECT_EQ(devices[1].serial, QByteArray("FT222"));
    EXPECT_EQ(devices[1].description, QByteArray("Dongle"));
}

TEST_F(Linking, ListingWithFailingCallsFollowsThePortModule) {
    driver.fail[ScriptedDriver::Call::List] = FT_IO_ERROR;
    EXPECT_TRUE(communication::ListAttachedDevices().isEmpty());
    driver.fail.clear();
    driver.devices.clear();
    EXPECT_TRUE(communication::ListAttachedDevices().isEmpty());
}

TEST_F(Linking, OpenAndConfigureAppliesTheSettingsAndLogs) {
    communication::SetPortParameters(FT_PARITY_NONE);
    driver.handleToGive = PortHandle{0xBEEF};
    ASSERT_TRUE(communication::OpenAndConfigure(QStringLiteral("FT222")));
    EXPECT_EQ(driver.openedWith, QByteArray("FT222"));
    EXPECT_EQ(driver.baud, 115200u);
    EXPECT_EQ(driver.wordLength, 8);
    EXPECT_EQ(driver.stopBits, 0);
    EXPECT_EQ(driver.parity, FT_PARITY_NONE);
    EXPECT_EQ(Log::instance().lines(),
              (QStringList{"serial number: FT222", "FT_HANDLE: 0x0000BEEF", "baud rate = 115200"}));
}

TEST_F(Linking, FailedOpenConfiguresNothing) {
    communication::SetPortParameters(FT_PARITY_NONE);
    EXPECT_FALSE(communication::OpenAndConfigure(QStringLiteral("MISSING")));
    EXPECT_EQ(driver.baud, 0u);
    EXPECT_EQ(Log::instance().lines(), QStringList{"serial number: MISSING"});
    EXPECT_EQ(shown, QStringList{"Open_USB_Device_By_Serial_Number - Device not found..."});
}

TEST_F(Linking, ProbeSendsStartByteAtEvenParityAndReadsTheAcknowledge) {
    struct Case {
        QByteArray answer;
        const char* expected;
    };
    const Case cases[] = {
        {QByteArray::fromHex("7900"), "79"},
        {QByteArray::fromHex("1F"), "1F"},
        {{}, ""},  // silent bootloader: the limit ends the wait
    };
    for (const Case& c : cases) {
        driver.isOpen = false;
        driver.fail.clear();
        ASSERT_TRUE(communication::OpenAndConfigure(QStringLiteral("FT111")));
        driver.written.clear();
        driver.onWrite = [&](const QByteArray&) {
            if (!c.answer.isEmpty()) driver.arriveAt(clock.nowMs() + 3, c.answer);
        };
        EXPECT_EQ(communication::ProbeBootloader(), QString::fromLatin1(c.expected)) << c.expected;
        EXPECT_EQ(driver.written, QByteArray::fromHex("7F"));
        EXPECT_EQ(driver.parity, FT_PARITY_EVEN);
        EXPECT_EQ(d2xx().FTParity, FT_PARITY_EVEN);
        driver.onRead = nullptr;
        d2xx().CloseFTDevice();
    }
}

TEST_F(Linking, ProbeReadsInUpgradeForm) {
    // Two bytes arrive; only the first counts, as two hex digits.
    ASSERT_TRUE(communication::OpenAndConfigure(QStringLiteral("FT111")));
    driver.onWrite = [&](const QByteArray&) { driver.arriveNow(QByteArray::fromHex("7955")); };
    EXPECT_EQ(communication::ProbeBootloader(), QStringLiteral("79"));
    EXPECT_TRUE(Log::instance().lines().contains(QStringLiteral("stringa_totale: 7955")));
}

TEST_F(Linking, ProbeAfterAFailedOpenEndsAtOnceWithNothing) {
    EXPECT_FALSE(communication::OpenAndConfigure(QStringLiteral("MISSING")));
    const qint64 before = clock.nowMs();
    EXPECT_EQ(communication::ProbeBootloader(), QString());
    EXPECT_EQ(clock.nowMs(), before);
}

}  // namespace
