#include <gtest/gtest.h>

#include "shell/BackupManifest.h"

namespace zendal::backup {
namespace {

Manifest sample() {
    Manifest m;
    m.date = QDateTime(QDate(2026, 12, 10), QTime(15, 20, 5));
    m.firmware = 5;
    m.effect = 0x1A;
    m.effectName = QStringLiteral("Tremolo");
    m.effectVersion = 1;
    m.bypassFunction = 0x09;
    m.presetFunction = 0xFF;
    m.files = {{QStringLiteral("Tremolo.txt"), sha256Hex("preset")},
               {QStringLiteral("eeprom-50.bin"), sha256Hex("memory")}};
    return m;
}

TEST(BackupManifest, WritesOneFactPerLineAndReadsItBack) {
    const QByteArray text = composeManifest(sample());
    EXPECT_EQ(text.split('\n').mid(0, 8),
              (QList<QByteArray>{"Zendal pedal backup", "date: 2026-12-10 15:20:05", "firmware: 5",
                                 "effect: 0x1A", "effect name: Tremolo", "effect version: 1",
                                 "bypass function: 09", "preset function: FF"}));
    EXPECT_EQ(text.split('\n')[8], "file: " + sha256Hex("preset") + " Tremolo.txt");
    QString error;
    const auto back = parseManifest(text, &error);
    ASSERT_TRUE(back) << error.toStdString();
    EXPECT_EQ(back->date, sample().date);
    EXPECT_EQ(back->effect, 0x1A);
    EXPECT_EQ(back->presetFunction, 0xFF);
    ASSERT_EQ(back->files.size(), 2);
    EXPECT_EQ(back->files[1].name, "eeprom-50.bin");
    EXPECT_EQ(back->files[1].sha256, sha256Hex("memory"));

    Manifest empty = sample();
    empty.effect.reset();
    const auto none = parseManifest(composeManifest(empty), &error);
    ASSERT_TRUE(none);
    EXPECT_FALSE(none->effect);
}

TEST(BackupManifest, RefusesWhatItCannotRead) {
    const QByteArray good = composeManifest(sample());
    struct Case {
        QByteArray text;
        const char* reason;
    };
    const Case cases[] = {
        {"", "does not begin"},
        {"firmware: 5\n", "does not begin"},
        {QByteArray(good).replace("firmware: 5", "firmware: five"), "line 3"},
        {QByteArray(good).replace("effect: 0x1A", "effect: 26"), "line 4"},
        {QByteArray(good).replace("bypass function: 09", "bypass function: 109"), "line 7"},
        {QByteArray(good).replace(" Tremolo.txt", " ../Tremolo.txt"), "line 9"},
        {QByteArray(good).replace(" Tremolo.txt", " /etc/passwd"), "line 9"},
        {QByteArray(good).replace("firmware: 5\n", ""), "does not say"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        QString error;
        EXPECT_FALSE(parseManifest(c.text, &error));
        EXPECT_TRUE(error.contains(QLatin1String(c.reason))) << error.toStdString();
    }
}

}  // namespace
}  // namespace zendal::backup
