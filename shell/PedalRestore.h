#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include "params/PresetPlan.h"
#include "shell/BackupManifest.h"

namespace zendal {
class PedalConnection;
}

// Putting a whole-pedal backup back. First a plan: the manifest is read, every
// file checked against its checksum, the backup refused when it was made with
// another firmware or for another effect or effect version, and the pedal's
// current settings (a settings request) and memories compared with it. Then,
// on the caller's word, what the pedal accepts goes back: values, reverse
// flags, assignments, LEDs and footswitch functions, with the messages a
// preset load sends; the memories only when asked, by storing the restored
// settings on the pedal.
namespace zendal::backup {

struct RestoreOptions {
    // After a firmware upgrade the settings of the old firmware may be wanted.
    bool acceptOtherFirmware = false;
};

struct RestorePlan {
    QString folder;
    Manifest manifest;
    QString refusal;      // not empty: nothing may be restored, and why
    QStringList changes;  // one line per value or assignment that differs from the pedal
    QVector<preset::PlannedMessage> messages;  // what restoring sends
    int paramCount = 0;
    // One line per memory: the same as the backup's dump, or how it differs.
    QStringList memories;
    bool memoriesDiffer = false;
    bool ok() const { return refusal.isEmpty(); }
};

// Reads the pedal (device information, settings, both memories); sends nothing
// that changes it.
RestorePlan planRestore(PedalConnection& connection, const QString& folder,
                        const RestoreOptions& options = {});

struct RestoreResult {
    bool ok = false;
    QString error;
    QStringList sent;      // the messages written, as hex text
    QStringList memories;  // after storing: each memory compared with the backup again
};

// Sends the plan's messages; with `storeInMemory` then Store Settings, and
// reads the memories back to compare them with the backup.
RestoreResult restorePedal(PedalConnection& connection, const RestorePlan& plan,
                           bool storeInMemory);

}  // namespace zendal::backup
