#pragma once

#include <QObject>
#include <QStringList>

#include "firmware/ui/FirmwareUpgradeController.h"
#include "protocol/PedalConnection.h"

namespace zendal::test {

// The main window as the firmware upgrade's signals switch it: keeps the state
// of the receive tick and the controls the main window would have set, and the
// order of the signals. Like the main window, the tick does not start while
// the bootloader owns the line.
class RecordingUpgradeSignals {
  public:
    RecordingUpgradeSignals(FirmwareUpgradeController& controller, PedalConnection& connection) {
        using C = FirmwareUpgradeController;
        QObject::connect(&controller, &C::lineTaken, [this] {
            tick = false;
            order << "lineTaken";
        });
        QObject::connect(&controller, &C::editingSuspended, [this] {
            editor = false;
            order << "editingSuspended";
        });
        QObject::connect(&controller, &C::bootloaderConnected, [this] {
            request = upload = false;
            order << "bootloaderConnected";
        });
        QObject::connect(&controller, &C::upgradeModeLeft, [this, &connection] {
            editor = true;
            tick = !connection.bootloaderOwnsLine();
            order << "upgradeModeLeft";
        });
        QObject::connect(&controller, &C::pedalGivenBack, [this, &connection] {
            request = upload = editor = true;
            tick = !connection.bootloaderOwnsLine();
            order << "pedalGivenBack";
        });
    }

    bool tick = true;
    bool request = true;
    bool upload = true;
    bool editor = true;
    QStringList order;
};

}  // namespace zendal::test
