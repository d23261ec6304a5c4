#include "params/PresetFile.h"

#include <QDir>

#include "core/Errors.h"
#include "core/FileIo.h"
#include "core/Log.h"
#include "link/FrameCodec.h"
#include "params/PanelMessages.h"
#include "shell/SettingsFiles.h"

namespace zendal::preset {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

QString hexDigits(qint64 value, int width) {
    return QStringLiteral("%1").arg(value, width, 16, QLatin1Char('0')).toUpper();
}

bool isHexDigits(const QString& text) {
    if (text.isEmpty()) return false;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        const bool digit =
            (u >= '0' && u <= '9') || (u >= 'A' && u <= 'F') || (u >= 'a' && u <= 'f');
        if (!digit) return false;
    }
    return true;
}

// One field: present, followed by the line end, hexadecimal when asked.
bool takeField(const QString& text, int pos, int width, int line, bool hex, QString* field,
               QString* error) {
    if (text.size() <= pos) {
        *error = line > 3 ? QStringLiteral(
                                "The preset file is incomplete: it ends before line %1, which its "
                                "header declares.")
                                .arg(line)
                          : QStringLiteral("The preset file is incomplete: it ends before line %1.")
                                .arg(line);
        return false;
    }
    if (text.mid(pos + width, 2) != kCrLf) {
        *error = QStringLiteral("The preset file is damaged: line %1 should hold %2 characters.")
                     .arg(line)
                     .arg(width);
        return false;
    }
    *field = text.mid(pos, width);
    if (hex && !isHexDigits(*field)) {
        *error = QStringLiteral("The preset file is damaged: line %1 ('%2') is not hexadecimal.")
                     .arg(line)
                     .arg(*field);
        return false;
    }
    return true;
}

// Offset of the first byte that is not part of a well-formed UTF-8 character,
// or -1.
qsizetype firstInvalidUtf8(const QByteArray& bytes) {
    const qsizetype size = bytes.size();
    qsizetype i = 0;
    while (i < size) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        int length = 0;
        char32_t code = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07;
        } else {
            return i;
        }
        if (i + length > size) return i;
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) return i;
            code = (code << 6) | (next & 0x3F);
        }
        const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
        const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
        if (overlong || surrogate || code > 0x10FFFF) return i;
        i += length;
    }
    return -1;
}

QString hexByte(unsigned char byte) {
    return QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
}

}  // namespace

QString presetFolder() {
    return settings::presetFolder();
}

bool ensurePresetFolder(QString* error) {
    const QString folder = presetFolder();
    if (QDir(folder).exists() || QDir().mkpath(folder)) return true;
    if (error)
        *error = QStringLiteral("Cannot create the folder ") + QDir::toNativeSeparators(folder);
    return false;
}

QString composePresetText(int effectNumber, int effectVersion, const TParameterSettings& settings,
                          int paramCount, int readbackCount) {
    const QChar cr(u'\r');
    QString text;
    text += hexDigits(effectNumber, 4) + cr;
    text += hexDigits(effectVersion, 2) + cr;
    text += hexDigits(paramCount, 2) + cr;
    for (int i = 0; i < paramCount; ++i) {
        const qint32 value = i < settings.param_values.size() ? settings.param_values[i] : 0;
        const std::uint32_t word = static_cast<std::uint32_t>(value) << 13;
        text += hexDigits(word, 8) + cr;
    }
    for (int i = 0; i < paramCount; ++i) text += hexDigits(settings.assignments[i] & 0xFF, 2) + cr;
    for (int i = 0; i < paramCount; ++i)
        text += (settings.reverse_flags[i] ? QStringLiteral("1") : QStringLiteral("0")) + cr;
    for (int j = 0; j < readbackCount; ++j)
        text += hexDigits(settings.led_assignments[j] & 0xFF, 2) + cr;
    return text;
}

QByteArray encodePresetFile(const QString& text) {
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

QString savePathFor(const QString& chosen) {
    if (chosen.endsWith(QStringLiteral(".txt"), Qt::CaseSensitive)) return chosen;
    return chosen + QStringLiteral(".txt");
}

bool writePresetFile(const QString& path, const QString& text, QString* error) {
    QString why;
    if (fileio::saveFile(path, encodePresetFile(text), &why)) return true;
    if (error) *error = why;
    return false;
}

QString presetBytesProblem(const QByteArray& bytes) {
    if (bytes.isEmpty()) return QStringLiteral("the file is empty, not a preset file");
    if (bytes == "\xEF\xBB\xBF")
        return QStringLiteral("the file holds only a byte-order mark, not a preset file");
    if (bytes.startsWith(QByteArray("\xFF\xFE\x00\x00", 4)) ||
        bytes.startsWith(QByteArray("\x00\x00\xFE\xFF", 4)))
        return QStringLiteral("the file is UTF-32 text; preset files are UTF-8");
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF"))
        return QStringLiteral("the file is UTF-16 text; preset files are UTF-8");
    if (const qsizetype nul = bytes.indexOf('\0'); nul >= 0) {
        return QStringLiteral(
                   "the file holds a NUL byte at byte %1 (UTF-16 text?); preset files are UTF-8 "
                   "text")
            .arg(nul + 1);
    }
    if (const qsizetype bad = firstInvalidUtf8(bytes); bad >= 0) {
        return QStringLiteral("the file is not UTF-8 text: byte %1 (%2) is not part of a character")
            .arg(bad + 1)
            .arg(hexByte(static_cast<unsigned char>(bytes[bad])));
    }
    return {};
}

QString rejoinLines(const QByteArray& fileBytes) {
    QByteArray bytes = fileBytes;
    if (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3);
    const QString text = QString::fromUtf8(bytes);
    QString out;
    out.reserve(text.size() + 16);
    qsizetype start = 0;
    const qsizetype size = text.size();
    for (qsizetype p = 0; p < size; ++p) {
        const QChar c = text.at(p);
        if (c != u'\r' && c != u'\n') continue;
        out += QStringView(text).mid(start, p - start);
        out += kCrLf;
        if (c == u'\r' && p + 1 < size && text.at(p + 1) == u'\n') ++p;
        start = p + 1;
    }
    if (start < size) {
        out += QStringView(text).mid(start);
        out += kCrLf;
    }
    return out;
}

bool readPresetFile(const QString& path, QString* text, QString* error) {
    const fileio::ReadResult read = fileio::readAtMost(path, kMaxPresetFileBytes);
    QString problem = read.error;
    if (read.tooLarge) {
        problem = QStringLiteral("the file is larger than %1 bytes, too large for a preset file")
                      .arg(kMaxPresetFileBytes);
    }
    if (problem.isEmpty()) problem = presetBytesProblem(read.bytes);
    if (!problem.isEmpty()) {
        if (error) *error = problem;
        return false;
    }
    *text = rejoinLines(read.bytes);
    return true;
}

HeaderCheck checkHeader(const QString& text, const Expectation& expected) {
    HeaderCheck check;
    QString field;
    QString error;
    // Each line is checked for its width and digits before it is compared, so
    // a file that is not a preset file is named as such, line and all.
    auto refuse = [&](const QString& message) {
        check.messages << message;
        return check;
    };
    const QString number = text.mid(numberPos(), 4);
    DebugPrint(QStringLiteral("FX number from file: ") + number);
    if (!takeField(text, numberPos(), 4, 1, true, &field, &error)) return refuse(error);
    if (HexToInt(number) != expected.effectNumber) {
        return refuse(QStringLiteral(
            "Loaded configuration does not match the effect type currently stored on pedal"));
    }
    const QString version = text.mid(versionPos(), 2);
    DebugPrint(QStringLiteral("FX version from file: ") + version);
    if (!takeField(text, versionPos(), 2, 2, true, &field, &error)) return refuse(error);
    if (HexToInt(version) != expected.effectVersion) {
        check.messages << QStringLiteral(
            "Loaded configuration does not match the effect version currently stored on "
            "pedal");
        return refuse(QStringLiteral("FX version from file: ") + version + kCrLf +
                      QStringLiteral("FX version on pedal: ") +
                      hexDigits(static_cast<std::uint32_t>(expected.effectVersion), 8));
    }
    const QString count = text.mid(countPos(), 2);
    DebugPrint(QStringLiteral("Num of Parameters from file: ") + count);
    if (!takeField(text, countPos(), 2, 3, true, &field, &error)) return refuse(error);
    if (HexToInt(count) != expected.paramCount) {
        return refuse(QStringLiteral("Number of parameters mismatch"));
    }
    check.ok = true;
    return check;
}

std::optional<PresetContents> readBody(const QString& text, int paramCount, int readbackCount,
                                       QString* error) {
    QString scratch;
    QString* why = error ? error : &scratch;
    const int n = paramCount;
    PresetContents c;
    QString field;
    // The header lines must have their widths too, or every later field is misplaced.
    if (!takeField(text, numberPos(), 4, 1, true, &field, why) ||
        !takeField(text, versionPos(), 2, 2, true, &field, why) ||
        !takeField(text, countPos(), 2, 3, true, &field, why))
        return std::nullopt;
    for (int i = 0; i < n; ++i) {
        if (!takeField(text, valuePos(i), 8, 4 + i, true, &field, why)) return std::nullopt;
        c.valueFields << field;
        c.values << static_cast<qint32>(field.toUInt(nullptr, 16) >> 13);
    }
    for (int i = 0; i < n; ++i) {
        if (!takeField(text, assignmentPos(n, i), 2, 4 + n + i, true, &field, why))
            return std::nullopt;
        c.assignmentFields << field;
        c.assignments << static_cast<std::uint8_t>(field.toUInt(nullptr, 16));
    }
    for (int i = 0; i < n; ++i) {
        if (!takeField(text, reversePos(n, i), 1, 4 + 2 * n + i, false, &field, why))
            return std::nullopt;
        c.reverseFields << field;
        c.reverse << field.at(0);
    }
    for (int j = 0; j < readbackCount; ++j) {
        if (!takeField(text, ledPos(n, j), 2, 4 + 3 * n + j, true, &field, why))
            return std::nullopt;
        c.ledFields << field;
        c.leds << static_cast<int>(field.toUInt(nullptr, 16));
    }
    return c;
}

std::optional<PresetContents> readBody(const QString& text, const TControlDescriptor& d,
                                       QString* error) {
    QString scratch;
    QString* why = error ? error : &scratch;
    auto contents = readBody(text, d.param_count, d.readback_count, why);
    if (!contents) return std::nullopt;
    const int n = d.param_count;
    const QString damaged = QStringLiteral("The preset file is damaged: line %1 ");
    for (int i = 0; i < n; ++i) {
        const qint32 value = contents->values[i];
        const bool pot = d.kind(i) == TControlDescriptor::Kind::Pot;
        const qint32 highest = pot ? panel::kPotMax : static_cast<qint32>(panel::kOnValue);
        if (value <= highest) continue;
        *why =
            damaged.arg(4 + i) + QStringLiteral("holds %1 for the %2 \"%3\", which takes 0 to %4.")
                                     .arg(value)
                                     .arg(controlKindName(d.kind(i)), d.captions[i])
                                     .arg(highest);
        return std::nullopt;
    }
    for (int i = 0; i < n; ++i) {
        const std::uint8_t byte = contents->assignments[i];
        if (byte <= 0x0B || byte == 0xFF) continue;
        *why = damaged.arg(4 + n + i) +
               QStringLiteral("('%1') is not an assignment: 00 to 0B, or FF for none.")
                   .arg(contents->assignmentFields[i]);
        return std::nullopt;
    }
    for (int j = 0; j < d.readback_count; ++j) {
        const int byte = contents->leds[j];
        if (byte <= 0x03 || byte == 0xFF) continue;
        *why = damaged.arg(4 + 3 * n + j) +
               QStringLiteral("('%1') is not an LED assignment: 00 to 03, or FF for none.")
                   .arg(contents->ledFields[j]);
        return std::nullopt;
    }
    return contents;
}

void logValues(const PresetContents& c) {
    DebugPrint(QStringLiteral("parameters data from file:"));
    for (int i = 0; i < c.valueFields.size(); ++i)
        DebugPrint(QStringLiteral("%1: %2").arg(i).arg(c.valueFields[i]));
}

void logAssignments(const PresetContents& c) {
    DebugPrint(QStringLiteral("assignment data from file:"));
    for (int i = 0; i < c.assignmentFields.size(); ++i)
        DebugPrint(QStringLiteral("%1: %2").arg(i).arg(c.assignmentFields[i]));
}

void logReverse(const PresetContents& c) {
    DebugPrint(QStringLiteral("reverse data from file:"));
    for (int i = 0; i < c.reverseFields.size(); ++i)
        DebugPrint(QStringLiteral("%1: %2").arg(i).arg(c.reverseFields[i]));
}

void logLeds(const PresetContents& c) {
    if (c.ledFields.isEmpty()) return;
    DebugPrint(QStringLiteral("LED assignment from file:"));
    for (int j = 0; j < c.ledFields.size(); ++j) {
        DebugPrint(QStringLiteral("%1: %2").arg(j).arg(c.ledFields[j]));
        DebugPrint(QString::number(c.leds[j]));
    }
}

}  // namespace zendal::preset
