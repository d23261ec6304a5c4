// The preset folder as a list: good, bad and other effects' files, the
// watcher, rename and the trash, in a temporary home.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <functional>

#include "params/EffectDescriptor.h"
#include "params/PresetFile.h"
#include "params/PresetLibrary.h"
#include "support/TempHome.h"

namespace zendal::preset {
namespace {

constexpr int kNoiseGate = 0x26;
constexpr int kTremolo = 0x1A;

// Runs the event loop until `done` holds; generous, never a measure of speed.
bool waitUntil(const std::function<bool()>& done) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done() && elapsed.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return done();
}

QString presetOf(const QString& effect, int id, int version = 1) {
    TControlDescriptor d;
    QString error;
    EXPECT_TRUE(loadEffectDescriptor(effect, &d, &error)) << error.toStdString();
    TParameterSettings s;
    s.param_values = QVector<qint32>(d.param_count, 0);
    return composePresetText(id, version, s, d.param_count, d.readback_count);
}

class PresetLibraryTest : public ::testing::Test {
  protected:
    test::TempHome home;
    QString folder = home.documents() + QStringLiteral("/Tavrel/Zendal/Preset");

    void SetUp() override { ASSERT_TRUE(QDir().mkpath(folder)); }
    void put(const QString& name, const QByteArray& bytes) {
        QFile f(folder + u'/' + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    void putPreset(const QString& name, const QString& text) { put(name, encodePresetFile(text)); }
};

TEST_F(PresetLibraryTest, ListsEveryFileWithItsEffectOrWhyItCannotLoad) {
    putPreset("Gate.txt", presetOf("Noise Gate", kNoiseGate));
    putPreset("gate old.txt", presetOf("Noise Gate", kNoiseGate, 2));
    putPreset("Wobble.txt", presetOf("Tremolo", kTremolo));
    putPreset("Count.txt", QString(presetOf("Noise Gate", kNoiseGate)).replace(8, 2, "03"));
    put("Notes.txt", "shopping list\n");
    put("Empty.txt", "");
    putPreset("Unknown.txt", QStringLiteral("00FF\r01\r02\r"));
    put("Picture.png", "not a preset and not listed");

    PresetLibrary library(folder);
    struct Row {
        QString file, effect;
        int version;
        bool loadable;
    };
    const Row rows[] = {
        {"Count.txt", "Noise Gate", 1, false},
        {"Empty.txt", "", -1, false},
        {"gate old.txt", "Noise Gate", 2, true},
        {"Gate.txt", "Noise Gate", 1, true},
        {"Notes.txt", "", -1, false},
        {"Unknown.txt", "", 1, false},
        {"Wobble.txt", "Tremolo", 1, true},
    };
    ASSERT_EQ(library.entries().size(), std::size(rows));
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const LibraryEntry& e = library.entries()[int(i)];
        SCOPED_TRACE(e.fileName.toStdString() + ": " + e.problem.toStdString());
        EXPECT_EQ(e.fileName, rows[i].file);
        EXPECT_EQ(e.effectName, rows[i].effect);
        EXPECT_EQ(e.effectVersion, rows[i].version);
        EXPECT_EQ(e.loadable(), rows[i].loadable);
        EXPECT_TRUE(e.modified.isValid());
    }
    EXPECT_EQ(library.entry("Count.txt")->problem, "Number of parameters mismatch");
    EXPECT_TRUE(library.entry("Unknown.txt")->problem.contains("0xFF"));
    EXPECT_TRUE(library.entry("Notes.txt")->problem.startsWith("not a preset file"));

    // The pedal's effect: its files, and those no effect can be told for; not Tremolo's.
    QStringList shown;
    for (const LibraryEntry& e : library.entriesFor(kNoiseGate)) shown << e.fileName;
    EXPECT_EQ(shown, (QStringList{"Count.txt", "Empty.txt", "gate old.txt", "Gate.txt", "Notes.txt",
                                  "Unknown.txt"}));
}

TEST_F(PresetLibraryTest, FollowsTheFolder) {
    putPreset("Gate.txt", presetOf("Noise Gate", kNoiseGate));
    PresetLibrary library(folder);
    ASSERT_EQ(library.entries().size(), 1);

    putPreset("Wobble.txt", presetOf("Tremolo", kTremolo));
    EXPECT_TRUE(waitUntil([&] { return library.entry("Wobble.txt") != nullptr; }));

    // A file spoilt in place is marked, not dropped.
    put("Gate.txt", "0026\r");
    EXPECT_TRUE(waitUntil([&] {
        const LibraryEntry* e = library.entry("Gate.txt");
        return e && !e->loadable();
    }));

    QFile::remove(folder + "/Wobble.txt");
    EXPECT_TRUE(waitUntil([&] { return library.entry("Wobble.txt") == nullptr; }));
}

TEST_F(PresetLibraryTest, RenameKeepsTheSaveDialogsRulesAndRefusesWhatItMust) {
    putPreset("Gate.txt", presetOf("Noise Gate", kNoiseGate));
    putPreset("Other.txt", presetOf("Noise Gate", kNoiseGate));
    PresetLibrary library(folder);
    struct Case {
        QString from, to;
        bool ok;
        QString result;  // the file's name afterwards, or the reason's start
    };
    const Case cases[] = {
        {"Gate.txt", "Night Gate", true, "Night Gate.txt"},
        {"Night Gate.txt", "Quiet.txt", true, "Quiet.txt"},
        {"Quiet.txt", "Other", false, "A file named Other.txt already exists"},
        {"Quiet.txt", "../Escaped", false, "\"../Escaped\" is not a file name"},
        {"Quiet.txt", "  ", false, "\"  \" is not a file name"},
        {"Missing.txt", "Any", false, "Missing.txt is no longer in the preset folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.from + " -> " + c.to).toStdString());
        QString error;
        EXPECT_EQ(library.rename(c.from, c.to, &error), c.ok);
        if (c.ok) {
            EXPECT_NE(library.entry(c.result), nullptr);
            EXPECT_EQ(library.entry(c.from), nullptr);
        } else {
            EXPECT_EQ(error, c.result);
        }
    }
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(folder).path() + "/Escaped.txt"));
}

TEST_F(PresetLibraryTest, DeleteGoesToTheTrash) {
    putPreset("Gate.txt", presetOf("Noise Gate", kNoiseGate));
    PresetLibrary library(folder);
    QString error;
    ASSERT_TRUE(library.moveToTrash("Gate.txt", &error)) << error.toStdString();
    EXPECT_EQ(library.entry("Gate.txt"), nullptr);
    EXPECT_FALSE(QFileInfo::exists(folder + "/Gate.txt"));
    // In the home's trash even where the data folder was still missing, never
    // beside the working directory.
    EXPECT_TRUE(QFileInfo::exists(home.path() + "/.local/share/Trash/files/Gate.txt"));
    EXPECT_FALSE(QFileInfo::exists(QDir::current().filePath("files/Gate.txt")));
    EXPECT_FALSE(library.moveToTrash("Gate.txt", &error));
}

}  // namespace
}  // namespace zendal::preset
