// Preset files: the writer's exact bytes, the reader's fixed positions, the
// three checks with their texts, and the refusals of damaged files.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "ParamsTestSupport.h"
#include "core/Log.h"
#include "params/PresetFile.h"
#include "params/PresetPlan.h"
#include "support/TempHome.h"

using namespace zendal;
using namespace zendal::preset;

namespace {

// The example: effect 0x26 v1, N = 2, R = 0, values 1023 and 0, the first
// assigned to "FS", reverse on the first only.
TParameterSettings exampleSettings() {
    TParameterSettings s;
    s.param_values = {1023, 0};
    s.assignments[0] = 8;
    s.reverse_flags[0] = true;
    return s;
}

const QString kExampleText = QStringLiteral("0026\r01\r02\r007FE000\r00000000\r08\rFF\r1\r0\r");

QByteArray bytesOf(const QString& text) {
    return text.toUtf8();
}

}  // namespace

TEST(ParamsPresetWriter, ExampleFileByteForByte) {
    const QString text = composePresetText(0x26, 1, exampleSettings(), 2, 0);
    EXPECT_EQ(text, kExampleText);
    EXPECT_EQ(encodePresetFile(text),
              QByteArray("\xEF\xBB\xBF") + "0026\r01\r02\r007FE000\r00000000\r08\rFF\r1\r0\r");
}

TEST(ParamsPresetWriter, ReadbackLinesFollowTheReverseFlags) {
    TParameterSettings s = exampleSettings();
    s.led_assignments[0] = 2;
    EXPECT_EQ(composePresetText(0x26, 1, s, 2, 2), kExampleText + QStringLiteral("02\rFF\r"));
}

TEST(ParamsPresetWriter, SaveNameGetsTxtUnlessItEndsSoWithCase) {
    struct Case {
        const char* chosen;
        const char* path;
    };
    for (const Case& c :
         {Case{"/p/x", "/p/x.txt"}, Case{"/p/x.txt", "/p/x.txt"}, Case{"/p/x.TXT", "/p/x.TXT.txt"},
          Case{"/p/x.txt.bak", "/p/x.txt.bak.txt"}})
        EXPECT_EQ(savePathFor(QString::fromLatin1(c.chosen)), QString::fromLatin1(c.path));
}

TEST(ParamsPresetWriter, WriteReplacesWholeFileAndReportsFailure) {
    test::TempHome home;
    const QString path = home.path() + QStringLiteral("/a.txt");
    QString error;
    ASSERT_TRUE(writePresetFile(path, QStringLiteral("LONG CONTENT\r"), &error));
    ASSERT_TRUE(writePresetFile(path, QStringLiteral("01\r"), &error));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("\xEF\xBB\xBF"
                                      "01\r"));

    EXPECT_FALSE(writePresetFile(home.path() + QStringLiteral("/missing/dir/b.txt"),
                                 QStringLiteral("01\r"), &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(ParamsPresetWriter, PresetFolderIsBelowTheDocumentsFolder) {
    test::TempHome home;
    QString error;
    ASSERT_TRUE(ensurePresetFolder(&error)) << error.toStdString();
    EXPECT_EQ(presetFolder(), home.documents() + QStringLiteral("/Tavrel/Zendal/Preset"));
    EXPECT_TRUE(QDir(presetFolder()).exists());
}

TEST(ParamsPresetReader, LineEndsOfAnyKindReadTheSame) {
    const QString expected =
        QStringLiteral("0026\r\n01\r\n02\r\n007FE000\r\n00000000\r\n08\r\nFF\r\n1\r\n0\r\n");
    QString lf = kExampleText;
    lf.replace(u'\r', u'\n');
    QString crlf = kExampleText;
    crlf.replace(QStringLiteral("\r"), QStringLiteral("\r\n"));
    QString noLastBreak = kExampleText;
    noLastBreak.chop(1);
    for (const QByteArray& file : {encodePresetFile(kExampleText), bytesOf(kExampleText),
                                   bytesOf(lf), bytesOf(crlf), bytesOf(noLastBreak)}) {
        EXPECT_EQ(rejoinLines(file), expected) << file.toStdString();
    }
    // An empty line stays a line.
    EXPECT_EQ(rejoinLines("a\r\rb\n"), QStringLiteral("a\r\n\r\nb\r\n"));
}

TEST(ParamsPresetReader, RoundTripThroughTheFixedPositions) {
    TParameterSettings s;
    s.param_values = {0, 1023, 1024, 512};
    s.assignments = {11, 255, 0, 9};
    s.reverse_flags[1] = true;
    s.led_assignments[0] = 3;
    s.led_assignments[1] = 255;
    const QString text = rejoinLines(encodePresetFile(composePresetText(7, 3, s, 4, 2)));
    const HeaderCheck header = checkHeader(text, {7, 3, 4, 2});
    ASSERT_TRUE(header.ok) << header.messages.join(u'|').toStdString();
    QString error;
    const auto c = readBody(text, 4, 2, &error);
    ASSERT_TRUE(c) << error.toStdString();
    EXPECT_EQ(c->values, (QVector<qint32>{0, 1023, 1024, 512}));
    EXPECT_EQ(c->assignments, (QVector<std::uint8_t>{0x0B, 0xFF, 0x00, 0x09}));
    EXPECT_EQ(c->reverse, (QVector<QChar>{u'0', u'1', u'0', u'0'}));
    EXPECT_EQ(c->leds, (QVector<int>{3, 255}));
    EXPECT_EQ(c->valueFields.at(1), QStringLiteral("007FE000"));
}

TEST(ParamsPresetReader, HeaderChecksInOrderWithTheirTexts) {
    const QString text = rejoinLines(bytesOf(kExampleText));
    struct Case {
        const char* name;
        Expectation expected;
        QStringList messages;
    };
    const Case cases[] = {
        {"matches", {0x26, 1, 2, 0}, {}},
        {"other effect",
         {0x27, 2, 3, 0},
         {QStringLiteral(
             "Loaded configuration does not match the effect type currently stored on pedal")}},
        {"other version",
         {0x26, 2, 3, 0},
         {QStringLiteral(
              "Loaded configuration does not match the effect version currently stored on pedal"),
          QStringLiteral("FX version from file: 01\r\nFX version on pedal: 00000002")}},
        {"other count", {0x26, 1, 3, 0}, {QStringLiteral("Number of parameters mismatch")}},
    };
    for (const Case& c : cases) {
        const HeaderCheck check = checkHeader(text, c.expected);
        EXPECT_EQ(check.ok, c.messages.isEmpty()) << c.name;
        EXPECT_EQ(check.messages, c.messages) << c.name;
    }
}

// A header line that is not its width of hexadecimal digits is named, never
// reported as a bare conversion error.
TEST(ParamsPresetReader, HeaderLinesThatAreNotNumbersAreNamed) {
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"00G6\r\n01\r\n02\r\n", "The preset file is damaged: line 1 ('00G6') is not hexadecimal."},
        {"hello world\r\n", "The preset file is damaged: line 1 should hold 4 characters."},
        {"26\r\n01\r\n02\r\n", "The preset file is damaged: line 1 should hold 4 characters."},
        {"", "The preset file is incomplete: it ends before line 1."},
        {"0026\r\n", "The preset file is incomplete: it ends before line 2."},
        {"0026\r\n1\r\n02\r\n", "The preset file is damaged: line 2 should hold 2 characters."},
        {"0026\r\n01\r\n0x\r\n", "The preset file is damaged: line 3 ('0x') is not hexadecimal."},
        {"0026\r\n01\r\n", "The preset file is incomplete: it ends before line 3."},
    };
    for (const Case& c : cases) {
        const HeaderCheck check = checkHeader(QString::fromLatin1(c.text), {0x26, 1, 2, 0});
        EXPECT_FALSE(check.ok) << c.text;
        EXPECT_EQ(check.messages, QStringList{QString::fromLatin1(c.message)}) << c.text;
    }
}

// Files that are not preset files at all are refused when read, with one
// message that says what is wrong and where.
TEST(ParamsPresetReader, FilesThatAreNotTextAreRefusedWhenRead) {
    test::TempHome home;
    struct Case {
        const char* name;
        QByteArray bytes;
        const char* error;
    };
    const QByteArray utf16 = QByteArray("\xFF\xFE", 2) + QByteArray(
                                                             "0\0"
                                                             "0\0"
                                                             "2\0"
                                                             "6\0",
                                                             8);
    const Case cases[] = {
        {"empty", QByteArray(), "the file is empty, not a preset file"},
        {"byte-order mark alone", QByteArray("\xEF\xBB\xBF"),
         "the file holds only a byte-order mark, not a preset file"},
        {"UTF-16 with its mark", utf16, "the file is UTF-16 text; preset files are UTF-8"},
        {"UTF-16 without a mark", utf16.mid(2),
         "the file holds a NUL byte at byte 2 (UTF-16 text?); preset files are UTF-8 text"},
        {"UTF-32",
         QByteArray("\xFF\xFE\0\0"
                    "0\0\0\0",
                    8),
         "the file is UTF-32 text; preset files are UTF-8"},
        {"random bytes", QByteArray("0026\r\x93\xC4\x01", 7),
         "the file is not UTF-8 text: byte 6 (93) is not part of a character"},
        {"cut character", QByteArray("0026\r\xE2\x82", 7),
         "the file is not UTF-8 text: byte 6 (E2) is not part of a character"},
        {"too large", QByteArray(kMaxPresetFileBytes + 1, '0'),
         "the file is larger than 4096 bytes, too large for a preset file"},
    };
    for (const Case& c : cases) {
        const QString path = home.path() + QStringLiteral("/p.txt");
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(c.bytes);
        f.close();
        QString text = QStringLiteral("untouched");
        QString error;
        EXPECT_FALSE(readPresetFile(path, &text, &error)) << c.name;
        EXPECT_EQ(error, QString::fromLatin1(c.error)) << c.name;
        EXPECT_EQ(text, QStringLiteral("untouched")) << c.name;
    }
    // Devices are read up to the limit and no further.
    QString text;
    QString error;
    EXPECT_FALSE(readPresetFile(QStringLiteral("/dev/zero"), &text, &error));
    EXPECT_EQ(error,
              QStringLiteral("the file is larger than 4096 bytes, too large for a preset file"));
    EXPECT_FALSE(readPresetFile(home.path() + QStringLiteral("/missing.txt"), &text, &error));
    EXPECT_EQ(error, QStringLiteral("No such file or directory"));
}

// Everything the editor writes and the format allows still reads.
TEST(ParamsPresetReader, EveryFileTheFormatAllowsIsRead) {
    test::TempHome home;
    TParameterSettings full;
    full.param_values.fill(1024, 16);
    full.assignments.fill(0x0B);
    full.reverse_flags.fill(true);
    full.led_assignments.fill(3);
    const QString largest = composePresetText(0xFFFF, 0xFF, full, 16, 4);
    QString lower = kExampleText;
    lower.replace(QStringLiteral("007FE000"), QStringLiteral("007fe000"));
    struct Case {
        const char* name;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"as the editor writes it", encodePresetFile(kExampleText)},
        {"without a byte-order mark", bytesOf(kExampleText)},
        {"lower-case digits", bytesOf(lower)},
        {"16 parameters, 4 readbacks", encodePresetFile(largest)},
        {"blank lines up to the limit",
         encodePresetFile(kExampleText) +
             QByteArray(kMaxPresetFileBytes - encodePresetFile(kExampleText).size(), '\n')},
    };
    for (const Case& c : cases) {
        const QString path = home.path() + QStringLiteral("/ok.txt");
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(c.bytes);
        f.close();
        QString text;
        QString error;
        EXPECT_TRUE(readPresetFile(path, &text, &error)) << c.name << ": " << error.toStdString();
        EXPECT_TRUE(presetBytesProblem(c.bytes).isEmpty()) << c.name;
        EXPECT_EQ(text, rejoinLines(c.bytes)) << c.name;
    }
}

// What the pedal cannot hold is refused with the line, never clamped.
TEST(ParamsPresetReader, FieldsBeyondWhatTheControlsTakeAreRefused) {
    // Pot "Drive", switch "Phase", button "Tap", three-way choice "Mode", one readback.
    const TControlDescriptor d =
        test::makeDescriptor(1, {QStringLiteral("Phase:-:Inverted"), QStringLiteral("Tap@")},
                             {QStringLiteral("Mode;a;b;c")}, {QStringLiteral("LFO")});
    auto file = [](const char* values, const char* assignments, const char* led) {
        return rejoinLines(QByteArray("0026\r01\r04\r") + values + assignments + "0\r0\r0\r0\r" +
                           led);
    };
    const char* kValues = "007FE000\r00800000\r00800000\r00800000\r";
    const char* kAssignments = "0B\rFF\r00\rFF\r";
    struct Case {
        const char* name;
        QString text;
        const char* error;  // nullptr: read
    };
    const Case cases[] = {
        {"every field at its highest", file(kValues, kAssignments, "03\r"), nullptr},
        {"LED none", file(kValues, kAssignments, "FF\r"), nullptr},
        {"pot past 1023", file("00800000\r00000000\r00000000\r00000000\r", kAssignments, "FF\r"),
         "The preset file is damaged: line 4 holds 1024 for the pot \"Pot0\", which takes 0 to "
         "1023."},
        {"switch past 1024", file("00000000\r00802000\r00000000\r00000000\r", kAssignments, "FF\r"),
         "The preset file is damaged: line 5 holds 1025 for the switch \"Phase\", which takes 0 "
         "to 1024."},
        {"all bits set", file("00000000\r00000000\r00000000\rFFFFFFFF\r", kAssignments, "FF\r"),
         "The preset file is damaged: line 7 holds 524287 for the multi \"Mode\", which takes 0 "
         "to 1024."},
        {"assignment past EXP", file(kValues, "0B\r0C\r00\rFF\r", "FF\r"),
         "The preset file is damaged: line 9 ('0C') is not an assignment: 00 to 0B, or FF for "
         "none."},
        {"LED past GREEN", file(kValues, kAssignments, "04\r"),
         "The preset file is damaged: line 16 ('04') is not an LED assignment: 00 to 03, or FF "
         "for none."},
    };
    for (const Case& c : cases) {
        QString error;
        const auto contents = readBody(c.text, d, &error);
        EXPECT_EQ(contents.has_value(), c.error == nullptr) << c.name;
        EXPECT_EQ(error, c.error ? QString::fromLatin1(c.error) : QString()) << c.name;
    }
}

TEST(ParamsPresetReader, HeaderStepsAreLogged) {
    Log::instance().clear();
    checkHeader(rejoinLines(bytesOf(kExampleText)), {0x26, 1, 2, 0});
    EXPECT_EQ(Log::instance().lines(),
              (QStringList{QStringLiteral("FX number from file: 0026"),
                           QStringLiteral("FX version from file: 01"),
                           QStringLiteral("Num of Parameters from file: 02")}));
}

TEST(ParamsPresetReader, DamagedFilesAreRefusedBeforeAnythingIsRead) {
    struct Case {
        const char* name;
        QString text;
        int readbacks;
        const char* error;
    };
    const Case cases[] = {
        {"one blank after a value",
         QStringLiteral("0026\r01\r02\r007FE000 \r00000000\r08\rFF\r1\r0\r"), 0,
         "The preset file is damaged: line 4 should hold 8 characters."},
        {"cut after the values", QStringLiteral("0026\r01\r02\r007FE000\r00000000\r"), 0,
         "The preset file is incomplete: it ends before line 6, which its header declares."},
        {"missing LED line", kExampleText, 1,
         "The preset file is incomplete: it ends before line 10, which its header declares."},
        {"value not hex", QStringLiteral("0026\r01\r02\r007FE00G\r00000000\r08\rFF\r1\r0\r"), 0,
         "The preset file is damaged: line 4 ('007FE00G') is not hexadecimal."},
        {"assignment not hex", QStringLiteral("0026\r01\r02\r007FE000\r00000000\r$8\rFF\r1\r0\r"),
         0, "The preset file is damaged: line 6 ('$8') is not hexadecimal."},
        {"LED not hex", kExampleText + QStringLiteral("0x\r"), 1,
         "The preset file is damaged: line 10 ('0x') is not hexadecimal."},
    };
    for (const Case& c : cases) {
        QString error;
        EXPECT_FALSE(readBody(rejoinLines(bytesOf(c.text)), 2, c.readbacks, &error)) << c.name;
        EXPECT_EQ(error, QString::fromLatin1(c.error)) << c.name;
    }
    // A reverse flag other than 0 or 1 is read (it leaves the flag alone).
    QString other = kExampleText;
    other.replace(QStringLiteral("\r1\r0\r"), QStringLiteral("\rx\r0\r"));
    const auto c = readBody(rejoinLines(bytesOf(other)), 2, 0, nullptr);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->reverse.at(0), u'x');
}

// What a load sends when the panel showed the pedal's record.
TEST(ParamsPresetPlan, SendsOnlyWhatChanges) {
    const TControlDescriptor d =
        test::makeDescriptor(2, {QStringLiteral("Phase:-:Inverted"), QStringLiteral("Tap@")},
                             {QStringLiteral("Mode;a;b;c")}, {});
    // Pedal: pots 100 and 200, switch off, button, choice 0; parameter 0 on KI, reversed.
    SettingsRecord rec = *decodeSettingsRecord(test::RecordBuilder(5)
                                                   .value(0, 100)
                                                   .value(1, 200)
                                                   .value(3, 1024)
                                                   .assignment(0, 0)
                                                   .reverse(0, 0x01)
                                                   .bytes,
                                               5);
    auto file = [&](QVector<qint32> values, QVector<std::uint8_t> assignments,
                    QVector<QChar> reverse) {
        PresetContents c;
        c.values = values;
        c.assignments = assignments;
        c.reverse = reverse;
        return c;
    };
    auto texts = [](const QVector<PlannedMessage>& plan) {
        QStringList out;
        for (const PlannedMessage& m : plan) out << m.text;
        return out;
    };
    struct Case {
        const char* name;
        PresetContents contents;
        QStringList messages;
    };
    const Case cases[] = {
        {"same as shown",
         file({100, 200, 0, 0, 0}, {0, 255, 255, 255, 255}, {'1', '0', '0', '0', '0'}),
         {}},
        {"one pot",
         file({100, 201, 0, 0, 0}, {0, 255, 255, 255, 255}, {'1', '0', '0', '0', '0'}),
         {QStringLiteral("01000200192000")}},
        {"same choice, other value",
         file({100, 200, 0, 0, 300}, {0, 255, 255, 255, 255}, {'1', '0', '0', '0', '0'}),
         {}},
        {"switch and choice",
         file({100, 200, 1, 0, 700}, {0, 255, 255, 255, 255}, {'1', '0', '0', '0', '0'}),
         {QStringLiteral("01000300800000"), QStringLiteral("01000500554000")}},
        {"button value is ignored",
         file({100, 200, 0, 1024, 0}, {0, 255, 255, 255, 255}, {'1', '0', '0', '0', '0'}),
         {}},
        {"unassigned reverse turns off, then on again",
         file({100, 200, 0, 0, 0}, {255, 255, 255, 255, 255}, {'1', '0', '0', '0', '0'}),
         {QStringLiteral("08FF00"), QStringLiteral("080100")}},
        {"reverse flags follow the file",
         file({100, 200, 0, 0, 0}, {0, 255, 255, 255, 255}, {'0', '1', 'x', '0', '0'}),
         {QStringLiteral("08FF00"), QStringLiteral("080101")}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(texts(planPresetLoad(d, ShownState::fromRecord(rec), c.contents)), c.messages)
            << c.name;
}
