// The main window's widgets and menu bar, as the window is loaded.
#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>

#include "control/ui/TformMain.h"
#include "shell/ui/FittedCaptions.h"

namespace zendal {

namespace {
template <typename W>
W* named(W* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}
}  // namespace

QAction* TformMain::addAction(QMenu* menu, const QString& name, const QString& caption) {
    auto* item = menu->addAction(caption);
    item->setObjectName(name);
    actions_.insert(name, item);
    return item;
}

QMenu* TformMain::addMenu(QMenu* parent, const QString& name, const QString& caption) {
    QMenu* menu = parent ? parent->addMenu(caption) : menuBar()->addMenu(caption);
    menu->setObjectName(name);
    menu->menuAction()->setObjectName(name);
    menus_.insert(name, menu);
    actions_.insert(name, menu->menuAction());
    return menu;
}

void TformMain::buildWidgets() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("clientArea"));
    client->setFixedSize(400, 392);
    setCentralWidget(client);

    // Left: the device labels and the action buttons.
    lblDeviceName =
        named(a11y::elidingLabel(QStringLiteral("Device Name: "), client), "lblDeviceName");
    lblDeviceName->setGeometry(8, 8, 184, 20);
    lblFirmwareVersion = named(a11y::elidingLabel(QStringLiteral("Firmware Version: "), client),
                               "lblFirmwareVersion");
    lblFirmwareVersion->setGeometry(8, 30, 184, 20);
    lblFirmwareVersion->hide();

    const struct {
        QPushButton** button;
        const char* name;
        const char* caption;
        int y;
    } buttons[] = {
        {&btnOpenEffect, "btnOpenEffect", "Get FX Stored on Pedal", 56},
        {&btnRequest, "btnRequest", "Request Settings from Pedal", 90},
        {&btnAssign, "btnAssign", "Assign", 124},
        {&btnStoreSettingsOnPedal, "btnStoreSettingsOnPedal", "Store Settings On Pedal", 158},
    };
    for (const auto& b : buttons) {
        *b.button = named(new QPushButton(QString::fromLatin1(b.caption), client), b.name);
        (*b.button)->setGeometry(8, b.y, 184, 28);
        a11y::fitCaption(*b.button);  // the stage style's larger font
    }

    lblBankNum = named(new QGroupBox(QStringLiteral("FX Bank"), client), "lblBankNum");
    lblBankNum->setGeometry(8, 194, 184, 92);
    bankGroup_ = new QButtonGroup(this);
    const char* bankNames[3] = {"rdbtnBank1", "rdbtnBank2", "rdbtnBank3"};
    const char* bankCaptions[3] = {"Bank I", "Bank II", "Bank III"};
    for (int i = 0; i < 3; ++i) {
        rdbtnBank[i] =
            named(new QRadioButton(QString::fromLatin1(bankCaptions[i]), lblBankNum), bankNames[i]);
        rdbtnBank[i]->setGeometry(12, 20 + 22 * i, 160, 20);
        bankGroup_->addButton(rdbtnBank[i], i);
    }

    lblLive = named(new QGroupBox(QStringLiteral("Live OFF"), client), "lblLive");
    lblLive->setGeometry(8, 292, 124, 50);
    lblLive->setEnabled(false);
    swLive = named(new QCheckBox(lblLive), "swLive");
    swLive->setGeometry(12, 22, 60, 20);
    swLive->setAccessibleName(QStringLiteral("Live"));

    btnGetFXInfo = named(new QPushButton(QStringLiteral("?"), client), "btnGetFXInfo");
    btnGetFXInfo->setGeometry(144, 304, 48, 28);
    btnGetFXInfo->setEnabled(false);
    btnGetFXInfo->setToolTip(QStringLiteral("Description of the selected effect"));
    btnGetFXInfo->setAccessibleName(QStringLiteral("Description of the selected effect"));

    chkFirmwareUpgradeMode = named(new QCheckBox(QStringLiteral("Firmware Upgrade Mode"), client),
                                   "chkFirmwareUpgradeMode");
    chkFirmwareUpgradeMode->setGeometry(8, 350, 184, 20);
    chkFirmwareUpgradeMode->hide();
    btnUploadFile = named(new QPushButton(QStringLiteral("Upload File"), client), "btnUploadFile");
    btnUploadFile->setGeometry(8, 356, 184, 28);

    // Right: the category and effect lists, the upload button and the status.
    lstCategory = named(new QListWidget(client), "lstCategory");
    lstCategory->setGeometry(200, 8, 192, 132);
    lstCategory->setAccessibleName(QStringLiteral("Categories"));
    lstEffects = named(new QListWidget(client), "lstEffects");
    lstEffects->setAccessibleName(QStringLiteral("Effects"));
    lstEffects->setGeometry(200, 146, 192, 168);
    btnUpload =
        named(new QPushButton(QStringLiteral("Upload Selected Effect"), client), "btnUpload");
    btnUpload->setGeometry(200, 320, 192, 32);
    lblStatus = named(new QLabel(QStringLiteral("Status: "), client), "lblStatus");
    lblStatus->setGeometry(200, 358, 192, 30);
    lblStatus->setWordWrap(true);

    // A fixed single border: the window keeps the size of its client area.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void TformMain::buildMenus() {
    QMenu* file = addMenu(nullptr, QStringLiteral("menuFile"), QStringLiteral("File"));
    addAction(file, QStringLiteral("menuLoadConfiguration"), QStringLiteral("Load Configuration"))
        ->setEnabled(false);
    addAction(file, QStringLiteral("menuSaveConfiguration"), QStringLiteral("Save Configuration"))
        ->setEnabled(false);
    addAction(file, QStringLiteral("menuLoadIR"), QStringLiteral("Load IR"))->setEnabled(false);
    addAction(file, QStringLiteral("menuPresetLibrary"), QStringLiteral("Preset Library"));
    addAction(file, QStringLiteral("menuBackUpPedal"), QStringLiteral("Back Up Pedal…"))
        ->setEnabled(false);
    addAction(file, QStringLiteral("menuRestorePedal"), QStringLiteral("Restore Pedal…"))
        ->setEnabled(false);

    QMenu* connection =
        addMenu(nullptr, QStringLiteral("menuConnection"), QStringLiteral("Connection"));
    addAction(connection, QStringLiteral("menuScan"), QStringLiteral("Scan and Link"));
    addAction(connection, QStringLiteral("menuConnect"), QStringLiteral("Link"))->setVisible(false);
    addAction(connection, QStringLiteral("menuDisconnect"), QStringLiteral("Unlink"))
        ->setEnabled(false);
    connection->addSeparator();
    QAction* virtualPedal =
        addAction(connection, QStringLiteral("menuVirtualPedal"), QStringLiteral("Virtual Pedal"));
    virtualPedal->setCheckable(true);
    virtualPedal->setEnabled(false);  // until the device setup offers one

    QMenu* settings = addMenu(nullptr, QStringLiteral("menuSettings"), QStringLiteral("Settings"));
    addAction(settings, QStringLiteral("menuAliveParameters"), QStringLiteral("Alive Parameters!"))
        ->setVisible(false);
    addMenu(settings, QStringLiteral("menuLook"), QStringLiteral("Look"));
    QMenu* midi = addMenu(settings, QStringLiteral("menuMIDI"), QStringLiteral("MIDI"));
    midi->menuAction()->setEnabled(false);
    addMenu(midi, QStringLiteral("menuMIDIchannel"), QStringLiteral("Channel"));
    QMenu* mode = addMenu(settings, QStringLiteral("menuMode"), QStringLiteral("Mode"));
    mode->menuAction()->setEnabled(false);
    addAction(mode, QStringLiteral("menuModePreset"), QStringLiteral("Preset Mode"))
        ->setCheckable(true);
    addAction(mode, QStringLiteral("menuModeBank"), QStringLiteral("FX Bank Mode"))
        ->setCheckable(true);

    QMenu* upgrade =
        addMenu(nullptr, QStringLiteral("menuFirmwareUpgrade"), QStringLiteral("Firmware Upgrade"));
    addAction(upgrade, QStringLiteral("menuFirmwareUpgradeMode"), QStringLiteral("Upgrade Mode"))
        ->setCheckable(true);
    QAction* start = addAction(upgrade, QStringLiteral("menuStartFirmwareUpgrade"),
                               QStringLiteral("Start Firmware Upgrade"));
    start->setVisible(false);
    start->setEnabled(false);
    addAction(upgrade, QStringLiteral("menuEraseSettings"), QStringLiteral("Erase Settings"));

    QMenu* info = addMenu(nullptr, QStringLiteral("menuInfo"), QStringLiteral("Info"));
    addAction(info, QStringLiteral("menuQuickStart"), QStringLiteral("Quick Start"))
        ->setVisible(false);
    addAction(info, QStringLiteral("menuSupport"), QStringLiteral("Support"));
    info->addSeparator();
    addAction(info, QStringLiteral("menuAppVersion"), QStringLiteral("Editor Version: "))
        ->setEnabled(false);
    addAction(info, QStringLiteral("menuFirmwareVersion"), QStringLiteral("Firmware Version:"))
        ->setEnabled(false);
    addAction(info, QStringLiteral("menuNewAppVersion"), QStringLiteral("New version available:"))
        ->setEnabled(false);
    addAction(info, QStringLiteral("menuSerialNumber"), QStringLiteral("Device Serial: "));
    addAction(info, QStringLiteral("menuUpdateNow"), QStringLiteral("Update Now"));
    info->addSeparator();
    addAction(info, QStringLiteral("menuShowUpdateMsg"), QStringLiteral("Show Update Message"))
        ->setCheckable(true);

    // The captions carry no mnemonics, so the keyboard reaches the menus with
    // F10 (then the arrow keys) and the frequent items with shortcuts.
    const struct {
        const char* name;
        QKeySequence keys;
        Qt::ShortcutContext context;
    } shortcuts[] = {
        {"menuScan", QKeySequence(Qt::CTRL | Qt::Key_L), Qt::WindowShortcut},
        {"menuDisconnect", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L), Qt::WindowShortcut},
        {"menuLoadIR", QKeySequence(Qt::CTRL | Qt::Key_I), Qt::WindowShortcut},
        // Presets belong to the parameter window as much as to this one.
        {"menuLoadConfiguration", QKeySequence(Qt::CTRL | Qt::Key_O), Qt::ApplicationShortcut},
        {"menuSaveConfiguration", QKeySequence(Qt::CTRL | Qt::Key_S), Qt::ApplicationShortcut},
    };
    for (const auto& s : shortcuts) {
        QAction* item = actions_.value(QLatin1String(s.name));
        item->setShortcut(s.keys);
        item->setShortcutContext(s.context);
    }
    auto* openMenuBar = new QAction(this);
    openMenuBar->setObjectName(QStringLiteral("keyOpenMenuBar"));
    openMenuBar->setShortcut(QKeySequence(Qt::Key_F10));
    connect(openMenuBar, &QAction::triggered, this,
            [this] { menuBar()->setActiveAction(menuBar()->actions().value(0)); });
    QWidget::addAction(openMenuBar);
}

void TformMain::BuildLookMenu() {
    QMenu* look = menus_.value(QStringLiteral("menuLook"));
    for (int k = 0; k <= 6; ++k) {
        QAction* item = look->addAction(QString::number(k));
        item->setObjectName(QStringLiteral("menuLook%1").arg(k));
        connect(item, &QAction::triggered, this, [this, k] { menuLookClickItem(k); });
        lookItems_.append(item);
    }
}

void TformMain::CreateMIDIChannelItems() {
    QMenu* channel = menus_.value(QStringLiteral("menuMIDIchannel"));
    for (int i = 0; i <= 16; ++i) {
        QAction* item = channel->addAction(i == 0 ? QStringLiteral("OMNI") : QString::number(i));
        item->setObjectName(QStringLiteral("menuMIDIchannel%1").arg(i));
        item->setCheckable(true);
        // The check marks follow the pedal's settings reply, not the click.
        connect(item, &QAction::triggered, this, [this, item] {
            item->setChecked(!item->isChecked());
            midiChannelClick(item);
        });
        MIDIChannelItems_.append(item);
    }
}

}  // namespace zendal
