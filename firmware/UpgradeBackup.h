#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

// Before an upgrade erases anything, everything the editor can read from the
// pedal while its firmware runs is saved, without asking, into a dated folder
// beside the presets:
//   device-info.txt     the device information (effect, version, firmware)
//   <effect>.txt        the current effect's settings as a preset file
//   eeprom-50.bin       the settings memory (16,384 bytes)
//   eeprom-51.bin       the bank memory (16,384 bytes)
// A part that cannot be read is named in `problems`; the rest is still saved.
// The pedal must run its firmware; the firmware has the line while it is read
// (the connection's exchanges keep the receive tick out of the replies).
namespace zendal {
class PedalConnection;
}

namespace zendal::firmware {

struct UpgradeBackup {
    QString folder;        // empty when not even the folder could be made
    QStringList saved;     // file names written
    QStringList problems;  // what could not be read or written, and why
    int firmware = -1;     // the firmware number the pedal reported, -1 unknown
    int effect = -1;       // the effect the pedal held, -1 unknown or none
    int effectVersion = -1;
    QString presetFile;  // full path of the effect's preset file, empty when none
    bool complete() const { return !folder.isEmpty() && problems.isEmpty(); }
};

// "<base>/Backup 2026-12-10 15-20-05" (a second later when that exists).
QString backupFolderName(const QString& base, const QDateTime& when);

UpgradeBackup backUpPedal(PedalConnection& connection, const QString& base, const QDateTime& when);

// The newest backup folder under base, as far as its files tell (device-info.txt
// and the preset file); nullopt when there is none.
std::optional<UpgradeBackup> latestBackup(const QString& base);

}  // namespace zendal::firmware
