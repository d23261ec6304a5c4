#include "shell/PedalBackup.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include "core/Errors.h"
#include "core/Log.h"
#include "effects/EffectCatalogue.h"
#include "params/Assignments.h"
#include "params/EffectDescriptor.h"
#include "params/PresetFile.h"
#include "protocol/PedalConnection.h"
#include "protocol/PedalInfo.h"
#include "protocol/PedalSequences.h"
#include "shell/BackupManifest.h"
#include "shell/EepromTools.h"

namespace zendal::backup {

namespace {

bool save(const QString& path, const QByteArray& bytes, QString* error) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    *error = file.errorString();
    return false;
}

}  // namespace

QString deviceInfoFileName() {
    return QStringLiteral("device-info.txt");
}

QString memoryFileName(const QString& address) {
    return QStringLiteral("eeprom-%1.bin").arg(address);
}

QString datedFolderName(const QString& base, const QDateTime& when) {
    QDateTime at = when;
    QString path;
    do {
        path = QDir(base).filePath(QStringLiteral("Backup ") +
                                   at.toString(QStringLiteral("yyyy-MM-dd HH-mm-ss")));
        at = at.addSecs(1);
    } while (QFileInfo::exists(path));
    return path;
}

const QStringList& memoryAddresses() {
    static const QStringList addresses{QStringLiteral("50"), QStringLiteral("51")};
    return addresses;
}

std::optional<QByteArray> readMemory(PedalConnection& connection, const QString& address,
                                     QString* why) {
    const ExchangeResult r = sequences::readEeprom(connection, address);
    const int got = std::max(0, int(r.bytes.size()) - 1);
    switch (r.outcome) {
        case ExchangeResult::Outcome::Reply:
            if (r.bytes.size() >= kEepromBytes + 1) return r.bytes.mid(1, kEepromBytes);
            *why = QStringLiteral("the pedal sent %1 of %2 bytes").arg(got).arg(kEepromBytes);
            return std::nullopt;
        case ExchangeResult::Outcome::TimedOut:
            *why = r.bytes.isEmpty()
                       ? QStringLiteral("no answer")
                       : QStringLiteral("the pedal sent %1 of %2 bytes").arg(got).arg(kEepromBytes);
            return std::nullopt;
        case ExchangeResult::Outcome::Unplugged:
            *why = QStringLiteral("the port failed while waiting for the memory dump");
            return std::nullopt;
        case ExchangeResult::Outcome::Busy:
            *why = QStringLiteral("the pedal is busy with another exchange");
            return std::nullopt;
    }
    return std::nullopt;
}

QString presetTextOf(int effect, int version, const TControlDescriptor& d,
                     const SettingsRecord& rec) {
    // As the parameter window saves them after a settings request.
    TParameterSettings s;
    s.param_values = rec.values;
    for (int i = 0; i < d.param_count; ++i) {
        s.assignments[i] =
            assign::assignByteForIndex(assign::assignIndexForByte(rec.assignmentBytes[i]));
        s.reverse_flags[i] = reverseByteMeaning(rec.reverseBytes[i]) == ReverseByte::On;
    }
    for (int j = 0; j < d.readback_count; ++j)
        s.led_assignments[j] = assign::ledByteForIndex(assign::ledIndexForByte(rec.ledBytes[j]));
    return preset::composePresetText(effect, version, s, d.param_count, d.readback_count);
}

PedalBackup savePedal(PedalConnection& connection, const QString& folder, const QDateTime& when) {
    PedalBackup backup;
    if (!QDir().mkpath(folder)) {
        backup.problems << QStringLiteral("the folder %1 cannot be made").arg(folder);
        return backup;
    }
    backup.folder = folder;
    const QDir dir(folder);
    Manifest manifest;
    manifest.date = when;
    auto keep = [&](const QString& name, const QByteArray& bytes) {
        QString error;
        if (save(dir.filePath(name), bytes, &error)) {
            backup.saved << name;
            manifest.files.append({name, sha256Hex(bytes)});
        } else {
            backup.problems << name + QStringLiteral(": ") + error;
        }
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
        manifest.firmware = info->firmware;
        manifest.effectVersion = info->version;
        if (!info->empty) {
            manifest.effect = info->effect;
            backup.effect = info->effect;
            backup.effectVersion = info->version;
        }
        keep(deviceInfoFileName(),
             QStringLiteral("effect: %1\nversion: %2\nfirmware: %3\n%4\n")
                 .arg(info->empty ? QStringLiteral("none") : QString::number(info->effect))
                 .arg(info->version)
                 .arg(info->firmware)
                 .arg(info->empty ? QStringLiteral("the pedal holds no effect") : QString())
                 .toUtf8());
        if (!info->empty) {
            QString why;
            const auto name = effect_name_by_id(info->effect, &why);
            TControlDescriptor d;
            std::optional<SettingsRecord> rec;
            if (name && loadEffectDescriptor(*name, &d, &why)) {
                const SettingsReplyResult settings =
                    requestSettingsRecord(connection, d.param_count);
                rec = settings.record;
                if (!rec) why = settings.error;
            }
            if (rec) {
                manifest.effectName = *name;
                manifest.bypassFunction = rec->bypassByte;
                manifest.presetFunction = rec->presetByte;
                const QString file = *name + QStringLiteral(".txt");
                keep(file,
                     preset::encodePresetFile(presetTextOf(info->effect, info->version, d, *rec)));
                if (backup.saved.contains(file)) backup.presetFile = dir.filePath(file);
            } else {
                backup.problems << QStringLiteral("the effect's settings: ") + why;
            }
        }
    }
    for (const QString& address : memoryAddresses()) {
        // A pedal that does not answer its firmware's simplest question will
        // not send 16 KB either: each wait would only cost its whole limit.
        if (!reply.ok()) {
            backup.problems
                << QStringLiteral("EEPROM %1: not read, the pedal did not answer").arg(address);
            continue;
        }
        QString why;
        if (const auto memory = readMemory(connection, address, &why))
            keep(memoryFileName(address), *memory);
        else
            backup.problems << QStringLiteral("EEPROM %1: ").arg(address) + why;
    }
    if (info) {
        QString error;
        if (save(dir.filePath(manifestFileName()), composeManifest(manifest), &error))
            backup.saved << manifestFileName();
        else
            backup.problems << manifestFileName() + QStringLiteral(": ") + error;
    }
    DebugPrint(QStringLiteral("settings backed up in ") + folder);
    for (const QString& p : backup.problems) DebugPrint(QStringLiteral("backup: ") + p);
    return backup;
}

}  // namespace zendal::backup
