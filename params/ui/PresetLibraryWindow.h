#pragma once

#include <QWidget>
#include <functional>

#include "params/PresetLibrary.h"

class QCheckBox;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace zendal {

// The preset folder beside the parameter window: a thin list over
// preset::PresetLibrary. Enter or a double-click loads the file as Load
// Configuration does; F2 renames; Delete moves it to the desktop's trash.
class PresetLibraryWindow : public QWidget {
    Q_OBJECT
  public:
    explicit PresetLibraryWindow(const QString& folder, QWidget* parent = nullptr);

    // What loading a file means (the parameter window's Load Configuration).
    void setLoader(std::function<void(const QString& path)> load) { load_ = std::move(load); }
    // The effect on the pedal (-1 none), asked whenever the list is filled.
    void setPedalEffect(std::function<int()> effect) { pedalEffect_ = std::move(effect); }
    preset::PresetLibrary& library() { return library_; }

    QTreeWidget* lstPresets = nullptr;
    QCheckBox* chkPedalEffectOnly = nullptr;
    QPushButton* btnLoad = nullptr;
    QPushButton* btnRename = nullptr;
    QPushButton* btnTrash = nullptr;
    QPushButton* btnShowFolder = nullptr;

    enum Column { FileColumn, EffectColumn, VersionColumn, ModifiedColumn, NoteColumn };

  public slots:
    void refill();
    void loadCurrent();
    void renameCurrent();
    void trashCurrent();
    void showFolder();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QString currentFile() const;
    void renamed(QTreeWidgetItem* item, int column);
    void updateButtons();

    preset::PresetLibrary library_;
    std::function<void(const QString&)> load_;
    std::function<int()> pedalEffect_;
    bool filling_ = false;
};

}  // namespace zendal
