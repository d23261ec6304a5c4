#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

#include "shell/PedalBackup.h"

// Before an upgrade erases anything, everything the editor can read from the
// pedal while its firmware runs is saved, without asking, into a dated folder
// beside the presets (see shell/PedalBackup.h for what it holds). The pedal
// must run its firmware; the firmware has the line while it is read.
namespace zendal {
class PedalConnection;
}

namespace zendal::firmware {

using UpgradeBackup = backup::PedalBackup;

// "<base>/Backup 2026-12-10 15-20-05" (a second later when that exists).
QString backupFolderName(const QString& base, const QDateTime& when);

UpgradeBackup backUpPedal(PedalConnection& connection, const QString& base, const QDateTime& when);

// The newest backup folder under base, as far as its files tell (device-info.txt
// and the preset file); nullopt when there is none.
std::optional<UpgradeBackup> latestBackup(const QString& base);

}  // namespace zendal::firmware
