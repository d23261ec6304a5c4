#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace zendal {

// Named data carried with the editor: the effect catalogue, the firmware images
// and the appearance styles. Names are matched without regard to case. A
// maker's catalogue installed in a folder takes precedence over the embedded
// demonstration catalogue (see resources/README.md for the folders).
class ResourceStore {
public:
    static ResourceStore& instance();

    // The resource's bytes, or nullopt (and *error set) when there is none.
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

private:
    ResourceStore();
    void locate();
    QString installedFolder_;
    bool forced_ = false;
};

}  // namespace zendal
