#include "firmware/UpgradeBackup.h"

#include "core/EditorState.h"

namespace zendal::firmware {

QString backupFolderName(const QString& base, const QDateTime& when) {
    return backup::datedFolderName(base, when);
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
