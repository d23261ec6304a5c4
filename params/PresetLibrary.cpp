#include "params/PresetLibrary.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>

#include "core/Hex.h"
#include "effects/EffectCatalogue.h"
#include "params/EffectDescriptor.h"
#include "params/PresetFile.h"

namespace zendal::preset {

namespace {

// A header field: exactly `width` hexadecimal digits at `pos`.
int headerField(const QString& text, int pos, int width) {
    const QString field = text.mid(pos, width);
    bool ok = field.size() == width && text.mid(pos + width, 2) == QLatin1String("\r\n");
    const int value = ok ? field.toInt(&ok, 16) : -1;
    return ok ? value : -1;
}

}  // namespace

LibraryEntry readLibraryEntry(const QString& path) {
    const QFileInfo info(path);
    LibraryEntry e;
    e.fileName = info.fileName();
    e.path = info.absoluteFilePath();
    e.modified = info.lastModified();
    QString text;
    QString error;
    if (!readPresetFile(path, &text, &error)) {
        e.problem = error;
        return e;
    }
    e.effectId = headerField(text, numberPos(), 4);
    e.effectVersion = headerField(text, versionPos(), 2);
    if (e.effectId < 0 || e.effectVersion < 0 || headerField(text, countPos(), 2) < 0) {
        e.problem = QStringLiteral("not a preset file: no effect header");
        e.effectId = e.effectVersion = -1;
        return e;
    }
    const auto name = effect_name_by_id(e.effectId, &error);
    if (!name) {
        e.problem = QStringLiteral("effect 0x%1 is not in the effect list").arg(hex2(e.effectId));
        return e;
    }
    e.effectName = *name;
    TControlDescriptor d;
    if (!loadEffectDescriptor(*name, &d, &error)) {
        e.problem = error;
        return e;
    }
    if (headerField(text, countPos(), 2) != d.param_count) {
        e.problem = QStringLiteral("Number of parameters mismatch");
        return e;
    }
    if (!readBody(text, d, &error)) e.problem = error;
    return e;
}

PresetLibrary::PresetLibrary(const QString& folder, QObject* parent)
    : QObject(parent), folder_(folder) {
    settle_.setSingleShot(true);
    settle_.setInterval(50);
    connect(&settle_, &QTimer::timeout, this, &PresetLibrary::rescan);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, &settle_,
            qOverload<>(&QTimer::start));
    connect(&watcher_, &QFileSystemWatcher::fileChanged, &settle_, qOverload<>(&QTimer::start));
    rescan();
}

void PresetLibrary::rescan() {
    entries_.clear();
    const QFileInfoList files =
        QDir(folder_).entryInfoList({QStringLiteral("*.txt")}, QDir::Files, QDir::NoSort);
    for (const QFileInfo& f : files) entries_.append(readLibraryEntry(f.absoluteFilePath()));
    std::sort(entries_.begin(), entries_.end(), [](const LibraryEntry& a, const LibraryEntry& b) {
        return a.fileName.compare(b.fileName, Qt::CaseInsensitive) < 0;
    });
    watch();
    emit changed();
}

void PresetLibrary::watch() {
    if (!watcher_.files().isEmpty()) watcher_.removePaths(watcher_.files());
    if (!watcher_.directories().contains(folder_) && QFileInfo(folder_).isDir())
        watcher_.addPath(folder_);
    QStringList paths;
    for (const LibraryEntry& e : entries_) paths << e.path;
    if (!paths.isEmpty()) watcher_.addPaths(paths);
}

QVector<LibraryEntry> PresetLibrary::entriesFor(int effectId) const {
    QVector<LibraryEntry> out;
    for (const LibraryEntry& e : entries_)
        if (e.effectId == effectId || e.effectName.isEmpty()) out.append(e);
    return out;
}

const LibraryEntry* PresetLibrary::entry(const QString& fileName) const {
    for (const LibraryEntry& e : entries_)
        if (e.fileName == fileName) return &e;
    return nullptr;
}

bool PresetLibrary::rename(const QString& fileName, const QString& newName, QString* error) {
    const LibraryEntry* e = entry(fileName);
    const QString trimmed = newName.trimmed();
    if (!e) {
        *error = QStringLiteral("%1 is no longer in the preset folder").arg(fileName);
        return false;
    }
    if (trimmed.isEmpty() || trimmed.contains(u'/') || trimmed.contains(u'\\') ||
        trimmed == QLatin1String(".") || trimmed == QLatin1String("..")) {
        *error = QStringLiteral("\"%1\" is not a file name").arg(newName);
        return false;
    }
    const QString target = QDir(folder_).filePath(savePathFor(trimmed));
    if (QFileInfo(target).fileName() == fileName) return true;
    if (QFileInfo::exists(target)) {
        *error = QStringLiteral("A file named %1 already exists").arg(QFileInfo(target).fileName());
        return false;
    }
    QFile file(e->path);
    if (!file.rename(target)) {
        *error = file.errorString();
        return false;
    }
    rescan();
    return true;
}

bool PresetLibrary::moveToTrash(const QString& fileName, QString* error) {
    const LibraryEntry* e = entry(fileName);
    if (!e) {
        *error = QStringLiteral("%1 is no longer in the preset folder").arg(fileName);
        return false;
    }
    // Without the desktop's data folder Qt cannot set up the trash in it and
    // puts the file in folders relative to the working directory instead.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty() || !QDir().mkpath(data)) {
        *error = QStringLiteral("the desktop's trash has no folder to live in");
        return false;
    }
    QFile file(e->path);
    if (!file.moveToTrash()) {
        *error = file.errorString().isEmpty()
                     ? QStringLiteral("the desktop's trash cannot take %1").arg(fileName)
                     : file.errorString();
        return false;
    }
    rescan();
    return true;
}

}  // namespace zendal::preset
