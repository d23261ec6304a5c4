// Every wait for the pedal's bootloader during a firmware upgrade, under
// silence, meaningless answers and a cable pulled while the editor waits: the
// upgrade window names the failed step, never starts an incomplete image,
// gives its button back, and an upgrade after the fault is gone succeeds.
#include <gtest/gtest.h>

#include <QPushButton>

#include "FaultDriver.h"
#include "FirmwareRig.h"
#include "firmware/QtPrinters.h"
#include "firmware/ui/TformFirmwareUpgrade.h"
#include "link/Communication.h"
#include "link/D2XXUnit.h"
#include "support/ScriptedPrompt.h"

namespace zendal::test {
namespace {

using BStep = VirtualBootloader::Step;
using BFault = VirtualBootloader::Fault;

enum class Fault { Silence, Garbage, Unplug };

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

bool isAddressFrame(const QByteArray& w) {
    return w.size() == 5;
}
bool isDataFrame(const QByteArray& w) {
    return w.size() >= 3 && static_cast<std::uint8_t>(w.at(0)) + 3 == w.size();
}

// The upgrade window on a pedal in its bootloader, with a fault driver in the line.
struct FaultRig : FirmwareRig {
    FaultDriver faults{driver};
    ScriptedPrompt prompt;
    std::unique_ptr<TformFirmwareUpgrade> window;
    int completed = 0;

    FaultRig() {
        reopen();
        connection.setLineOwner(LineOwner::Bootloader);
    }
    ~FaultRig() {
        window.reset();
        D2XXUnit& port = d2xx();
        if (port.isOpen()) port.CloseFTDevice();
        port.setDriver(&driver);
    }
    // The port through the fault driver, at the bootloader's parity.
    void reopen() {
        D2XXUnit& port = d2xx();
        if (port.isOpen()) port.CloseFTDevice();
        port.setDriver(&faults);
        communication::SetPortParameters(FT_PARITY_NONE);
        ASSERT_EQ(port.Open_USB_Device_By_Serial_Number(QStringLiteral("ZVP00001")), FT_OK);
        port.SetFTBaudRate();
        port.SetFTDataCharacteristics();
    }
    void openWindow() {
        window = std::make_unique<TformFirmwareUpgrade>(connection);
        QObject::connect(window.get(), &TformFirmwareUpgrade::upgradeCompleted,
                         [this] { ++completed; });
        window->show();
    }
    // After garbage or a pulled cable the bootloader may be anywhere in a
    // command: the pedal is switched off and on (its bootloader restarts, the
    // flash keeps what was written) and linked again.
    void powerCycle() {
        // Its USB chip goes off too: what was still on the wire is lost.
        if (pedal.plugged()) pedal.unplug();
        pedal.replug();
        bootloader().reset();
        reopen();
    }
};

struct Row {
    const char* name;
    BStep step;
    int occurrence;
    std::function<bool(const QByteArray&)> match;
    bool atConnect = false;
    bool atGo = false;
};

const Row kRows[] = {
    {"connect", BStep::Connect, 1, [](const QByteArray& w) { return w == hex("7F"); }, true},
    {"erase", BStep::EraseCommand, 1, [](const QByteArray& w) { return w == hex("43BC"); }},
    {"global erase", BStep::EraseSelector, 1, [](const QByteArray& w) { return w == hex("FF00"); }},
    {"block command", BStep::WriteCommand, 10,
     [](const QByteArray& w) { return w == hex("31CE"); }},
    {"block address", BStep::WriteAddress, 10, isAddressFrame},
    {"block data", BStep::WriteData, 10, isDataFrame},
    // The 164th block of Firmware_5 is the variant record.
    {"variant", BStep::WriteData, 164, isDataFrame},
    {"read-back", BStep::Read, 2, [](const QByteArray& w) { return w == hex("11EE"); }},
    {"go", BStep::Go, 1, [](const QByteArray& w) { return w == hex("21DE"); }, false, true},
};

class BootloaderFault : public ::testing::TestWithParam<std::tuple<Row, Fault>> {};

TEST_P(BootloaderFault, NamesTheStepKeepsTheOldImageSafeAndTheNextTryWorks) {
    const auto& [row, fault] = GetParam();
    FaultRig rig;
    const auto inject = [&] {
        switch (fault) {
            case Fault::Silence:
                rig.bootloader().injectFault(row.step, BFault::Silence, row.occurrence);
                break;
            case Fault::Garbage:
                rig.faults.arm(row.match, row.occurrence, FaultDriver::Fault::Garbage);
                break;
            case Fault::Unplug:
                rig.faults.arm(row.match, row.occurrence, FaultDriver::Fault::Unplug,
                               [&rig] { rig.pedal.unplug(); });
                break;
        }
    };
    const qint64 start = rig.clock.nowMs();

    if (row.atConnect) {
        inject();
        const firmware::StepResult r = firmware::BootloaderClient(rig.connection).connect();
        EXPECT_FALSE(r.ok());
        EXPECT_FALSE(r.error().message().isEmpty());
        EXPECT_LE(rig.clock.nowMs() - start, 10000);
        if (fault != Fault::Silence) rig.powerCycle();
        rig.bootloader().clearFaults();
        ASSERT_TRUE(firmware::BootloaderClient(rig.connection).connect().ok());
        rig.openWindow();
        rig.window->btnUpgradeFirmwareClick();
        EXPECT_EQ(rig.completed, 1);
        EXPECT_FALSE(rig.pedal.inBootloader());
        return;
    }

    ASSERT_TRUE(rig.window == nullptr);
    rig.openWindow();
    ASSERT_TRUE(rig.window->sequence().client().connect().ok());
    inject();
    rig.window->btnUpgradeFirmwareClick();
    // The longest single wait is the global erase; every other step waits far less.
    EXPECT_LE(rig.clock.nowMs() - start, 5 * 60 * 1000);
    const QStringList boxes = rig.prompt.all();
    if (row.atGo) {
        // Everything was written; only the restart failed, and the user is told how to restart.
        ASSERT_EQ(boxes.size(), 2) << boxes.join('|').toStdString();
        EXPECT_EQ(boxes.at(0), TformFirmwareUpgrade::kCompleteText);
        EXPECT_TRUE(boxes.at(1).startsWith("The pedal did not acknowledge the Go command"));
        EXPECT_EQ(rig.bootloader().flash().left(41712), FirmwareRig::image("Firmware_5"));
    } else {
        ASSERT_EQ(boxes.size(), 1) << boxes.join('|').toStdString();
        EXPECT_TRUE(boxes.at(0).startsWith("Firmware upgrade failed: "))
            << boxes.at(0).toStdString();
        EXPECT_EQ(rig.completed, 0);
        // No Go after a failed step: an incomplete image is never started.
        EXPECT_EQ(rig.driver.countWrites(hex("21DE")), 0);
        EXPECT_TRUE(rig.window->isVisible());
        EXPECT_TRUE(rig.window->btnUpgradeFirmware->isEnabled());
    }

    // Fault gone: the next try runs to the end.
    rig.bootloader().clearFaults();
    rig.faults.disarm();
    // After a failed Go the window tells the user to switch the pedal off and on.
    const bool cycled = fault != Fault::Silence || row.atGo;
    if (cycled) rig.powerCycle();
    const auto mark = rig.prompt.all().size();
    if (row.atGo) {
        if (cycled) {
            ASSERT_TRUE(rig.window->sequence().client().connect().ok());
        }
        ASSERT_TRUE(rig.window->sequence().leaveBootloader().ok());
    } else {
        if (fault != Fault::Silence) {
            ASSERT_TRUE(rig.window->sequence().client().connect().ok());
        }
        rig.window->btnUpgradeFirmwareClick();
        EXPECT_EQ(rig.prompt.all().mid(mark), QStringList{TformFirmwareUpgrade::kCompleteText});
        EXPECT_EQ(rig.completed, 1);
    }
    EXPECT_EQ(rig.bootloader().flash().left(41712), FirmwareRig::image("Firmware_5"));
    EXPECT_FALSE(rig.pedal.inBootloader());
    EXPECT_EQ(rig.pedal.firmwareVersion(), 5);
}

std::string rowName(const ::testing::TestParamInfo<std::tuple<Row, Fault>>& info) {
    static const char* const faults[] = {"silence", "garbage", "unplug"};
    std::string name = std::get<0>(info.param).name;
    for (char& c : name)
        if (c == ' ' || c == '-') c = '_';
    return name + "_" + faults[static_cast<int>(std::get<1>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(Faults, BootloaderFault,
                         ::testing::Combine(::testing::ValuesIn(kRows),
                                            ::testing::Values(Fault::Silence, Fault::Garbage,
                                                              Fault::Unplug)),
                         rowName);

}  // namespace
}  // namespace zendal::test
