// File ▸ Back Up Pedal… and Restore Pedal…: the window's side only; what is
// read, checked and sent lives in shell/PedalBackup and shell/PedalRestore.
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include "control/ui/TformMain.h"
#include "params/ui/TformFXParameters.h"
#include "shell/PedalBackup.h"
#include "shell/PedalRestore.h"
#include "shell/Prompt.h"
#include "shell/SettingsFiles.h"

namespace zendal {

void TformMain::menuBackUpPedalClick() {
    const QDateTime now = QDateTime::currentDateTime();
    const backup::PedalBackup b =
        backup::savePedal(connection_, backup::datedFolderName(settings::zendalFolder(), now), now);
    const QString folder = QDir::toNativeSeparators(b.folder);
    if (b.complete()) {
        prompt().information(QStringLiteral("Pedal backed up in ") + folder);
    } else if (b.saved.isEmpty()) {
        prompt().information(QStringLiteral("The pedal could not be backed up:\n") +
                             b.problems.join(u'\n'));
    } else {
        prompt().information(QStringLiteral("The backup in %1 is incomplete:\n").arg(folder) +
                             b.problems.join(u'\n'));
    }
}

void TformMain::menuRestorePedalClick() {
    const QString manifest = prompt().openFileName(QStringLiteral("Open Pedal Backup"),
                                                   QStringLiteral("Pedal backup (manifest.txt)"),
                                                   settings::zendalFolder());
    if (manifest.isEmpty()) return;
    const QString folder = QFileInfo(manifest).absolutePath();
    const backup::RestorePlan plan = backup::planRestore(connection_, folder);
    if (!plan.ok()) {
        prompt().information(plan.refusal);
        return;
    }
    QString question = QStringLiteral("Restore the pedal's settings from %1?\n\n")
                           .arg(QDir::toNativeSeparators(folder));
    question += plan.changes.isEmpty() ? QStringLiteral("Values and assignments: as in the backup")
                                       : QStringLiteral("Values and assignments that change:\n") +
                                             plan.changes.join(u'\n');
    question += QStringLiteral("\n\n") + plan.memories.join(u'\n');
    if (!prompt().confirm(question)) return;
    // The memories change only on a second, explicit Yes.
    const bool store = plan.memoriesDiffer &&
                       prompt().confirm(QStringLiteral(
                           "Also store the restored settings in the pedal's settings memory?\n"
                           "What the pedal keeps for this effect is replaced."));
    const backup::RestoreResult result = backup::restorePedal(connection_, plan, store);
    if (!result.ok) {
        prompt().information(QStringLiteral("The pedal was not restored: ") + result.error);
        return;
    }
    // The parameter window shows what the pedal now holds.
    if (params_ && params_->isBuilt()) btnRequestClick();
    QString done = QStringLiteral("Pedal restored: %1 message(s) sent").arg(result.sent.size());
    if (!result.memories.isEmpty()) done += u'\n' + result.memories.join(u'\n');
    prompt().information(done);
}

}  // namespace zendal
