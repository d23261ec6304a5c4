#include "shell/SettingsFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringDecoder>

#include "core/FileIo.h"
#include "core/Log.h"

namespace zendal::settings {

namespace {

// A value is a few bytes; anything much larger is not one of ours.
constexpr qint64 kMaxSettingBytes = 4096;

const QString kYes = QStringLiteral("YES");
const QString kNo = QStringLiteral("NO");
const QString kPreset = QStringLiteral("PRESET");
const QString kBank = QStringLiteral("BANK");

// mkpath's failure carries no reason; find the most useful one we can give.
QString reasonFolderNotCreated(const QString& path) {
    QString existing = path;
    while (!existing.isEmpty() && !QFileInfo::exists(existing)) {
        const QString parent = QFileInfo(existing).absolutePath();
        if (parent == existing) break;
        existing = parent;
    }
    const QFileInfo info(existing);
    if (info.exists() && !info.isDir()) {
        return QStringLiteral("%1 is not a folder").arg(QDir::toNativeSeparators(existing));
    }
    if (info.exists() && !info.isWritable()) {
        return QStringLiteral("access denied to %1").arg(QDir::toNativeSeparators(existing));
    }
    return QStringLiteral("cannot create %1").arg(QDir::toNativeSeparators(path));
}

bool ensureFolder(const QString& path, QString* error) {
    if (QFileInfo(path).isDir()) return true;
    if (QDir().mkpath(path)) return true;
    if (error) *error = reasonFolderNotCreated(path);
    return false;
}

}  // namespace

QString documentsFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

QString tavrelFolder() {
    return documentsFolder() + QStringLiteral("/Tavrel");
}

QString zendalFolder() {
    return tavrelFolder() + QStringLiteral("/Zendal");
}

QString presetFolder() {
    return zendalFolder() + QStringLiteral("/Preset");
}

QString showUpdateFile() {
    return zendalFolder() + QStringLiteral("/ShowMessageVersionAtStartup.txt");
}

QString modeFile() {
    return zendalFolder() + QStringLiteral("/Mode.txt");
}

QString styleFile() {
    return tavrelFolder() + QStringLiteral("/style.txt");
}

QStringList EnsureSettingsFolders() {
    QStringList problems;
    QString reason;
    if (!ensureFolder(tavrelFolder(), &reason)) {
        problems << QStringLiteral("Error creating folder: ") + reason;
    }
    if (!ensureFolder(zendalFolder(), &reason)) {
        problems << QStringLiteral("Error creating subfolder: ") + reason;
    }
    for (const QString& p : problems) DebugPrint(p);
    return problems;
}

QString decodeSettingText(const QByteArray& bytes) {
    if (const auto bom = QStringConverter::encodingForData(bytes)) {
        QStringDecoder decoder(*bom);  // drops the byte-order mark
        return decoder(bytes);
    }
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8(bytes);
    if (!utf8.hasError()) return text;
    return QString::fromLatin1(bytes);
}

std::optional<QString> readSettingFile(const QString& path, QString* error) {
    // Only regular files: a pipe or a device would block start-up or never end.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        if (error) *error = QStringLiteral("not a regular file");
        return std::nullopt;
    }
    const fileio::ReadResult read = fileio::readAtMost(path, kMaxSettingBytes);
    if (!read.ok()) {
        if (error)
            *error = read.tooLarge ? QStringLiteral("file too large for a setting") : read.error;
        return std::nullopt;
    }
    return decodeSettingText(read.bytes);
}

bool writeSettingFile(const QString& path, const QByteArray& content, QString* error) {
    // Never written in place: a full disk or a size limit keeps the old file.
    QString why;
    if (fileio::saveFile(path, content, &why)) return true;
    if (error) *error = why;
    DebugPrint(QStringLiteral("cannot write %1: %2").arg(path, why));
    return false;
}

StartupSettings ReadStartupSettings() {
    StartupSettings result;
    QString why;

    const QString show = showUpdateFile();
    if (!QFileInfo::exists(show)) {
        writeSettingFile(show, kYes.toUtf8());
    } else if (const auto text = readSettingFile(show, &why)) {
        if (*text == kYes) result.showUpdate = true;
        if (*text == kNo) result.showUpdate = false;
    } else {
        DebugPrint(QStringLiteral("cannot read %1: %2").arg(show, why));
    }

    const QString mode = modeFile();
    if (!QFileInfo::exists(mode) && !writeSettingFile(mode, kPreset.toUtf8())) {
        // The folder is unusable; the default mode still holds.
        result.mode = StartupSettings::Mode::Preset;
        return result;
    }
    if (const auto text = readSettingFile(mode, &why)) {
        if (*text == kPreset) {
            result.mode = StartupSettings::Mode::Preset;
        } else if (*text == kBank) {
            result.mode = StartupSettings::Mode::Bank;
        } else {
            result.mode = StartupSettings::Mode::Unknown;
        }
    } else {
        DebugPrint(QStringLiteral("cannot read %1: %2").arg(mode, why));
        result.mode = StartupSettings::Mode::Unknown;
    }
    return result;
}

bool readShowUpdatePreference() {
    const auto text = readSettingFile(showUpdateFile());
    return !(text && *text == kNo);
}

bool writeMode(bool bank, QString* error) {
    if (!ensureFolder(zendalFolder(), error)) return false;
    return writeSettingFile(modeFile(), (bank ? kBank : kPreset).toUtf8(), error);
}

bool writeShowUpdateIfExists(bool yes) {
    const QString path = showUpdateFile();
    if (!QFileInfo::exists(path)) return false;
    return writeSettingFile(path, (yes ? kYes : kNo).toUtf8());
}

std::optional<int> readStyleNumber() {
    const QString path = styleFile();
    if (!QFileInfo::exists(path)) return std::nullopt;
    QString why;
    const auto text = readSettingFile(path, &why);
    if (!text) {
        DebugPrint(QStringLiteral("cannot read %1: %2").arg(path, why));
        return std::nullopt;
    }
    const QString& t = *text;
    const int start = t.startsWith(QLatin1Char('-')) ? 1 : 0;
    bool digitsOnly = t.size() > start;
    for (qsizetype i = start; i < t.size() && digitsOnly; ++i) {
        digitsOnly = t[i] >= QLatin1Char('0') && t[i] <= QLatin1Char('9');
    }
    bool ok = false;
    const int n = digitsOnly ? t.toInt(&ok, 10) : 0;
    if (!ok) {
        DebugPrint(QStringLiteral("style.txt does not hold a style number: '%1'").arg(t));
        return std::nullopt;
    }
    return n;
}

int storedStyleNumber() {
    return readStyleNumber().value_or(0);
}

bool writeStyleNumber(int n, QString* error) {
    if (!ensureFolder(tavrelFolder(), error)) return false;
    return writeSettingFile(styleFile(), QByteArray::number(n), error);
}

}  // namespace zendal::settings
