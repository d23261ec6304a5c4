// File ▸ Back Up Pedal… and Restore Pedal… in the main window, over the
// strict virtual pedal.
#include <QAction>
#include <QDir>
#include <QFileInfo>

#include "MainWindowFixture.h"
#include "shell/BackupManifest.h"

namespace zendal::test {
namespace {

class MainWindowBackup : public MainWindowTest {
  protected:
    // Backs up and returns the folder the box names.
    QString backUp() {
        prompt->informations.clear();
        item("menuBackUpPedal")->trigger();
        if (prompt->informations.size() != 1) return {};
        const QString text = prompt->informations.first();
        const QString lead = QStringLiteral("Pedal backed up in ");
        return text.startsWith(lead) ? text.mid(lead.size()) : QString();
    }
};

TEST_F(MainWindowBackup, MenuItemsFollowTheLink) {
    createWindows();
    EXPECT_FALSE(item("menuBackUpPedal")->isEnabled());
    EXPECT_FALSE(item("menuRestorePedal")->isEnabled());
    EXPECT_EQ(item("menuBackUpPedal")->text(), QStringLiteral("Back Up Pedal…"));
    EXPECT_EQ(item("menuRestorePedal")->text(), QStringLiteral("Restore Pedal…"));
    scanAndLink();
    EXPECT_TRUE(item("menuBackUpPedal")->isEnabled());
    EXPECT_TRUE(item("menuRestorePedal")->isEnabled());
}

TEST_F(MainWindowBackup, BackUpThenRestoreAfterAKnobWasTurned) {
    createWindows();
    scanAndLink();
    ASSERT_TRUE(params->isBuilt());
    const quint32 before = pedal->currentSettings().values[0];
    const QString folder = backUp();
    ASSERT_FALSE(folder.isEmpty()) << prompt->all().join(" | ").toStdString();
    EXPECT_TRUE(QFileInfo(folder).absolutePath() ==
                QDir(home->documents()).filePath("Tavrel/Zendal"))
        << folder.toStdString();
    EXPECT_TRUE(QFileInfo::exists(folder + "/" + backup::manifestFileName()));

    pedal->turnKnob(0, 0, 300);
    ASSERT_TRUE(waitFor([&] { return pedal->currentSettings().values[0] == 300u << 13; }));
    settlePedal();

    // Cancelled dialog: nothing asked, nothing sent.
    markWrites();
    item("menuRestorePedal")->trigger();
    EXPECT_TRUE(writesSinceMark().isEmpty());

    // No to the question: only the pedal was read.
    prompt->answerFile(folder + "/manifest.txt");
    prompt->answerConfirm(false);
    item("menuRestorePedal")->trigger();
    ASSERT_EQ(prompt->confirmations.size(), 1);
    const QString caption = params->descriptor().captions[0];
    EXPECT_TRUE(prompt->confirmations.last().contains(
        QStringLiteral("%1: 300 -> %2").arg(caption).arg(before >> 13)))
        << prompt->confirmations.last().toStdString();
    settlePedal();
    EXPECT_EQ(pedal->currentSettings().values[0], 300u << 13);

    // Yes: the value goes back; the memory was not changed, so no second question.
    prompt->informations.clear();
    prompt->answerFile(folder + "/manifest.txt");
    prompt->answerConfirm(true);
    item("menuRestorePedal")->trigger();
    settlePedal();
    EXPECT_EQ(prompt->confirmations.size(), 2);
    ASSERT_FALSE(prompt->informations.isEmpty());
    EXPECT_EQ(prompt->informations.last(), QStringLiteral("Pedal restored: 1 message(s) sent"));
    EXPECT_EQ(pedal->currentSettings().values[0], before);
}

TEST_F(MainWindowBackup, ABackupOfAnotherFirmwareIsRefusedWithTheReason) {
    createWindows();
    scanAndLink();
    const QString folder = backUp();
    ASSERT_FALSE(folder.isEmpty());
    pedal->setFirmwareVersion(6);
    prompt->informations.clear();
    prompt->answerFile(folder + "/manifest.txt");
    item("menuRestorePedal")->trigger();
    EXPECT_TRUE(prompt->confirmations.isEmpty());
    EXPECT_EQ(prompt->informations,
              QStringList{"This backup was made with firmware 5; the pedal runs firmware 6."});
}

}  // namespace
}  // namespace zendal::test
