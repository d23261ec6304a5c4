#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include "shell/PedalBackup.h"

// Before an upgrade erases anything, everything the editor can read from the
// pedal while its firmware runs is saved, without asking, into a dated folder
// beside the presets (see shell/PedalBackup.h for what it holds). The caller
// stops the receive tick first; the pedal must run its firmware.
namespace zendal {
class PedalConnection;
}

namespace zendal::firmware {

using UpgradeBackup = backup::PedalBackup;

// "<base>/Backup 2026-12-10 15-20-05" (a second later when that exists).
QString backupFolderName(const QString& base, const QDateTime& when);

UpgradeBackup backUpPedal(PedalConnection& connection, const QString& base, const QDateTime& when);

}  // namespace zendal::firmware
