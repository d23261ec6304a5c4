#pragma once

#include <QDateTime>
#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

// The preset folder as a list: every preset file (*.txt) with the effect it
// belongs to, read from its header through the catalogue. A file that is not
// a preset the editor can load stays in the list with the reason; nothing is
// hidden. The list follows the folder as files come, change and go.
namespace zendal::preset {

struct LibraryEntry {
    QString fileName;  // "Warm Tremolo.txt"
    QString path;
    QDateTime modified;
    int effectId = -1;       // from the header; -1 when it cannot be read
    QString effectName;      // from the catalogue; empty when the id is not in it
    int effectVersion = -1;  // from the header
    QString problem;         // why the file cannot be loaded; empty when it can
    bool loadable() const { return problem.isEmpty(); }
};

// What the file holds: the header read, then the body checked against the
// effect's controls as a load would check it.
LibraryEntry readLibraryEntry(const QString& path);

class PresetLibrary : public QObject {
    Q_OBJECT
  public:
    explicit PresetLibrary(const QString& folder, QObject* parent = nullptr);

    QString folder() const { return folder_; }
    // By file name, case ignored.
    const QVector<LibraryEntry>& entries() const { return entries_; }
    // The files of one effect (any version), and the files no effect can be
    // told for (they are never hidden).
    QVector<LibraryEntry> entriesFor(int effectId) const;
    const LibraryEntry* entry(const QString& fileName) const;

    // Reads the folder again now (the watcher does it on its own).
    void rescan();

    // ".txt" is added as the save dialog adds it. Refused with the reason
    // when the name is empty, leaves the folder, or is taken.
    bool rename(const QString& fileName, const QString& newName, QString* error);
    // To the desktop's trash, never deleted outright.
    bool moveToTrash(const QString& fileName, QString* error);

  signals:
    void changed();

  private:
    void watch();

    QString folder_;
    QVector<LibraryEntry> entries_;
    QFileSystemWatcher watcher_;
    // Several events for one save (a temporary file, then the rename) make one rescan.
    QTimer settle_;
};

}  // namespace zendal::preset
