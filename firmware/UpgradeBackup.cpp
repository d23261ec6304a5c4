#include "firmware/UpgradeBackup.h"

#include <QDir>
#include <QSaveFile>

#include "core/Errors.h"
#include "core/Log.h"
#include "effects/EffectCatalogue.h"
#include "params/Assignments.h"
#include "params/EffectDescriptor.h"
#include "params/PresetFile.h"
#include "params/SettingsRecord.h"
#include "protocol/PedalConnection.h"
#include "protocol/PedalInfo.h"
#include "protocol/PedalSequences.h"
#include "shell/EepromTools.h"

namespace zendal::firmware {

namespace {

bool save(const QString& path, const QByteArray& bytes, QString* error) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    *error = file.errorString();
    return false;
}

// The current effect's settings as a preset file, as the parameter window
// saves them.
std::optional<QString> presetText(PedalConnection& connection, const PedalInfo& info, QString* name,
                                  QString* why) {
    const auto effect = effect_name_by_id(info.effect, why);
    if (!effect) return std::nullopt;
    TControlDescriptor d;
    if (!loadEffectDescriptor(*effect, &d, why)) return std::nullopt;
    const SettingsReplyResult reply = requestSettingsRecord(connection, d.param_count);
    if (!reply.record) {
        *why = reply.error;
        return std::nullopt;
    }
    const SettingsRecord& rec = *reply.record;
    TParameterSettings s;
    s.param_values = rec.values;
    for (int i = 0; i < d.param_count; ++i) {
        s.assignments[i] =
            assign::assignByteForIndex(assign::assignIndexForByte(rec.assignmentBytes[i]));
        s.reverse_flags[i] = reverseByteMeaning(rec.reverseBytes[i]) == ReverseByte::On;
    }
    for (int j = 0; j < d.readback_count; ++j)
        s.led_assignments[j] = assign::ledByteForIndex(assign::ledIndexForByte(rec.ledBytes[j]));
    *name = *effect;
    return preset::composePresetText(info.effect, info.version, s, d.param_count, d.readback_count);
}

// One settings memory: AB and its 16,384 bytes.
std::optional<QByteArray> readDump(PedalConnection& connection, const QString& address,
                                   QString* why) {
    const ExchangeResult r = sequences::readEeprom(connection, address);
    EepromDump dump;
    dump.bytes = r.bytes;
    switch (r.outcome) {
        case ExchangeResult::Outcome::Reply:
            return r.bytes.mid(1, kEepromBytes);
        case ExchangeResult::Outcome::TimedOut:
            dump.outcome =
                r.bytes.isEmpty() ? EepromDump::Outcome::NoAnswer : EepromDump::Outcome::Short;
            break;
        case ExchangeResult::Outcome::Unplugged:
            dump.outcome = EepromDump::Outcome::PortError;
            break;
        case ExchangeResult::Outcome::Busy:
            *why = QStringLiteral("the pedal was answering another request");
            return std::nullopt;
    }
    *why = dump.describe();
    return std::nullopt;
}

}  // namespace

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
    const LineOwnerScope firmwareReplies(connection, LineOwner::Firmware);
    UpgradeBackup backup;
    const QString folder = backupFolderName(base, when);
    if (!QDir().mkpath(folder)) {
        backup.problems << QStringLiteral("the folder %1 cannot be made").arg(folder);
        return backup;
    }
    backup.folder = folder;
    const QDir dir(folder);
    auto keep = [&](const QString& name, const QByteArray& bytes) {
        QString error;
        if (save(dir.filePath(name), bytes, &error))
            backup.saved << name;
        else
            backup.problems << name + QStringLiteral(": ") + error;
    };

    const PedalInfoReply reply = queryPedalInfo(connection);
    std::optional<PedalInfo> info;
    if (reply.ok()) {
        try {
            info = parsePedalInfo(reply.reply);
        } catch (const ConversionError& e) {
            backup.problems << QStringLiteral("device information: ") + e.what();
        }
    } else {
        backup.problems << QStringLiteral("device information: no answer");
    }
    if (info) {
        backup.firmware = info->firmware;
        if (!info->empty) {
            backup.effect = info->effect;
            backup.effectVersion = info->version;
        }
        keep(QStringLiteral("device-info.txt"),
             QStringLiteral("effect: %1\nversion: %2\nfirmware: %3\n%4\n")
                 .arg(info->empty ? QStringLiteral("none") : QString::number(info->effect))
                 .arg(info->version)
                 .arg(info->firmware)
                 .arg(info->empty ? QStringLiteral("the pedal holds no effect") : QString())
                 .toUtf8());
        if (!info->empty) {
            QString name, why;
            if (const auto text = presetText(connection, *info, &name, &why)) {
                const QString file = name + QStringLiteral(".txt");
                QString error;
                if (preset::writePresetFile(dir.filePath(file), *text, &error)) {
                    backup.saved << file;
                    backup.presetFile = dir.filePath(file);
                } else
                    backup.problems << file + QStringLiteral(": ") + error;
            } else {
                backup.problems << QStringLiteral("the effect's settings: ") + why;
            }
        }
    }
    for (const char* address : {"50", "51"}) {
        // A pedal that does not answer its firmware's simplest question will
        // not send 16 KB either: each wait would only cost its whole limit.
        if (!reply.ok()) {
            backup.problems << QStringLiteral("EEPROM %1: not read, the pedal did not answer")
                                   .arg(QLatin1String(address));
            continue;
        }
        QString why;
        const auto dump = readDump(connection, QString::fromLatin1(address), &why);
        const QString file = QStringLiteral("eeprom-%1.bin").arg(QLatin1String(address));
        if (dump)
            keep(file, *dump);
        else
            backup.problems << QStringLiteral("EEPROM %1: ").arg(QLatin1String(address)) + why;
    }
    DebugPrint(QStringLiteral("settings backed up in ") + folder);
    for (const QString& p : backup.problems) DebugPrint(QStringLiteral("backup: ") + p);
    return backup;
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
        if (name.endsWith(QLatin1String(".txt")) && name != QLatin1String("device-info.txt"))
            backup.presetFile = dir.filePath(name);
    }
    return backup;
}

}  // namespace zendal::firmware
