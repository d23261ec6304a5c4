#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

// The manifest of a whole-pedal backup: plain text, one fact per line
// ("key: value"), the files last with their SHA-256 so a restore can tell a
// damaged or edited backup from a good one.
//
//   Zendal pedal backup
//   date: 2026-12-10 15:20:05
//   firmware: 5
//   effect: 0x26                   ("none" when the pedal held no effect)
//   effect name: Noise Gate
//   effect version: 1
//   bypass function: 09            (the settings record's bytes)
//   preset function: FF
//   file: <64 hex digits> Noise Gate.txt
namespace zendal::backup {

QString manifestFileName();  // "manifest.txt"

struct BackupFile {
    QString name;
    QByteArray sha256;  // lower-case hex
};

struct Manifest {
    QDateTime date;
    int firmware = -1;
    std::optional<int> effect;  // none: the pedal held no effect
    QString effectName;
    int effectVersion = -1;
    std::optional<std::uint8_t> bypassFunction;
    std::optional<std::uint8_t> presetFunction;
    QList<BackupFile> files;

    const BackupFile* file(const QString& name) const;
};

QByteArray sha256Hex(const QByteArray& bytes);

QByteArray composeManifest(const Manifest& manifest);
// Nothing, with the reason, when the text is not a manifest or a fact cannot
// be read. Unknown keys are passed over (a later editor may add facts).
std::optional<Manifest> parseManifest(const QByteArray& bytes, QString* error);

}  // namespace zendal::backup
