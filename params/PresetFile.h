#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>
#include <cstdint>
#include <optional>

#include "params/ControlDescriptor.h"
#include "params/SettingsRecord.h"

// Preset files: the settings of one effect as a small text file. Writer, reader
// and checks; the dialogs and applying a loaded file belong to the window.
//
// Format (UTF-8 with byte-order mark, every line ended by a single CR, upper-case
// hex): effect number (4), effect version (2), N (2), N values x 8192 (8 each),
// N assignment bytes (2 each), N reverse flags ("1"/"0"), R LED bytes (2 each).
// The reader takes every field at a fixed position of the text re-joined with
// CR LF, so every line must have exactly its width.
namespace zendal::preset {

// Documents/Tavrel/Zendal/Preset.
QString presetFolder();
// Creates the folder with its parents when missing. False with a reason otherwise.
bool ensurePresetFolder(QString* error);

// The file's text: every item followed by CR.
QString composePresetText(int effectNumber, int effectVersion, const TParameterSettings& settings,
                          int paramCount, int readbackCount);
// Byte-order mark + UTF-8.
QByteArray encodePresetFile(const QString& text);
// The chosen save name with ".txt" appended unless it already ends so (case matters).
QString savePathFor(const QString& chosen);
// Writes atomically: a failed save leaves any previous file untouched. A
// device or FIFO chosen as the file is written to, never replaced.
bool writePresetFile(const QString& path, const QString& text, QString* error);

// The largest file with 16 parameters and 4 readbacks has 250 bytes; a file
// past this is something else, and reading stops there (/dev/zero included).
constexpr qint64 kMaxPresetFileBytes = 4096;

// Why these bytes cannot be a preset file's text (empty, a byte-order mark
// alone, UTF-16 or UTF-32, NUL bytes, not UTF-8), naming the byte; empty when
// they can.
QString presetBytesProblem(const QByteArray& fileBytes);

// Text of the file's bytes (byte-order mark dropped), split at CR, LF or
// CR LF, every line followed by CR LF.
QString rejoinLines(const QByteArray& fileBytes);
// Reads at most kMaxPresetFileBytes, checks the bytes are text and re-joins;
// false with the failure's message.
bool readPresetFile(const QString& path, QString* text, QString* error);

// 0-based positions of the fields in the re-joined text.
constexpr int numberPos() {
    return 0;
}
constexpr int versionPos() {
    return 6;
}
constexpr int countPos() {
    return 10;
}
constexpr int valuePos(int i) {
    return 14 + 10 * i;
}
constexpr int assignmentPos(int n, int i) {
    return 14 + 10 * n + 4 * i;
}
constexpr int reversePos(int n, int i) {
    return 14 + 14 * n + 3 * i;
}
constexpr int ledPos(int n, int j) {
    return 14 + 17 * n + 4 * j;
}

struct Expectation {
    int effectNumber = 0;   // pedal_effect_number
    int effectVersion = 0;  // pedal_effect_version
    int paramCount = 0;     // N of the descriptor
    int readbackCount = 0;  // R of the descriptor
};

// The header check: effect, version, parameter count, in this order, each
// logged. messages holds the texts to show when the file is refused; a header
// line that is not its width of hexadecimal digits is named by its number.
struct HeaderCheck {
    bool ok = false;
    QStringList messages;
};
HeaderCheck checkHeader(const QString& text, const Expectation& expected);

struct PresetContents {
    QStringList valueFields, assignmentFields, reverseFields, ledFields;  // as written
    QVector<qint32> values;                                               // word >> 13
    QVector<std::uint8_t> assignments;
    QVector<QChar> reverse;  // '1' set, '0' clear, other leaves the flag
    QVector<int> leds;
};
// Every body field of a file whose header passed: refused (error says why) when
// the text is shorter than its header declares, when a line has another width
// than its field, or when a field is not hexadecimal. Nothing is applied then.
std::optional<PresetContents> readBody(const QString& text, int paramCount, int readbackCount,
                                       QString* error);
// The same, then every field checked against what the effect's controls take:
// pots 0..1023, switches and buttons 0..1024, a choice list's value within its
// choices, assignments 00..0B or FF, LED assignments 00..03 or FF. A value the
// pedal cannot hold is refused (naming its line) rather than clamped.
std::optional<PresetContents> readBody(const QString& text, const TControlDescriptor& descriptor,
                                       QString* error);

// The load's log lines for each step.
void logValues(const PresetContents& c);
void logAssignments(const PresetContents& c);
void logReverse(const PresetContents& c);
void logLeds(const PresetContents& c);

}  // namespace zendal::preset
