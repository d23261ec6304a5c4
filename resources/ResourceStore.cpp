#include "resources/ResourceStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>

namespace zendal {

namespace {

const QString kEffectList = QStringLiteral("EFFECT_LIST");
const QString kOriginMarker = QStringLiteral("CATALOGUE_ORIGIN");

// The file names of a folder, keyed by their upper-case form. Of two names that
// differ only in case the first in sorted order wins, so the choice is stable.
QHash<QString, QString> indexFolder(const QString& folder) {
    QHash<QString, QString> index;
    QDir dir(folder);
    const QStringList files = dir.entryList(QDir::Files | QDir::Readable, QDir::Name);
    for (const QString& file : files) {
        const QString key = file.toUpper();
        if (!index.contains(key)) index.insert(key, dir.filePath(file));
    }
    return index;
}

// Styles only change the look; a maker's catalogue may come without them.
bool mayFallBackToEmbedded(const QString& upperName) {
    return upperName.startsWith(QStringLiteral("STYLE_"));
}

bool readsDemonstration(const QString& path) {
    if (path.isEmpty()) return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    return file.read(256).trimmed() == "demonstration";
}

}  // namespace

ResourceStore& ResourceStore::instance() {
    static ResourceStore store;
    return store;
}

ResourceStore::ResourceStore() {
    embeddedIndex_ = indexFolder(embeddedPrefix());
}

QStringList ResourceStore::candidateFolders() {
    QStringList folders;
    const QString fromEnv = qEnvironmentVariable("ZENDAL_CATALOGUE_DIR");
    if (!fromEnv.isEmpty()) folders << fromEnv;
    if (QCoreApplication::instance() != nullptr) {
        folders << QCoreApplication::applicationDirPath() + QStringLiteral("/catalogue");
    }
    const QStringList data = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
    for (const QString& base : data) folders << base + QStringLiteral("/zendal/catalogue");
    return folders;
}

bool ResourceStore::isCatalogueFolder(const QString& folder) {
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) return false;
    return indexFolder(folder).contains(kEffectList);
}

void ResourceStore::locate() {
    installedFolder_.clear();
    installedIndex_.clear();
    const QStringList candidates = forced_ ? QStringList{forcedFolder_} : candidateFolders();
    for (const QString& folder : candidates) {
        if (isCatalogueFolder(folder)) {
            installedFolder_ = QDir(folder).absolutePath();
            installedIndex_ = indexFolder(installedFolder_);
            break;
        }
    }
    const auto& index = installedFolder_.isEmpty() ? embeddedIndex_ : installedIndex_;
    demonstration_ = readsDemonstration(index.value(kOriginMarker));
    located_ = true;
}

void ResourceStore::ensureLocated() const {
    if (!located_) const_cast<ResourceStore*>(this)->locate();
}

void ResourceStore::setInstalledFolderForTesting(const QString& folder) {
    forced_ = !folder.isEmpty();
    forcedFolder_ = folder;
    located_ = false;
}

std::optional<QString> ResourceStore::pathOf(const QString& name) const {
    ensureLocated();
    const QString key = name.toUpper();
    if (installedFolder_.isEmpty() || mayFallBackToEmbedded(key)) {
        if (!installedFolder_.isEmpty() && installedIndex_.contains(key)) {
            return installedIndex_.value(key);
        }
        if (embeddedIndex_.contains(key)) return embeddedIndex_.value(key);
        return std::nullopt;
    }
    if (installedIndex_.contains(key)) return installedIndex_.value(key);
    return std::nullopt;
}

std::optional<QByteArray> ResourceStore::read(const QString& name, QString* error) const {
    const auto path = pathOf(name);
    if (!path) {
        if (error) {
            *error = installedFolder_.isEmpty()
                         ? QStringLiteral("no resource named \"%1\" in the %2").arg(name, origin())
                         : QStringLiteral("no resource named \"%1\" in the catalogue at %2")
                               .arg(name, installedFolder_);
        }
        return std::nullopt;
    }
    QFile file(*path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) *error = QStringLiteral("%1: %2").arg(*path, file.errorString());
        return std::nullopt;
    }
    return file.readAll();
}

bool ResourceStore::contains(const QString& name) const {
    return pathOf(name).has_value();
}

bool ResourceStore::isDemonstration() const {
    ensureLocated();
    return demonstration_;
}

QString ResourceStore::origin() const {
    ensureLocated();
    if (installedFolder_.isEmpty()) {
        return demonstration_ ? QStringLiteral("embedded demonstration catalogue")
                              : QStringLiteral("embedded catalogue");
    }
    return installedFolder_;
}

QString ResourceStore::installedFolder() const {
    ensureLocated();
    return installedFolder_;
}

QStringList ResourceStore::names() const {
    ensureLocated();
    QStringList result;
    if (installedFolder_.isEmpty()) {
        result = embeddedIndex_.keys();
    } else {
        result = installedIndex_.keys();
        for (auto it = embeddedIndex_.cbegin(); it != embeddedIndex_.cend(); ++it) {
            if (mayFallBackToEmbedded(it.key()) && !installedIndex_.contains(it.key())) {
                result << it.key();
            }
        }
    }
    std::sort(result.begin(), result.end());
    return result;
}

}  // namespace zendal
