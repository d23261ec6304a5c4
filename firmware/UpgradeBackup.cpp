#include "firmware/UpgradeBackup.h"

#include <QDir>
#include <QFileInfo>

#include "core/EditorState.h"

namespace zendal::firmware {

QString backupFolderName(const QString& base, const QDateTime& when) {
    QDateTime at = when;
    QString path;
    do {
        path = QDir(base).filePath(QStringLiteral("Backup ") +
                                   at.toString(QStringLiteral("yyyy-MM-dd HH-mm-ss")));
        at = at.addSecs(1);
    } while (QFileInfo::exists(path));
    return path;
}

UpgradeBackup backUpPedal(PedalConnection& connection, const QString& base, const QDateTime& when) {
    // The firmware answers in full replies, not in the bootloader's single bytes.
    struct FirmwareReplies {
        bool was = editorState().UpgradeMode;
        FirmwareReplies() { editorState().UpgradeMode = false; }
        ~FirmwareReplies() { editorState().UpgradeMode = was; }
    } firmwareReplies;
    return backup::savePedal(connection, backupFolderName(base, when), when);
}

}  // namespace zendal::firmware
