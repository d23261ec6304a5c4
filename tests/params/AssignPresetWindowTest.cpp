// The parameter window's assignments (lists, reverse boxes, Assign) and its
// preset files (Save and Load Configuration).

#include <QDir>
#include <QFile>

#include "WindowFixture.h"
#include "params/PresetFile.h"
#include "params/PresetPlan.h"

using namespace zendal;
using namespace zendal::test;

class ParamsWindowAssign : public ParamsWindowFixture {};

TEST_F(ParamsWindowAssign, AssignSendsTheListsAfterConfirmation) {
    open(makeDescriptor(3, {}, {}, {QStringLiteral("LFO")}));
    assignList(0)->setCurrentIndex(8);   // FS
    assignList(1)->setCurrentIndex(12);  // --
    assignList(2)->setCurrentIndex(11);  // EXP
    led(0)->setCurrentIndex(2);          // RED
    bypassList()->setCurrentIndex(1);    // FL
    presetList()->setCurrentIndex(3);    // --
    driver.clearWrites();
    mainWindow.calls.clear();
    prompt.answerConfirm(true);
    window->btnAssignClick();
    const QString message = QStringLiteral("0408FF0B") + QStringLiteral("FF").repeated(13) +
                            QStringLiteral("02FFFFFF09FF");
    EXPECT_EQ(prompt.confirmations, QStringList{QStringLiteral("Assign parameters?")});
    EXPECT_EQ(driver.writtenHex(), QStringList{message});
    EXPECT_EQ(Log::instance().lines().last(), message);
    EXPECT_EQ(mainWindow.calls, (QStringList{QStringLiteral("setAssignEnabled 0"),
                                             QStringLiteral("setAssignEnabled 1")}));
    EXPECT_EQ(clock.totalPausedMs(), 100);
    EXPECT_EQ(parameterSettings().assignments[1], 255);
    EXPECT_EQ(parameterSettings().led_assignments[0], 2);
}

TEST_F(ParamsWindowAssign, SixteenParametersNoReadbacks) {
    open(makeDescriptor(16, {}, {}, {}));
    for (int i = 0; i < 16; ++i) assignList(i)->setCurrentIndex(i % 13);
    driver.clearWrites();
    prompt.answerConfirm(true);
    window->btnAssignClick();
    EXPECT_EQ(driver.writtenHex(),
              QStringList{QStringLiteral("04000102030405060708090A0BFF000102FFFFFFFFFFFF")});
}

TEST_F(ParamsWindowAssign, NoSendsNothing) {
    open();
    prompt.answerConfirm(false);
    window->btnAssignClick();
    EXPECT_TRUE(driver.writes.isEmpty());
}

TEST_F(ParamsWindowAssign, BankModeFixesTheFunctionLists) {
    device.setBankMode(true);
    open(makeDescriptor(1, {}, {}, {}));
    EXPECT_EQ(find<QLabel>(QStringLiteral("captionPreset"))->text(), QStringLiteral("Bank Select"));
    EXPECT_FALSE(bypassList()->isEnabled());
    EXPECT_FALSE(presetList()->isEnabled());
    prompt.answerConfirm(true);
    window->btnAssignClick();
    ASSERT_EQ(driver.writes.size(), 1);
    EXPECT_TRUE(driver.writtenHex().first().endsWith(QStringLiteral("0809")));
}

TEST_F(ParamsWindowAssign, FunctionAndLedListsLogTheirBytes) {
    open();
    Log::instance().clear();
    bypassList()->setCurrentIndex(2);
    presetList()->setCurrentIndex(3);
    led(0)->setCurrentIndex(4);
    EXPECT_EQ(Log::instance().lines(),
              (QStringList{QStringLiteral("BypassAssignment: 0A"),
                           QStringLiteral("PresetAssignment: FF"), QStringLiteral("FF")}));
    EXPECT_EQ(parameterSettings().led_assignments[0], 255);
    EXPECT_TRUE(driver.writes.isEmpty());
}

TEST_F(ParamsWindowAssign, UnassigningTurnsReverseOffAndDisablesTheBox) {
    open();
    assignList(2)->setCurrentIndex(0);
    reverse(2)->setChecked(true);
    driver.clearWrites();
    assignList(2)->setCurrentIndex(12);
    EXPECT_EQ(driver.writtenHex(), QStringList{QStringLiteral("08FF02")});
    EXPECT_FALSE(reverse(2)->isEnabled());
    EXPECT_FALSE(reverse(2)->isChecked());
    EXPECT_EQ(parameterSettings().assignments[2], 255);
    assignList(2)->setCurrentIndex(5);
    EXPECT_TRUE(reverse(2)->isEnabled());
    EXPECT_FALSE(reverse(2)->isChecked());
    EXPECT_EQ(parameterSettings().assignments[2], 5);
}

class ParamsWindowPresets : public ParamsWindowFixture {
  protected:
    // Effect 0x26 v1 with two pots at 0005 and 0007, no readbacks.
    TControlDescriptor twoPots() const {
        return makeDescriptor(2, {}, {}, {}, {QStringLiteral("0005"), QStringLiteral("0007")});
    }
    QString writeFile(const QString& name, const QByteArray& bytes) {
        QDir().mkpath(home.path() + QStringLiteral("/in"));
        const QString path = home.path() + QStringLiteral("/in/") + name;
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    // The pedal's record: 1023 and 0, the first on "FS" and reversed.
    QVector<std::uint8_t> exampleRecord() const {
        return RecordBuilder(2).value(0, 1023).assignment(0, 0x08).reverse(0, 0x01).bytes;
    }
    void openWithExample() {
        open(twoPots());
        pedalHolds(exampleRecord());
        requestFromButton();
        driver.clearWrites();
        prompt.informations.clear();
    }
    void load(const QString& path) {
        prompt.answerFile(path);
        window->menuLoadConfigurationClick();
    }
};

TEST_F(ParamsWindowPresets, SaveWritesTheExampleFile) {
    open(twoPots());
    pedalHolds(exampleRecord());
    const QString chosen = home.path() + QStringLiteral("/mine");
    prompt.answerFile(chosen);
    window->menuSaveConfigurationClick();

    ASSERT_EQ(prompt.dialogs.size(), 1u);
    const auto& dialog = prompt.dialogs.front();
    EXPECT_EQ(dialog.title, QStringLiteral("Save Preset File"));
    EXPECT_EQ(dialog.filter, QStringLiteral("Preset files (*.txt)"));
    EXPECT_EQ(dialog.defaultSuffix, QStringLiteral("txt"));
    EXPECT_EQ(dialog.proposedName, QStringLiteral("Test FX"));
    EXPECT_EQ(dialog.directory, preset::presetFolder());
    EXPECT_TRUE(QDir(preset::presetFolder()).exists());

    QFile f(chosen + QStringLiteral(".txt"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(),
              QByteArray("\xEF\xBB\xBF") + "0026\r01\r02\r007FE000\r00000000\r08\rFF\r1\r0\r");
    EXPECT_EQ(prompt.informations, QStringList{QStringLiteral("File saved successfully: ") +
                                               chosen + QStringLiteral(".txt")});
    EXPECT_EQ(device.selectedEffectName(), QStringLiteral("Test FX"));
    EXPECT_FALSE(mainWindow.uploadEnabled);
}

TEST_F(ParamsWindowPresets, SaveRequestSendsBackWhatChanged) {
    open(twoPots());
    slider(0)->setValue(5);
    driver.clearWrites();
    pedalHolds(exampleRecord());
    window->menuSaveConfigurationClick();  // dialog cancelled
    EXPECT_EQ(driver.writtenHex(),
              (QStringList{QStringLiteral("0202"), QStringLiteral("010005007FE000"),
                           QStringLiteral("080100")}));
    EXPECT_TRUE(prompt.informations.isEmpty());
}

TEST_F(ParamsWindowPresets, SaveFailureIsReported) {
    open(twoPots());
    pedalHolds(exampleRecord());
    prompt.answerFile(home.path() + QStringLiteral("/no/such/folder/x.txt"));
    window->menuSaveConfigurationClick();
    ASSERT_EQ(prompt.informations.size(), 1);
    EXPECT_TRUE(prompt.informations.first().startsWith(QStringLiteral("Error saving file: ")));
}

// Save's request runs without the request flag, so the pedal reporting bank
// mode makes the main window close this window in the middle of the request.
TEST_F(ParamsWindowPresets, WindowClosedByBankModeDuringSaveSavesNothing) {
    open(twoPots());
    mainWindow.onSetBankMode = [this] {
        if (!device.requestInProgress()) window->closeWindow();
    };
    pedalHolds(RecordBuilder(2).value(0, 3).mode(1, 0).bytes);
    window->menuSaveConfigurationClick();
    EXPECT_FALSE(window->isBuilt());
    EXPECT_FALSE(window->lastRequestApplied());
    EXPECT_TRUE(prompt.dialogs.empty());
    EXPECT_TRUE(mainWindow.tickRunning);
}

TEST_F(ParamsWindowPresets, SaveWithoutAnswerFromThePedalSavesNothing) {
    open(twoPots());
    window->menuSaveConfigurationClick();
    EXPECT_TRUE(prompt.dialogs.empty());
    EXPECT_EQ(prompt.informations,
              QStringList{QStringLiteral("The pedal did not answer the settings request.")});
}

TEST_F(ParamsWindowPresets, LoadSendsOnlyChangedValues) {
    struct Case {
        const char* name;
        const char* file;
        QStringList sent;
    };
    const Case cases[] = {
        {"same values", "0026\r01\r02\r007FE000\r00000000\r08\rFF\r1\r0\r", {}},
        {"one pot differs",
         "0026\n01\n02\n007FE000\n00200000\n08\nFF\n1\n0\n",
         {QStringLiteral("01000700200000")}},
        {"reverse off",
         "0026\r\n01\r\n02\r\n007FE000\r\n00000000\r\n08\r\nFF\r\n0\r\n0\r\n",
         {QStringLiteral("08FF00")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        openWithExample();
        const QString path = writeFile(QStringLiteral("p.txt"), QByteArray(c.file));
        load(path);
        EXPECT_EQ(driver.writtenHex(), c.sent);
        EXPECT_EQ(prompt.informations,
                  QStringList{QStringLiteral("File loaded successfully: ") + path});
    }
}

TEST_F(ParamsWindowPresets, ReverseOnForAnUnassignedParameter) {
    openWithExample();
    // Parameter 1 not assigned but reversed in the file.
    load(writeFile(QStringLiteral("r.txt"), "0026\r01\r02\r007FE000\r00000000\r08\rFF\r1\r1\r"));
    EXPECT_EQ(driver.writtenHex(), QStringList{QStringLiteral("080101")});
    EXPECT_TRUE(reverse(1)->isChecked());
    EXPECT_FALSE(reverse(1)->isEnabled());
}

TEST_F(ParamsWindowPresets, RefusedFilesChangeAndSendNothing) {
    struct Case {
        const char* name;
        const char* file;
        QStringList messages;
    };
    const Case cases[] = {
        {"other effect",
         "0027\r01\r02\r00000000\r00000000\rFF\rFF\r0\r0\r",
         {QStringLiteral(
             "Loaded configuration does not match the effect type currently stored on pedal")}},
        {"other version",
         "0026\r02\r02\r00000000\r00000000\rFF\rFF\r0\r0\r",
         {QStringLiteral(
              "Loaded configuration does not match the effect version currently stored on pedal"),
          QStringLiteral("FX version from file: 02\r\nFX version on pedal: 00000001")}},
        {"other count",
         "0026\r01\r03\r00000000\r00000000\r00000000\rFF\rFF\rFF\r0\r0\r0\r",
         {QStringLiteral("Number of parameters mismatch")}},
        {"header not hex",
         "00Z6\r01\r02\r",
         {QStringLiteral("The preset file is damaged: line 1 ('00Z6') is not hexadecimal.")}},
        {"pot beyond its range",
         "0026\r01\r02\r00800000\r00000000\rFF\rFF\r0\r0\r",
         {QStringLiteral("The preset file is damaged: line 4 holds 1024 for the pot \"Pot0\", "
                         "which takes 0 to 1023.")}},
        {"cut",
         "0026\r01\r02\r00000000\r",
         {QStringLiteral(
             "The preset file is incomplete: it ends before line 5, which its header declares.")}},
        {"blank after a value",
         "0026\r01\r02\r00000000 \r00000000\rFF\rFF\r0\r0\r",
         {QStringLiteral("The preset file is damaged: line 4 should hold 8 characters.")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        openWithExample();
        const QString path = writeFile(QStringLiteral("bad.txt"), QByteArray(c.file));
        load(path);
        QStringList expected{QStringLiteral("File loaded successfully: ") + path};
        expected += c.messages;
        EXPECT_EQ(prompt.informations, expected);
        EXPECT_TRUE(driver.writes.isEmpty());
        EXPECT_EQ(slider(0)->value(), 1023);
        EXPECT_EQ(parameterSettings().param_values, (QVector<qint32>{1023, 0}));
        EXPECT_EQ(assignList(0)->currentText(), QStringLiteral("FS"));
    }
}

TEST_F(ParamsWindowPresets, CancelOrUnreadableFileLoadsNothing) {
    openWithExample();
    window->menuLoadConfigurationClick();  // cancelled
    EXPECT_TRUE(prompt.informations.isEmpty());
    load(home.path() + QStringLiteral("/missing.txt"));
    ASSERT_EQ(prompt.informations.size(), 1);
    EXPECT_TRUE(prompt.informations.first().startsWith(QStringLiteral("Error loading file: ")));
    EXPECT_TRUE(driver.writes.isEmpty());
    // Not a preset file at all: one message that says so.
    prompt.informations.clear();
    load(writeFile(QStringLiteral("empty.txt"), QByteArray("\xEF\xBB\xBF")));
    EXPECT_EQ(prompt.informations,
              QStringList{QStringLiteral(
                  "Error loading file: the file holds only a byte-order mark, not a preset file")});
    EXPECT_TRUE(driver.writes.isEmpty());
}

TEST_F(ParamsWindowPresets, OnlyForTheEffectOnThePedal) {
    device.setSelectedIsOnPedal(false);
    open(twoPots());
    window->menuLoadConfigurationClick();
    window->menuSaveConfigurationClick();
    EXPECT_TRUE(prompt.dialogs.empty());
    EXPECT_EQ(prompt.informations.size(), 2);
    EXPECT_TRUE(driver.writes.isEmpty());
}

// The command line sends what the window sends, without the window.
TEST_F(ParamsWindowPresets, WindowAndPlanAgree) {
    const TControlDescriptor d = standardDescriptor();
    const QVector<std::uint8_t> rec = RecordBuilder(6)
                                          .value(0, 10)
                                          .value(3, 1024)
                                          .value(5, 400)
                                          .assignment(0, 0)
                                          .assignment(2, 3)
                                          .reverse(0, 0x01)
                                          .led(0, 1)
                                          .bytes;
    const char* files[] = {
        // the pedal's own settings: nothing to send
        "0026\r01\r06\r00014000\r00000000\r00000000\r00800000\r00000000\r00320000\r00\rFF\r03\rFF\r"
        "FF\rFF\r1\r0\r0\r0\r0\r0\r01\r",
        "0026\r01\r06\r00020000\r00002000\r00000000\r00000000\r00800000\r00000000\rFF\rFF\r03\rFF\r"
        "FF\rFF\r1\r0\r1\r0\r0\r0\r03\r",
        "0026\r01\r06\r007FE000\r007FE000\r007FE000\r00000000\r00000000\r007FE000\r0B\r0B\rFF\rFF\r"
        "FF\rFF\r0\r1\r1\r0\r0\r0\rFF\r",
    };
    for (const char* text : files) {
        SCOPED_TRACE(text);
        open(d);
        pedalHolds(rec);
        requestFromButton();
        driver.clearWrites();
        load(writeFile(QStringLiteral("w.txt"), QByteArray(text)));

        const QString joined = preset::rejoinLines(QByteArray(text));
        const auto contents = preset::readBody(joined, 6, 1, nullptr);
        ASSERT_TRUE(contents);
        QStringList planned;
        for (const auto& m : preset::planPresetLoad(
                 d, preset::ShownState::fromRecord(*decodeSettingsRecord(rec, 6)), *contents))
            planned << m.text;
        EXPECT_EQ(driver.writtenHex(), planned);
    }
}
