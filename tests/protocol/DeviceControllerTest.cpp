// What the editor knows about the pedal, and the signals its windows follow.
#include <gtest/gtest.h>

#include <functional>

#include "protocol/DeviceController.h"
#include "protocol/PedalConnection.h"
#include "protocol/PedalInfo.h"
#include "sim/VirtualPedal.h"
#include "sim/VirtualPedalDriver.h"

namespace zendal {
namespace {

class Device : public ::testing::Test {
  protected:
    void SetUp() override {
        auto add = [this](const QString& line) { log.append(line); };
        QObject::connect(&device, &DeviceController::linkedChanged,
                         [add](bool on) { add(QStringLiteral("linked %1").arg(on)); });
        QObject::connect(&device, &DeviceController::busyChanged,
                         [add](bool on) { add(QStringLiteral("busy %1").arg(on)); });
        QObject::connect(&device, &DeviceController::upgradeModeChanged,
                         [add](bool on) { add(QStringLiteral("upgrade %1").arg(on)); });
        QObject::connect(&device, &DeviceController::pedalEffectChanged,
                         [add](int n, int v, const QString& name) {
                             add(QStringLiteral("effect %1 v%2 %3").arg(n).arg(v).arg(name));
                         });
        QObject::connect(&device, &DeviceController::firmwareVersionChanged,
                         [add](int v) { add(QStringLiteral("firmware %1").arg(v)); });
        QObject::connect(&device, &DeviceController::selectedEffectChanged,
                         [add](const QString& name, bool onPedal) {
                             add(QStringLiteral("selected %1 %2").arg(name).arg(onPedal));
                         });
        QObject::connect(&device, &DeviceController::bankModeChanged,
                         [add](bool on) { add(QStringLiteral("bank mode %1").arg(on)); });
        QObject::connect(&device, &DeviceController::bankChanged,
                         [add](int bank) { add(QStringLiteral("bank %1").arg(bank)); });
        QObject::connect(&device, &DeviceController::requestInProgressChanged,
                         [add](bool on) { add(QStringLiteral("request %1").arg(on)); });
        QObject::connect(&device, &DeviceController::controlMoved, [add](const QByteArray& r) {
            add(QStringLiteral("control ") + QString::fromLatin1(r.toHex()));
        });
    }

    PedalConnection connection;
    DeviceController device{connection};
    QStringList log;
};

TEST_F(Device, EachChangeEmitsItsSignalOnceAndRepeatsEmitNothing) {
    const struct {
        const char* name;
        std::function<void(DeviceController&)> change;
        QStringList emitted;
    } cases[] = {
        {"link", [](DeviceController& d) { d.setLinked(true); }, {"linked 1"}},
        {"link again", [](DeviceController& d) { d.setLinked(true); }, {}},
        {"effect from the device information",
         [](DeviceController& d) { d.setPedalEffect(38, 2, QStringLiteral("Tremolo")); },
         {"effect 38 v2 Tremolo"}},
        {"same effect again",
         [](DeviceController& d) { d.setPedalEffect(38, 2, QStringLiteral("Tremolo")); },
         {}},
        {"the pedal's own switch: number, then name",
         [](DeviceController& d) {
             d.setPedalEffectNumber(17);
             d.setPedalEffectName(QStringLiteral("Noise Gate"));
         },
         {"effect 17 v2 Tremolo", "effect 17 v2 Noise Gate"}},
        {"version refreshed",
         [](DeviceController& d) { d.setPedalEffectVersion(3); },
         {"effect 17 v3 Noise Gate"}},
        {"firmware", [](DeviceController& d) { d.setPedalFirmwareVersion(5); }, {"firmware 5"}},
        {"firmware unchanged", [](DeviceController& d) { d.setPedalFirmwareVersion(5); }, {}},
        {"choice of effect",
         [](DeviceController& d) { d.setSelectedEffect(QStringLiteral("Noise Gate"), true); },
         {"selected Noise Gate 1"}},
        {"the same effect, no longer on the pedal",
         [](DeviceController& d) { d.setSelectedIsOnPedal(false); },
         {"selected Noise Gate 0"}},
        {"bank mode", [](DeviceController& d) { d.setBankMode(true); }, {"bank mode 1"}},
        {"bank mode again", [](DeviceController& d) { d.setBankMode(true); }, {}},
        {"bank II", [](DeviceController& d) { d.setBank(1); }, {"bank 1"}},
        {"a bank the pedal does not have", [](DeviceController& d) { d.setBank(7); }, {"bank -1"}},
        {"preset mode", [](DeviceController& d) { d.setBankMode(false); }, {"bank mode 0"}},
        {"upgrade mode", [](DeviceController& d) { d.setUpgradeMode(true); }, {"upgrade 1"}},
        {"knob report, every one counts",
         [](DeviceController& d) {
             d.reportControl(QByteArray::fromHex("aa00010200"));
             d.reportControl(QByteArray::fromHex("aa00010200"));
         },
         {"control aa00010200", "control aa00010200"}},
        {"request in a scope",
         [](DeviceController& d) { RequestInProgress request(d); },
         {"request 1", "request 0"}},
        {"unlink", [](DeviceController& d) { d.setLinked(false); }, {"linked 0"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        log.clear();
        c.change(device);
        QStringList expected;
        for (const QString& line : c.emitted) expected << line;
        EXPECT_EQ(log, expected);
    }
    EXPECT_EQ(device.pedalEffectNumber(), 17);
    EXPECT_EQ(device.pedalEffectVersion(), 3);
    EXPECT_EQ(device.pedalEffectName(), QStringLiteral("Noise Gate"));
    EXPECT_EQ(device.selectedEffectName(), QStringLiteral("Noise Gate"));
    EXPECT_FALSE(device.selectedIsOnPedal());
}

TEST_F(Device, ResetTellsWhatChangedAndLeavesAFreshEditor) {
    device.setLinked(true);
    device.setUpgradeMode(true);
    device.setPedalEffect(38, 1, QStringLiteral("Tremolo"));
    device.setBankMode(true);
    device.setBank(0);
    device.setCurrentCategory(QStringLiteral("Modulation"));
    device.setPreparedIr(QStringLiteral("0102"), QStringLiteral("Basic Cabinet Sim"));
    log.clear();
    device.reset();
    EXPECT_EQ(log,
              (QStringList{"linked 0", "upgrade 0", "effect 0 v0 ", "bank mode 0", "bank -1"}));
    EXPECT_FALSE(device.linked());
    EXPECT_FALSE(device.upgradeMode());
    EXPECT_TRUE(device.currentCategory().isEmpty());
    EXPECT_TRUE(device.preparedIrImage().isEmpty());
    EXPECT_TRUE(device.preparedIrEffect().isEmpty());
}

TEST_F(Device, UpgradeModeIsTheBootloaderOwningTheConnectionsLine) {
    device.setUpgradeMode(true);
    EXPECT_TRUE(connection.bootloaderOwnsLine());
    // The firmware workflow hands the line back on its own: the controller follows.
    connection.setLineOwner(LineOwner::Firmware);
    EXPECT_FALSE(device.upgradeMode());
    EXPECT_EQ(log, QStringList({"upgrade 1", "upgrade 0"}));
}

TEST_F(Device, AScopedFlagIsRestoredOnEveryWayOut) {
    try {
        RequestInProgress request(device);
        PedalMoveInProgress moving(device);
        EXPECT_TRUE(device.requestInProgress());
        EXPECT_TRUE(device.pedalMoveInProgress());
        throw 1;
    } catch (int) {
    }
    EXPECT_FALSE(device.requestInProgress());
    EXPECT_FALSE(device.pedalMoveInProgress());
    // Nested: the inner scope leaves the outer one's flag set.
    RequestInProgress outer(device);
    { RequestInProgress inner(device); }
    EXPECT_TRUE(device.requestInProgress());
}

TEST_F(Device, AnExchangeOnTheConnectionIsBusyOnTheController) {
    VirtualPedal pedal;
    VirtualPedalDriver driver{pedal};
    connection.unit().setDriver(&driver);
    connection.setLineSettings(FT_PARITY_NONE);
    ASSERT_EQ(connection.unit().Open_USB_Device_By_Serial_Number(QStringLiteral("ZVP00001")),
              FT_OK);
    connection.unit().SetFTBaudRate();
    connection.unit().SetFTDataCharacteristics();
    bool busyInside = false;
    QObject::connect(&device, &DeviceController::busyChanged,
                     [&](bool on) { busyInside = busyInside || (on && device.busy()); });
    EXPECT_TRUE(queryPedalInfo(connection).ok());
    EXPECT_TRUE(busyInside);
    EXPECT_FALSE(device.busy());
    EXPECT_EQ(log, (QStringList{"busy 1", "busy 0"}));
    connection.unit().CloseFTDevice();
    connection.unit().setDriver(nullptr);
}

}  // namespace
}  // namespace zendal
