#include "params/ui/PresetLibraryWindow.h"

#include <QCheckBox>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLocale>
#include <QPushButton>
#include <QShortcut>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "shell/Prompt.h"
#include "shell/ui/Accessibility.h"
#include "shell/ui/OpenUrl.h"

namespace zendal {

PresetLibraryWindow::PresetLibraryWindow(const QString& folder, QWidget* parent)
    : QWidget(parent, Qt::Window), library_(folder) {
    setObjectName(QStringLiteral("PresetLibraryWindow"));
    setWindowTitle(QStringLiteral("Preset Library"));

    chkPedalEffectOnly = new QCheckBox(QStringLiteral("Only the effect on the pedal"), this);
    chkPedalEffectOnly->setObjectName(QStringLiteral("chkPedalEffectOnly"));
    chkPedalEffectOnly->setChecked(true);

    lstPresets = new QTreeWidget(this);
    lstPresets->setObjectName(QStringLiteral("lstPresets"));
    lstPresets->setAccessibleName(QStringLiteral("Preset files"));
    lstPresets->setHeaderLabels({QStringLiteral("File"), QStringLiteral("Effect"),
                                 QStringLiteral("Version"), QStringLiteral("Modified"),
                                 QStringLiteral("Note")});
    lstPresets->setRootIsDecorated(false);
    lstPresets->setSelectionMode(QAbstractItemView::SingleSelection);
    lstPresets->setEditTriggers(QAbstractItemView::EditKeyPressed);
    lstPresets->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    lstPresets->setMinimumSize(520, 240);

    auto button = [this](const char* name, const QString& text) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        return b;
    };
    btnLoad = button("btnLoad", QStringLiteral("&Load"));
    btnRename = button("btnRename", QStringLiteral("&Rename"));
    btnTrash = button("btnTrash", QStringLiteral("Move to &Trash"));
    btnShowFolder = button("btnShowFolder", QStringLiteral("Show &Folder"));

    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {btnLoad, btnRename, btnTrash, btnShowFolder}) buttons->addWidget(b);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(chkPedalEffectOnly);
    layout->addWidget(lstPresets);
    layout->addLayout(buttons);

    connect(&library_, &preset::PresetLibrary::changed, this, &PresetLibraryWindow::refill);
    connect(chkPedalEffectOnly, &QCheckBox::toggled, this, &PresetLibraryWindow::refill);
    connect(lstPresets, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        lstPresets->setCurrentItem(item);
        loadCurrent();
    });
    connect(lstPresets, &QTreeWidget::itemChanged, this, &PresetLibraryWindow::renamed);
    connect(lstPresets, &QTreeWidget::currentItemChanged, this,
            &PresetLibraryWindow::updateButtons);
    connect(btnLoad, &QPushButton::clicked, this, &PresetLibraryWindow::loadCurrent);
    connect(btnRename, &QPushButton::clicked, this, &PresetLibraryWindow::renameCurrent);
    connect(btnTrash, &QPushButton::clicked, this, &PresetLibraryWindow::trashCurrent);
    connect(btnShowFolder, &QPushButton::clicked, this, &PresetLibraryWindow::showFolder);
    auto* trash = new QShortcut(QKeySequence::Delete, lstPresets);
    trash->setContext(Qt::WidgetShortcut);
    connect(trash, &QShortcut::activated, this, &PresetLibraryWindow::trashCurrent);
    a11y::closeOnEscape(this);
    refill();
}

void PresetLibraryWindow::showEvent(QShowEvent* event) {
    // The pedal may have changed its effect while the window was away.
    refill();
    QWidget::showEvent(event);
}

void PresetLibraryWindow::refill() {
    const QString keep = currentFile();
    const int effect = pedalEffect_ ? pedalEffect_() : -1;
    const bool filter = chkPedalEffectOnly->isChecked() && effect > 0;
    const QVector<preset::LibraryEntry> shown =
        filter ? library_.entriesFor(effect) : library_.entries();
    filling_ = true;
    lstPresets->clear();
    const QColor grey = palette().color(QPalette::Disabled, QPalette::Text);
    for (const preset::LibraryEntry& e : shown) {
        auto* item = new QTreeWidgetItem(lstPresets);
        item->setText(FileColumn, e.fileName);
        item->setText(EffectColumn, e.effectName);
        item->setText(VersionColumn,
                      e.effectVersion < 0 ? QString() : QString::number(e.effectVersion));
        item->setText(ModifiedColumn, QLocale().toString(e.modified, QLocale::ShortFormat));
        item->setText(NoteColumn, e.problem);
        item->setData(FileColumn, Qt::UserRole, e.fileName);
        item->setFlags(item->flags() | Qt::ItemIsEditable);
        if (!e.loadable()) {
            // Shown, never hidden: greyed, with the reason where it can be read.
            for (int c = 0; c <= NoteColumn; ++c) {
                item->setForeground(c, grey);
                item->setToolTip(c, e.problem);
            }
        }
        if (e.fileName == keep) lstPresets->setCurrentItem(item);
    }
    if (!lstPresets->currentItem() && lstPresets->topLevelItemCount() > 0)
        lstPresets->setCurrentItem(lstPresets->topLevelItem(0));
    filling_ = false;
    updateButtons();
}

QString PresetLibraryWindow::currentFile() const {
    const QTreeWidgetItem* item = lstPresets ? lstPresets->currentItem() : nullptr;
    return item ? item->data(FileColumn, Qt::UserRole).toString() : QString();
}

void PresetLibraryWindow::updateButtons() {
    const preset::LibraryEntry* e = library_.entry(currentFile());
    btnLoad->setEnabled(e && e->loadable() && load_);
    btnRename->setEnabled(e != nullptr);
    btnTrash->setEnabled(e != nullptr);
}

void PresetLibraryWindow::loadCurrent() {
    const preset::LibraryEntry* e = library_.entry(currentFile());
    if (!e) return;
    if (!e->loadable()) {
        prompt().information(
            QStringLiteral("%1 cannot be loaded: %2").arg(e->fileName, e->problem));
        return;
    }
    if (load_) load_(e->path);
}

void PresetLibraryWindow::renameCurrent() {
    if (QTreeWidgetItem* item = lstPresets->currentItem()) {
        lstPresets->setFocus();
        lstPresets->editItem(item, FileColumn);
    }
}

void PresetLibraryWindow::renamed(QTreeWidgetItem* item, int column) {
    if (filling_ || column != FileColumn) return;
    const QString from = item->data(FileColumn, Qt::UserRole).toString();
    const QString to = item->text(FileColumn);
    if (to == from) return;
    // After the edit has returned: the list is filled again either way (the
    // new name, or the old one back), which deletes the item being edited.
    QMetaObject::invokeMethod(
        this,
        [this, from, to] {
            QString error;
            if (!library_.rename(from, to, &error)) {
                prompt().information(QStringLiteral("%1 cannot be renamed: %2").arg(from, error));
                refill();
            }
        },
        Qt::QueuedConnection);
}

void PresetLibraryWindow::trashCurrent() {
    const QString file = currentFile();
    if (file.isEmpty()) return;
    if (!prompt().confirm(QStringLiteral("Move %1 to the trash?").arg(file))) return;
    QString error;
    if (!library_.moveToTrash(file, &error))
        prompt().information(
            QStringLiteral("%1 cannot be moved to the trash: %2").arg(file, error));
}

void PresetLibraryWindow::showFolder() {
    QDir().mkpath(library_.folder());
    OpenURL(QUrl::fromLocalFile(library_.folder()).toString());
}

}  // namespace zendal
