#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>

namespace zendal {

// Named data carried with the editor: the effect catalogue, the firmware images
// and the appearance styles. Names are matched without regard to case. A
// maker's catalogue installed in a folder takes precedence over the embedded
// demonstration catalogue (see resources/README.md for the folders).
//
// When a catalogue folder is in use, every name is looked up there only; the
// embedded data fills in nothing but the appearance styles. Demonstration
// effects or firmware can therefore never stand in for a missing file of a
// maker's catalogue (which would slip past the hardware interlock).
//
// Used from the user-interface thread (and zendalctl's only thread).
class ResourceStore {
  public:
    static ResourceStore& instance();

    // The resource's bytes, or nullopt (and *error set to the reason) when there is none.
    std::optional<QByteArray> read(const QString& name, QString* error = nullptr) const;
    bool contains(const QString& name) const;

    // True while the catalogue in use is our demonstration data. Effect images
    // and firmware from it must never reach real hardware.
    bool isDemonstration() const;
    // Where the catalogue comes from, for the log ("embedded demonstration
    // catalogue" or the folder's path).
    QString origin() const;

    // Tests: use this folder as the installed maker's catalogue (empty: search
    // the usual places again).
    void setInstalledFolderForTesting(const QString& folder);

    // The installed catalogue folder in use; empty while the embedded one is used.
    QString installedFolder() const;
    // Every resource name the store can deliver, upper case, sorted.
    QStringList names() const;
    // The folders searched for an installed catalogue, in order of precedence:
    // $ZENDAL_CATALOGUE_DIR, catalogue/ beside the executable, then
    // <generic data location>/zendal/catalogue (~/.local/share/zendal/catalogue,
    // /usr/local/share/..., /usr/share/...). A folder counts only if it holds EFFECT_LIST.
    static QStringList candidateFolders();
    // True for a folder that holds an EFFECT_LIST file (any case).
    static bool isCatalogueFolder(const QString& folder);
    // The prefix of the embedded demonstration catalogue.
    static QString embeddedPrefix() { return QStringLiteral(":/catalogue/"); }

  private:
    ResourceStore();
    void locate();
    void ensureLocated() const;
    std::optional<QString> pathOf(const QString& name) const;

    QString installedFolder_;
    bool forced_ = false;
    QString forcedFolder_;
    bool located_ = false;
    bool demonstration_ = true;
    QHash<QString, QString> installedIndex_;  // upper-case name -> file path
    QHash<QString, QString> embeddedIndex_;   // upper-case name -> ":/catalogue/..." path
};

}  // namespace zendal
