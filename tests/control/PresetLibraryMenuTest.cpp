// File ▸ Preset Library: the list beside the parameter window, over the
// strict virtual pedal, in a temporary home.
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTreeWidget>
#include <QUrl>

#include "MainWindowFixture.h"
#include "params/EffectDescriptor.h"
#include "params/PresetFile.h"
#include "params/ui/PresetLibraryWindow.h"
#include "shell/SettingsFiles.h"
#include "shell/ui/OpenUrl.h"

namespace zendal::test {
namespace {

class MainWindowPresetLibrary : public MainWindowTest {
  protected:
    void TearDown() override {
        setUrlOpenerForTesting({});
        MainWindowTest::TearDown();
    }
    QString folder() const { return settings::presetFolder(); }
    // A preset of `effect` whose first parameter is `first`, the rest 0.
    void putPreset(const QString& name, const QString& effect, int id, int first) {
        TControlDescriptor d;
        QString error;
        ASSERT_TRUE(loadEffectDescriptor(effect, &d, &error)) << error.toStdString();
        TParameterSettings s;
        s.param_values = QVector<qint32>(d.param_count, 0);
        s.param_values[0] = first;
        QDir().mkpath(folder());
        QString why;
        ASSERT_TRUE(preset::writePresetFile(
            folder() + u'/' + name,
            preset::composePresetText(id, 1, s, d.param_count, d.readback_count), &why));
    }
    void putFolder() {
        putPreset("Gate.txt", "Noise Gate", 0x26, 500);
        putPreset("Wobble.txt", "Tremolo", 0x1A, 200);
        QFile notes(folder() + "/Notes.txt");
        ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
        notes.write("not a preset\n");
    }
    PresetLibraryWindow* openLibrary() {
        item("menuPresetLibrary")->trigger();
        return main->findChild<PresetLibraryWindow*>(QStringLiteral("PresetLibraryWindow"));
    }
    static QStringList shownFiles(const PresetLibraryWindow* w) {
        QStringList files;
        for (int i = 0; i < w->lstPresets->topLevelItemCount(); ++i)
            files << w->lstPresets->topLevelItem(i)->text(PresetLibraryWindow::FileColumn);
        return files;
    }
    static QTreeWidgetItem* row(const PresetLibraryWindow* w, const QString& file) {
        const auto found = w->lstPresets->findItems(file, Qt::MatchExactly);
        return found.isEmpty() ? nullptr : found.first();
    }
};

TEST_F(MainWindowPresetLibrary, ShowsThePedalsEffectAndLoadsLikeLoadConfiguration) {
    putFolder();
    createWindows();
    scanAndLink();  // the pedal runs Noise Gate
    ASSERT_TRUE(params->isBuilt());
    PresetLibraryWindow* library = openLibrary();
    ASSERT_NE(library, nullptr);
    EXPECT_TRUE(library->isVisible());
    EXPECT_EQ(shownFiles(library), (QStringList{"Gate.txt", "Notes.txt"}));
    library->chkPedalEffectOnly->setChecked(false);
    EXPECT_EQ(shownFiles(library), (QStringList{"Gate.txt", "Notes.txt", "Wobble.txt"}));

    // A file that cannot be loaded is greyed with its reason, and says so when chosen.
    QTreeWidgetItem* notes = row(library, "Notes.txt");
    ASSERT_NE(notes, nullptr);
    EXPECT_FALSE(notes->text(PresetLibraryWindow::NoteColumn).isEmpty());
    EXPECT_EQ(notes->toolTip(PresetLibraryWindow::FileColumn),
              notes->text(PresetLibraryWindow::NoteColumn));
    library->lstPresets->setCurrentItem(notes);
    EXPECT_FALSE(library->btnLoad->isEnabled());
    markWrites();
    prompt->informations.clear();
    emit library->lstPresets->itemActivated(notes, 0);
    EXPECT_EQ(prompt->informations, QStringList{"Notes.txt cannot be loaded: " +
                                                notes->text(PresetLibraryWindow::NoteColumn)});
    EXPECT_TRUE(writesSinceMark().isEmpty());

    // Activating a good one (double-click, Enter) loads it with Load Configuration's texts.
    QTreeWidgetItem* gate = row(library, "Gate.txt");
    ASSERT_NE(gate, nullptr);
    prompt->informations.clear();
    emit library->lstPresets->itemActivated(gate, 0);
    EXPECT_EQ(prompt->informations,
              QStringList{"File loaded successfully: " + folder() + "/Gate.txt"});
    settlePedal();
    EXPECT_EQ(pedal->currentSettings().values[0], 500u << 13);
}

TEST_F(MainWindowPresetLibrary, RenameTrashAndShowFolder) {
    putFolder();
    createWindows();
    PresetLibraryWindow* library = openLibrary();
    ASSERT_NE(library, nullptr);
    // Not linked: every file shows.
    EXPECT_EQ(shownFiles(library).size(), 3);

    // Renaming in place (F2, then typing) renames the file; a taken name is refused.
    row(library, "Gate.txt")->setText(PresetLibraryWindow::FileColumn, "Night Gate");
    EXPECT_TRUE(waitFor([&] { return row(library, "Night Gate.txt") != nullptr; }));
    EXPECT_TRUE(QFile::exists(folder() + "/Night Gate.txt"));
    EXPECT_FALSE(QFile::exists(folder() + "/Gate.txt"));
    row(library, "Night Gate.txt")->setText(PresetLibraryWindow::FileColumn, "Wobble.txt");
    EXPECT_TRUE(waitFor([&] { return !prompt->informations.isEmpty(); }));
    EXPECT_EQ(prompt->informations.value(0),
              "Night Gate.txt cannot be renamed: A file named Wobble.txt already exists");
    EXPECT_NE(row(library, "Night Gate.txt"), nullptr);
    EXPECT_NE(row(library, "Wobble.txt"), nullptr);

    // Delete asks, then moves the file to the desktop's trash.
    library->lstPresets->setCurrentItem(row(library, "Wobble.txt"));
    library->trashCurrent();  // No
    EXPECT_EQ(prompt->confirmations.last(), "Move Wobble.txt to the trash?");
    EXPECT_TRUE(QFile::exists(folder() + "/Wobble.txt"));
    prompt->answerConfirm(true);
    library->btnTrash->click();
    EXPECT_FALSE(QFile::exists(folder() + "/Wobble.txt"));
    EXPECT_TRUE(QFile::exists(home->path() + "/.local/share/Trash/files/Wobble.txt"));
    EXPECT_EQ(row(library, "Wobble.txt"), nullptr);

    QList<QUrl> opened;
    setUrlOpenerForTesting([&](const QUrl& u) { opened << u; });
    library->btnShowFolder->click();
    EXPECT_EQ(opened, QList<QUrl>{QUrl::fromLocalFile(folder())});

    // A file saved by another program shows up on its own.
    putPreset("Later.txt", "Noise Gate", 0x26, 1);
    EXPECT_TRUE(waitFor([&] { return row(library, "Later.txt") != nullptr; }));
}

}  // namespace
}  // namespace zendal::test
