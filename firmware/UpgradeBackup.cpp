#include "firmware/UpgradeBackup.h"

#include <QDir>
#include <QFile>

#include "protocol/PedalConnection.h"
#include "shell/BackupManifest.h"

namespace zendal::firmware {

QString backupFolderName(const QString& base, const QDateTime& when) {
    return backup::datedFolderName(base, when);
}

UpgradeBackup backUpPedal(PedalConnection& connection, const QString& base, const QDateTime& when) {
    // The firmware answers in full replies, not in the bootloader's single bytes.
    const LineOwnerScope firmwareReplies(connection, LineOwner::Firmware);
    return backup::savePedal(connection, backupFolderName(base, when), when);
}

std::optional<UpgradeBackup> latestBackup(const QString& base) {
    // The dated names sort in time order.
    const QStringList folders =
        QDir(base).entryList({QStringLiteral("Backup *")}, QDir::Dirs | QDir::NoDotAndDotDot,
                             QDir::Name | QDir::Reversed);
    if (folders.isEmpty()) return std::nullopt;
    UpgradeBackup backup;
    const QDir dir(QDir(base).filePath(folders.first()));
    backup.folder = dir.path();
    backup.saved = dir.entryList(QDir::Files, QDir::Name);
    QFile info(dir.filePath(QStringLiteral("device-info.txt")));
    if (info.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : info.readAll().split('\n')) {
            const QString text = QString::fromUtf8(line);
            bool ok = false;
            const int value = text.section(QLatin1Char(' '), 1).toInt(&ok);
            if (!ok) continue;
            if (text.startsWith(QLatin1String("effect: "))) backup.effect = value;
            if (text.startsWith(QLatin1String("version: "))) backup.effectVersion = value;
            if (text.startsWith(QLatin1String("firmware: "))) backup.firmware = value;
        }
    }
    for (const QString& name : backup.saved) {
        // Every other text file is the effect's settings.
        if (name.endsWith(QLatin1String(".txt")) && name != backup::deviceInfoFileName() &&
            name != backup::manifestFileName())
            backup.presetFile = dir.filePath(name);
    }
    return backup;
}

}  // namespace zendal::firmware
