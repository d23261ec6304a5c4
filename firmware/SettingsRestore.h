#pragma once

#include <QString>
#include <QStringList>

#include "firmware/UpgradeBackup.h"

// Putting the effect's settings back after an upgrade, from the preset file the
// automatic backup saved. The file goes through the checks of a preset load
// (effect, version, parameter count, every field) and the pedal gets the
// messages a preset load sends: the values and reverse flags that differ from
// what it holds now, then the assignments and LEDs in one Assign message when
// they differ.
namespace zendal {
class PedalConnection;
struct PedalInfo;
}  // namespace zendal

namespace zendal::firmware {

enum class RestoreOffer {
    None,            // no preset file in the backup, or another effect now
    Offer,           // the same effect in the same version: its settings fit
    VersionChanged,  // the same effect in another version: its file is refused
};

// What to offer for the pedal as it answers after the upgrade.
RestoreOffer restoreOffer(const UpgradeBackup& backup, const PedalInfo& now);

struct RestoreResult {
    bool ok = false;
    int sent = 0;          // messages sent to the pedal
    QStringList messages;  // why nothing (or not everything) was put back
};

// Loads presetPath into the effect `now` reports. Nothing is sent when a check
// refuses the file or the pedal's present settings cannot be read.
RestoreResult restoreEffectSettings(PedalConnection& connection, const QString& presetPath,
                                    const PedalInfo& now);

}  // namespace zendal::firmware
