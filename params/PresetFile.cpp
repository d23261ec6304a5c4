#include "params/PresetFile.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include "core/Errors.h"
#include "core/Log.h"
#include "link/FrameCodec.h"
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

// One field of the body: present, followed by the line end, hexadecimal when asked.
bool takeField(const QString& text, int pos, int width, int line, bool hex, QString* field,
               QString* error) {
    if (text.size() < pos + width + 2) {
        *error = QStringLiteral(
                     "The preset file is incomplete: it ends before line %1, which its header "
                     "declares.")
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
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error) *error = file.errorString();
        return false;
    }
    const QByteArray bytes = encodePresetFile(text);
    // write() only fills Qt's buffer; a full disk shows when it is flushed, and
    // commit() would still put the truncated file in place of the old one.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        if (error) *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error) *error = file.errorString();
        return false;
    }
    return true;
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
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) *error = file.errorString();
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error) *error = file.errorString();
        return false;
    }
    *text = rejoinLines(bytes);
    return true;
}

HeaderCheck checkHeader(const QString& text, const Expectation& expected) {
    HeaderCheck check;
    try {
        const QString number = text.mid(numberPos(), 4);
        DebugPrint(QStringLiteral("FX number from file: ") + number);
        if (HexToInt(number) != expected.effectNumber) {
            check.messages << QStringLiteral(
                "Loaded configuration does not match the effect type currently stored on pedal");
            return check;
        }
        const QString version = text.mid(versionPos(), 2);
        DebugPrint(QStringLiteral("FX version from file: ") + version);
        if (HexToInt(version) != expected.effectVersion) {
            check.messages << QStringLiteral(
                "Loaded configuration does not match the effect version currently stored on "
                "pedal");
            check.messages << QStringLiteral("FX version from file: ") + version + kCrLf +
                                  QStringLiteral("FX version on pedal: ") +
                                  hexDigits(static_cast<std::uint32_t>(expected.effectVersion), 8);
            return check;
        }
        const QString count = text.mid(countPos(), 2);
        DebugPrint(QStringLiteral("Num of Parameters from file: ") + count);
        if (HexToInt(count) != expected.paramCount) {
            check.messages << QStringLiteral("Number of parameters mismatch");
            return check;
        }
    } catch (const ConversionError& e) {
        check.messages << e.message();
        return check;
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
