// zendalctl backup / restore: everything the pedal lets the editor read, saved
// into a folder, and put back from it.
#include <QDateTime>
#include <QDir>

#include "app/zendalctl/Command.h"
#include "shell/PedalBackup.h"
#include "shell/PedalRestore.h"

namespace zendal::ctl {
namespace {

constexpr const char* kBackupUsage = "backup DIR";
constexpr const char* kRestoreUsage = "restore DIR [--dry-run] [--eeprom]";

int usage(Context& ctx, const char* line) {
    ctx.err << "usage: " << line << "\n";
    return kUsage;
}

int runBackup(Context& ctx) {
    if (ctx.args.size() != 1 || ctx.args[0].isEmpty() || ctx.args[0].startsWith(u'-'))
        return usage(ctx, kBackupUsage);
    const QString folder = ctx.args[0];
    // A backup never mixes with other files: a restore checks every file it names.
    if (QDir(folder).exists() && !QDir(folder).isEmpty()) {
        ctx.err << "zendalctl: " << folder << " is not empty; name a new folder\n";
        return kFailure;
    }
    if (!ctx.openDevice()) return kFailure;
    const backup::PedalBackup b =
        backup::savePedal(*ctx.connection, folder, QDateTime::currentDateTime());
    for (const QString& name : b.saved) ctx.out << "saved: " << name << "\n";
    for (const QString& problem : b.problems) ctx.err << "zendalctl: " << problem << "\n";
    if (!b.folder.isEmpty()) ctx.out << "backup in " << QDir::toNativeSeparators(b.folder) << "\n";
    return b.complete() ? kOk : kFailure;
}

int runRestore(Context& ctx) {
    QString folder;
    bool dryRun = false;
    bool eeprom = false;
    for (const QString& a : ctx.args) {
        if (a == QLatin1String("--dry-run")) {
            dryRun = true;
        } else if (a == QLatin1String("--eeprom")) {
            eeprom = true;
        } else if (a.startsWith(u'-') || !folder.isEmpty() || a.isEmpty()) {
            return usage(ctx, kRestoreUsage);
        } else {
            folder = a;
        }
    }
    if (folder.isEmpty()) return usage(ctx, kRestoreUsage);
    if (!ctx.openDevice()) return kFailure;
    const backup::RestorePlan plan = backup::planRestore(*ctx.connection, folder);
    if (!plan.ok()) {
        ctx.err << "zendalctl: " << plan.refusal << "\n";
        return kFailure;
    }
    if (plan.changes.isEmpty()) {
        ctx.out << "values and assignments: as in the backup\n";
    } else {
        ctx.out << "values and assignments that differ from the backup:\n";
        for (const QString& line : plan.changes) ctx.out << "  " << line << "\n";
    }
    for (const QString& line : plan.memories) ctx.out << line << "\n";
    if (dryRun) {
        ctx.out << "dry run: nothing sent\n";
        return kOk;
    }
    const backup::RestoreResult result = backup::restorePedal(*ctx.connection, plan, eeprom);
    for (const QString& text : result.sent) ctx.out << text << "\n";
    if (!result.ok) {
        ctx.err << "zendalctl: " << result.error << "\n";
        return kFailure;
    }
    ctx.out << result.sent.size() << " message(s) sent\n";
    for (const QString& line : result.memories) ctx.out << "after storing: " << line << "\n";
    if (!eeprom && plan.memoriesDiffer)
        ctx.out << "the settings memories are left as they are (--eeprom stores the restored "
                   "settings on the pedal)\n";
    return kOk;
}

const Registration backupCommand{
    {QStringLiteral("backup"), QString::fromLatin1(kBackupUsage), runBackup}};
const Registration restoreCommand{
    {QStringLiteral("restore"), QString::fromLatin1(kRestoreUsage), runRestore}};

}  // namespace
}  // namespace zendal::ctl
