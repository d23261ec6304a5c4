#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

#include "params/ControlDescriptor.h"
#include "params/SettingsRecord.h"

namespace zendal {
class PedalConnection;
}

// Everything the editor can read from the pedal while its firmware runs, saved
// into one folder:
//   device-info.txt     the device information (effect, version, firmware)
//   <effect>.txt        the current effect's settings as a preset file
//   eeprom-50.bin       the settings memory (16,384 bytes)
//   eeprom-51.bin       the bank memory (16,384 bytes)
//   manifest.txt        firmware, effect, date and every file's SHA-256
// A part that cannot be read is named in `problems`; the rest is still saved.
namespace zendal::backup {

QString deviceInfoFileName();                    // "device-info.txt"
QString memoryFileName(const QString& address);  // "eeprom-50.bin"
// The pedal's two memories, in the order they are read.
const QStringList& memoryAddresses();  // "50", "51"

struct PedalBackup {
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
QString datedFolderName(const QString& base, const QDateTime& when);

// Saves into `folder` (made when missing). The pedal must run its firmware.
PedalBackup savePedal(PedalConnection& connection, const QString& folder, const QDateTime& when);

// Shared with the restore: the pedal's memory at an address (16,384 bytes),
// or nothing with the reason.
std::optional<QByteArray> readMemory(PedalConnection& connection, const QString& address,
                                     QString* why);

// The settings of the effect on the pedal as its preset file holds them.
QString presetTextOf(int effect, int version, const TControlDescriptor& descriptor,
                     const SettingsRecord& record);

}  // namespace zendal::backup
